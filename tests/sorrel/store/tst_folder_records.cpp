// Folder records: made from libpst's folder items, linked into a tree whose
// file node holds the document handle, and loaded once through the loader.

#include "sorrel/items/PstItemKinds.h"
#include "sorrel/store/PstFolderItem.h"

#include <QtTest>

class TestFolderRecords : public QObject {
    Q_OBJECT
private slots:
    void fromLibpst();
    void documentLookup();
    void folderLoading();
};

void TestFolderRecords::fromLibpst()
{
    QByteArray name("Inbox"), cls("IPF.Note");
    pst_item_folder folderPart{};
    pst_item item{};
    item.folder = &folderPart;
    item.file_as = pst_string{0, name.data()};
    item.ascii_type = cls.data();
    pst_desc_tree d{};
    d.d_id = 0x8082;
    const PstFolderItemPtr folder = PstFolderItem::fromLibpst(&item, &d);
    QCOMPARE(folder->kind(), PstItemKind::Folder);
    QCOMPARE(folder->name(), QStringLiteral("Inbox"));
    QCOMPARE(folder->id(), uint64_t(0x8082));
    QCOMPARE(folder->containerClass(), QStringLiteral("IPF.Note"));
    QCOMPARE(folder->node(), &d);
    item.ascii_type = nullptr;
    QVERIFY(PstFolderItem::fromLibpst(&item, &d)->containerClass().isEmpty());
}

void TestFolderRecords::documentLookup()
{
    auto file = std::make_shared<PstFolderItem>();
    PstFileHandle handle = makePstFileHandle();
    file->setDocument(handle);
    auto folder = std::make_shared<PstFolderItem>();
    folder->setDepth(1);
    file->addSubfolder(folder);
    auto note = std::make_shared<PstNoteItem>();
    note->setDepth(2);
    folder->addItem(note);
    QCOMPARE(note->document(), handle);
    QCOMPARE(file->document(), handle);

    // A clone of the folder keeps its items under it but has no file above.
    auto copy = std::static_pointer_cast<PstFolderItem>(folder->clone());
    QCOMPARE(copy->items().size(), 1);
    QCOMPARE(copy->items().first()->parent(), std::static_pointer_cast<PstItem>(copy));
    QVERIFY(!copy->items().first()->document());

    std::weak_ptr<pst_file> watch = handle;
    handle.reset();
    file.reset();  // the file node goes: the chain is broken
    QVERIFY(!note->document());
    QVERIFY(watch.expired());
}

void TestFolderRecords::folderLoading()
{
    auto file = std::make_shared<PstFolderItem>();
    file->setName(QStringLiteral("a.pst"));
    int calls = 0;
    file->setChildLoader([&calls](PstFolderItem& folder, QList<PstFolderItemPtr>& subs, QList<PstItemPtr>& items) {
        ++calls;
        auto sub = std::make_shared<PstFolderItem>();
        sub->setDepth(folder.depth() + 1);
        sub->setId(42);
        sub->setContainerClass(QStringLiteral("IPF.Task"));
        subs << sub;
        items << std::make_shared<PstNoteItem>() << std::make_shared<PstNoteItem>();
    });
    QCOMPARE(file->itemCount(), 0);
    QCOMPARE(file->countSuffix(), QString());
    QCOMPARE(file->childCount(), 1);
    QCOMPARE(file->childCount(), 1);
    QCOMPARE(calls, 1);
    QVERIFY(file->isLoaded());
    QCOMPARE(file->countSuffix(), QStringLiteral(" (2 items)"));
    auto sub = file->subfolders().first();
    QCOMPARE(file->childAt(0), std::static_pointer_cast<PstItem>(sub));
    QVERIFY(!file->childAt(1));
    QCOMPARE(sub->parent(), std::static_pointer_cast<PstItem>(file));
    QCOMPARE(file->items().first()->parent(), std::static_pointer_cast<PstItem>(file));
    QCOMPARE(sub->iconPath(), QStringLiteral(":/img/task@3x.png"));
    QCOMPARE(file->iconPath(), QStringLiteral(":/img/folder@3x.png"));
    QCOMPARE(sub->fileNode(), file);
    QCOMPARE(sub->idPath(), QList<uint64_t>({42}));
    QVERIFY(file->idPath().isEmpty());
    // No loader: counts what it holds; one item reads in the singular.
    QCOMPARE(sub->itemCount(), 0);
    sub->addItem(std::make_shared<PstNoteItem>());
    QCOMPARE(sub->countSuffix(), QStringLiteral(" (1 item)"));
    file->removeChild(0);
    QVERIFY(file->subfolders().isEmpty());
    QCOMPARE(file->childCount(), 0);
}

QTEST_GUILESS_MAIN(TestFolderRecords)
#include "tst_folder_records.moc"
