#pragma once
// Index records from item records, and the index build that runs inside
// the background walk of a file: each item is parsed once, for its record
// and its body together, and its index record is written out as it comes.

#include "sorrel/items/PstItem.h"
#include "sorrel/search/PstSearchRecord.h"
#include "sorrel/store/PstForest.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

// The date a result card shows for item: a mail's sent date (or "No sent
// date"), the start of appointments and tasks, a note's creation time, a
// journal entry's start; empty for contacts.
QString pstSearchDateText(const PstItem& item);

// The index record of item in a folder whose path is folderPath, at row of
// its item list, with the field texts computed from body (read from the
// same parse as the item).
PstSearchRecord pstSearchRecordFor(const PstItem& item, const QList<qint64>& folderPath, int row,
                                   const PstItemBody& body);

struct PstSearchLoad {
    PstCancelFlag cancel;
    // False: the forest keeps its folders only (the command line's index
    // build and search); items are written to the index and let go, and with
    // a usable index no item is parsed at all.
    bool keepItems = true;
    // Index build progress: folders done of the folders of the file.
    std::function<void(int done, int total)> progress;
    // Told after the header check whether the index on disk is usable
    // (true) or is rebuilt during the walk (false).
    std::function<void(bool indexUsable)> announce;
};

struct PstSearchLoadResult {
    PstDetachedForest forest;
    bool indexUsable = false;  // a valid index is on disk afterwards
};

// Walks one open file into its prebuilt forest and, when its search index
// is missing or stale, builds the index on the way (one parse per item; the
// records are written as they come, compressed on a second thread). Logs the
// index's profile lines. A cancelled walk writes nothing.
PstSearchLoadResult pstLoadForSearch(const PstSearchDocument& document, const PstSearchLoad& load);
