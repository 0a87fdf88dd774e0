// The module widget wired to its controllers: a file opens (a broken one
// warns and the queue goes on), a folder lists its items, an item fills the
// detail pane, and closing the last file returns to the home page. The two
// Outlook 2013 offline folder files (.ost) as a user sees them.

#include "sorrel/shell/PstSession.h"
#include "sorrel/items/PstItem.h"
#include "sorrel/shell/PstViewWidget.h"
#include "sorrel/store/PstTreeController.h"
#include "sorrel/store/PstTreeModel.h"
#include "sorrel/store/PstTreeViewFilterModel.h"
#include "sorrel/views/DetailViewController.h"
#include "sorrel/views/PSTListView.h"
#include "sorrel/views/PstInfoView.h"
#include "sorrel/views/PstListRoles.h"

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

namespace {

// The first folder (depth first, in view order) that holds items.
QModelIndex firstFolderWithItems(PstTreeController* tree, const QModelIndex& parent = {})
{
    auto* proxy = tree->proxy();
    for (int r = 0; r < proxy->rowCount(parent); ++r) {
        const QModelIndex index = proxy->index(r, 0, parent);
        const QModelIndex source = proxy->mapToSource(index);
        if (proxy->canFetchMore(index))
            proxy->fetchMore(index);
        if (parent.isValid() && tree->model()->folderAt(source)->itemCount() > 0)
            return index;
        const QModelIndex below = firstFolderWithItems(tree, index);
        if (below.isValid())
            return below;
    }
    return {};
}

// The folder at a path of names below the file node at row fileRow, in view
// order; invalid when there is none.
QModelIndex folderByNames(PstTreeController* tree, int fileRow, const QStringList& names)
{
    auto* proxy = tree->proxy();
    QModelIndex at = proxy->index(fileRow, 0);
    for (const QString& name : names) {
        if (proxy->canFetchMore(at))
            proxy->fetchMore(at);
        QModelIndex next;
        for (int r = 0; r < proxy->rowCount(at) && !next.isValid(); ++r) {
            const QModelIndex child = proxy->index(r, 0, at);
            if (tree->model()->folderAt(proxy->mapToSource(child))->name() == name)
                next = child;
        }
        if (!next.isValid())
            return {};
        at = next;
    }
    return at;
}

// The list row whose subject starts with text; -1 when none.
int rowWithSubject(const QAbstractItemModel* list, const QString& text)
{
    for (int r = 0; r < list->rowCount(); ++r) {
        if (list->index(r, 0).data(PstListRoles::SubjectRole).toString().startsWith(text))
            return r;
    }
    return -1;
}

} // namespace

class TestViewWidget : public QObject {
    Q_OBJECT
private slots:
    // Every module widget starts from no saved workspace (the test's HOME
    // outlives a run).
    void init() { QFile::remove(pstsession::sessionPathFor()); }
    void opensListsShowsAndCloses();
    void offlineFolderFiles();
};

void TestViewWidget::opensListsShowsAndCloses()
{
    const QString enron = qEnvironmentVariable("MARROWIN_ENRON_PST");
    QVERIFY2(QFile::exists(enron), "MARROWIN_ENRON_PST does not name the enron.pst fixture");
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("mailbox.pst"));
    const QString broken = dir.filePath(QStringLiteral("broken.pst"));
    QVERIFY(QFile::copy(enron, good));
    QFile garbage(broken);
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(2048, '\0'));
    garbage.close();

    PstViewWidget widget;
    widget.resize(1024, 740);
    widget.show();
    auto* pages = widget.findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
    auto* detail = widget.findChild<QStackedWidget*>(QStringLiteral("stackedWidget_2"));
    auto* convert = widget.findChild<QToolButton*>(QStringLiteral("convertBtn"));
    auto* print = widget.findChild<QToolButton*>(QStringLiteral("printBtn"));
    auto* listView = widget.findChild<PSTListView*>(QStringLiteral("listView"));
    QVERIFY(pages && detail && convert && print && listView);
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("homePage"));
    QVERIFY(!convert->isEnabled() && !print->isEnabled());

    QSignalSpy access(&widget, &PstViewWidget::fileAccessRequested);
    QSignalSpy opened(&widget, &PstViewWidget::fileOpened);
    QSignalSpy failed(&widget, &PstViewWidget::fileOpenFailed);
    QSignalSpy closed(&widget, &PstViewWidget::fileClosed);
    QSignalSpy drained(widget.tree(), &PstTreeController::openQueueFinished);

    // The broken file's warning box is answered as soon as it shows.
    QString boxTitle, boxText;
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxTitle = box->windowTitle();
            boxText = box->text();
            box->accept();
        }
    });
    answer.start(20);
    widget.openFile(broken);
    widget.openFile(good);
    QVERIFY(drained.wait(60000));
    answer.stop();
    // The background run adopts its forest into the tree; indexes are taken after it.
    QTRY_VERIFY_WITH_TIMEOUT(!widget.tree()->isPending(), 60000);

    QCOMPARE(access.count(), 2);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).toString(), broken);
    QCOMPARE(boxTitle, QStringLiteral("Warning"));
    QCOMPARE(boxText, QStringLiteral("Error opening file."));
    QCOMPARE(opened.count(), 1);
    QCOMPARE(opened.at(0).at(0).toString(), good);
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("mainPage"));
    QVERIFY(convert->isEnabled());

    // A folder selected in the tree lists its items.
    const QModelIndex folder = firstFolderWithItems(widget.tree());
    QVERIFY(folder.isValid());
    const int items = widget.tree()->model()->folderAt(widget.tree()->proxy()->mapToSource(folder))->itemCount();
    widget.tree()->onPressed(folder);
    QCOMPARE(listView->model()->rowCount(), items);

    // An item picked in the list fills the detail pane and enables Print.
    listView->setCurrentIndex(listView->model()->index(0, 0));
    QVERIFY(detail->currentWidget()->objectName() != QStringLiteral("blankPage"));
    QVERIFY(print->isEnabled());

    // Closing the last file returns to the home page with everything cleared.
    auto* tree = widget.findChild<QTreeView*>(QStringLiteral("treeView"));
    const QModelIndex fileIndex = widget.tree()->proxy()->index(0, 0);
    QVERIFY(widget.tree()->contextMenuAt(tree->visualRect(fileIndex).center()));
    widget.tree()->closeFileAction()->trigger();
    QCOMPARE(closed.count(), 1);
    QCOMPARE(closed.at(0).at(0).toString(), good);
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("homePage"));
    QCOMPARE(listView->model()->rowCount(), 0);
    QCOMPARE(detail->currentWidget()->objectName(), QStringLiteral("blankPage"));
    QVERIFY(!convert->isEnabled() && !print->isEnabled());
}

