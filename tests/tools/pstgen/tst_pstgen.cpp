// pstgen's files checked by two independent readers: pff-tools (pffinfo,
// pffexport) and libpst must accept them and find every item written.
#include "LibpstRead.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestPstgen : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    static QString pstgen() { return qEnvironmentVariable("MARROWIN_BUILD_DIR") + QStringLiteral("/bin/pstgen"); }

    // Runs a program; returns its standard output, or a null array when it fails.
    static QByteArray run(const QString &program, const QStringList &args, int timeoutMs = 300000)
    {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            qWarning().noquote() << program << args.join(QLatin1Char(' ')) << "failed:" << p.readAllStandardError();
            return {};
        }
        QByteArray out = p.readAllStandardOutput();
        return out.isNull() ? QByteArray("") : out;
    }

    static int field(const QByteArray &out, const char *name)
    {
        const QRegularExpression re(QStringLiteral("%1 (\\d+)").arg(QLatin1String(name)));
        const auto m = re.match(QString::fromLatin1(out));
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }

    // Items pffexport wrote: item directories of folders (not inside attachments), and attachment files.
    static void countExport(const QString &dir, int &items, int &attachmentFiles)
    {
        items = attachmentFiles = 0;
        static const QRegularExpression itemDir(QStringLiteral("^[A-Za-z]+\\d{5}$"));
        QDirIterator it(dir, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString rel = QDir(dir).relativeFilePath(path);
            if (rel.contains(QLatin1String("Attachments/")) || rel.contains(QLatin1String("Recipients")))
                continue;
            if (it.fileName() == QLatin1String("Attachments"))
                attachmentFiles += int(QDir(path).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).size());
            else if (itemDir.match(it.fileName()).hasMatch())
                ++items;
        }
    }

    static int countLibpst(LibpstFile &f, pst_desc_tree *d)
    {
        int n = 0;
        for (pst_desc_tree *c = d->child; c; c = c->next) {
            PstItemPtr item = f.parse(c);
            if (!item)
                continue;
            n += item->folder ? countLibpst(f, c) : 1;
        }
        return n;
    }

    void checkFile(const QString &file, int items, int attachments)
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pffexport")).isEmpty(),
                 "pffinfo/pffexport (Debian package pff-tools) are needed: scripts/deps.sh installs them");
        const QByteArray info = run(QStringLiteral("pffinfo"), {file});
        QVERIFY(info.contains("Personal Storage Tables"));
        const QString target = file + QStringLiteral(".x");
        QVERIFY(!run(QStringLiteral("pffexport"), {QStringLiteral("-q"), QStringLiteral("-t"), target, file}).isNull());
        int exported = 0, files = 0;
        countExport(target + QStringLiteral(".export"), exported, files);
        QCOMPARE(exported, items);
        if (attachments >= 0)
            QCOMPARE(files, attachments);

        LibpstFile f(file);
        QVERIFY(f.ok());
        PstItemPtr root = f.root();
        QVERIFY(root);
        pst_desc_tree *top = pst_getTopOfFolders(&f.pf, root.get());
        QVERIFY(top);
        QCOMPARE(countLibpst(f, top), items);
    }

private slots:
    void demo_data()
    {
        QTest::addColumn<QStringList>("flags");
        QTest::newRow("unicode") << QStringList();
        QTest::newRow("ansi-compressible") << QStringList({"--ansi", "--compressible"});
    }
    void demo()
    {
        QFETCH(QStringList, flags);
        const QString file = m_dir.filePath(QStringLiteral("demo-%1.pst").arg(QLatin1String(QTest::currentDataTag())));
        const QByteArray out = run(pstgen(), QStringList({"--demo", file}) + flags);
        QVERIFY(!out.isNull());
        const int items = field(out, "items");
        QVERIFY(items > 20);
        checkFile(file, items, -1);
    }

    void generated()
    {
        const QString file = m_dir.filePath(QStringLiteral("generated.pst"));
        const QByteArray out = run(pstgen(), {"--out", file, "--mails", "1500", "--folders", "3", "--attach-every", "5",
                                              "--contacts", "12", "--appointments", "9", "--tasks", "7", "--journal", "5",
                                              "--notes", "4", "--seed", "42"});
        QVERIFY(!out.isNull());
        QCOMPARE(field(out, "items"), 1500 + 12 + 9 + 7 + 5 + 4);
        QCOMPARE(field(out, "attachments"), 300);
        checkFile(file, field(out, "items"), 300);
    }
};

QTEST_GUILESS_MAIN(TestPstgen)
#include "tst_pstgen.moc"
