// A fixed-seed corpus of damaged PST files (pstmutate's kinds, on the demo
// mailbox and generated mailboxes in both formats) run through each stage of
// marrowin-cli: no crash (signal or sanitizer report) and no hang. A damaged
// file may fail to open or lose items; that is the point. Prints a table of
// outcomes per mutation kind.
//
// A stage is one line of kStages; a stage whose subcommand marrowin-cli does
// not offer yet is skipped. MARROWIN_MUTANTS_PER_KIND overrides the number of
// seeds; MARROWIN_MUTANT_SOURCES adds PST files (colon-separated) to mutate.

#include "PstMutate.h"

#include <QDir>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Stage {
    const char* name;
    QStringList args;  // {pst} is the mutant, {out} an empty directory
};

const Stage kStages[] = {
    {"check", {"check", "{pst}"}},  // open, load every folder, show every item
    {"index", {"index", "{pst}"}},  // the search index build
    {"convert", {"convert", "{pst}", "{out}"}},
};

constexpr int kDefaultSeeds = 16;
constexpr int kStageTimeoutMs = 120000;
// Sanitizers report through these exit codes (set in the environment below).
constexpr int kAsanExit = 86;
constexpr int kUbsanExit = 87;

QString buildPath(const QString& relative)
{
    return qEnvironmentVariable("MARROWIN_BUILD_DIR") + QLatin1Char('/') + relative;
}

} // namespace

