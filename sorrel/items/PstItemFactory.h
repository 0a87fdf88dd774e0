#pragma once
// Turning libpst's parsed items into records. The builders read the libpst
// item and may call libpst's charset conversion: call them with
// pstLibraryMutex() held.

#include "sorrel/items/PstItem.h"
#include "sorrel/store/PstExtraProperties.h"

#include <QString>

#include <memory>

// What a message class makes of an object that has no folder record.
enum class PstMessageClassKind {
    None,      // no record
    Mail,
    Contact,
    Journal,
    Calendar,
    Note,
    Task,
};

// Classifies a message class (pure, no lock needed): "IPM.Contact", "IPM.Activity",
// "IPM.Appointment", "IPM.StickyNote", "IPM.Task" and their subclasses
// ("IPM.Task.X") give their kinds; every other class becomes a mail (the
// builder still needs a mail part). Letter case is ignored. Null: None.
PstMessageClassKind pstClassifyMessageClass(const char* messageClass);

// The record for a parsed item, or null when it becomes none (no item, no
// class, a kind whose libpst part is missing). Folders are no items: a parsed
// folder gives null too; the folder layer makes their records. Reads the task
// and journal properties, and a sender's SMTP address where libpst has only
// an Exchange path, itself when the item needs them. The caller frees the
// libpst item afterwards, sets depth and descriptor and links the record
// into its tree.
std::shared_ptr<PstItem> createItemRecord(pst_file* pf, pst_desc_tree* d, pst_item* item);

// The same with those properties already read.
std::shared_ptr<PstItem> pstBuildItem(pst_file* pf, pst_desc_tree* d, pst_item* item,
                                      const PstExtraProperties& extra);

// A single record outside any tree (a search hit): looks the descriptor up,
// parses it and builds the record, which then holds the handle itself
// (depth 0, file path from the libpst file). Takes the lock itself.
std::shared_ptr<PstItem> loadItemById(const PstFileHandle& handle, uint64_t id);
