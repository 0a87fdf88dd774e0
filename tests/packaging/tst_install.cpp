// The tree `cmake --install` lays out, as a user's machine gets it: the
// desktop entry, AppStream file, MIME package and manual page pass their
// validators, and the installed Marrowin and marrowin-cli start from the
// staging prefix on a fresh home, without the build tree.
#include "common/ProductProfile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int code = -1;
    QString out, err;
};

Run run(const QString& program, const QStringList& args, const QProcessEnvironment& env = {},
        const QString& workDir = {})
{
    QProcess process;
    if (!env.isEmpty())
        process.setProcessEnvironment(env);
    process.setWorkingDirectory(workDir);
    process.start(program, args);
    Run r;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        r.err = QStringLiteral("%1 did not finish: %2").arg(program, process.errorString());
        return r;
    }
    r.code = process.exitCode();
    r.out = QString::fromUtf8(process.readAllStandardOutput());
    r.err = QString::fromUtf8(process.readAllStandardError());
    return r;
}

// What a user's session has: a home of its own, no XDG_*_HOME, nothing
// pointing into the build tree.
QProcessEnvironment userEnvironment(const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    for (const char* name : {"LD_LIBRARY_PATH", "QT_PLUGIN_PATH", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        env.remove(QLatin1String(name));
    return env;
}

QString readAll(const QString& dir, const QString& pattern)
{
    QString text;
    for (const QFileInfo& f : QDir(dir).entryInfoList({pattern}, QDir::Files)) {
        QFile file(f.absoluteFilePath());
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(file.readAll());
    }
    return text;
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_prefix, m_id, m_demo;

    QString installed(const QString& path) const { return m_prefix + QLatin1Char('/') + path; }
    QString home(const char* name) const { return m_root.filePath(QLatin1String(name)); }

private slots:
    void initTestCase();
    void validators_data();
    void validators();
    void mimeTypesReachTheProgram();
    void installedCliRuns();
    void installedProgramStarts();
};

void TestInstall::initTestCase()
{
    QVERIFY(m_root.isValid());
    m_prefix = m_root.filePath(QStringLiteral("stage/usr"));
    m_id = QString::fromLatin1(ProductProfile::kDesktopId);
    const Run install = run(qEnvironmentVariable("MARROWIN_CMAKE"),
                            {"--install", qEnvironmentVariable("MARROWIN_BUILD_DIR"), "--prefix", m_prefix});
    QVERIFY2(install.code == 0, qPrintable(install.out + install.err));

    m_demo = m_root.filePath(QStringLiteral("demo.pst"));
    const Run demo = run(qEnvironmentVariable("MARROWIN_BUILD_DIR") + QStringLiteral("/bin/pstgen"), {"--demo", m_demo});
    QVERIFY2(demo.code == 0, qPrintable(demo.err));
}

void TestInstall::validators_data()
{
    QTest::addColumn<QString>("command"); // run by sh; %1 is the installed file
    QTest::addColumn<QString>("file");
    QTest::newRow("desktop entry") << "desktop-file-validate %1" << "share/applications/" + m_id + ".desktop";
    QTest::newRow("AppStream metadata") << "appstreamcli validate --no-net %1" << "share/metainfo/" + m_id + ".metainfo.xml";
    // groff does not fail on warnings: any output is a fault.
    QTest::newRow("manual page") << "zcat %1 | groff -man -ww -z 2>&1 | grep . && exit 1 || exit 0"
                                 << "share/man/man1/marrowin-cli.1.gz";
}

void TestInstall::validators()
{
    QFETCH(QString, command);
    QFETCH(QString, file);
    QVERIFY2(QFile::exists(installed(file)), qPrintable(file + QStringLiteral(" is not installed")));
    const Run r = run(QStringLiteral("sh"), {"-c", command.arg(installed(file))});
    QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
}

// A double-click in the file manager reaches Marrowin only when the file's
// type, by its name or, without an extension, by its first bytes, is one the
// desktop entry names; the type comes from the system's database or from the
// one our MIME package adds.
void TestInstall::mimeTypesReachTheProgram()
{
    QFile desktop(installed("share/applications/" + m_id + ".desktop"));
    QVERIFY(desktop.open(QIODevice::ReadOnly));
    const QRegularExpressionMatch line =
        QRegularExpression(QStringLiteral("^MimeType=(.*)$"), QRegularExpression::MultilineOption)
            .match(QString::fromUtf8(desktop.readAll()));
    const QStringList types = line.captured(1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    QCOMPARE(types.size(), 2);

    // Searched like the user's own data directory, before the system's.
    const QString dataDirs = installed("share") + QStringLiteral(":/usr/share");
    if (QFile::exists(installed("share/mime/packages/" + m_id + ".xml"))) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_DIRS"), dataDirs);
        const Run update = run(QStringLiteral("update-mime-database"), {installed("share/mime")}, env);
        QVERIFY2(update.code == 0 && update.err.isEmpty(), qPrintable(update.err));
    }
    qputenv("XDG_DATA_DIRS", QFile::encodeName(dataDirs)); // before the first QMimeDatabase

    QFile demo(m_demo);
    QVERIFY(demo.open(QIODevice::ReadOnly));
    const QByteArray pst = demo.read(512);
    QByteArray ost = pst;
    ost.replace(8, 2, "SO"); // an offline file's client magic
    const QMimeDatabase db;
    QCOMPARE(db.mimeTypeForFile(QStringLiteral("Archive.PST"), QMimeDatabase::MatchExtension).name(), types.at(0));
    QCOMPARE(db.mimeTypeForFile(QStringLiteral("outlook.ost"), QMimeDatabase::MatchExtension).name(), types.at(1));
    QCOMPARE(db.mimeTypeForData(pst).name(), types.at(0));
    QCOMPARE(db.mimeTypeForData(ost).name(), types.at(1));
}

void TestInstall::installedCliRuns()
{
    const QString cli = installed("bin/marrowin-cli");
    const Run help = run(cli, {"--help"});
    QCOMPARE(help.code, 0);
    QVERIFY2(help.out.startsWith(QStringLiteral("Usage: marrowin-cli")), qPrintable(help.out + help.err));

    const QString userHome = home("cli-home");
    QVERIFY(QDir().mkpath(userHome));
    const Run tree = run(cli, {"tree", m_demo}, userEnvironment(userHome), m_root.path());
    QVERIFY2(tree.code == 0, qPrintable(tree.err));
    QVERIFY2(tree.out.startsWith(QStringLiteral("demo.pst (0 items) #")), qPrintable(tree.out));
    // Its index cache and log went where the user's session keeps them.
    QVERIFY(!QDir(userHome + QStringLiteral("/.cache/Tarnwick/Marrowin")).entryList({"*.pstidx"}).isEmpty());
    QVERIFY(!readAll(userHome + QStringLiteral("/.local/state/Tarnwick/Marrowin/log"), QStringLiteral("*.log")).isEmpty());
    QVERIFY(!QFileInfo::exists(userHome + QStringLiteral("/AppData")));
}

void TestInstall::installedProgramStarts()
{
    const QString userHome = home("gui-home");
    QVERIFY(QDir().mkpath(userHome));
    const QString logDir = userHome + QStringLiteral("/.local/state/Tarnwick/Marrowin/log");
    QProcess program;
    program.setProcessEnvironment(userEnvironment(userHome)); // headless: QT_QPA_PLATFORM=offscreen
    program.setWorkingDirectory(m_root.path());
    program.start(installed("bin/Marrowin"), {m_demo});
    QVERIFY(program.waitForStarted());
    // The module was found in the installed tree and read the file.
    QElapsedTimer timer;
    timer.start();
    QString log;
    while (!log.contains(QStringLiteral("Parsed Pst document completed.")) && program.state() == QProcess::Running
           && timer.elapsed() < 90000) {
        QTest::qWait(100);
        log = readAll(logDir, QStringLiteral("*.log"));
    }
    const bool running = program.state() == QProcess::Running;
    program.kill();
    program.waitForFinished();
    QVERIFY2(running && log.contains(QStringLiteral("Parsed Pst document completed.")),
             qPrintable(log.right(3000) + QString::fromUtf8(program.readAllStandardError()).right(2000)));
    QVERIFY(!log.contains(QStringLiteral("Failed to load document plugin")));
    QVERIFY(QFileInfo(userHome + QStringLiteral("/.config/Tarnwick/Marrowin")).isDir());
    QVERIFY(!QFileInfo::exists(userHome + QStringLiteral("/AppData")));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
