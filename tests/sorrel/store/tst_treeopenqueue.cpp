// The open queue against real files: signal order across a failure in the
// middle, duplicates and open files ignored, and the tree state after opening.

#include "sorrel/store/PSTTreeView.h"
#include "sorrel/store/PstTreeController.h"
#include "sorrel/store/PstTreeModel.h"
#include "sorrel/store/PstTreeViewFilterModel.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestTreeOpenQueue : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void opensInOrderAcrossAFailure();

private:
    QTemporaryDir dir;
    QString first, broken, second;
};

void TestTreeOpenQueue::initTestCase()
{
    const QString enron = qEnvironmentVariable("MARROWIN_ENRON_PST");
    QVERIFY2(QFile::exists(enron), "MARROWIN_ENRON_PST does not name the enron.pst fixture");
    QVERIFY(dir.isValid());
    first = dir.filePath(QStringLiteral("first.pst"));
    broken = dir.filePath(QStringLiteral("broken.pst"));
    second = dir.filePath(QStringLiteral("second.pst"));
    QVERIFY(QFile::copy(enron, first));
    QVERIFY(QFile::copy(enron, second));
    QFile garbage(broken);
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, 'x'));
}

void TestTreeOpenQueue::opensInOrderAcrossAFailure()
{
    PSTTreeView view;
    PstTreeController controller(&view);
    QStringList events;
    connect(&controller, &PstTreeController::loadingStarted, this, [&] { events << "started"; });
    connect(&controller, &PstTreeController::pstFileOpening, this, [&](const QString& p) { events << "opening " + p; });
    connect(&controller, &PstTreeController::pstFileOpened, this, [&](const QString& p) { events << "opened " + p; });
    connect(&controller, &PstTreeController::openPstFailed, this, [&](const QString& p) { events << "failed " + p; });
    connect(&controller, &PstTreeController::pstTreeViewRowChanged, this, [&](int n) { events << QString("rows %1").arg(n); });
    connect(&controller, &PstTreeController::loadingFinished, this, [&] { events << "finished"; });
    connect(&controller, &PstTreeController::openQueueFinished, this, [&] { events << "drained"; });
    QSignalSpy drained(&controller, &PstTreeController::openQueueFinished);

    // The same file by another spelling, twice in the queue, and while it opens.
    controller.openFile(first);
    controller.openFile(dir.path() + QStringLiteral("/./first.pst"));
    controller.openFile(broken);
    controller.openFile(second);
    controller.openFile(broken);
    controller.openFile(QString());
    QVERIFY(controller.isBusy());
    QCOMPARE(controller.currentPath(), first);
    QCOMPARE(controller.pendingPaths(), (QStringList{broken, second}));
    QVERIFY(drained.wait(60000));
    // The background run adopts its forest into the tree; indexes are taken after it.
    QTRY_VERIFY_WITH_TIMEOUT(!controller.isPending(), 60000);

    const QStringList expected{"started",
                               "opening " + first, "rows 1", "opened " + first,
                               "opening " + broken, "failed " + broken,
                               "opening " + second, "rows 2", "opened " + second,
                               "finished", "drained"};
    QCOMPARE(events, expected);
    QVERIFY(!controller.isBusy());
    QVERIFY(controller.currentPath().isEmpty());

    // The first file became current and both were expanded.
    QCOMPARE(controller.fileCount(), 2);
    const QModelIndex firstIndex = controller.proxy()->mapFromSource(controller.model()->index(0, 0));
    const QModelIndex secondIndex = controller.proxy()->mapFromSource(controller.model()->index(1, 0));
    QCOMPARE(view.currentIndex(), firstIndex);
    QVERIFY(view.isExpanded(firstIndex) && view.isExpanded(secondIndex));
    QVERIFY(controller.proxy()->rowCount(firstIndex) > 0);  // the skeleton's first level
    QCOMPARE(firstIndex.data().toString(), QStringLiteral("first.pst"));
    QVERIFY(controller.documentForPath(dir.path() + QStringLiteral("/./second.pst")));
    QVERIFY(!controller.documentForPath(broken));

    // Open files are ignored; a missing file is queued under its absolute path and fails.
    events.clear();
    controller.openFile(second);
    QVERIFY(events.isEmpty());
    QDir::setCurrent(dir.path());
    controller.openFile(QStringLiteral("missing.pst"));
    QVERIFY(drained.wait(60000));
    const QString missing = dir.filePath(QStringLiteral("missing.pst"));
    QCOMPARE(events, (QStringList{"started", "opening " + missing, "failed " + missing, "finished", "drained"}));

    // A file whose handle is released by closing it can be opened again.
    QSignalSpy closed(&controller, &PstTreeController::pstFileClosed);
    controller.closeFile(firstIndex);
    QCOMPARE(closed.count(), 1);
    QCOMPARE(closed.at(0).at(0).toString(), first);
    QVERIFY(!controller.documentForPath(first));
    events.clear();
    controller.openFile(first);
    QVERIFY(drained.wait(60000));
    QCOMPARE(events.at(3), "opened " + first);
    QCOMPARE(controller.fileCount(), 2);
}

QTEST_MAIN(TestTreeOpenQueue)
#include "tst_treeopenqueue.moc"
