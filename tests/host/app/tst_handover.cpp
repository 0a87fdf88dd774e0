// A second start hands a file the first instance cannot open: the first
// shows one box naming the file, survives its dismissal by keyboard, and
// shows the next file's box only after that. Two real Marrowin processes
// under a window manager; the boxes are found and dismissed as a user would.
#include "common/ProductProfile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return QString();
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

QStringList boxes()
{
    const QString ids = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                        QStringLiteral("--name"), QStringLiteral("^Unsupported Format$")});
    return ids.isEmpty() ? QStringList() : ids.split(QLatin1Char('\n'));
}

bool pressOnBox(const QString& box, const QString& key)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), box,
                                              QStringLiteral("key"), QStringLiteral("--clearmodifiers"), key});
    return process.waitForFinished(30000) && process.exitCode() == 0;
}

QString log()
{
    QString text;
    const QDir dir(ProductProfile::logDirectory());
    for (const QFileInfo& f : dir.entryInfoList({QStringLiteral("*.log")}, QDir::Files)) {
        QFile file(f.absoluteFilePath());
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(file.readAll());
    }
    return text;
}

} // namespace

class TestHandover : public QObject {
    Q_OBJECT

private slots:
    void unopenableHandedOverFilesAreOneBoxAtATime();
};

void TestHandover::unopenableHandedOverFilesAreOneBoxAtATime()
{
    const QString program = qEnvironmentVariable("MARROWIN_BUILD_DIR") + QStringLiteral("/bin/Marrowin");
    QVERIFY(QFile::exists(program));
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("notes.xyz"));
    const QString second = dir.filePath(QStringLiteral("report.xyz"));
    for (const QString& path : {first, second}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    // The socket lives in the temporary directory: a fresh one, so no other
    // test's instance answers.
    QTemporaryDir sockets(QDir::tempPath() + QStringLiteral("/h"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), sockets.path());
    // Freed memory is overwritten, so a use after free crashes at once.
    env.insert(QStringLiteral("MALLOC_PERTURB_"), QStringLiteral("165"));

    // This test's home is the first instance's: its log starts empty.
    QVERIFY(QDir(ProductProfile::logDirectory()).removeRecursively());
    QProcess running;
    running.setProcessEnvironment(env);
    running.start(program, {});
    QVERIFY(running.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(QStringLiteral("[profile] Main window shown")), 60000);

    QProcess handing;
    handing.setProcessEnvironment(env);
    handing.start(program, {first, second});
    QVERIFY(handing.waitForFinished(30000));
    QCOMPARE(handing.exitCode(), 0);

    // The box for the first file; the connection that brought both is gone
    // by the time it is dismissed.
    QTRY_COMPARE_WITH_TIMEOUT(boxes().size(), 1, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(QStringLiteral("No document plugin can open:") + first), 30000);
    QTest::qWait(500);
    QVERIFY(!log().contains(QStringLiteral("No document plugin can open:") + second));
    QVERIFY(pressOnBox(boxes().value(0), QStringLiteral("Return")));

    // Only then the second file's box, alone as well.
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(QStringLiteral("No document plugin can open:") + second), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(boxes().size(), 1, 30000);
    QVERIFY(pressOnBox(boxes().value(0), QStringLiteral("Escape")));
    QTRY_COMPARE_WITH_TIMEOUT(boxes().size(), 0, 30000);

    QTest::qWait(500);
    QVERIFY2(running.state() == QProcess::Running, "the first instance ended when its boxes were dismissed");
    // And it still takes handovers.
    handing.start(program, {});
    QVERIFY(handing.waitForFinished(30000));
    QCOMPARE(handing.exitCode(), 0);
    QTest::qWait(500);
    QCOMPARE(running.state(), QProcess::Running);
    running.kill();
    running.waitForFinished();
}

QTEST_GUILESS_MAIN(TestHandover)
#include "tst_handover.moc"
