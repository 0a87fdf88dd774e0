// The export dialog driven from the choice of kinds to its finished page,
// with the output folder chosen through its seam instead of a modal file
// dialog: progress rows per kind, written and failed counts, cancelling,
// nothing to convert, the proposed folder name, and the Convert button of
// the module widget opening it on the selected file.

#include "sorrel/shell/PstSession.h"
#include "sorrel/export/ExportManager.h"
#include "sorrel/export/PstExportDialog.h"
#include "sorrel/shell/PstViewWidget.h"
#include "sorrel/store/PstDocument.h"
#include "sorrel/store/PstTreeController.h"
#include "sorrel/store/PstTreeViewFilterModel.h"

#include "PstWriter.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

using namespace pstw;

namespace {

const QDateTime kWhen(QDate(2024, 5, 1), QTime(9, 30), Qt::UTC);

// Texts of the dialog's labels with an object name (or all, for an empty one), in layout order.
QStringList labelTexts(QWidget* dialog, const QString& objectName = {})
{
    QStringList texts;
    for (QLabel* label : dialog->findChild<QWidget*>(QStringLiteral("progressBox"))->findChildren<QLabel*>()) {
        if (objectName.isEmpty() ? label->objectName().isEmpty() : label->objectName() == objectName)
            texts << label->text();
    }
    return texts;
}

QStringList filesBelow(const QString& dir)
{
    QStringList files;
    for (QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        files << QDir(dir).relativeFilePath(it.next());
    files.sort();
    return files;
}

// Loads every folder, as the background loader's forest is.
void loadAll(const PstFolderItemPtr& folder)
{
    folder->loadChildren();
    for (const auto& sub : folder->subfolders())
        loadAll(sub);
}

void checkOnly(QWidget* dialog, const QStringList& boxes)
{
    for (QCheckBox* box : dialog->findChild<QWidget*>(QStringLiteral("convertBox"))->findChildren<QCheckBox*>())
        box->setChecked(boxes.contains(box->objectName()));
}

bool waitFinished(QWidget* dialog)
{
    auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("okBtn"));
    return QTest::qWaitFor([&] { return ok->isVisible() && ok->text() == QLatin1String("Show in Explorer"); }, 60000);
}

} // namespace

class TestExportDialog : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_store;      // every kind, an empty folder; a name to clean
    QString m_mailsOnly;  // two mails
    PstDocument m_document;
    PstFolderItemPtr m_root;

    // A dialog on m_store whose folder choice answers target (and records the proposal).
    PstExportDialog* makeDialog(const QString& target, QString* proposed = nullptr)
    {
        auto* dialog = new PstExportDialog(1);
        dialog->prepare(m_root);
        dialog->setFolderChooser([=](QWidget*, const QString& path) {
            if (proposed)
                *proposed = path;
            return target;
        });
        dialog->setFolderOpener([](const QString&) { return true; });
        dialog->show();
        return dialog;
    }

private slots:
    // Every module widget starts from no saved workspace (the test's HOME
    // outlives a run).
    void init() { QFile::remove(pstsession::sessionPathFor()); }
    void initTestCase();
    void suggestedName_data();
    void suggestedName();
    void convertsToFinishedPage();
    void kindsAndFailures_data();
    void kindsAndFailures();
    void cancellingAndNothingToConvert();
    void progressAndEmptyFolders();
    void convertButtonOpensDialogOnSelectedFile();
};

