// The logging sink: one .log file, every line in call order, safe from many
// threads, on disk after FlushBuffer.
#include <Corbelin/SupportFoundation.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <thread>
#include <vector>

class TestLogConfig : public QObject {
    Q_OBJECT

private slots:
    void linesBeforeInitializationAreKeptAndFilesEndInLog();
    void concurrentLinesAllArriveInCallOrder();
    void initializeRejectsMissingDirectory();

private:
    QStringList readLines() const
    {
        QFile file(QString::fromStdString(Corbelin::ILogConfig::CurrentLogFile()));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QTemporaryDir dir;
};

void TestLogConfig::linesBeforeInitializationAreKeptAndFilesEndInLog()
{
    QVERIFY(Corbelin::ILogConfig::CurrentLogFile().empty());
    Corbelin::ILogConfig::Info("early line");
    QVERIFY(Corbelin::ILogConfig::InitializeLogConfig(dir.path().toStdString()));
    Corbelin::ILogConfig::Info("info \xC3\xA9t\xC3\xA9");
    Corbelin::ILogConfig::Warning("warning line");
    Corbelin::ILogConfig::Fatal("fatal line");
    Corbelin::ILogConfig::FlushBuffer();

    const QString path = QString::fromStdString(Corbelin::ILogConfig::CurrentLogFile());
    QCOMPARE(QFileInfo(path).absolutePath(), QDir(dir.path()).absolutePath());
    QVERIFY(path.endsWith(QLatin1String(".log")));
    const QStringList lines = readLines();
    QCOMPARE(lines.size(), 4);
    // Each line: a time stamp, one blank, the text as given.
    const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "));
    const QStringList texts = {QStringLiteral("early line"), QString::fromUtf8("info été"),
                               QStringLiteral("warning line"), QStringLiteral("fatal line")};
    for (int i = 0; i < lines.size(); ++i) {
        QVERIFY2(stamp.match(lines[i]).hasMatch(), qPrintable(lines[i]));
        QCOMPARE(lines[i].mid(24), texts[i]);
    }
}

void TestLogConfig::concurrentLinesAllArriveInCallOrder()
{
    const qsizetype before = readLines().size();
    constexpr int kThreads = 8;
    constexpr int kLines = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                Corbelin::ILogConfig::Info("thread " + std::to_string(t) + " line " + std::to_string(i));
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    Corbelin::ILogConfig::FlushBuffer();

    const QStringList lines = readLines().mid(before);
    QCOMPARE(lines.size(), kThreads * kLines);
    // Whole lines only, and each thread's lines in the order it logged them.
    std::vector<int> next(kThreads, 0);
    const QRegularExpression pattern(QStringLiteral("^\\S+ \\S+ thread (\\d+) line (\\d+)$"));
    for (const QString& line : lines) {
        const QRegularExpressionMatch m = pattern.match(line);
        QVERIFY2(m.hasMatch(), qPrintable(line));
        const int t = m.captured(1).toInt();
        QCOMPARE(m.captured(2).toInt(), next[t]);
        ++next[t];
    }
}

void TestLogConfig::initializeRejectsMissingDirectory()
{
    const std::string current = Corbelin::ILogConfig::CurrentLogFile();
    QVERIFY(!Corbelin::ILogConfig::InitializeLogConfig((dir.path() + QStringLiteral("/missing")).toStdString()));
    QVERIFY(!Corbelin::ILogConfig::InitializeLogConfig(std::string()));
    QCOMPARE(Corbelin::ILogConfig::CurrentLogFile(), current);
}

QTEST_GUILESS_MAIN(TestLogConfig)
#include "tst_logconfig.moc"
