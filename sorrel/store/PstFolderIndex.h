#pragma once
// Folder statistics of one open file, collected while walking all of it:
// which folders have subfolders and how many items each folder holds. The
// tree uses them for expanders and count labels of folders not loaded yet.

#include <QHash>
#include <QSet>

#include <cstdint>

struct PstFolderIndex {
    QSet<quint64> foldersWithSubfolders;  // folder ids, the file node's id included
    QHash<quint64, int> itemCounts;       // folder id -> non-folder items directly in it
};
