// The workspace file and its restore: the reading and cleaning rules of
// pst_session.json, and a restart of the module widget that brings back two
// files, an expanded folder, the selected folder and the search text while
// a third listed file is gone; closing while files open keeps them listed.

#include "sorrel/shell/PstSession.h"
#include "sorrel/shell/PstViewWidget.h"
#include "sorrel/store/PstTreeController.h"
#include "sorrel/store/PstTreeModel.h"
#include "sorrel/store/PstTreeViewFilterModel.h"
#include "sorrel/views/PstListController.h"
#include "sorrel/views/PstListModel.h"

#include "PstWriter.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

using namespace pstw;

Q_DECLARE_METATYPE(PstSession)

namespace {

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

bool anyMessageBoxShown()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMessageBox*>(w) && w->isVisible())
            return true;
    }
    return false;
}

} // namespace

class TestWorkspace : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void readingRules_data();
    void readingRules();
    void writesWhatItReads();
    void restartRestoresWorkspace();
    void closingWhileOpeningKeepsQueuedFiles();
};

void TestWorkspace::readingRules_data()
{
    QTest::addColumn<QByteArray>("content");  // "<none>": no file
    QTest::addColumn<PstSession>("expected");
    const PstSession empty;
    QTest::newRow("no file") << QByteArray("<none>") << empty;
    QTest::newRow("version 2") << QByteArray(R"({"version":2,"openFiles":["/a.pst"]})") << empty;
    QTest::newRow("version missing") << QByteArray(R"({"openFiles":["/a.pst"]})") << empty;
    QTest::newRow("version as text") << QByteArray(R"({"version":"1","openFiles":["/a.pst"]})") << empty;
    QTest::newRow("not an object") << QByteArray(R"([{"version":1}])") << empty;
    QTest::newRow("cut short") << QByteArray(R"({"version":1,"openFiles":["/a.pst")") << empty;
    QTest::newRow("binary") << QByteArray("\x00\xff\x7b\x22", 4) << empty;
    QTest::newRow("cleaned")
        << QByteArray(R"({"version":1,"openFiles":[3,"","/a.pst",null,"/b.pst","/a.pst"],)"
                      R"("expandedTreePaths":["k|1","k|1",{"x":1},"","k|1/2"],"currentTreePath":"k|1/2",)"
                      R"("searchText":"  two words "})")
        << PstSession{{"/a.pst", "/b.pst"}, {"k|1", "k|1/2"}, "k|1/2", "  two words "};
    QTest::newRow("values of the wrong type")
        << QByteArray(R"({"version":1,"openFiles":"/a.pst","currentTreePath":5,"searchText":["x"]})") << empty;
    QByteArray padded(R"({"version":1,"openFiles":["/a.pst"]})");
    padded.append(QByteArray(pstsession::kMaxFileSize, ' '));
    QTest::newRow("oversized") << padded << empty;
}