class TestMutantCorpus : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_sources;
    QList<const Stage*> m_stages;

    bool runPstgen(const QStringList& args)
    {
        QProcess p;
        p.start(buildPath(QStringLiteral("bin/pstgen")), args);
        return p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    enum class Outcome { Clean, Crash, Hang };

    // report gets the sanitizer's or the stage's own output.
    Outcome runStage(const Stage& stage, const QString& pst, QString& report)
    {
        QTemporaryDir out;
        QStringList args;
        for (QString a : stage.args)
            args << a.replace(QLatin1String("{pst}"), pst).replace(QLatin1String("{out}"), out.path());
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // The suite's sanitizer options (suppressions among them), with exit
        // codes of our own so that a report is told from a refused file.
        auto withExit = [&](const char* name, const QString& own) {
            const QString inherited = env.value(QLatin1String(name));
            env.insert(QLatin1String(name), inherited.isEmpty() ? own : inherited + QLatin1Char(':') + own);
        };
        withExit("ASAN_OPTIONS", QStringLiteral("exitcode=%1:detect_leaks=0:allocator_may_return_null=1").arg(kAsanExit));
        withExit("UBSAN_OPTIONS", QStringLiteral("halt_on_error=1:exitcode=%1:print_stacktrace=1").arg(kUbsanExit));
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(buildPath(QStringLiteral("bin/marrowin-cli")), args);
        if (!p.waitForFinished(kStageTimeoutMs)) {
            p.kill();
            p.waitForFinished();
            return Outcome::Hang;
        }
        const int code = p.exitCode();
        report = QString::fromLocal8Bit(p.readAll());
        if (p.exitStatus() == QProcess::NormalExit && code != kAsanExit && code != kUbsanExit)
            return Outcome::Clean;
        report = report.right(4000);
        return Outcome::Crash;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString demo = m_dir.filePath(QStringLiteral("demo.pst"));
        const QString demoAnsi = m_dir.filePath(QStringLiteral("demo-ansi.pst"));
        const QString mixed = m_dir.filePath(QStringLiteral("mixed.pst"));
        const QString mixedAnsi = m_dir.filePath(QStringLiteral("mixed-ansi.pst"));
        const QStringList mix{"--mails", "40", "--folders", "2", "--body-size", "3000", "--attach-every", "4",
                              "--attach-size", "9000", "--contacts", "4", "--appointments", "4", "--tasks", "4",
                              "--journal", "4", "--notes", "4"};
        QVERIFY(runPstgen({"--demo", demo}));
        QVERIFY(runPstgen({"--demo", demoAnsi, "--ansi", "--compressible"}));
        QVERIFY(runPstgen(QStringList{"--out", mixed} + mix));
        QVERIFY(runPstgen(QStringList{"--out", mixedAnsi, "--ansi", "--compressible"} + mix));
        m_sources = {demo, demoAnsi, mixed, mixedAnsi};
        for (const QString& extra : qEnvironmentVariable("MARROWIN_MUTANT_SOURCES").split(QLatin1Char(':'), Qt::SkipEmptyParts))
            m_sources << extra;

        QProcess usage;
        usage.start(buildPath(QStringLiteral("bin/marrowin-cli")), {});
        QVERIFY(usage.waitForFinished(60000));
        const QString text = QString::fromLocal8Bit(usage.readAllStandardError());
        for (const Stage& stage : kStages) {
            if (text.contains(QLatin1Char(' ') + QLatin1String(stage.name) + QLatin1Char(' ')))
                m_stages << &stage;
            else
                qInfo("stage %s skipped: marrowin-cli has no such subcommand yet", stage.name);
        }
        QVERIFY(!m_stages.isEmpty());
    }

    // The sound sources pass every stage: the corpus measures damage, not the stages.
    void soundSources()
    {
        for (const QString& source : std::as_const(m_sources)) {
            for (const Stage* stage : std::as_const(m_stages)) {
                QString report;
                QCOMPARE(int(runStage(*stage, source, report)), int(Outcome::Clean));
            }
        }
    }

    void corpus()
    {
        const int seeds = qEnvironmentVariableIsSet("MARROWIN_MUTANTS_PER_KIND")
            ? qEnvironmentVariableIntValue("MARROWIN_MUTANTS_PER_KIND")
            : kDefaultSeeds;
        // Besides crashes and hangs: mutants that no longer open, and those
        // that open with items skipped as damaged (the check stage says so).
        struct Tally { int mutants = 0, crashes = 0, hangs = 0, unopened = 0, skipping = 0; };
        static const QRegularExpression skipped(QStringLiteral("([1-9][0-9]*) damaged item\\(s\\) skipped\n$"));
        QMap<QString, Tally> byKind;
        QStringList failures;
        const QString mutant = m_dir.filePath(QStringLiteral("mutant.pst"));
        for (const QString& source : std::as_const(m_sources)) {
            const auto layout = pstmutate::readLayout(source);
            QVERIFY2(layout, qPrintable(source));
            QFile in(source);
            QVERIFY(in.open(QIODevice::ReadOnly));
            const QByteArray bytes = in.readAll();
            for (pstmutate::Kind kind : pstmutate::allKinds()) {
                Tally& tally = byKind[pstmutate::kindName(kind)];
                for (int seed = 1; seed <= seeds; ++seed) {
                    QFile out(mutant);
                    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
                    out.write(pstmutate::mutate(bytes, *layout, kind, uint32_t(seed)));
                    out.close();
                    // Each mutant starts without an index cache.
                    QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
                         + QStringLiteral("/Tarnwick"))
                        .removeRecursively();
                    ++tally.mutants;
                    for (const Stage* stage : std::as_const(m_stages)) {
                        QString report;
                        const Outcome o = runStage(*stage, mutant, report);
                        if (o == Outcome::Clean && stage == m_stages.first()) {
                            tally.unopened += report.contains(QLatin1String("Error opening file.")) ? 1 : 0;
                            tally.skipping += skipped.match(report).hasMatch() ? 1 : 0;
                        }
                        if (o == Outcome::Clean)
                            continue;
                        (o == Outcome::Crash ? tally.crashes : tally.hangs)++;
                        const QString name = QStringLiteral("%1 %2 seed %3 stage %4")
                                                 .arg(QFileInfo(source).fileName(), pstmutate::kindName(kind))
                                                 .arg(seed)
                                                 .arg(QLatin1String(stage->name));
                        failures << name;
                        qWarning("%s: %s\n%s", qPrintable(name), o == Outcome::Crash ? "crash" : "hang",
                                 qPrintable(report));
                        break;
                    }
                }
            }
        }
        int total = 0;
        for (auto it = byKind.cbegin(); it != byKind.cend(); ++it) {
            qInfo("%-9s mutants %4d  crashes %3d  hangs %3d  not opened %3d  opened with items skipped %3d",
                  qPrintable(it.key()), it->mutants, it->crashes, it->hangs, it->unopened, it->skipping);
            total += it->mutants;
        }
        qInfo("total mutants %d", total);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1String("; "))));
    }
};

QTEST_GUILESS_MAIN(TestMutantCorpus)
#include "tst_mutantcorpus.moc"
