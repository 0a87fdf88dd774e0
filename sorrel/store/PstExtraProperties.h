#pragma once
// Task and journal properties that libpst's item parser does not hand out,
// read from the item's own property context through libpst's block access.

#include <libpst/libpst.h>

#include <QByteArray>

#include <cstdint>
#include <optional>

struct PstTaskRecord {
    std::optional<FILETIME> due, start, completed;
    double percentComplete = 0;
    int32_t actualEffort = 0, estimatedEffort = 0, status = 0, complete = 0;
    std::optional<QByteArray> owner;
};

struct PstExtraProperties {
    std::optional<PstTaskRecord> task;
    std::optional<int32_t> journalDuration;
};

// Reads the task and journal properties of the object d; the caller holds pstLibraryMutex().
PstExtraProperties pstReadExtraProperties(pst_file* pf, pst_desc_tree* d);