void TestExportDialog::initTestCase()
{
    m_store = m_dir.filePath(QStringLiteral("Box: A*B?.pst"));
    {
        PstWriter w(m_store);
        const FolderId inbox = w.addFolder(w.ipmSubtree(), QStringLiteral("Inbox"));
        w.addFolder(inbox, QStringLiteral("Empty"));
        for (const char* subject : {"First", "Second"}) {
            MessageSpec m;
            m.subject = QLatin1String(subject);
            m.body = QStringLiteral("body");
            m.sent = m.received = kWhen;
            w.addMessage(inbox, m);
        }
        ContactSpec c;
        c.givenName = QStringLiteral("Jane");
        c.surname = QStringLiteral("Doe");
        w.addContact(w.addFolder(w.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact")), c);
        AppointmentSpec a;
        a.subject = QStringLiteral("Meeting");
        a.start = kWhen;
        a.end = kWhen.addSecs(3600);
        w.addAppointment(w.addFolder(w.ipmSubtree(), QStringLiteral("Calendar"), QStringLiteral("IPF.Appointment")), a);
        JournalSpec j;
        j.subject = QStringLiteral("Call");
        j.start = kWhen;
        j.end = kWhen.addSecs(600);
        w.addJournal(w.addFolder(w.ipmSubtree(), QStringLiteral("Journal"), QStringLiteral("IPF.Journal")), j);
        NoteSpec n;
        n.subject = QStringLiteral("Sticky");
        n.body = QStringLiteral("Sticky");
        w.addNote(w.addFolder(w.ipmSubtree(), QStringLiteral("Notes"), QStringLiteral("IPF.StickyNote")), n);
        QVERIFY(w.finish());
    }
    m_mailsOnly = m_dir.filePath(QStringLiteral("mails.pst"));
    {
        PstWriter w(m_mailsOnly);
        MessageSpec m;
        m.subject = QStringLiteral("Only mail");
        w.addMessage(w.addFolder(w.ipmSubtree(), QStringLiteral("Inbox")), m);
        QVERIFY(w.finish());
    }
    QVERIFY(m_document.open(m_store));
    m_root = m_document.parse(m_store);
    QVERIFY(m_root);
    loadAll(m_root);
}

void TestExportDialog::suggestedName_data()
{
    QTest::addColumn<QString>("rootName");
    QTest::addColumn<QString>("expected");
    const QString stamp = QStringLiteral(" 2024-05-01_09-30-00");
    QTest::newRow("plain") << "Personal Folders" << "Personal Folders" + stamp;
    QTest::newRow("characters files cannot hold") << "Box: A*B?/C\\D|\"E\".pst" << "Box_ A_B__C_D__E_.pst" + stamp;
    QTest::newRow("line break") << "two\r\nlines" << "twolines" + stamp;
    QTest::newRow("dot dot") << ".." << "_" + stamp;
    QTest::newRow("empty") << "" << "_" + stamp;
    QTest::newRow("too long") << QString(300, QChar(0x00E9)) << QString(117, QChar(0x00E9)) + stamp;
}

void TestExportDialog::suggestedName()
{
    QFETCH(QString, rootName);
    QFETCH(QString, expected);
    const QString name = PstExportDialog::suggestedFolderName(rootName, QDateTime(kWhen.date(), kWhen.time()));
    QCOMPARE(name, expected);
    QVERIFY(name.toUtf8().size() <= 255);
}

void TestExportDialog::convertsToFinishedPage()
{
    const QString target = m_dir.filePath(QStringLiteral("out/converted"));
    QString proposed;
    QPointer<PstExportDialog> dialog = makeDialog(target, &proposed);
    const QString startLocation = PstExportDialog::lastLocation();
    QString opened;
    dialog->setFolderOpener([&](const QString& folder) {
        opened = folder;
        return true;
    });
    auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("okBtn"));
    auto* pages = dialog->findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Conversion"));
    QVERIFY(ok->isEnabled());
    QCOMPARE(dialog->root()->title(), QStringLiteral("Box: A*B?.pst"));
    QVERIFY(dialog->root() != m_root);  // a copy

    ok->click();
    QVERIFY2(proposed.startsWith(startLocation + QStringLiteral("/Box_ A_B_.pst 2")), qPrintable(proposed));
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("progressPage"));
    QCOMPARE(labelTexts(dialog),
             (QStringList{"Converting Emails", "Converting Contacts", "Converting Appointment", "Converting Note",
                          "Converting Journal"}));
    QVERIFY(!ok->isVisible());
    QVERIFY(waitFinished(dialog));

    QCOMPARE(labelTexts(dialog, QStringLiteral("resultLabel")),
             (QStringList{"2 written, 0 failed", "1 written, 0 failed", "1 written, 0 failed", "1 written, 0 failed",
                          "1 written, 0 failed"}));
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("summaryLabel"))->text(),
             QStringLiteral("Conversion finished: 6 item(s) written."));
    const QStringList files = filesBelow(target);
    QCOMPARE(files.size(), 6);
    QCOMPARE(files.filter(QStringLiteral(".eml")).size(), 2);
    QVERIFY2(!QFileInfo::exists(target + QStringLiteral("/Inbox/Empty")), "an empty folder was kept");
    QCOMPARE(PstExportDialog::lastLocation(), m_dir.filePath(QStringLiteral("out")));

    ok->click();  // Show in Explorer
    QCOMPARE(opened, target);
    QTRY_VERIFY(!dialog);
}

