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
    // PR_SENT_REPRESENTING_SMTP_ADDRESS and PR_SENDER_SMTP_ADDRESS (UTF-8 or
    // 8-bit as stored): a sender's Internet address where libpst only has
    // its Exchange directory path.
    std::optional<QByteArray> sentRepresentingSmtpAddress;
    std::optional<QByteArray> senderSmtpAddress;
};

// Reads the task, journal and sender address properties of the object d; the caller holds pstLibraryMutex().
// A damaged or missing property context gives an empty result.
PstExtraProperties pstReadExtraProperties(pst_file* pf, pst_desc_tree* d);

// One raw property of the object d, looked up by its id after named-property
// mapping (the ids libpst's parser sees). The value bytes are as stored:
// 4 bytes for the small fixed types, strings unconverted. The caller holds
// pstLibraryMutex().
struct PstRawProperty {
    uint16_t type = 0;
    QByteArray value;
};
std::optional<PstRawProperty> pstReadRawProperty(pst_file* pf, pst_desc_tree* d, uint32_t mappedId);
