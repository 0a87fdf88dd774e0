// The folder tree on hand-built records: labels, icons, sorting, lazy rows,
// path keys in both forms, the empty-folder filter, presses and the per-file
// context menu.

#include "sorrel/items/PstMailItem.h"
#include "sorrel/store/PSTTreeView.h"
#include "sorrel/store/PstFolderIndex.h"
#include "sorrel/store/PstTreeController.h"
#include "sorrel/store/PstTreeModel.h"
#include "sorrel/store/PstTreeViewFilterModel.h"

#include <QAction>
#include <QFileInfo>
#include <QIcon>
#include <QMenu>
#include <QSignalSpy>
#include <QtTest>

namespace {

PstFolderItemPtr makeFolder(const QString& name, uint64_t id, const QString& cls = {})
{
    auto f = std::make_shared<PstFolderItem>();
    f->setName(name);
    f->setId(id);
    f->setDepth(1);
    f->setContainerClass(cls);
    f->setLoaded(true);
    return f;
}

PstFolderItemPtr makeFile(const QString& path, uint64_t id = 1)
{
    auto f = std::make_shared<PstFolderItem>();
    f->setName(QFileInfo(path).fileName());
    f->setFilePath(path);
    f->setId(id);
    f->setDepth(0);
    f->setLoaded(true);
    return f;
}

void addMails(const PstFolderItemPtr& folder, int n)
{
    for (int i = 0; i < n; ++i)
        folder->addItem(std::make_shared<PstMailItem>());
}

// A folder whose children appear only when loaded; counts its loads.
PstFolderItemPtr makeLazy(const QString& name, uint64_t id, QList<PstFolderItemPtr> subs, int items,
                          std::shared_ptr<int> loads)
{
    auto f = makeFolder(name, id);
    f->setLoaded(false);
    f->setChildLoader([subs, items, loads](PstFolderItem& self, QList<PstFolderItemPtr>& outSubs,
                                           QList<std::shared_ptr<PstItem>>& outItems) {
        ++*loads;
        for (const auto& s : subs) {
            s->setDepth(self.depth() + 1);
            outSubs.append(s);
        }
        for (int i = 0; i < items; ++i)
            outItems.append(std::make_shared<PstMailItem>());
    });
    return f;
}

QStringList labels(const QAbstractItemModel& m, const QModelIndex& parent = {})
{
    QStringList out;
    for (int r = 0; r < m.rowCount(parent); ++r)
        out << m.index(r, 0, parent).data().toString();
    return out;
}

} // namespace

class TestTreeModel : public QObject {
    Q_OBJECT
private slots:
    void labelsAndIcons_data();
    void labelsAndIcons();
    void sortsByLabelAtEveryLevel();
    void lazyRowsAndExpanders();
    void keysInBothForms();
    void hidesEmptyFolders();
    void pressesAndContextMenu();
    void keyboardShowsFolders();
};

void TestTreeModel::labelsAndIcons_data()
{
    QTest::addColumn<int>("items");
    QTest::addColumn<QString>("containerClass");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("icon");
    QTest::newRow("empty mail folder") << 0 << "IPF.Note" << "Inbox" << ":/img/folder@3x.png";
    QTest::newRow("one item in the singular") << 1 << "" << "Inbox (1 item)" << ":/img/folder@3x.png";
    QTest::newRow("calendar") << 12 << "IPF.Appointment" << "Inbox (12 items)" << ":/img/calendar@3x.png";
    QTest::newRow("contacts") << 2 << "IPF.Contact" << "Inbox (2 items)" << ":/img/contact@3x.png";
    QTest::newRow("journal") << 0 << "IPF.Journal" << "Inbox" << ":/img/diary@3x.png";
    QTest::newRow("notes") << 0 << "IPF.StickyNote" << "Inbox" << ":/img/notepaper@3x.png";
    QTest::newRow("tasks") << 0 << "IPF.Task" << "Inbox" << ":/img/task@3x.png";
    QTest::newRow("class compared exactly") << 0 << "ipf.task" << "Inbox" << ":/img/folder@3x.png";
}

