#pragma once
// A folder of an open PST file, or the file node above its folders (depth 0,
// holding the document handle). Children load lazily through the child
// loader: subfolders become the record's children, items hang below it.

#include "sorrel/items/PstItem.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

struct PstFolderIndex;
class PstFolderItem;

using PstFolderItemPtr = std::shared_ptr<PstFolderItem>;

class PstFolderItem : public PstItem {
public:
    // Fills the two lists with the folder's subfolders and its other records,
    // in descriptor order. Parent links are set by loadChildren afterwards.
    using ChildLoader = std::function<void(PstFolderItem& folder,
                                           QList<PstFolderItemPtr>& subfolders,
                                           QList<std::shared_ptr<PstItem>>& items)>;

    PstFolderItem();

    // A folder record from a parsed libpst folder item: name from its
    // display name, id from the descriptor, container class as Latin-1.
    // Call with pstLibraryMutex() held.
    static PstFolderItemPtr fromLibpst(pst_item* item, pst_desc_tree* d);

    PstItemKind kind() const override { return PstItemKind::Folder; }
    QString iconPath() const override;  // by container class
    std::shared_ptr<PstItem> clone() const override;
    void loadChildren() override;       // once; runs the loader

    pst_desc_tree* node() const { return descriptor(); }
    PstFileHandle handle() const { return ownDocument(); }
    QString containerClass() const { return m_containerClass; }
    void setContainerClass(const QString& c) { m_containerClass = c; }

    const QList<PstFolderItemPtr>& subfolders() const { return m_subfolders; }
    const QList<std::shared_ptr<PstItem>>& items() const { return m_items; }
    // Appending links the child to this folder.
    void addSubfolder(PstFolderItemPtr folder);
    void addItem(std::shared_ptr<PstItem> item);
    // Drops the item records of a folder its loader filled, keeping its
    // subfolders, for a walk that has taken what it needs from them; the next
    // loadChildren() reads the items again.
    void releaseItems();

    bool isLoaded() const { return m_loaded && !m_itemsReleased; }
    void setLoaded(bool loaded) { m_loaded = loaded; }
    const ChildLoader& childLoader() const { return m_childLoader; }
    void setChildLoader(ChildLoader loader) { m_childLoader = std::move(loader); }
    const std::shared_ptr<PstFolderIndex>& folderIndex() const { return m_folderIndex; }
    void setFolderIndex(std::shared_ptr<PstFolderIndex> index) { m_folderIndex = std::move(index); }

    // Descriptors of the folder left out because they are damaged.
    int damagedCount() const { return m_damagedCount; }
    void setDamagedCount(int count) { m_damagedCount = count; }
    // "%n damaged item(s) skipped" (translated), or empty when none.
    QString damagedText() const;

    // Items of the folder when loaded (or without loader), else 0.
    int itemCount() const;
    QString countSuffix() const;  // " (12 items)" or empty
    // The file node above (the record whose parent is the invisible root or
    // which has no parent); itself for a file node.
    PstFolderItemPtr fileNode();
    // Folder ids from the first folder below the file node down to this one.
    QList<uint64_t> idPath();
    // Removes the subfolder at row (closing a file node removes the file).
    void removeChild(int row);

private:
    QString m_containerClass;
    QList<PstFolderItemPtr> m_subfolders;
    QList<std::shared_ptr<PstItem>> m_items;
    bool m_loaded = false;
    bool m_itemsReleased = false;
    int m_damagedCount = 0;
    ChildLoader m_childLoader;
    std::shared_ptr<PstFolderIndex> m_folderIndex;
};
