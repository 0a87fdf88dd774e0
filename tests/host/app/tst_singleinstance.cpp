// The single-instance channel: the message bytes, the file list taken from a
// command line, and the handover between two real Marrowin processes.
#include "host/app/SingleInstance.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Leaves a socket file nobody listens on, as a killed instance does.
bool leaveStaleSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (fd < 0 || name.size() >= qsizetype(sizeof addr.sun_path))
        return false;
    memcpy(addr.sun_path, name.constData(), name.size());
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return bound && QFile::exists(path);
}

QString logOf(const QString& home)
{
    const QDir dir(home + QStringLiteral("/.local/state/Tarnwick/Marrowin/log"));
    QString text;
    for (const QFileInfo& f : dir.entryInfoList({QStringLiteral("*.log")}, QDir::Files)) {
        QFile file(f.absoluteFilePath());
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(file.readAll());
    }
    return text;
}

bool waitForLog(const QString& home, const QString& needle, int timeoutMs = 30000)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (logOf(home).contains(needle))
            return true;
        QTest::qWait(50);
    }
    return false;
}

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

private slots:
    void messageFormat();
    void undecodableMessageGivesEmptyList_data();
    void undecodableMessageGivesEmptyList();
    void filesFromArguments();
    void secondInstanceHandsOverAndLeavesNoTrace();
};

void TestSingleInstance::messageFormat()
{
    QCOMPARE(SingleInstance::serverName(), QStringLiteral("Lumenfold.tarnwick.Marrowin"));
    const QByteArray bytes = SingleInstance::encodeMessage({QStringLiteral("/a"), QString::fromUtf8("é")});
    // Count, then each string as a byte length and big-endian UTF-16.
    QCOMPARE(bytes.toHex(), QByteArray("00000002" "00000004002f0061" "0000000200e9"));
    QCOMPARE(SingleInstance::decodeMessage(bytes), QStringList({QStringLiteral("/a"), QString::fromUtf8("é")}));
    QCOMPARE(SingleInstance::encodeMessage({}).toHex(), QByteArray("00000000"));
    QCOMPARE(SingleInstance::decodeMessage(SingleInstance::encodeMessage({})), QStringList());
}

void TestSingleInstance::undecodableMessageGivesEmptyList_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("truncated count") << QByteArray::fromHex("0000");
    QTest::newRow("count without strings") << QByteArray::fromHex("00000003");
    QTest::newRow("truncated string") << QByteArray::fromHex("0000000100000008002f");
}

void TestSingleInstance::undecodableMessageGivesEmptyList()
{
    QFETCH(QByteArray, bytes);
    QCOMPARE(SingleInstance::decodeMessage(bytes), QStringList());
}

void TestSingleInstance::filesFromArguments()
{
    QTemporaryDir dir;
    QFile a(dir.filePath(QStringLiteral("a.pst"))), b(dir.filePath(QStringLiteral("b.pst")));
    QVERIFY(a.open(QIODevice::WriteOnly) && b.open(QIODevice::WriteOnly));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const QStringList files = SingleInstance::filesFromArguments(
        {QStringLiteral("b.pst"), QStringLiteral("b.pst"), dir.filePath(QStringLiteral("missing.pst")), dir.path(),
         a.fileName()});
    QDir::setCurrent(previous);
    // The program's own name is skipped, directories and missing paths too.
    QCOMPARE(files, QStringList({QFileInfo(b).absoluteFilePath(), QFileInfo(a).absoluteFilePath()}));
}

void TestSingleInstance::secondInstanceHandsOverAndLeavesNoTrace()
{
    const QString program = qEnvironmentVariable("MARROWIN_BUILD_DIR") + QStringLiteral("/bin/Marrowin");
    QVERIFY(QFile::exists(program));
    QTemporaryDir root;
    const QString firstHome = root.filePath(QStringLiteral("first"));
    const QString secondHome = root.filePath(QStringLiteral("second"));
    // The socket lives in the runtime directory both processes share.
    const QString tmp = QDir::tempPath();
    const QString socket = SingleInstance::serverAddress();
    QCOMPARE(socket, qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/Lumenfold.tarnwick.Marrowin"));
    for (const QString& d : {firstHome, secondHome})
        QVERIFY(QDir().mkpath(d));
    QFile::remove(socket);
    QVERIFY(leaveStaleSocket(socket));

    QFile one(root.filePath(QStringLiteral("one.pst"))), two(root.filePath(QStringLiteral("Two.PST")));
    QVERIFY(one.open(QIODevice::WriteOnly) && two.open(QIODevice::WriteOnly));
    one.close();
    two.close();

    auto environment = [&](const QString& home) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("TMPDIR"), tmp);
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        return env;
    };

    QProcess first;
    first.setProcessEnvironment(environment(firstHome));
    first.start(program, {QFileInfo(one).absoluteFilePath()});
    QVERIFY(first.waitForStarted());
    // The stale name did not stop the first instance from becoming the server.
    QVERIFY2(waitForLog(firstHome, QStringLiteral("[profile] Main window shown")), qPrintable(logOf(firstHome)));
    QVERIFY(logOf(firstHome).contains(QStringLiteral("Program startup: initialization in progress...")));
    // Only the user may connect.
    QCOMPARE(QFileInfo(socket).permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
             QFile::Permissions());

    QProcess second;
    second.setProcessEnvironment(environment(secondHome));
    second.setWorkingDirectory(root.path());
    second.start(program, {QStringLiteral("Two.PST"), root.filePath(QStringLiteral("missing.pst")),
                           QStringLiteral("one.pst")});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);

    const QString oneQueued = QStringLiteral("Open file:") + QFileInfo(one).absoluteFilePath();
    const QString twoQueued = QStringLiteral("Open file:") + QFileInfo(two).absoluteFilePath();
    QTRY_COMPARE_WITH_TIMEOUT(logOf(firstHome).count(oneQueued), 2, 30000);
    // The first instance's own argument, then the handed-over files in order.
    const QString log = logOf(firstHome);
    QVERIFY(log.indexOf(oneQueued) >= 0);
    QVERIFY(log.indexOf(oneQueued) < log.indexOf(twoQueued));
    QVERIFY2(log.indexOf(twoQueued) < log.lastIndexOf(oneQueued), qPrintable(log));
    QVERIFY(!log.contains(QStringLiteral("missing.pst")));

    // A start without files only brings the first instance up.
    second.start(program, {});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitCode(), 0);

    // The second instance wrote nothing under its home.
    QCOMPARE(QDir(secondHome).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    QCOMPARE(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished();
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