void TestTreeModel::labelsAndIcons()
{
    QFETCH(int, items);
    QFETCH(QString, containerClass);
    QFETCH(QString, label);
    QFETCH(QString, icon);

    PstTreeModel model(std::make_shared<PstFolderItem>());
    auto file = makeFile(QStringLiteral("/tmp/a.pst"));
    auto inbox = makeFolder(QStringLiteral("Inbox"), 10, containerClass);
    addMails(inbox, items);
    file->addSubfolder(inbox);
    model.appendFile(file);

    const QModelIndex fileIndex = model.index(0, 0);
    QCOMPARE(fileIndex.data().toString(), QStringLiteral("a.pst"));
    QCOMPARE(fileIndex.data(PstTreeModel::FilePathRole).toString(), QStringLiteral("/tmp/a.pst"));
    const QModelIndex index = model.index(0, 0, fileIndex);
    QCOMPARE(index.data().toString(), label);
    QCOMPARE(inbox->iconPath(), icon);
    const QIcon decoration = index.data(Qt::DecorationRole).value<QIcon>();
    QVERIFY(!decoration.pixmap(16, 16).isNull());  // the image is in the resources
    QVERIFY(index.data(PstTreeModel::FilePathRole).toString().isEmpty());
    QVERIFY(!index.data(Qt::ToolTipRole).isValid());
    inbox->setDamagedCount(2);  // descriptors left out when the folder loaded
    QCOMPARE(index.data(Qt::ToolTipRole).toString(), QStringLiteral("2 damaged item(s) skipped"));
    QCOMPARE(model.parent(index), fileIndex);
    QVERIFY(!model.parent(fileIndex).isValid());
}

void TestTreeModel::sortsByLabelAtEveryLevel()
{
    PstTreeModel model(std::make_shared<PstFolderItem>());
    PstTreeViewFilterModel proxy;
    proxy.setSourceModel(&model);

    auto b = makeFile(QStringLiteral("/x/b/mail.pst"));
    auto a = makeFile(QStringLiteral("/x/a/mail.pst"));
    auto c = makeFile(QStringLiteral("/x/Archive.pst"));
    for (const char* name : {"sent", "Inbox", "Drafts", "archive"})
        b->addSubfolder(makeFolder(QString::fromLatin1(name), qHash(QByteArray(name))));
    model.appendFile(b);
    model.appendFile(a);
    model.appendFile(c);

    QCOMPARE(labels(proxy), (QStringList{"Archive.pst", "mail.pst", "mail.pst"}));
    QModelIndex bIndex;
    for (int r = 0; r < proxy.rowCount(); ++r) {
        if (proxy.rowCount(proxy.index(r, 0)) > 0)
            bIndex = proxy.index(r, 0);
    }
    QCOMPARE(labels(proxy, bIndex), (QStringList{"archive", "Drafts", "Inbox", "sent"}));

    // Alike names: the keys still tell the files apart.
    QVERIFY(model.pathKey(a.get()) != model.pathKey(b.get()));

    // A label that changes (its count arrived) moves to its place.
    auto drafts = b->subfolders()[2];
    addMails(drafts, 3);
    model.refreshLabels();
    QCOMPARE(labels(proxy, bIndex), (QStringList{"archive", "Drafts (3 items)", "Inbox", "sent"}));
}

