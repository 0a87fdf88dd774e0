#pragma once
// The prebuilt forest of one open file: a detached file node whose whole
// folder tree is loaded (every folder holds its subfolders and items and has
// no child loader), the file's folder statistics and the list of all its
// items. Built on a background thread from new records only; the GUI's tree
// nodes are never touched.
//
// The walk reads every child through pstReadFolderChild, one descriptor per
// lock section, so the GUI thread can parse between two of its calls, and
// counts each folder's damaged children on it (pstReportDamaged).

#include "sorrel/store/PstFolderIndex.h"
#include "sorrel/store/PstFolderItem.h"
#include "sorrel/store/PstLibrary.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

struct PstDetachedForest {
    PstFolderItemPtr root;                       // null: no handle, or cancelled before the start
    std::shared_ptr<PstFolderIndex> folderIndex; // never null when root is set
    QList<std::shared_ptr<PstItem>> items;       // every item, folder by folder in walk order
};

struct PstForestWalk {
    // Read between descriptors; a set flag ends the walk (the partial forest
    // is the caller's to drop).
    const std::atomic_bool* cancel = nullptr;
    // Folders only: item descriptors are not parsed at all, and each
    // folder's item count in the statistics is the folder's own
    // (PR_CONTENT_COUNT). Enough for counts and folder paths.
    bool foldersOnly = false;
    // False: items are handed to onItem and then let go, so the walk's
    // memory does not grow with the file (the forest keeps folders only).
    bool keepItems = true;
    // Called for every item, after it joined its folder: the folder, the
    // item's position in the folder's item list and, with readBodies, the
    // item's body read from the same parse.
    bool readBodies = false;
    std::function<void(const std::shared_ptr<PstItem>& item, PstFolderItem& folder, int row, PstItemBody&& body)> onItem;
    // Called once the top of folders is found, with the number of folders
    // the walk visits at most: the file node and every normal folder
    // descriptor below it (hidden ones included, though never walked).
    std::function<void(int folders)> onStart;
    // Called after each folder's own children were read (the file node too).
    std::function<void()> onFolderDone;
};

// The result of one background run over all open files, file by file in
// tree order.
struct PstAllItemsResult {
    QList<PstFolderItemPtr> roots;                        // the forests' file nodes
    QList<std::shared_ptr<PstFolderIndex>> folderIndexes; // one per file, same order
    QList<std::shared_ptr<PstItem>> allItems;             // every item of every file, in walk order
};

// Walks the whole file behind handle. Without a top-of-folders descriptor
// the forest holds only the bare file node.
PstDetachedForest pstBuildForest(const QString& path, const PstFileHandle& handle, const PstForestWalk& walk = {});
