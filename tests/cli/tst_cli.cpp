// marrowin-cli as a user runs it: exit codes, texts and JSON of its commands,
// and the conversion's usage, progress lines, summary and exit status.

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <functional>
#include <sys/resource.h>

class TestCli : public QObject {
    Q_OBJECT

    QString m_enron;

    struct Run {
        int code = -1;
        QString out, err;
    };
    Run run(const QStringList& args, const std::function<void()>& inChild = {})
    {
        QProcess process;
        if (inChild)
            process.setChildProcessModifier(inChild);
        process.start(qEnvironmentVariable("MARROWIN_BUILD_DIR") + QStringLiteral("/bin/marrowin-cli"), args);
        Run r;
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return r;
        r.code = process.exitCode();
        r.out = QString::fromUtf8(process.readAllStandardOutput());
        r.err = QString::fromUtf8(process.readAllStandardError());
        return r;
    }

private slots:
    void initTestCase()
    {
        m_enron = qEnvironmentVariable("MARROWIN_ENRON_PST");
        QVERIFY2(QFile::exists(m_enron), "enron.pst is missing (fixture enron)");
    }

    void badUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("unknown command") << QStringList{"list", m_enron};
        QTest::newRow("tree without file") << QStringList{"tree"};
        QTest::newRow("items without folder") << QStringList{"items", m_enron};
        QTest::newRow("show with extra argument") << QStringList{"show", m_enron, "1", "2"};
        QTest::newRow("show with a word for id") << QStringList{"show", m_enron, "inbox"};
    }
    void badUsage()
    {
        QFETCH(QStringList, args);
        const Run r = run(args);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.startsWith(QStringLiteral("Usage: marrowin-cli")), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
    }

    void fileThatDoesNotOpen_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("step");
        QTest::newRow("missing") << QByteArray() << "pst_open";
        QTest::newRow("not a PST file") << QByteArray("plain text\n") << "pst_open";
    }
    void fileThatDoesNotOpen()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, step);
        const QString path = QDir::temp().filePath(QStringLiteral("cli-%1.pst").arg(QTest::currentDataTag()));
        QFile::remove(path);
        if (!content.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        Run r = run({"tree", path});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("Error opening file.\nFailed step: ") + step), qPrintable(r.err));
        r = run({"--json", "show", path, "5"});
        QCOMPARE(r.code, 1);
        const QJsonObject error = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(error.value("error").toString(), QStringLiteral("Error opening file."));
        QCOMPARE(error.value("step").toString(), step);
    }

    void treeItemsAndShow()
    {
        Run tree = run({"tree", m_enron});
        QCOMPARE(tree.code, 0);
        QVERIFY2(tree.out.startsWith(QStringLiteral("enron.pst (0 items) #")), qPrintable(tree.out));
        QVERIFY(tree.out.contains(QStringLiteral("\n  Top of Personal Folders (0 items) #32802\n")));
        QVERIFY(tree.out.contains(QStringLiteral("\n        Systems (7 items) #32994\n")));

        const QJsonObject json = QJsonDocument::fromJson(run({"--json", "tree", m_enron}).out.toUtf8()).object();
        QCOMPARE(json.value("name").toString(), QStringLiteral("enron.pst"));
        QCOMPARE(json.value("subfolders").toArray().first().toObject().value("id").toString(), QStringLiteral("32802"));

        const QString path = QStringLiteral("Top of Personal Folders/lokay-m/MLOKAY (Non-Privileged)/Systems");
        const Run byPath = run({"items", m_enron, path});
        QCOMPARE(byPath.code, 0);
        const QStringList lines = byPath.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 7);
        QCOMPARE(lines.first().split(QLatin1Char('\t')).size(), 5); // id, kind, title, subject, date
        QCOMPARE(run({"items", m_enron, "#32994"}).out, byPath.out);
        const QJsonArray records = QJsonDocument::fromJson(run({"--json", "items", m_enron, "#0x80e2"}).out.toUtf8()).array();
        QCOMPARE(records.size(), 7);
        QCOMPARE(records.first().toObject().value("kind").toString(), QStringLiteral("mail"));
        QCOMPARE(run({"items", m_enron, "Top of Personal Folders/Nowhere"}).code, 1);
        QCOMPARE(run({"items", m_enron, "#4242"}).code, 1);

        const QStringList first = lines.first().split(QLatin1Char('\t'));
        const Run show = run({"show", m_enron, first.at(0)});
        QCOMPARE(show.code, 0);
        QVERIFY(show.out.startsWith(QStringLiteral("id: %1\nkind: mail\ntitle: %2\nsubject: %3\n")
                                        .arg(first.at(0), first.at(2), first.at(3))));
        const QJsonObject record = QJsonDocument::fromJson(run({"--json", "show", m_enron, first.at(0)}).out.toUtf8()).object();
        QCOMPARE(record.value("subject").toString(), first.at(3));
        QVERIFY(record.value("fields").toObject().contains("sentDate"));
        QCOMPARE(run({"show", m_enron, "999999999"}).code, 1);
    }

    // check reads every folder and item as shown; a sound file has nothing skipped.
    void checkReadsEverything()
    {
        const Run check = run({"check", m_enron});
        QCOMPARE(check.code, 0);
        QVERIFY2(check.out.endsWith(QStringLiteral(" items, 0 damaged item(s) skipped\n")), qPrintable(check.out));
        const QJsonObject json = QJsonDocument::fromJson(run({"--json", "check", m_enron}).out.toUtf8()).object();
        QVERIFY(json.value("items").toInt() > 0);
        QCOMPARE(json.value("damaged").toInt(), 0);
        QVERIFY(json.value("damagedFolders").toArray().isEmpty());
        QVERIFY(check.out.startsWith(QStringLiteral("%1 folders, %2 items")
                                         .arg(json.value("folders").toInt())
                                         .arg(json.value("items").toInt())));
    }

    void convertUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("no output directory") << QStringList{"convert", m_enron} << "convert needs FILE and OUTDIR";
        QTest::newRow("unknown format") << QStringList{"convert", m_enron, "out", "--formats", "eml,pdf"}
                                        << "unknown format: pdf";
        QTest::newRow("mbox with others") << QStringList{"convert", m_enron, "out", "--formats=mbox,vcf"}
                                          << "mbox cannot be combined with other formats";
        QTest::newRow("formats without value") << QStringList{"convert", m_enron, "out", "--formats"}
                                               << "--formats needs a value";
        QTest::newRow("unknown option") << QStringList{"convert", m_enron, "out", "--fast"} << "unknown option: --fast";
    }
    void convertUsage()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const Run r = run(args);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.startsWith("marrowin-cli convert: " + message + "\nUsage: marrowin-cli"), qPrintable(r.err));
    }

    void convertHelp_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("program") << QStringList{"--help"};
        QTest::newRow("convert") << QStringList{"convert", "--help"};
    }
    void convertHelp()
    {
        QFETCH(QStringList, args);
        const Run r = run(args);
        QCOMPARE(r.code, 0);
        for (const char* text : {"marrowin-cli convert FILE OUTDIR [--formats LIST] [--folder FOLDER] [--keep-empty-folders]",
                                 "eml", "vcf", "ics2", "mbox", "NAME.sbd/", "--keep-empty-folders", "Exit status:",
                                 "  3    some items could not be converted"})
            QVERIFY2(r.out.contains(QLatin1String(text)), text);
    }

    // Not on a terminal: plain progress lines, then one summary line; the
    // exit status tells whether every item was written.
    void convertRun_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<qint64>("fileSizeLimit");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<bool>("progress");
        QTest::newRow("everything") << QStringList() << qint64(0) << 0
                                    << "Summary: eml 71 written, 0 failed; vcf 0 written, 0 failed; ics 0 written, "
                                       "0 failed; txt 0 written, 0 failed; ics2 0 written, 0 failed\n"
                                    << true;
        QTest::newRow("one folder as mbox") << QStringList{"--folder", "Top of Personal Folders/lokay-m/MLOKAY (Non-Privileged)/Systems", "--formats", "mbox"}
                                            << qint64(0) << 0 << "Summary: mbox 7 written, 0 failed\n" << true;
        QTest::newRow("files too large to write") << QStringList{"--formats", "eml"} << qint64(16 * 1024) << 3
                                                  << "Summary: eml " << true;
        QTest::newRow("nothing to convert") << QStringList{"--formats", "vcf"} << qint64(0) << 0
                                            << "Summary: vcf 0 written, 0 failed\n" << false;
    }
    void convertRun()
    {
        QFETCH(QStringList, extra);
        QFETCH(qint64, fileSizeLimit);
        QFETCH(int, code);
        QFETCH(QString, summary);
        QFETCH(bool, progress);
        const QString out = QDir::temp().filePath(QStringLiteral("convert-%1").arg(QTest::currentDataTag()));
        QDir(out).removeRecursively();
        const Run r = run(QStringList{"convert", m_enron, out} + extra, [fileSizeLimit] {
            if (fileSizeLimit > 0) {
                struct rlimit limit {rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
        });
        QCOMPARE(r.code, code);
        QVERIFY2(r.out.startsWith(summary) && r.out.count('\n') == 1, qPrintable(r.out));
        if (code == 3)
            QVERIFY2(!r.out.contains(" 0 failed"), qPrintable(r.out));
        if (!progress)
            QVERIFY(r.err.contains("No items to export."));
        else
            QVERIFY2(QRegularExpression("^(Emails: \\d+/\\d+\n)+$").match(r.err).hasMatch(), qPrintable(r.err));
    }

    void convertWhatCannotBeOpened()
    {
        QCOMPARE(run({"convert", QDir::temp().filePath("missing.pst"), QDir::temp().filePath("x")}).code, 1);
        QCOMPARE(run({"convert", m_enron, QDir::temp().filePath("x"), "--folder", "Nowhere"}).code, 1);
        QFile blocker(QDir::temp().filePath("a-file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const Run r = run({"convert", m_enron, blocker.fileName() + "/out"});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains("Cannot create the output directory"));
    }

    void logsThroughTheSharedSink()
    {
        QVERIFY(run({"tree", m_enron}).code == 0);
        QVERIFY(run({"tree", m_enron}).code == 0);
        QDir log(QDir::homePath() + QStringLiteral("/.local/state/Tarnwick/Marrowin/log"));
        QString all;
        for (const QString& name : log.entryList({QStringLiteral("*.log")}, QDir::Files)) {
            QFile f(log.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            all += QString::fromUtf8(f.readAll());
        }
        QVERIFY2(all.contains(QStringLiteral("[profile] pst index from cache: ")), qPrintable(all.right(2000)));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