void TestTreeModel::lazyRowsAndExpanders()
{
    PstTreeModel model(std::make_shared<PstFolderItem>());
    auto loads = std::make_shared<int>(0);
    auto file = makeFile(QStringLiteral("/tmp/lazy.pst"));
    auto grandChild = makeFolder(QStringLiteral("Deep"), 300);
    auto lazy = makeLazy(QStringLiteral("Inbox"), 200, {grandChild}, 2, loads);
    pst_desc_tree withChildren{};
    withChildren.no_child = 3;
    lazy->setDescriptor(&withChildren);
    auto leafLoads = std::make_shared<int>(0);
    auto leaf = makeLazy(QStringLiteral("Leaf"), 201, {}, 0, leafLoads);
    pst_desc_tree noChildren{};
    leaf->setDescriptor(&noChildren);
    file->addSubfolder(lazy);
    file->addSubfolder(leaf);
    model.appendFile(file);

    const QModelIndex fileIndex = model.index(0, 0);
    const QModelIndex inbox = model.index(0, 0, fileIndex);
    const QModelIndex leafIndex = model.index(1, 0, fileIndex);
    // Before loading: expanders come from the descriptor's child count.
    QVERIFY(model.hasChildren(inbox));
    QVERIFY(model.canFetchMore(inbox));
    QVERIFY(!model.hasChildren(leafIndex));
    QCOMPARE(model.rowCount(inbox), 0);
    QCOMPARE(inbox.data().toString(), QStringLiteral("Inbox"));

    // A folder index overrides the descriptor guess and supplies counts.
    auto stats = std::make_shared<PstFolderIndex>();
    stats->foldersWithSubfolders.insert(201);
    stats->itemCounts.insert(201, 7);
    file->setFolderIndex(stats);
    QVERIFY(!model.hasChildren(inbox));
    QVERIFY(model.hasChildren(leafIndex));
    QCOMPARE(leafIndex.data().toString(), QStringLiteral("Leaf (7 items)"));
    file->setFolderIndex(nullptr);

    // Loading through a sorting proxy that has not counted the folder's rows
    // yet adds each new row once.
    PstTreeViewFilterModel proxy;
    proxy.setSourceModel(&model);
    const QModelIndex proxyInbox = proxy.mapFromSource(inbox);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    proxy.fetchMore(proxyInbox);
    model.fetchMore(inbox);
    QCOMPARE(proxy.rowCount(proxyInbox), 1);
    QCOMPARE(*loads, 1);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(model.rowCount(inbox), 1);
    QCOMPARE(inbox.data().toString(), QStringLiteral("Inbox (2 items)"));
    QVERIFY(!model.canFetchMore(inbox));
    QCOMPARE(model.parent(model.index(0, 0, inbox)), inbox);
    QCOMPARE(model.indexOf(grandChild.get()), model.index(0, 0, inbox));
}

void TestTreeModel::keysInBothForms()
{
    PstTreeModel model(std::make_shared<PstFolderItem>());
    auto loads = std::make_shared<int>(0);
    const QString path = QStringLiteral("/tmp/dir with space/ü|odd%.pst");
    auto other = makeFile(QStringLiteral("/tmp/other.pst"));
    auto file = makeFile(path);
    auto target = makeLazy(QStringLiteral("Target"), 32834, {}, 1, loads);
    auto top = makeLazy(QStringLiteral("Top"), 32802, {makeFolder(QStringLiteral("Sibling"), 32833), target}, 0, loads);
    file->addSubfolder(makeFolder(QStringLiteral("First"), 32801));
    file->addSubfolder(top);
    model.appendFile(other);
    model.appendFile(file);

    const QString key = QString::fromLatin1(QUrl::toPercentEncoding(path)) + QStringLiteral("|32802/32834");
    const QModelIndex found = model.indexForKey(key);
    QVERIFY(found.isValid());
    QCOMPARE(model.folderAt(found), target.get());
    QCOMPARE(*loads, 1);  // the folder on the way was loaded, the target not yet
    QCOMPARE(model.pathKey(target.get()), key);
    QVERIFY(!model.pathKey(target.get()).contains(QLatin1Char(' ')));
    QCOMPARE(model.pathKey(file.get()), QString::fromLatin1(QUrl::toPercentEncoding(path)) + QLatin1Char('|'));
    QCOMPARE(model.folderAt(model.indexForKey(model.pathKey(file.get()))), file.get());
    QCOMPARE(PstTreeModel::pathKey(path, {32802, 32834}), key);

    // Older form: row numbers from the root.
    QCOMPARE(model.folderAt(model.indexForKey(QStringLiteral("1/1/1"))), target.get());
    QCOMPARE(model.folderAt(model.indexForKey(QStringLiteral("/1//0/"))), file->subfolders()[0].get());

    // Keys that name nothing.
    for (const QString& bad : {QStringLiteral("1/5"), QStringLiteral("x/1"), QStringLiteral("-1"),
                               QStringLiteral("%2Fnot%2Fopen.pst|"), key + QStringLiteral("/999"),
                               QString::fromLatin1(QUrl::toPercentEncoding(path)) + QStringLiteral("|1")})
        QVERIFY2(!model.indexForKey(bad).isValid(), qPrintable(bad));
    // A part that is not a number ends the walk where it is.
    QCOMPARE(model.folderAt(model.indexForKey(QString::fromLatin1(QUrl::toPercentEncoding(path)) + QStringLiteral("|32802/abc"))),
             top.get());
    // A record outside any tree has no key.
    QVERIFY(model.pathKey(model.root().get()).isEmpty());
}

