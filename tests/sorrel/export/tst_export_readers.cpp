// Real and demo mailboxes converted by marrowin-cli and read back with the
// standard readers: Python's email package for .eml, icalendar and vobject
// for .ics and .vcf. No reader may find a problem, and every named
// attachment comes back with the bytes the PST file holds.

#include "ExportTestSupport.h"

#include "sorrel/export/ExportNaming.h"
#include "sorrel/export/writers/PstAttachmentIo.h"
#include "sorrel/export/writers/WriterSupport.h"
#include "sorrel/store/PstLibrary.h"
#include "sorrel/store/PstSafeParse.h"

#include <QCryptographicHash>
#include <QtTest>

using namespace exporttest;

namespace {

using Attachments = QMap<QString, QStringList>;  // folder directory -> "name sha256" of each attachment

// The named attachments of every mail of the tree, read with libpst, by the
// directory the export gives their folder.
void pstAttachments(pst_file* pf, const PstFolderItemPtr& folder, const QString& directory, Attachments& out)
{
    folder->loadChildren();
    QMutexLocker lock(&pstLibraryMutex());
    for (const auto& record : folder->items()) {
        if (record->kind() != PstItemKind::Mail)
            continue;
        pst_item* item = pstParseItemChecked(pf, record->descriptor());
        if (!item)
            continue;
        for (pst_item_attach* a = item->attach; a; a = a->next) {
            QByteArray name = writersupport::utf8Of(item, a->filename2);
            if (name.isEmpty())
                name = writersupport::utf8Of(item, a->filename1);
            if (a->method == PST_ATTACH_EMBEDDED || name.isEmpty() || !pstattachments::hasData(pf, a))
                continue;
            const QByteArray digest = QCryptographicHash::hash(pstattachments::bytes(pf, a), QCryptographicHash::Sha256);
            out[directory] << QString::fromUtf8(name) + ' ' + QString::fromLatin1(digest.toHex());
        }
        pst_freeItem(item);
    }
    lock.unlock();
    for (const auto& sub : folder->subfolders())
        pstAttachments(pf, sub, directory + '/' + exportnaming::folderName(sub->title()), out);
}

// The same from what the readers found in the .eml files, without the parts
// the writer adds (the RTF body, the calendar of a meeting request).
Attachments exportedAttachments(const QJsonObject& files)
{
    Attachments out;
    static const QRegularExpression meetingPart(QStringLiteral("^i\\d+\\.ics$"));
    for (auto it = files.begin(); it != files.end(); ++it) {
        if (!it.key().endsWith(".eml"))
            continue;
        const QString directory = QFileInfo('/' + it.key()).path();
        for (const QJsonValue& a : it.value().toObject().value("attachments").toArray()) {
            const QString name = a.toArray().at(0).toString();
            if (name != "rtf-body.rtf" && !meetingPart.match(name).hasMatch())
                out[directory] << name + ' ' + a.toArray().at(1).toString();
        }
    }
    return out;
}

QString runTool(const QString& tool, const QStringList& args, int* exitCode)
{
    QProcess process;
    process.start(qEnvironmentVariable("MARROWIN_BUILD_DIR") + "/bin/" + tool, args);
    *exitCode = process.waitForFinished(300000) && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

} // namespace

class TestExportReaders : public QObject {
    Q_OBJECT

private slots:
    void mailboxesReadBackWithoutProblems_data()
    {
        QTest::addColumn<QString>("path");
        const QString demo = QDir::temp().filePath("demo.pst");
        int code = -1;
        runTool("pstgen", {"--demo", demo}, &code);
        QCOMPARE(code, 0);
        QTest::newRow("demo") << demo;
        QTest::newRow("enron") << qEnvironmentVariable("MARROWIN_ENRON_PST");
        QTest::newRow("ost 1") << qEnvironmentVariable("MARROWIN_OST_1");
        QTest::newRow("ost 2") << qEnvironmentVariable("MARROWIN_OST_2");
    }
    void mailboxesReadBackWithoutProblems()
    {
        QFETCH(QString, path);
        QVERIFY2(QFile::exists(path), qPrintable(path));
        const QString out = QDir::temp().filePath(QStringLiteral("readers-%1").arg(QTest::currentDataTag()).replace(' ', '-'));
        QDir(out).removeRecursively();
        int code = -1;
        const QString output = runTool("marrowin-cli", {"convert", path, out}, &code);
        QVERIFY2(code == 0, qPrintable(output));

        const QJsonObject files = readBack(out);
        QVERIFY(!files.isEmpty());
        const QStringList problems = problemsOf(files);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));

        PstDocument document;
        const PstFolderItemPtr file = openPst(document, path);
        QVERIFY(file);
        Attachments expected;
        pstAttachments(document.handle().get(), file, QString(), expected);
        QVERIFY(!expected.isEmpty());
        const Attachments got = exportedAttachments(files);
        QCOMPARE(got.keys(), expected.keys());
        for (auto it = expected.begin(); it != expected.end(); ++it) {
            QStringList want = it.value();
            QStringList have = got.value(it.key());
            want.sort();
            have.sort();
            QCOMPARE(have, want);
        }
    }
};

QTEST_GUILESS_MAIN(TestExportReaders)
#include "tst_export_readers.moc"
