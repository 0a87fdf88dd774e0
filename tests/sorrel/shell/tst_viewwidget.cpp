// The module widget wired to its controllers: a file opens (a broken one
// warns and the queue goes on), a folder lists its items, an item fills the
// detail pane, and closing the last file returns to the home page.

#include "sorrel/shell/PstViewWidget.h"
#include "sorrel/store/PstTreeController.h"
#include "sorrel/store/PstTreeModel.h"
#include "sorrel/store/PstTreeViewFilterModel.h"
#include "sorrel/views/PSTListView.h"

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
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

} // namespace

class TestViewWidget : public QObject {
    Q_OBJECT
private slots:
    void opensListsShowsAndCloses();
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

QTEST_MAIN(TestViewWidget)
#include "tst_viewwidget.moc"