void TestExportDialog::kindsAndFailures_data()
{
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<bool>("blocked");  // a file stands where the output folder goes
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QStringList>("results");
    QTest::addColumn<QString>("summary");
    QTest::newRow("only journal") << QStringList{"ics2CheckBox"} << false << QStringList{"Converting Journal"}
                                  << QStringList{"1 written, 0 failed"}
                                  << "Conversion finished: 1 item(s) written.";
    QTest::newRow("mailboxes") << QStringList{"mboxCheckBox"} << false << QStringList{"Converting Emails"}
                               << QStringList{"2 written, 0 failed"} << "Conversion finished: 2 item(s) written.";
    QTest::newRow("output folder cannot be made")
        << QStringList{"emlCheckBox", "txtCheckBox"} << true << QStringList{"Converting Emails", "Converting Note"}
        << QStringList{"0 written, 2 failed", "0 written, 1 failed"}
        << "Conversion finished with errors: 0 item(s) written, 3 failed.";
}

void TestExportDialog::kindsAndFailures()
{
    QFETCH(QStringList, boxes);
    QFETCH(bool, blocked);
    QFETCH(QStringList, captions);
    QFETCH(QStringList, results);
    QFETCH(QString, summary);
    const QString target = m_dir.filePath(QStringLiteral("kinds/%1/out").arg(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(QFileInfo(target).absolutePath()));
    if (blocked) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QPointer<PstExportDialog> dialog = makeDialog(target);
    checkOnly(dialog, boxes);
    dialog->findChild<QPushButton*>(QStringLiteral("okBtn"))->click();
    QCOMPARE(labelTexts(dialog), captions);
    QVERIFY(waitFinished(dialog));
    QCOMPARE(labelTexts(dialog, QStringLiteral("resultLabel")), results);
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("summaryLabel"))->text(), summary);
    if (!blocked)
        QCOMPARE(filesBelow(target).size(), dialog->manager()->results().first().written);
    dialog->findChild<QPushButton*>(QStringLiteral("cancelBtn"))->click();  // now "Close"
    QTRY_VERIFY(!dialog);
}

void TestExportDialog::cancellingAndNothingToConvert()
{
    // Before Convert: Cancel closes.
    QPointer<PstExportDialog> dialog = makeDialog(m_dir.filePath(QStringLiteral("never")));
    dialog->findChild<QPushButton*>(QStringLiteral("cancelBtn"))->click();
    QTRY_VERIFY(!dialog);
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("never"))));

    // During the conversion: the dialog stays, reaches its finished page, and closes.
    dialog = makeDialog(m_dir.filePath(QStringLiteral("cancelled")));
    auto* cancel = dialog->findChild<QPushButton*>(QStringLiteral("cancelBtn"));
    dialog->findChild<QPushButton*>(QStringLiteral("okBtn"))->click();
    QVERIFY(dialog->manager()->isExporting());
    cancel->click();
    QVERIFY(dialog);
    QVERIFY(waitFinished(dialog));
    QVERIFY2(dialog->findChild<QLabel*>(QStringLiteral("summaryLabel"))->text().startsWith(
                 QLatin1String("Conversion cancelled:")),
             qPrintable(dialog->findChild<QLabel*>(QStringLiteral("summaryLabel"))->text()));
    QCOMPARE(cancel->text(), QStringLiteral("Close"));
    cancel->click();
    QTRY_VERIFY(!dialog);

    // No kind chosen: nothing to start.
    dialog = makeDialog(m_dir.filePath(QStringLiteral("none")));
    checkOnly(dialog, {});
    QVERIFY(!dialog->findChild<QPushButton*>(QStringLiteral("okBtn"))->isEnabled());
    delete dialog;

    // Only notes, in a file of mails: the message, and the dialog stays on its first page.
    PstDocument mails;
    QVERIFY(mails.open(m_mailsOnly));
    dialog = new PstExportDialog(1);
    dialog->prepare(mails.parse(m_mailsOnly));
    dialog->setFolderChooser([&](QWidget*, const QString&) { return m_dir.filePath(QStringLiteral("notes")); });
    dialog->show();
    checkOnly(dialog, {QStringLiteral("txtCheckBox")});
    dialog->findChild<QPushButton*>(QStringLiteral("okBtn"))->click();
    auto* box = dialog->findChild<QMessageBox*>();
    QVERIFY(box && box->isVisible());
    QCOMPARE(box->text(), QStringLiteral("No items to export."));
    QCOMPARE(box->windowTitle(), QStringLiteral("Export Error"));
    box->accept();
    QCOMPARE(dialog->findChild<QStackedWidget*>(QStringLiteral("stackedWidget"))->currentWidget()->objectName(),
             QStringLiteral("exportPage"));
    QVERIFY(!dialog->findChild<QPushButton*>(QStringLiteral("okBtn"))->isVisible());
    dialog->findChild<QPushButton*>(QStringLiteral("cancelBtn"))->click();
    QTRY_VERIFY(!dialog);
}

