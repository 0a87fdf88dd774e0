// The background run over all open files: start requests during a run
// collapse into one rerun and only a current result is applied; the index
// state is announced; the adopted forest ends folder parsing in the tree;
// closing the last file and a disabled loader leave nothing pending.

#include "SearchFixture.h"
#include "common/ProductProfile.h"
#include "sorrel/search/PstSearchIndex.h"
#include "sorrel/store/PSTTreeView.h"
#include "sorrel/store/PstTreeController.h"
#include "sorrel/store/PstTreeModel.h"
#include "sorrel/store/PstTreeViewFilterModel.h"

#include <Corbelin/SupportFoundation.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString logText()
{
    Corbelin::ILogConfig::FlushBuffer();
    QFile f(QString::fromStdString(Corbelin::ILogConfig::CurrentLogFile()));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The proxy index of the folder at names below the first file node.
QModelIndex indexAt(PstTreeController& tree, const QStringList& names)
{
    QModelIndex at = tree.proxy()->index(0, 0);
    for (const QString& name : names) {
        QModelIndex next;
        for (int r = 0; r < tree.proxy()->rowCount(at); ++r) {
            const QModelIndex child = tree.proxy()->index(r, 0, at);
            if (tree.model()->folderAt(tree.proxy()->mapToSource(child))->name() == name)
                next = child;
        }
        if (!next.isValid())
            return {};
        at = next;
    }
    return at;
}

} // namespace

class TestBackgroundLoader : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_first, m_second;

    void openAndWait(PstTreeController& tree, const QString& path)
    {
        QSignalSpy ready(&tree, &PstTreeController::allItemsReady);
        tree.openFile(path);
        QTRY_VERIFY_WITH_TIMEOUT(ready.count() > 0 && !tree.isPending(), 60000);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(ProductProfile::makeDirectories());
        QVERIFY(Corbelin::ILogConfig::InitializeLogConfig(ProductProfile::logDirectory().toStdString()));
        m_first = m_dir.filePath(QStringLiteral("first.pst"));
        m_second = m_dir.filePath(QStringLiteral("second.pst"));
        QVERIFY(writeSearchFixture(m_first));
        QVERIFY(QFile::copy(m_first, m_second));
    }

    void announcesTheIndexState()
    {
        QFile::remove(searchIndexPath(m_first));
        for (bool indexOnDisk : {false, true}) {
            PSTTreeView view;
            PstTreeController tree(&view);
            QSignalSpy preparing(&tree, &PstTreeController::searchIndexPreparing);
            QSignalSpy loading(&tree, &PstTreeController::allItemsLoadingStarted);
            QSignalSpy progress(&tree, &PstTreeController::searchIndexProgressChanged);
            openAndWait(tree, m_first);
            QCOMPARE(preparing.count(), indexOnDisk ? 0 : 1);
            QCOMPARE(loading.count(), indexOnDisk ? 1 : 0);
            if (!indexOnDisk) {
                QVERIFY(progress.count() > 1);
                QCOMPARE(progress.last().at(0), progress.last().at(1));  // done of total
            } else {
                QCOMPARE(progress.count(), 0);
            }
        }
    }

    void collapsesRequestsIntoOneRerun()
    {
        PSTTreeView view;
        PstTreeController tree(&view);
        openAndWait(tree, m_first);
        QVERIFY(tree.prebuiltTreeFor(m_first));

        QSignalSpy finished(&tree, &PstTreeController::searchIndexBuildFinished);
        QSignalSpy adopted(&tree, &PstTreeController::forestAdopted);
        QSignalSpy ready(&tree, &PstTreeController::allItemsReady);
        tree.loadAllItemsCacheAsync();
        tree.loadAllItemsCacheAsync();  // while the first runs: one rerun
        tree.loadAllItemsCacheAsync();
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 60000);
        QTest::qWait(200);
        // The first result was dropped (the generation moved on), the rerun applied.
        QCOMPARE(finished.count(), 2);
        QCOMPARE(adopted.count(), 1);
        QCOMPARE(ready.count(), 1);

        // A second file: pending after its open, current afterwards.
        bool pendingAtOpen = false;
        bool emptyAtOpen = false;
        connect(&tree, &PstTreeController::pstFileOpened, this, [&] {
            pendingAtOpen = tree.isPending();
            emptyAtOpen = !tree.prebuiltTreeFor(m_first) && tree.allItemsNow().isEmpty();
        });
        openAndWait(tree, m_second);
        QVERIFY(pendingAtOpen);
        QVERIFY(emptyAtOpen);
        QCOMPARE(tree.allItemsNow().size(), 10);
        QCOMPARE(tree.model()->fileNodes().at(1), tree.prebuiltTreeFor(m_second));
    }

    void adoptedForestNeedsNoParsing()
    {
        PSTTreeView view;
        PstTreeController tree(&view);
        openAndWait(tree, m_first);
        const QString log = logText();
        QVERIFY(log.contains(QStringLiteral("已把后台森林接到界面树上（1 个文件根）")));

        // A folder never opened before lists its item at once, unparsed.
        const QModelIndex projects = indexAt(tree, {"Top of Personal Folders", "Inbox", "Projects"});
        QVERIFY(projects.isValid());
        QSignalSpy selected(&tree, &PstTreeController::folderSelected);
        tree.onPressed(projects);
        QCOMPARE(selected.count(), 1);
        QCOMPARE(selected.first().first().value<QList<std::shared_ptr<PstItem>>>().size(), 1);
        QCOMPARE(logText().mid(log.size()).count(QStringLiteral("[profile] 点开文件夹")), 0);

        // The search scope of the current folder takes its subfolders' items.
        view.setCurrentIndex(indexAt(tree, {"Top of Personal Folders", "Inbox"}));
        const PstSearchRequest scope = tree.searchRequestTemplate();
        QCOMPARE(scope.scopeKind, 2);
        QCOMPARE(scope.scopeName, QStringLiteral("Inbox"));
        QCOMPARE(scope.scopeFolderPath.size(), 2);
        QCOMPARE(scope.scopeItems.size(), 2);
        QCOMPARE(scope.requestedFiles, QStringList{m_first});
    }

    void closingTheLastFileLeavesNothingPending()
    {
        PSTTreeView view;
        PstTreeController tree(&view);
        openAndWait(tree, m_first);
        QSignalSpy ready(&tree, &PstTreeController::allItemsReady);
        tree.closeFile(tree.proxy()->index(0, 0));
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 60000);
        QVERIFY(!tree.isPending());
        QVERIFY(tree.allItemsNow().isEmpty());
        QVERIFY(!tree.prebuiltTreeFor(m_first));
    }

    void disabledLoaderNeverRuns()
    {
        PSTTreeView view;
        PstTreeController tree(&view);
        tree.setBackgroundEnabled(false);
        QSignalSpy finished(&tree, &PstTreeController::searchIndexBuildFinished);
        QSignalSpy drained(&tree, &PstTreeController::openQueueFinished);
        tree.openFile(m_first);
        QVERIFY(drained.wait(60000));
        QTest::qWait(200);
        QCOMPARE(finished.count(), 0);
        QVERIFY(tree.allItemsNow().isEmpty());
        QVERIFY(!tree.isPending());
    }
};

QTEST_MAIN(TestBackgroundLoader)
#include "tst_backgroundloader.moc"
