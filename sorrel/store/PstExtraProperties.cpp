#include "sorrel/store/PstExtraProperties.h"

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

constexpr uint64_t kInternalBlockBit = 0x02;      // XBLOCK / XXBLOCK / subnode blocks
constexpr qsizetype kMaxBlockBytes = 1 << 20;      // sane upper bound for one block
constexpr qsizetype kMaxTreeBytes = 64 << 20;      // upper bound for one data tree
constexpr int kMaxBthNodes = 4096;                 // guards against looping B-trees

uint16_t le16(QByteArrayView b, qsizetype at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData()) + at;
    return uint16_t(p[0] | (p[1] << 8));
}

uint32_t le32(QByteArrayView b, qsizetype at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData()) + at;
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

uint64_t le64(QByteArrayView b, qsizetype at)
{
    return uint64_t(le32(b, at)) | (uint64_t(le32(b, at + 4)) << 32);
}

bool isInlineType(uint16_t type)
{
    // Fixed-size types of at most four bytes sit in the record itself.
    switch (type) {
    case 0x0002: case 0x0003: case 0x0004: case 0x000A: case 0x000B:
        return true;
    default:
        return false;
    }
}

class NodeReader {
public:
    NodeReader(pst_file* pf, pst_desc_tree* d)
        : m_pf(pf), m_d(d), m_wide(pf->do_read64 != 0)
    {
    }

    // Reads the property context; false when it is missing or damaged.
    bool load()
    {
        if (!m_d->desc)
            return false;
        qsizetype budget = kMaxTreeBytes;
        if (!readTree(m_d->desc->i_id, 2, m_blocks, budget) || m_blocks.isEmpty())
            return false;
        const QByteArray& first = m_blocks.first();
        if (first.size() < 12 || uint8_t(first[2]) != 0xEC || uint8_t(first[3]) != 0xBC)
            return false;
        QByteArrayView bth;
        if (!alloc(le32(first, 4), bth) || bth.size() < 8 || uint8_t(bth[0]) != 0xB5)
            return false;
        if (uint8_t(bth[1]) != 2 || uint8_t(bth[2]) != 6)
            return false;
        m_levels = uint8_t(bth[3]);
        m_root = le32(bth, 4);
        return true;
    }

    // Calls f(id, type, hnid) for each record in key order until f returns false.
    template <typename F>
    void forEachRecord(F&& f)
    {
        int nodes = 0;
        if (m_root != 0)
            walk(m_root, m_levels, nodes, f);
    }

    // The bytes of a record's value.
    bool value(uint16_t type, uint32_t hnid, QByteArray& out)
    {
        if (isInlineType(type)) {
            out = QByteArray(4, '\0');
            for (int i = 0; i < 4; ++i)
                out[i] = char((hnid >> (8 * i)) & 0xFF);
            return true;
        }
        out.clear();
        if (hnid == 0)
            return true;
        if ((hnid & 0x1F) == 0) {
            QByteArrayView heapValue;
            if (!alloc(hnid, heapValue))
                return false;
            out = heapValue.toByteArray();
            return true;
        }
        return subnodeValue(hnid, out);
    }

private:
    QByteArray readBlock(uint64_t id)
    {
        const pst_index_ll* entry = pst_getID(m_pf, id);
        if (!entry || entry->size == 0 || entry->size > uint64_t(kMaxBlockBytes)
            || (m_pf->size && entry->size > m_pf->size))
            return {};
        char* buf = nullptr;
        const size_t n = pst_ff_getIDblock_dec(m_pf, id, &buf);
        QByteArray out;
        if (buf && n > 0 && n <= size_t(kMaxBlockBytes))
            out = QByteArray(buf, qsizetype(n));
        std::free(buf);
        return out;
    }