void TestExportDialog::progressAndEmptyFolders()
{
    PstExportDialog* dialog = makeDialog(QString());
    // A late, smaller count does not move a bar back.
    auto reporter = std::make_shared<ProgressReporter>();
    emit dialog->manager()->progressReady(QStringLiteral("Emails"), reporter, 10);
    reporter->onProgress(5);
    reporter->onProgress(3);
    auto* bar = dialog->findChild<QProgressBar*>();
    QVERIFY(bar);
    QCOMPARE(bar->value(), 5);
    QCOMPARE(bar->maximum(), 10);

    // Empty folders: hidden from the tree and the output while the box is checked.
    PstTreeController* tree = dialog->treeController();
    auto* proxy = tree->proxy();
    const QModelIndex top = proxy->index(0, 0, proxy->index(0, 0));
    QPersistentModelIndex inbox;  // survives the filter's change
    for (int r = 0; r < proxy->rowCount(top); ++r) {
        if (proxy->index(r, 0, top).data().toString().startsWith(QLatin1String("Inbox")))
            inbox = proxy->index(r, 0, top);
    }
    QVERIFY(inbox.isValid());
    QCOMPARE(proxy->rowCount(inbox), 0);
    auto* ignore = dialog->findChild<QCheckBox*>(QStringLiteral("ignoreFolderCheckBox"));
    ignore->click();
    QVERIFY(!ignore->isChecked());
    QCOMPARE(proxy->rowCount(inbox), 1);
    QVERIFY(!dialog->manager()->ignoreEmptyFolders());
    delete dialog;
}

void TestExportDialog::convertButtonOpensDialogOnSelectedFile()
{
    PstViewWidget widget;
    widget.show();
    auto* convert = widget.findChild<QToolButton*>(QStringLiteral("convertBtn"));
    QSignalSpy drained(widget.tree(), &PstTreeController::openQueueFinished);
    widget.openFile(m_mailsOnly);
    QVERIFY(drained.wait(30000));
    QVERIFY(convert->isEnabled());
    convert->click();
    QPointer<PstExportDialog> dialog = widget.findChild<PstExportDialog*>();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible() && dialog->isModal());
    QCOMPARE(dialog->mode(), 1);
    QCOMPARE(dialog->root()->title(), QStringLiteral("mails.pst"));
    QVERIFY(dialog->root() != widget.tree()->currentFileNode());
    QCOMPARE(dialog->treeController()->fileCount(), 1);
    QVERIFY(!dialog->treeController()->backgroundEnabled());
    dialog->close();
    QTRY_VERIFY(!dialog);

    // Once the background run has its forest, the dialog starts from a copy of it.
    QTRY_VERIFY_WITH_TIMEOUT(widget.tree()->prebuiltTreeFor(m_mailsOnly), 30000);
    convert->click();
    dialog = widget.findChild<PstExportDialog*>();
    QVERIFY(dialog);
    QVERIFY(dialog->root() != widget.tree()->prebuiltTreeFor(m_mailsOnly));
    QCOMPARE(dialog->root()->title(), QStringLiteral("mails.pst"));
    QVERIFY(!dialog->treeController()->backgroundEnabled());
    dialog->close();
    QTRY_VERIFY(!dialog);
}

QTEST_MAIN(TestExportDialog)
#include "tst_exportdialog.moc"