void TestTreeModel::hidesEmptyFolders()
{
    PstTreeModel model(std::make_shared<PstFolderItem>());
    PstTreeViewFilterModel proxy;
    proxy.setSourceModel(&model);
    auto file = makeFile(QStringLiteral("/tmp/h.pst"));
    auto full = makeFolder(QStringLiteral("Full"), 1);
    addMails(full, 1);
    auto emptyLeaf = makeFolder(QStringLiteral("Empty"), 2);
    auto emptyParent = makeFolder(QStringLiteral("Holder"), 3);
    auto nested = makeFolder(QStringLiteral("Nested"), 4);
    addMails(nested, 2);
    emptyParent->addSubfolder(nested);
    auto emptyChain = makeFolder(QStringLiteral("Hollow"), 5);
    emptyChain->addSubfolder(makeFolder(QStringLiteral("Nothing"), 6));
    auto unloaded = makeLazy(QStringLiteral("Unloaded"), 7, {}, 0, std::make_shared<int>(0));
    for (const auto& f : {full, emptyLeaf, emptyParent, emptyChain, unloaded})
        file->addSubfolder(f);
    model.appendFile(file);

    const QStringList all{"Empty", "Full (1 item)", "Holder", "Hollow", "Unloaded"};
    QCOMPARE(labels(proxy, proxy.index(0, 0)), all);
    proxy.setHideEmptyFolders(true);
    QCOMPARE(labels(proxy, proxy.index(0, 0)), (QStringList{"Full (1 item)", "Holder", "Unloaded"}));
    proxy.setHideEmptyFolders(false);
    QCOMPARE(labels(proxy, proxy.index(0, 0)), all);
}

