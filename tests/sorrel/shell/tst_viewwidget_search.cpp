// The module widget's search box and busy display: a search waits for the
// background run instead of walking files, lists its results, and a chosen
// result shows its item and reveals its folder; a closed file's result
// shows nothing; the overlay of a later open is not hidden by the timer of
// an earlier one.

#include "sorrel/shell/PstSession.h"
#include "SearchFixture.h"
#include "common/AppConfig.h"
#include "common/ProductProfile.h"
#include "sorrel/shell/PstViewWidget.h"
#include "sorrel/shell/SpinnerWidget.h"
#include "sorrel/store/PstTreeController.h"
#include "sorrel/store/PstTreeModel.h"
#include "sorrel/store/PstTreeViewFilterModel.h"
#include "sorrel/views/PSTListView.h"
#include "sorrel/views/PstListController.h"
#include "sorrel/views/PstListModel.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

class TestViewWidgetSearch : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

private slots:
    // Every module widget starts from no saved workspace (the test's HOME
    // outlives a run).
    void init() { QFile::remove(pstsession::sessionPathFor()); }
    void initTestCase()
    {
        QVERIFY(ProductProfile::makeDirectories());
        m_path = m_dir.filePath(QStringLiteral("mailbox.pst"));
        QVERIFY(writeSearchFixture(m_path));
    }

    void searchesAndRevealsResults()
    {
        AppConfig::instance()->setPstSearchField(9);  // out of range: searches all fields
        PstViewWidget widget;
        widget.resize(1024, 740);
        widget.show();
        auto* box = widget.findChild<QLineEdit*>(QStringLiteral("searchBox"));
        auto* listView = widget.findChild<PSTListView*>(QStringLiteral("listView"));
        auto* treeView = widget.findChild<QTreeView*>(QStringLiteral("treeView"));
        QVERIFY(box && listView && treeView);
        auto* model = qobject_cast<PstListModel*>(widget.list()->proxy()->sourceModel());

        // Text stands while the file opens: the search waits for the
        // background run ("Preparing…"), then runs over the file, which is
        // the current tree index.
        box->setText(QStringLiteral("  report   budget "));
        QString statusAtOpen;
        connect(widget.tree(), &PstTreeController::pstFileOpened, this,
                [&] { statusAtOpen = widget.searchStatus()->text(); });
        widget.openFile(m_path);
        QTRY_COMPARE_WITH_TIMEOUT(model->searchRows().size(), 3, 60000);
        QCOMPARE(statusAtOpen, QStringLiteral("Preparing…"));
        QCOMPARE(widget.searchStatus()->text(), QStringLiteral("mailbox.pst · 3 result(s)"));
        QCOMPARE(model->index(0).data(PstListRoles::MatchedFieldsRole).toStringList(),
                 (QStringList{"Subject", "Body"}));

        // Choosing an index row shows its item and selects its folder; the
        // results stay listed.
        int draft = -1;
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->index(row).data(PstListRoles::SubjectRole).toString() == QLatin1String("report draft"))
                draft = row;
        }
        QVERIFY(draft >= 0);
        listView->setCurrentIndex(widget.list()->proxy()->mapFromSource(model->index(draft)));
        QVERIFY(widget.shownItem());
        QCOMPARE(widget.shownItem()->subject(), QStringLiteral("report draft"));
        QCOMPARE(treeView->currentIndex().data().toString(), QStringLiteral("Projects (1 item)"));
        QCOMPARE(model->searchRows().size(), 3);

        // A field chosen in the menu is stored, searched, and checked next time.
        QAction* subject = nullptr;
        for (QAction* action : widget.searchFields()->actions()) {
            if (action->data().toInt() == int(PstSearchField::Subject))
                subject = action;
        }
        QVERIFY(subject);
        subject->trigger();
        QCOMPARE(AppConfig::instance()->pstSearchField(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(model->searchRows().size(), 0, 10000);  // "budget" is in no subject
        QTRY_COMPARE_WITH_TIMEOUT(widget.searchStatus()->text(), QStringLiteral("mailbox.pst · 0 result(s)"),
                                  10000);
        emit widget.searchFields()->aboutToShow();
        QVERIFY(subject->isChecked());

        // Emptying the box lists the selected folder again.
        box->clear();
        QVERIFY(!model->isSearchMode());
        QVERIFY(widget.searchStatus()->isHidden());
        AppConfig::instance()->setPstSearchField(0);
    }

    void resultOfAClosedFileShowsNothing()
    {
        PstViewWidget widget;
        PstSearchResult gone;
        gone.filePath = m_dir.filePath(QStringLiteral("closed.pst"));
        gone.record.itemId = 2097188;
        emit widget.list()->searchResultSelected(gone);
        QVERIFY(!widget.shownItem());
    }

    void overlayFollowsTheLatestOpen()
    {
        PstViewWidget widget;
        widget.resize(800, 600);
        widget.show();
        PstTreeController* tree = widget.tree();
        emit tree->loadingStarted();
        QVERIFY(widget.busyOverlay()->isVisible() && widget.busySpinner()->isVisible());
        QTRY_VERIFY(widget.busySpinner()->angle() >= 30);  // it turns while shown
        emit tree->loadingFinished();
        // A second open starts before the first one's hide is due.
        QTest::qWait(100);
        emit tree->loadingStarted();
        QTest::qWait(400);
        QVERIFY(widget.busyOverlay()->isVisible());
        QVERIFY(widget.busySpinner()->isVisible());
        emit tree->loadingFinished();
        QTRY_VERIFY(!widget.busyOverlay()->isVisible() && !widget.busySpinner()->isVisible());

        // Shown at least 300 ms, even for a quick open.
        QElapsedTimer shown;
        shown.start();
        emit tree->loadingStarted();
        emit tree->loadingFinished();
        QVERIFY(widget.busySpinner()->isVisible());
        QTRY_VERIFY(!widget.busySpinner()->isVisible());
        QVERIFY(shown.elapsed() >= 300);
    }
};

QTEST_MAIN(TestViewWidgetSearch)
#include "tst_viewwidget_search.moc"