void TestWorkspace::readingRules()
{
    QFETCH(QByteArray, content);
    QFETCH(PstSession, expected);
    const QString path = m_dir.filePath(QStringLiteral("read/%1.json").arg(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    if (content != "<none>")
        QVERIFY(writeFile(path, content));
    QCOMPARE(pstsession::readSession(path), expected);
}

void TestWorkspace::writesWhatItReads()
{
    const QString path = m_dir.filePath(QStringLiteral("write/new/dir/pst_session.json"));
    const PstSession session{{"/x/a b.pst", "", "/x/a b.pst", "/x/ü.pst"}, {"k|1", "k|1"}, "k|1", "\"quoted\" %1"};
    QVERIFY(pstsession::writeSession(path, session));
    const PstSession cleaned{{"/x/a b.pst", "/x/ü.pst"}, {"k|1"}, "k|1", "\"quoted\" %1"};
    QCOMPARE(pstsession::readSession(path), cleaned);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    QVERIFY2(!text.contains('\n'), "not compact");
    QVERIFY(text.contains("\"version\":1"));

    // A directory in the file's place: the save fails and says so.
    QVERIFY(!pstsession::writeSession(m_dir.filePath(QStringLiteral("write")), session));
    // The default file lives beside the settings.
    QVERIFY(pstsession::sessionPathFor().endsWith(QLatin1String("/.config/Tarnwick/Marrowin/pst_session.json")));
    QCOMPARE(pstsession::sessionPathFor(path), path);
}

void TestWorkspace::restartRestoresWorkspace()
{
    // Three files with Inbox/Sub; the mails sit in Sub.
    QMap<QString, QString> paths;
    FolderId topId = 0, inboxId = 0, subId = 0;
    for (const char* name : {"a", "b", "gone"}) {
        const QString path = m_dir.filePath(QStringLiteral("restart/%1.pst").arg(QLatin1String(name)));
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        PstWriter w(path);
        topId = w.ipmSubtree();
        inboxId = w.addFolder(topId, QStringLiteral("Inbox"));
        subId = w.addFolder(inboxId, QStringLiteral("Sub"));
        for (int i = 0; i < 3; ++i) {
            MessageSpec m;
            m.subject = QStringLiteral("%1 mail %2").arg(QLatin1String(name)).arg(i);
            w.addMessage(subId, m);
        }
        QVERIFY(w.finish());
        paths.insert(QLatin1String(name), QFileInfo(path).canonicalFilePath());
    }
    const QString a = paths.value("a"), b = paths.value("b"), gone = paths.value("gone");
    const QString topKey = PstTreeModel::pathKey(a, {topId});
    const QString inboxKey = PstTreeModel::pathKey(a, {topId, inboxId});
    const QString subKey = PstTreeModel::pathKey(a, {topId, inboxId, subId});
    const QString sessionFile = pstsession::sessionPathFor();
    QFile::remove(sessionFile);

    {
        PstViewWidget widget;
        widget.show();
        QSignalSpy drained(widget.tree(), &PstTreeController::openQueueFinished);
        for (const QString& path : {a, b, gone})
            widget.openFile(path);
        QVERIFY(drained.wait(30000));
        PstTreeController* tree = widget.tree();
        QCOMPARE(tree->fileCount(), 3);
        // As if the user opened the folders down to Inbox and chose Sub.
        tree->applyKeys({PstTreeModel::pathKey(a, {}), topKey, inboxKey}, subKey, true);
        QVERIFY(tree->view()->isExpanded(tree->proxy()->mapFromSource(tree->indexForKey(inboxKey))));
        widget.findChild<QLineEdit*>(QStringLiteral("searchBox"))->setText(QStringLiteral(" needle "));
    }  // closing saves
    QCOMPARE(pstsession::readSession(sessionFile).openFiles, (QStringList{a, b, gone}));
    QVERIFY(QFile::remove(gone));

    PstViewWidget widget;
    widget.show();
    QSignalSpy failed(&widget, &PstViewWidget::fileOpenFailed);
    QSignalSpy drained(widget.tree(), &PstTreeController::openQueueFinished);
    auto* search = widget.findChild<QLineEdit*>(QStringLiteral("searchBox"));
    PstTreeController* tree = widget.tree();
    // Typed while the files reopen: not saved, then replaced by the restored text.
    connect(tree, &PstTreeController::loadingStarted, search, [search] { search->setText(QStringLiteral("typed")); },
            Qt::SingleShotConnection);
    QVERIFY(drained.wait(30000));
    QCOMPARE(drained.size(), 1);
    QCOMPARE(tree->fileCount(), 2);
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.first().first().toString(), gone);
    QVERIFY(!anyMessageBoxShown());
    QCOMPARE(tree->currentKey(), subKey);
    QVERIFY(tree->expandedKeys().contains(inboxKey));
    QCOMPARE(search->text(), QStringLiteral(" needle "));
    QCOMPARE(widget.list()->model()->rowCount(), 3);

    // The next save lists what was restored, without the missing file.
    QTRY_COMPARE(pstsession::readSession(sessionFile).openFiles, (QStringList{a, b}));
    const PstSession saved = pstsession::readSession(sessionFile);
    QCOMPARE(saved.currentTreePath, subKey);
    QVERIFY(saved.expandedTreePaths.contains(inboxKey));
    QCOMPARE(saved.searchText, QStringLiteral(" needle "));
}

void TestWorkspace::closingWhileOpeningKeepsQueuedFiles()
{
    QStringList paths;
    for (const char* name : {"first", "second"}) {
        const QString path = m_dir.filePath(QStringLiteral("closing/%1.pst").arg(QLatin1String(name)));
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        PstWriter w(path);
        w.addFolder(w.ipmSubtree(), QStringLiteral("Inbox"));
        QVERIFY(w.finish());
        paths << QFileInfo(path).canonicalFilePath();
    }
    const QString sessionFile = pstsession::sessionPathFor();
    QVERIFY(pstsession::writeSession(sessionFile, {}));
    {
        PstViewWidget widget;
        QTest::qWait(0);  // the (empty) restore has run
        for (const QString& path : paths)
            widget.openFile(path);
        QVERIFY(widget.tree()->isBusy());
    }  // destroyed while the first file is being opened and the second waits
    QCOMPARE(pstsession::readSession(sessionFile).openFiles, paths);
}

QTEST_MAIN(TestWorkspace)
#include "tst_workspace.moc"