void TestTreeModel::pressesAndContextMenu()
{
    PSTTreeView view;
    QCOMPARE(view.minimumSizeHint(), QSize(0, 0));
    PstTreeController controller(&view);
    view.resize(300, 300);
    view.show();

    auto file = makeFile(QStringLiteral("/tmp/menu.pst"));
    auto inbox = makeFolder(QStringLiteral("Inbox"), 50);
    addMails(inbox, 3);
    file->addSubfolder(inbox);
    controller.model()->appendFile(file);
    const QModelIndex fileIndex = controller.proxy()->index(0, 0);
    view.expand(fileIndex);
    const QModelIndex inboxIndex = controller.proxy()->index(0, 0, fileIndex);

    QSignalSpy selected(&controller, &PstTreeController::folderSelected);
    controller.onPressed(inboxIndex);
    controller.onPressed(inboxIndex);
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.at(0).at(0).value<QList<std::shared_ptr<PstItem>>>().size(), 3);
    controller.onPressed(fileIndex);
    QCOMPARE(selected.count(), 2);
    QVERIFY(selected.at(1).at(0).value<QList<std::shared_ptr<PstItem>>>().isEmpty());

    view.setCurrentIndex(inboxIndex);
    QCOMPARE(controller.currentFileNode(), file);
    QCOMPARE(controller.currentKey(), controller.model()->pathKey(inbox.get()));
    QCOMPARE(controller.expandedKeys(), QStringList{controller.model()->pathKey(file.get())});
    view.collapseAll();
    view.setCurrentIndex(fileIndex);
    controller.applyKeys({controller.model()->pathKey(file.get())}, controller.model()->pathKey(inbox.get()), true);
    QVERIFY(view.isExpanded(fileIndex));
    QCOMPARE(view.currentIndex(), inboxIndex);
    QCOMPARE(selected.count(), 3);  // announced as a press

    // The menu only on file nodes.
    QVERIFY(!controller.contextMenuAt(view.visualRect(inboxIndex).center()));
    QVERIFY(!controller.contextMenuAt(QPoint(5, 290)));
    QMenu* menu = controller.contextMenuAt(view.visualRect(fileIndex).center());
    QVERIFY(menu);
    QStringList texts;
    for (QAction* a : menu->actions())
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(texts, (QStringList{"Show in File Manager", "-", "Close file"}));

    QSignalSpy rows(&controller, &PstTreeController::pstTreeViewRowChanged);
    QSignalSpy closed(&controller, &PstTreeController::pstFileClosed);
    controller.closeFileAction()->trigger();
    QCOMPARE(controller.fileCount(), 0);
    QCOMPARE(rows.count(), 1);
    QCOMPARE(rows.at(0).at(0).toInt(), 0);
    QCOMPARE(closed.count(), 1);
    QCOMPARE(closed.at(0).at(0).toString(), QStringLiteral("/tmp/menu.pst"));
}

void TestTreeModel::keyboardShowsFolders()
{
    PSTTreeView view;
    PstTreeController controller(&view);
    view.resize(300, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto file = makeFile(QStringLiteral("/tmp/keys.pst"));
    auto inbox = makeFolder(QStringLiteral("Inbox"), 50);
    addMails(inbox, 3);
    auto archive = makeFolder(QStringLiteral("Archive"), 51);
    addMails(archive, 1);
    file->addSubfolder(inbox);
    file->addSubfolder(archive);
    controller.model()->appendFile(file);
    const QModelIndex fileIndex = controller.proxy()->index(0, 0);
    view.expand(fileIndex);
    const QModelIndex archiveIndex = controller.proxy()->index(0, 0, fileIndex);

    QSignalSpy selected(&controller, &PstTreeController::folderSelected);
    auto shown = [&selected](int at) { return selected.at(at).at(0).value<QList<std::shared_ptr<PstItem>>>().size(); };
    // Moving the current index in code shows nothing.
    view.setCurrentIndex(fileIndex);
    QCOMPARE(selected.count(), 0);
    // Arrow keys show each folder reached; Enter on the shown one does nothing more.
    view.setFocus();
    QTest::keyClick(&view, Qt::Key_Down);
    QCOMPARE(view.currentIndex(), archiveIndex);
    QCOMPARE(selected.count(), 1);
    QCOMPARE(shown(0), 1);
    QTest::keyClick(&view, Qt::Key_Down);
    QCOMPARE(selected.count(), 2);
    QCOMPARE(shown(1), 3);
    QTest::keyClick(&view, Qt::Key_Return);
    QCOMPARE(selected.count(), 2);
    // Enter shows a folder made current in code.
    view.setCurrentIndex(archiveIndex);
    QTest::keyClick(&view, Qt::Key_Return);
    QCOMPARE(selected.count(), 3);
    QCOMPARE(shown(2), 1);
}

QTEST_MAIN(TestTreeModel)
#include "tst_treemodel.moc"
