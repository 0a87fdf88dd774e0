#include "sorrel/store/PstExtraProperties.h"

#include "sorrel/store/PstNodeReader.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <cstdlib>
#include <cstring>

// An item's properties live in a property context: a heap spread over the
// blocks of the node's data tree (one block, or an XBLOCK / XXBLOCK list of
// blocks), holding a B-tree of (property id, type, value reference) records.
// A value is held inline (small fixed types), in a heap allocation, or in a
// subnode of the node's subnode tree. libpst reads and decrypts single blocks
// for us; everything above that is read here, with every offset checked.

namespace {

using pstnode::le16;
using pstnode::le32;
using pstnode::le64;

// Named properties (ids from 0x8000) map through the file's extended-attribute
// list, sorted by key, exactly as libpst's parser maps them.
uint32_t mappedId(const pst_file* pf, uint16_t raw)
{
    const pst_x_attrib_ll* x = pf->x_head;
    while (x && x->map < raw)
        x = x->next;
    if (x && x->map == raw) {
        if (x->mytype == PST_MAP_ATTRIB && x->data)
            return *static_cast<const uint32_t*>(x->data);
        return uint32_t(PST_ATTRIB_HEADER);
    }
    return raw;
}

enum : uint32_t {
    kTaskStatus = 0x8101,
    kPercentComplete = 0x8102,
    kTaskStartDate = 0x8104,
    kTaskDueDate = 0x8105,
    kTaskDateCompleted = 0x810F,
    kTaskActualEffort = 0x8110,
    kTaskEstimatedEffort = 0x8111,
    kTaskComplete = 0x811C,
    kTaskOwner = 0x811F,
    kLogDuration = 0x8707,
    kSenderSmtpAddress = 0x5D01,
    kSentRepresentingSmtpAddress = 0x5D02,
};

bool isWanted(uint32_t id)
{
    switch (id) {
    case kTaskStatus: case kPercentComplete: case kTaskStartDate: case kTaskDueDate:
    case kTaskDateCompleted: case kTaskActualEffort: case kTaskEstimatedEffort:
    case kTaskComplete: case kTaskOwner: case kLogDuration:
    case kSenderSmtpAddress: case kSentRepresentingSmtpAddress:
        return true;
    default:
        return false;
    }
}

void readInt32(const QByteArray& v, int32_t& target)
{
    if (v.size() >= 4)
        target = int32_t(le32(v, 0));
}

void readDate(uint16_t type, const QByteArray& v, std::optional<FILETIME>& target)
{
    if (type != 0x0040 || v.size() != 8)
        return;
    target = FILETIME{le32(v, 0), le32(v, 4)};
}

// A string value as libpst hands its own strings out: it ends at its first
// NUL (files often store the terminator) and a Unicode one becomes UTF-8.
std::optional<QByteArray> stringValue(uint16_t type, const QByteArray& v)
{
    if (type == 0x001F) {
        QList<char16_t> units(v.size() / 2);
        for (qsizetype i = 0; i < units.size(); ++i)
            units[i] = le16(v, 2 * i);
        const qsizetype end = units.indexOf(u'\0');
        return QString::fromUtf16(units.constData(), end < 0 ? units.size() : end).toUtf8();
    }
    if (type == 0x001E) {
        const qsizetype end = v.indexOf('\0');
        return end < 0 ? v : v.left(end);
    }
    return std::nullopt;
}

void apply(PstExtraProperties& out, uint32_t id, uint16_t type, const QByteArray& v)
{
    if (id == kSentRepresentingSmtpAddress || id == kSenderSmtpAddress) {
        (id == kSenderSmtpAddress ? out.senderSmtpAddress : out.sentRepresentingSmtpAddress) = stringValue(type, v);
        return;
    }
    if (id == kLogDuration) {
        int32_t minutes = out.journalDuration.value_or(0);
        readInt32(v, minutes);
        out.journalDuration = minutes;
        return;
    }
    if (!out.task)
        out.task.emplace();
    PstTaskRecord& t = *out.task;
    switch (id) {
    case kTaskStatus: readInt32(v, t.status); break;
    case kTaskActualEffort: readInt32(v, t.actualEffort); break;
    case kTaskEstimatedEffort: readInt32(v, t.estimatedEffort); break;
    case kPercentComplete:
        if (v.size() >= 8) {
            const uint64_t bits = le64(v, 0);
            std::memcpy(&t.percentComplete, &bits, sizeof bits);
        }
        break;
    case kTaskStartDate: readDate(type, v, t.start); break;
    case kTaskDueDate: readDate(type, v, t.due); break;
    case kTaskDateCompleted: readDate(type, v, t.completed); break;
    case kTaskComplete:
        if (v.size() >= 2)
            t.complete = le16(v, 0) != 0 ? 1 : 0;
        break;
    case kTaskOwner:
        t.owner = type == 0x0102 ? std::optional<QByteArray>(v) : stringValue(type, v);
        break;
    default:
        break;
    }
}

}  // namespace

PstExtraProperties pstReadExtraProperties(pst_file* pf, pst_desc_tree* d)
{
    PstExtraProperties out;
    if (!pf || !d)
        return out;
    const PstBlockSource source(pf);
    PstNodeReader reader(source, d->desc ? d->desc->i_id : 0, d->assoc_tree ? d->assoc_tree->i_id : 0);
    if (!reader.load())
        return out;
    reader.forEachRecord([&](uint16_t raw, uint16_t type, uint32_t hnid) {
        const uint32_t id = mappedId(pf, raw);
        if (!isWanted(id))
            return true;
        QByteArray v;
        const bool have = reader.value(type, hnid, v);
        // The record itself creates the task record, even when its value is unreadable.
        apply(out, id, type, have ? v : QByteArray());
        return true;
    });
    return out;
}

std::optional<PstRawProperty> pstReadRawProperty(pst_file* pf, pst_desc_tree* d, uint32_t id)
{
    if (!pf || !d)
        return std::nullopt;
    const PstBlockSource source(pf);
    PstNodeReader reader(source, d->desc ? d->desc->i_id : 0, d->assoc_tree ? d->assoc_tree->i_id : 0);
    if (!reader.load())
        return std::nullopt;
    std::optional<PstRawProperty> found;
    reader.forEachRecord([&](uint16_t raw, uint16_t type, uint32_t hnid) {
        if (mappedId(pf, raw) != id)
            return true;
        PstRawProperty p;
        p.type = type;
        if (reader.value(type, hnid, p.value))
            found = p;
        return false;
    });
    return found;
}
