#pragma once
// Opens one PST file: libpst's open, the index from the cache or the file,
// the extended attributes, then the folder skeleton as a file node. A short-
// lived object; the handle lives on in the file node it parses.

#include "sorrel/store/PstFolderItem.h"
#include "sorrel/store/PstLibrary.h"

#include <QList>
#include <QString>

#include <memory>

class PstDocument {
public:
    // The step at which the last open or parse failed.
    enum class Failure { None, Open, Index, ExtendedAttributes, NoFolders };

    PstDocument();

    bool open(const QString& path);
    // The file node with its first folder level, or null.
    PstFolderItemPtr parse(const QString& path);

    QString path() const { return m_path; }
    const PstFileHandle& handle() const { return m_handle; }
    Failure failure() const { return m_failure; }
    // "pst_open", "index", "extended attributes", "no folders"; empty for None.
    static QString failureText(Failure failure);

private:
    bool openOnce(const QString& path, bool useCache, bool& fromCache);
    void fail(Failure failure, const QString& warning);

    QString m_path;
    PstFileHandle m_handle;
    Failure m_failure = Failure::None;
};

// The child loader every folder of an open file keeps: reads the folder's
// child descriptors (for a file node: its top-of-folders node and the nodes
// after it) into subfolders and items, in descriptor order, through
// pstReadFolderChild. What is not the user's, and descriptors that do not
// parse, are skipped. Takes the library lock per descriptor.
void pstLoadFolderChildren(PstFolderItem& folder, QList<PstFolderItemPtr>& subfolders,
                           QList<std::shared_ptr<PstItem>>& items);

// The folder with descriptor id `id` below a loaded file node, found through
// the descriptor lookup: only the folders on its way down from the file
// node are read, not their siblings. The list runs from the first level
// below the file node down to that folder, each record linked to the one
// above (the first level is the file node's own record), each with the child
// loader; keep the list while the folder is used. Empty when the id names
// no folder of the file, or one that is not shown or lies below one that is
// not shown.
QList<PstFolderItemPtr> pstFolderPathById(const PstFolderItemPtr& fileNode, uint64_t id);