    // Appends the data blocks of the tree rooted at id. maxLevel 2 allows an
    // XXBLOCK, 1 an XBLOCK, 0 only a plain data block.
    bool readTree(uint64_t id, int maxLevel, QList<QByteArray>& out, qsizetype& budget)
    {
        QByteArray b = readBlock(id);
        if (b.isEmpty() || b.size() > budget)
            return false;
        if (!(id & kInternalBlockBit)) {
            budget -= b.size();
            out.append(b);
            return true;
        }
        if (b.size() < 8 || uint8_t(b[0]) != 0x01)
            return false;
        const int level = uint8_t(b[1]);
        if (level < 1 || level > maxLevel)
            return false;
        const qsizetype count = le16(b, 2);
        const qsizetype idSize = m_wide ? 8 : 4;
        if (8 + count * idSize > b.size())
            return false;
        for (qsizetype i = 0; i < count; ++i) {
            const qsizetype at = 8 + i * idSize;
            const uint64_t child = m_wide ? le64(b, at) : le32(b, at);
            if (!readTree(child, level - 1, out, budget))
                return false;
        }
        return true;
    }

    // A heap allocation: block index in the high 16 bits, 1-based slot above the 5 type bits.
    bool alloc(uint32_t hid, QByteArrayView& out) const
    {
        if ((hid & 0x1F) != 0)
            return false;
        const qsizetype blockIndex = hid >> 16;
        const qsizetype slot = (hid >> 5) & 0x7FF;
        if (slot == 0 || blockIndex >= m_blocks.size())
            return false;
        const QByteArray& b = m_blocks[blockIndex];
        if (b.size() < 2)
            return false;
        const qsizetype map = le16(b, 0);
        if (map + 4 > b.size())
            return false;
        const qsizetype allocs = le16(b, map);
        if (slot > allocs || map + 4 + 2 * (allocs + 1) > b.size())
            return false;
        const qsizetype begin = le16(b, map + 4 + 2 * (slot - 1));
        const qsizetype end = le16(b, map + 4 + 2 * slot);
        if (begin > end || end > b.size())
            return false;
        out = QByteArrayView(b).sliced(begin, end - begin);
        return true;
    }

    template <typename F>
    bool walk(uint32_t hid, int level, int& nodes, F& f)
    {
        if (++nodes > kMaxBthNodes)
            return false;
        QByteArrayView node;
        if (!alloc(hid, node))
            return true;  // a broken branch: skip it, keep the rest
        if (level == 0) {
            for (qsizetype at = 0; at + 8 <= node.size(); at += 8) {
                if (!f(le16(node, at), le16(node, at + 2), le32(node, at + 4)))
                    return false;
            }
            return true;
        }
        for (qsizetype at = 0; at + 6 <= node.size(); at += 6) {
            if (!walk(le32(node, at + 2), level - 1, nodes, f))
                return false;
        }
        return true;
    }

    // Finds the data block id of subnode nid in the subnode tree rooted at id.
    bool findSubnode(uint64_t id, uint32_t nid, int maxLevel, uint64_t& dataId)
    {
        const QByteArray b = readBlock(id);
        const qsizetype header = m_wide ? 8 : 4;
        if (b.size() < header || uint8_t(b[0]) != 0x02)
            return false;
        const int level = uint8_t(b[1]);
        if (level > maxLevel)
            return false;
        const qsizetype count = le16(b, 2);
        const qsizetype idSize = m_wide ? 8 : 4;
        const qsizetype entrySize = level == 0 ? 3 * idSize : 2 * idSize;
        if (header + count * entrySize > b.size())
            return false;
        for (qsizetype i = 0; i < count; ++i) {
            const qsizetype at = header + i * entrySize;
            const uint64_t child = m_wide ? le64(b, at + idSize) : le32(b, at + idSize);
            if (level == 0) {
                if (le32(b, at) == nid) {
                    dataId = child;
                    return true;
                }
            } else if (findSubnode(child, nid, level - 1, dataId)) {
                return true;
            }
        }
        return false;
    }

    bool subnodeValue(uint32_t nid, QByteArray& out)
    {
        uint64_t dataId = 0;
        if (!m_d->assoc_tree || !findSubnode(m_d->assoc_tree->i_id, nid, 1, dataId))
            return false;
        QList<QByteArray> blocks;
        qsizetype budget = kMaxTreeBytes;
        if (!readTree(dataId, 2, blocks, budget))
            return false;
        out.reserve(kMaxTreeBytes - budget);
        for (const QByteArray& b : blocks)
            out += b;
        return true;
    }

    pst_file* m_pf;
    pst_desc_tree* m_d;
    bool m_wide;
    QList<QByteArray> m_blocks;
    int m_levels = 0;
    uint32_t m_root = 0;
};

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
    NodeReader reader(pf, d);
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
    NodeReader reader(pf, d);
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
