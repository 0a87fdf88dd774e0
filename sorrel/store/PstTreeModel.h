#pragma once
// The folder tree of all open PST files: an invisible root whose children are
// the file nodes, and below them each file's folders. Folders load lazily:
// their rows appear only through fetchMore. Every index carries a pointer to
// its PstFolderItem.

#include "sorrel/store/PstFolderItem.h"

#include <QAbstractItemModel>
#include <QList>

class PstTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    // The file path of a file node (empty on folders).
    static constexpr int FilePathRole = Qt::UserRole + 1;

    explicit PstTreeModel(PstFolderItemPtr root, QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    const PstFolderItemPtr& root() const { return m_root; }
    // The record behind an index of this model; the root for an invalid one.
    PstFolderItem* folderAt(const QModelIndex& index) const;
    // The index of a record of this model, or invalid when it is not in it.
    QModelIndex indexOf(const PstFolderItem* folder) const;
    QList<PstFolderItemPtr> fileNodes() const { return m_root->subfolders(); }

    void appendFile(const PstFolderItemPtr& fileNode);
    // Removes the record's row from its parent.
    void removeRow(const QModelIndex& index);
    // Replaces the file nodes (null entries are skipped).
    void resetFiles(const QList<PstFolderItemPtr>& fileNodes);
    // Display labels of every loaded level changed (counts arrived).
    void refreshLabels();

    // Tree path key: the file's absolute path percent-encoded, "|", then the
    // folder ids below the file node joined by "/". Names a folder across runs.
    static QString pathKey(const QString& filePath, const QList<uint64_t>& idPath);
    // The key of a record of this model; empty for the root or a detached record.
    QString pathKey(PstFolderItem* folder) const;
    // The source index named by a key (also the older form of row numbers
    // joined by "/"), loading folders on the way; invalid when not found.
    QModelIndex indexForKey(const QString& key);

private:
    // Whether the folder is expected to have subfolders, without loading it.
    bool guessHasChildren(PstFolderItem* folder) const;
    void refreshLabelsBelow(const QModelIndex& parent);

    PstFolderItemPtr m_root;
};