void TestViewWidget::offlineFolderFiles()
{
    const QStringList osts{qEnvironmentVariable("MARROWIN_OST_1"), qEnvironmentVariable("MARROWIN_OST_2")};
    for (const QString& ost : osts)
        QVERIFY2(QFile::exists(ost), "MARROWIN_OST_1 and _2 do not name the OST fixtures");
    PstViewWidget widget;
    widget.resize(1024, 740);
    widget.show();
    QSignalSpy opened(&widget, &PstViewWidget::fileOpened);
    QSignalSpy drained(widget.tree(), &PstTreeController::openQueueFinished);
    for (const QString& ost : osts)
        widget.openFile(ost);
    QVERIFY(drained.wait(60000));
    QCOMPARE(opened.count(), 2);
    PstTreeController* tree = widget.tree();
    auto* listView = widget.findChild<PSTListView*>(QStringLiteral("listView"));
    QAbstractItemModel* list = listView->model();
    const int first = tree->proxy()->index(0, 0).data().toString().startsWith(QLatin1String("pstextractortest@")) ? 0 : 1;

    // Each Inbox lists its own mails, every row with a sender and a subject.
    for (const auto& [fileRow, count] : {std::pair{first, 10}, std::pair{1 - first, 2}}) {
        const QModelIndex inbox = folderByNames(tree, fileRow, {"IPM_SUBTREE", "Inbox"});
        QVERIFY(inbox.isValid());
        tree->onPressed(inbox);
        QCOMPARE(list->rowCount(), count);
        QCOMPARE(inbox.data().toString(), QStringLiteral("Inbox (%1 items)").arg(count));
        for (int r = 0; r < count; ++r) {
            QVERIFY2(!list->index(r, 0).data().toString().isEmpty(), qPrintable(QString::number(r)));
            QVERIFY2(!list->index(r, 0).data(PstListRoles::SubjectRole).toString().trimmed().isEmpty(),
                     qPrintable(QString::number(r)));
        }
    }
    // Folders without items carry no count.
    const QModelIndex contacts = folderByNames(tree, first, {"IPM_SUBTREE", "Contacts"});
    tree->onPressed(contacts);
    QCOMPARE(contacts.data().toString(), QStringLiteral("Contacts"));

    // The mail kept only as RTF shows its text.
    tree->onPressed(folderByNames(tree, first, {"IPM_SUBTREE", "Sync Issues"}));
    const int log = rowWithSubject(list, QStringLiteral("Synchronization Log:"));
    QVERIFY(log >= 0);
    listView->setCurrentIndex(list->index(log, 0));
    const std::shared_ptr<PstItem> logMail = widget.detail()->currentItem();
    QVERIFY(logMail);
    QVERIFY(logMail->loadBody().plain.contains(QStringLiteral("Synchronizing server changes in folder 'Calendar'")));

    // An appointment lists its attachments and offers them on its page.
    tree->onPressed(folderByNames(tree, first, {"IPM_SUBTREE", "Calendar"}));
    QCOMPARE(list->rowCount(), 9);
    const int meeting = rowWithSubject(list, QStringLiteral("meeting with attachments (jpg, pdf, text)"));
    QVERIFY(meeting >= 0);
    listView->setCurrentIndex(list->index(meeting, 0));
    const std::shared_ptr<PstItem> appointment = widget.detail()->currentItem();
    QVERIFY(appointment && appointment->kind() == PstItemKind::Calendar);
    QStringList names;
    for (const auto& a : appointment->attachments())
        names << a->name;
    QCOMPARE(names.size(), 3);
    QVERIFY(names.contains(QStringLiteral("Clinometer Usage.pdf")) && names.contains(QStringLiteral("text.txt")));
    QVERIFY(!appointment->loadAttachmentData(*appointment->attachments().at(names.indexOf("text.txt"))).isEmpty());
    auto* button = widget.detail()->infoView()->findChild<QPushButton*>(QStringLiteral("attachmentBtn"));
    QVERIFY(button && !button->isHidden());
    QCOMPARE(button->text(), QStringLiteral("Attachments (3)"));
}

QTEST_MAIN(TestViewWidget)
#include "tst_viewwidget.moc"
