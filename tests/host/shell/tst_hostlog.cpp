// Qt messages in the log: the line format, the guard against re-entrant
// messages, and the pruning of old log files.
#include "host/shell/LogPruning.h"
#include "host/shell/MessageHandler.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/time.h>

namespace {

QStringList previousHandlerGot;
QList<QPair<QtMsgType, QString>> written;

void recordingPreviousHandler(QtMsgType, const QMessageLogContext&, const QString& message)
{
    previousHandlerGot.append(message);
}

// A writer that itself raises a message through the installed handler, as a
// logging library might. (Qt's own qWarning() would not reach the handler
// here: Qt guards against a handler that logs on the same thread.)
void noisyWriter(QtMsgType type, const std::string& line)
{
    written.append({type, QString::fromStdString(line)});
    const QtMessageHandler current = qInstallMessageHandler(nullptr);
    qInstallMessageHandler(current);
    current(QtWarningMsg, QMessageLogContext(), QStringLiteral("raised while writing"));
}

bool setModified(const QString& path, const QDateTime& when)
{
    const qint64 secs = when.toSecsSinceEpoch();
    const struct timeval times[2] = {{static_cast<time_t>(secs), 0}, {static_cast<time_t>(secs), 0}};
    return ::utimes(QFile::encodeName(path).constData(), times) == 0;
}

} // namespace

class TestHostLog : public QObject {
    Q_OBJECT

private slots:
    void formatsLines_data();
    void formatsLines();
    void reentrantMessageGoesToPreviousHandler();
    void prunesOnlyOldLogFiles();
};

void TestHostLog::formatsLines_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("expected");
    QTest::newRow("warning with location") << int(QtWarningMsg) << QByteArray("/src/host/a/MainWindow.cpp") << 42
                                           << QStringLiteral("[Warning] (MainWindow.cpp:42) text");
    QTest::newRow("backslash path") << int(QtCriticalMsg) << QByteArray("C:\\src\\x.cpp") << 7
                                    << QStringLiteral("[Critical] (x.cpp:7) text");
    QTest::newRow("bare file name") << int(QtInfoMsg) << QByteArray("y.cpp") << 1 << QStringLiteral("[Info] (y.cpp:1) text");
    QTest::newRow("no location") << int(QtDebugMsg) << QByteArray() << 0 << QStringLiteral("[Debug] text");
    QTest::newRow("fatal") << int(QtFatalMsg) << QByteArray() << 0 << QStringLiteral("[Fatal] text");
}

void TestHostLog::formatsLines()
{
    QFETCH(int, type);
    QFETCH(QByteArray, file);
    QFETCH(int, line);
    QFETCH(QString, expected);
    const QMessageLogContext context(file.isEmpty() ? nullptr : file.constData(), line, nullptr, nullptr);
    QCOMPARE(HostLog::formatLine(QtMsgType(type), context, QStringLiteral("text")), expected);
}

void TestHostLog::reentrantMessageGoesToPreviousHandler()
{
    qInstallMessageHandler(recordingPreviousHandler);
    HostLog::installMessageHandler(noisyWriter);

    qWarning("outer warning");
    qInfo("outer info");

    QCOMPARE(written.size(), 2);
    QCOMPARE(written[0].first, QtWarningMsg);
    QVERIFY2(written[0].second.startsWith(QLatin1String("[Warning] (tst_hostlog.cpp:")), qPrintable(written[0].second));
    QVERIFY(written[0].second.endsWith(QLatin1String(") outer warning")));
    QCOMPARE(written[1].first, QtInfoMsg);
    // The warnings raised inside the writer reached the previous handler only.
    QCOMPARE(previousHandlerGot, QStringList({QStringLiteral("raised while writing"), QStringLiteral("raised while writing")}));
}

void TestHostLog::prunesOnlyOldLogFiles()
{
    QTemporaryDir dir;
    const QDateTime now = QDateTime::currentDateTime();
    auto makeFile = [&](const QString& name, int ageDays) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(setModified(f.fileName(), now.addDays(-ageDays)));
    };
    makeFile(QStringLiteral("old.log"), 40);
    makeFile(QStringLiteral("recent.log"), 20);
    makeFile(QStringLiteral("old.txt"), 40);
    makeFile(QStringLiteral("old.log.bak"), 40);
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("x.log")));
    QVERIFY(setModified(dir.filePath(QStringLiteral("x.log")), now.addDays(-40)));

    QCOMPARE(HostLog::pruneOldLogFiles(dir.path(), now), 1);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("old.log"))));
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("recent.log"))));
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("old.txt"))));
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("old.log.bak"))));
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("x.log"))).isDir());

    QCOMPARE(HostLog::pruneOldLogFiles(dir.filePath(QStringLiteral("missing")), now), 0);
}

QTEST_GUILESS_MAIN(TestHostLog)
#include "tst_hostlog.moc"
