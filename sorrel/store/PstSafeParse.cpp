#include "sorrel/store/PstSafeParse.h"

#include "sorrel/store/PstDescriptorIndex.h"
#include "sorrel/store/PstNodeReader.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QSet>
#include <QtGlobal>

#include <memory>
#include <vector>

using namespace pstnode;

namespace {

constexpr uint32_t kRecipientTableNid = 0x692;
constexpr uint32_t kAttachmentTableNid = 0x671;
constexpr uint64_t kNameToIdMapNid = 0x61;
constexpr uint16_t kAttachDataObject = 0x3701;
// Objects below the item: an attachment and the message embedded in it count
// one level each, so this allows 32 messages attached to messages (the mail
// writer nests 10); deeper is treated as damage, and it bounds the recursion.
constexpr int kMaxEmbeddingDepth = 64;
// Subnodes with subnode trees of their own: each embedded message adds a level.
constexpr int kMaxSubnodeNesting = 64;

// Where a property's value reference points: the heap of the structure that
// holds the record, or a subnode (the structure's own subnodes first).
//
// A subnode is found as libpst finds it: depth first, an entry's own nested
// subnodes before its next sibling. Ids may repeat at different depths (an
// attached message has its own recipient table), so a plain scan of the top
// level could check another structure than the one libpst goes on to parse.
struct ValueSpace {
    const PstBlockSource& source;
    const PstHeap& heap;
    const PstBlockSource::Subnodes* subnodes;
    const PstBlockSource::Subnodes* outer = nullptr;
    // Nested lists read during lookups; the entries found point into them.
    mutable std::vector<std::unique_ptr<PstBlockSource::Subnodes>> nested = {};

    const PstBlockSource::Subnode* subnode(uint32_t nid) const
    {
        for (const auto* list : {subnodes, outer}) {
            if (!list)
                continue;
            if (const PstBlockSource::Subnode* s = depthFirst(*list, nid, 0))
                return s;
        }
        return nullptr;
    }

private:
    const PstBlockSource::Subnode* depthFirst(const PstBlockSource::Subnodes& list, uint32_t nid, int nesting) const
    {
        for (const PstBlockSource::Subnode& s : list) {
            if (s.nid == nid)
                return &s;
            if (!s.sub || nesting >= kMaxSubnodeNesting)
                continue;
            auto inner = std::make_unique<PstBlockSource::Subnodes>();
            if (!source.readSubnodes(s.sub, *inner))
                continue;  // unreadable nested trees are refused by nestedSubnodesSound
            nested.push_back(std::move(inner));
            if (const PstBlockSource::Subnode* found = depthFirst(*nested.back(), nid, nesting + 1))
                return found;
        }
        return nullptr;
    }
};

int multiValueElementSize(uint16_t type)
{
    switch (type) {
    case 0x1002: return 2;
    case 0x1003: case 0x1004: return 4;
    case 0x1005: case 0x1006: case 0x1007: case 0x1014: case 0x1040: return 8;
    case 0x1048: return 16;
    default: return 0;  // variable elements (0x101E, 0x101F, 0x1102)
    }
}

// A multi-valued value: fixed elements fill it evenly; variable ones start
// with a count and that many offsets that rise inside the value.
bool multiValueSound(uint16_t type, QByteArrayView v)
{
    if (const int element = multiValueElementSize(type))
        return v.size() % element == 0;
    if (v.isEmpty())
        return true;
    if (v.size() < 4)
        return false;
    const qsizetype count = le32(v, 0);
    if (count > (v.size() - 4) / 4)
        return false;
    qsizetype previous = 4 + 4 * count;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype at = le32(v, 4 + 4 * i);
        if (at < previous || at > v.size())
            return false;
        previous = at;
    }
    return true;
}

// The property types libpst's item parse reads safely. It misreads the
// others [MS-PST] allows (32-bit floats, error codes, currency, application
// times, server ids, multi-valued times and more) for the properties it
// knows, so a record of such a type is treated as damage; none of them
// occurs in the properties of the mailboxes we test with.
bool libpstReadsType(uint16_t type)
{
    switch (type) {
    case 0x0002: case 0x0003: case 0x0005: case 0x000B: case 0x000D: case 0x0014: case 0x001E: case 0x001F:
    case 0x0040: case 0x0048: case 0x0102:
    case 0x1003: case 0x1014: case 0x101E: case 0x101F: case 0x1102:
        return true;
    default:
        return false;
    }
}

// Properties libpst compares as text to classify the item: any other type
// makes it read a text that is not there.
bool typeFitsProperty(uint16_t id, uint16_t type)
{
    if (id == 0x001A || id == 0x3613)  // message class, container class
        return type == 0x001E || type == 0x001F;
    // An object value is kept without data, its subnode id taken for its
    // type (read later as the attached message); any property other than
    // the attachment's data object would then be read through no data.
    if (type == 0x000D)
        return id == 0x3701;
    return libpstReadsType(type);
}

enum class Verdict { Sound, Damaged, NotAnItem };

// Folders and messages: the nodes we list, always a property context.
bool isListedNodeType(uint64_t nid)
{
    switch (nid & 0x1F) {
    case 0x02: case 0x03: case 0x04: case 0x08:
        return true;
    default:
        return false;
    }
}

class ItemChecker {
public:
    explicit ItemChecker(pst_file* pf) : m_source(pf) {}

    // A descriptor as pst_parse_item reads it: a property context (folders,
    // messages, the message store, ...) or a table context. Other nodes
    // (no heap, other heap kinds) are no item of ours and are not parsed.
    Verdict checkDescriptor(const pst_desc_tree* d)
    {
        const bool listed = isListedNodeType(d->d_id);
        PstNodeReader node(m_source, d->desc->i_id, d->assoc_tree ? d->assoc_tree->i_id : 0);
        if (!node.loadHeap(true))
            return listed ? Verdict::Damaged : Verdict::NotAnItem;
        const uint8_t kind = node.heap().clientSignature();
        if (kind == 0xBC) {
            const PstBlockSource::Subnodes* subs = nullptr;
            return checkObject(node, 0) && node.subnodes(subs) && everyStructureSound(*subs, 0) ? Verdict::Sound
                                                                                               : Verdict::Damaged;
        }
        if (kind != 0x7C || listed)
            return listed ? Verdict::Damaged : Verdict::NotAnItem;
        // The item parse of a table still reads the recipient and attachment
        // tables among its subnodes, and each attachment.
        const PstBlockSource::Subnodes* subs = nullptr;
        if (!node.subnodes(subs) || !nestedSubnodesSound(*subs, 0) || !checkTable(node, nullptr, nullptr))
            return Verdict::Damaged;
        const ValueSpace space{m_source, node.heap(), subs};
        return checkRecipientsAndAttachments(space, subs, 0) && everyStructureSound(*subs, 0) ? Verdict::Sound
                                                                                            : Verdict::Damaged;
    }

    // libpst parses as an attachment whatever subnode its own reading of the
    // attachment table names, looked up anywhere in the item's subnode tree;
    // a damaged table can make that another subnode than the rows read here
    // name (even id 0). So every subnode libpst would take for a property
    // context or a table must be sound, whether a row names it or not.
    bool everyStructureSound(const PstBlockSource::Subnodes& list, int nesting)
    {
        for (const PstBlockSource::Subnode& s : list) {
            const QByteArray first = firstDataBlock(s.data, 2);
            if (first.size() >= 4 && uint8_t(first[2]) == 0xEC) {
                const uint8_t client = uint8_t(first[3]);
                if (client == 0xBC && !checkSubnodeObject(&s, 1))
                    return false;
                if (client == 0x7C && !checkSubnodeTable(&s, &list, nullptr))
                    return false;
            }
            if (!s.sub)
                continue;
            PstBlockSource::Subnodes inner;
            if (nesting >= kMaxSubnodeNesting || !m_source.readSubnodes(s.sub, inner)
                || !everyStructureSound(inner, nesting + 1))
                return false;
        }
        return true;
    }

    // The first data block of a data tree (through its XBLOCK or XXBLOCK):
    // where libpst reads a heap's signature. Empty when it cannot be read.
    QByteArray firstDataBlock(uint64_t id, int maxLevel) const
    {
        constexpr uint64_t kInternalBlock = 0x02;
        if (!(id & kInternalBlock))
            return m_source.readBlock(id);
        const QByteArray b = m_source.readBlock(id);
        const qsizetype entry = m_source.wide() ? 8 : 4;
        if (maxLevel < 1 || b.size() < 8 + entry || uint8_t(b[0]) != 0x01 || le16(b, 2) < 1)
            return {};
        return firstDataBlock(m_source.wide() ? le64(b, 8) : le32(b, 8), maxLevel - 1);
    }

    // A property context read by the item parse (a message, folder,
    // attachment or embedded message): every value, then its recipient and
    // attachment tables and each attachment's own object.
    bool checkObject(const PstNodeReader& pc, int depth)
    {
        if (depth > kMaxEmbeddingDepth || pc.heap().clientSignature() != 0xBC)
            return false;
        const PstBlockSource::Subnodes* subs = nullptr;
        if (!pc.subnodes(subs) || !nestedSubnodesSound(*subs, 0))
            return false;
        const ValueSpace space{m_source, pc.heap(), subs};
        QList<uint32_t> embedded;
        bool sound = true;
        const bool walked = pc.forEachRecord([&](uint16_t id, uint16_t type, uint32_t hnid) {
            uint32_t objectNid = 0;
            sound = typeFitsProperty(id, type) && checkValue(space, type, hnid, &objectNid);
            if (sound && id == kAttachDataObject && objectNid)
                embedded.append(objectNid);
            return sound;
        });
        if (!walked || !sound)
            return false;
        for (uint32_t nid : embedded) {
            if (!checkSubnodeObject(space.subnode(nid), depth + 1))
                return false;
        }
        return checkRecipientsAndAttachments(space, subs, depth);
    }

    // The recipient and attachment tables among a structure's subnodes and
    // the attachment each row of the latter names.
    bool checkRecipientsAndAttachments(const ValueSpace& space, const PstBlockSource::Subnodes* subs, int depth)
    {
        QList<uint32_t> rows;
        if (!checkSubnodeTable(space.subnode(kRecipientTableNid), subs, nullptr)
            || !checkSubnodeTable(space.subnode(kAttachmentTableNid), subs, &rows))
            return false;
        for (uint32_t nid : rows) {
            if (!checkSubnodeObject(space.subnode(nid), depth + 1))
                return false;
        }
        return true;
    }

    // One value reference of the given type. objectNid gets the subnode of
    // an object value (an embedded message).
    bool checkValue(const ValueSpace& space, uint16_t type, uint32_t hnid, uint32_t* objectNid = nullptr)
    {
        const int size = fixedTypeSize(type);
        if (size < 0)
            return false;
        if (size > 0 && size <= 4)
            return true;
        if (hnid == 0)
            return size == 0;  // an empty variable value; a fixed one needs its bytes
        const bool multi = type & 0x1000;
        const bool object = type == 0x000D;
        if ((hnid & 0x1F) == 0) {
            QByteArrayView v;
            if (!space.heap.alloc(hnid, v))
                return false;
            return valueBytesSound(type, size, multi, object, v, objectNid);
        }
        const PstBlockSource::Subnode* s = space.subnode(hnid);
        if (!s)
            return false;
        if (size == 0 && !multi && !object) {
            // Strings and binaries can be large: check the structure only.
            uint64_t total = 0;
            return m_source.checkTree(s->data, total);
        }
        QList<QByteArray> blocks;
        qsizetype budget = kMaxTreeBytes;
        if (!m_source.readTree(s->data, blocks, budget))
            return false;
        QByteArray v;
        for (const QByteArray& b : blocks)
            v += b;
        return valueBytesSound(type, size, multi, object, v, objectNid);
    }

    const PstBlockSource& source() const { return m_source; }

private:
    static bool valueBytesSound(uint16_t type, int size, bool multi, bool object, QByteArrayView v,
                                uint32_t* objectNid)
    {
        if (size > 0)
            return v.size() >= size;
        if (multi)
            return multiValueSound(type, v);
        if (object) {
            // An object value is the subnode's id and its size.
            if (v.size() < 8)
                return false;
            if (objectNid)
                *objectNid = le32(v, 0);
        }
        return true;
    }

    // The subnode trees of subnodes, all the way down: the item parse
    // collects them all.
    bool nestedSubnodesSound(const PstBlockSource::Subnodes& subs, int nesting)
    {
        for (const PstBlockSource::Subnode& s : subs) {
            if (!s.sub)
                continue;
            PstBlockSource::Subnodes inner;
            if (nesting >= kMaxSubnodeNesting || !m_source.readSubnodes(s.sub, inner)
                || !nestedSubnodesSound(inner, nesting + 1))
                return false;
        }
        return true;
    }

    // An attachment or embedded message in a subnode; a reference to a
    // subnode that does not exist is left to libpst, which skips it.
    bool checkSubnodeObject(const PstBlockSource::Subnode* s, int depth)
    {
        if (!s)
            return true;
        // The same structure is reached through its row and through the
        // whole-tree pass: once sound, sound.
        const auto key = qMakePair(s->data, s->sub);
        if (m_soundObjects.contains(key))
            return true;
        PstNodeReader pc(m_source, s->data, s->sub);
        if (!pc.loadHeap(true) || !checkObject(pc, depth))
            return false;
        m_soundObjects.insert(key);
        return true;
    }

    bool checkSubnodeTable(const PstBlockSource::Subnode* s, const PstBlockSource::Subnodes* outer,
                           QList<uint32_t>* rowIds)
    {
        if (!s)
            return true;
        PstNodeReader table(m_source, s->data, s->sub);
        return table.loadHeap(true) && checkTable(table, outer, rowIds);
    }

    // A table context (TC): its TCINFO, column descriptions, row index and
    // rows; every cell value that refers elsewhere must resolve. rowIds gets
    // each row's id (the attachments' subnodes in the attachment table).
    bool checkTable(const PstNodeReader& node, const PstBlockSource::Subnodes* outer, QList<uint32_t>* rowIds)
    {
        const PstHeap& heap = node.heap();
        const PstBlockSource::Subnodes* own = nullptr;
        if (heap.clientSignature() != 0x7C || !node.subnodes(own))
            return false;
        const ValueSpace space{m_source, heap, own, outer};

        QByteArrayView info;
        if (!heap.alloc(heap.userRoot(), info) || info.size() < 22 || uint8_t(info[0]) != 0x7C)
            return false;
        const int columns = uint8_t(info[1]);
        const qsizetype end4 = le16(info, 2), end2 = le16(info, 4), end1 = le16(info, 6), rowSize = le16(info, 8);
        const uint32_t rowIndex = le32(info, 10);
        const uint32_t rowsRef = le32(info, 14);
        if (info.size() < 22 + 8 * columns || end4 > end2 || end2 > end1 || end1 > rowSize
            || rowSize - end1 < (columns + 7) / 8)
            return false;

        struct Column { uint16_t type; qsizetype offset; int size; int bit; };
        QList<Column> cols;
        for (int i = 0; i < columns; ++i) {
            const qsizetype at = 22 + 8 * i;
            const Column c{le16(info, at), le16(info, at + 4), uint8_t(info[at + 6]), uint8_t(info[at + 7])};
            const int fixed = fixedTypeSize(c.type);
            if (fixed < 0 || !typeFitsProperty(le16(info, at + 2), c.type) || c.offset + c.size > end1
                || c.bit >= 8 * (rowSize - end1))
                return false;
            // Values up to eight bytes sit in the row; the others are references.
            if (c.size != (fixed > 0 && fixed <= 8 ? fixed : 4))
                return false;
            cols.append(c);
        }

        qsizetype indexed = 0;
        qsizetype largestIndex = -1;
        const bool indexSound = heap.walkBth(rowIndex, 4, {2, 4}, true, [&](QByteArrayView r) {
            const qsizetype at = r.size() == 8 ? le32(r, 4) : le16(r, 4);
            largestIndex = qMax(largestIndex, at);
            ++indexed;
            return true;
        });
        if (rowIndex != 0 && !indexSound)
            return false;

        // The rows: one heap allocation, or a subnode whose blocks each hold
        // whole rows.
        QList<QByteArray> rowBlocks;
        if (rowsRef != 0) {
            if (rowSize == 0)
                return false;
            if ((rowsRef & 0x1F) == 0) {
                QByteArrayView v;
                if (!heap.alloc(rowsRef, v))
                    return false;
                rowBlocks.append(v.toByteArray());
            } else {
                const PstBlockSource::Subnode* s = space.subnode(rowsRef);
                qsizetype rowBudget = kMaxTreeBytes;
                if (!s || !m_source.readTree(s->data, rowBlocks, rowBudget))
                    return false;
            }
        }
        qsizetype rows = 0;
        for (const QByteArray& b : rowBlocks) {
            for (qsizetype at = 0; at + rowSize <= b.size(); at += rowSize, ++rows) {
                const QByteArrayView row = QByteArrayView(b).sliced(at, rowSize);
                if (rowIds)
                    rowIds->append(le32(row, 0));
                for (const Column& c : cols) {
                    const bool present = uint8_t(row[end1 + c.bit / 8]) & (0x80 >> (c.bit % 8));
                    if (present && c.size == 4 && !isInlineType(c.type)
                        && !checkValue(space, c.type, le32(row, c.offset)))
                        return false;
                }
            }
        }
        return indexed <= rows && largestIndex < rows;
    }

    PstBlockSource m_source;
    QSet<QPair<uint64_t, uint64_t>> m_soundObjects;  // (data, subnodes) of checked objects
};

// The name-to-id map: a property context whose entry stream refers into its
// GUID and string streams; every reference must land inside its stream.
bool nameMapSound(pst_file* pf, pst_desc_tree* d)
{
    if (!d->desc)
        return false;
    ItemChecker checker(pf);
    PstNodeReader pc(checker.source(), d->desc->i_id, d->assoc_tree ? d->assoc_tree->i_id : 0);
    if (!pc.load(true) || !checker.checkObject(pc, kMaxEmbeddingDepth))
        return false;
    QByteArray guids, entries, strings;
    bool read = true;
    bool haveEntries = false;
    pc.forEachRecord([&](uint16_t id, uint16_t type, uint32_t hnid) {
        QByteArray* target = id == 0x0002 ? &guids : id == 0x0003 ? &entries : id == 0x0004 ? &strings : nullptr;
        if (target) {
            read = read && type == 0x0102 && pc.value(type, hnid, *target);
            haveEntries = haveEntries || id == 0x0003;
        }
        return read;
    });
    if (!read || !haveEntries || guids.size() % 16 != 0 || entries.size() % 8 != 0)
        return false;
    for (qsizetype at = 0; at < entries.size(); at += 8) {
        const uint32_t key = le32(entries, at);
        const uint16_t guidAndKind = le16(entries, at + 4);
        const qsizetype guidIndex = guidAndKind >> 1;
        if (guidIndex >= 3 && (guidIndex - 2) * 16 > guids.size())
            return false;
        if (guidAndKind & 1) {  // a named string: length, then UTF-16 text
            if (key > uint64_t(strings.size()) || strings.size() - qsizetype(key) < 4)
                return false;
            const uint32_t length = le32(strings, key);
            if (length > uint64_t(strings.size() - qsizetype(key) - 4))
                return false;
        }
    }
    return true;
}

// For measuring only (the mutant corpus's figures without the checks, and
// their cost): MARROWIN_SKIP_ITEM_CHECKS=1 hands everything to libpst as is.
bool checksSkipped()
{
    static const bool skip = qEnvironmentVariableIntValue("MARROWIN_SKIP_ITEM_CHECKS") == 1;
    return skip;
}

} // namespace

bool pstItemStructureSound(pst_file* pf, pst_desc_tree* d)
{
    return pf && d && d->desc && ItemChecker(pf).checkDescriptor(d) != Verdict::Damaged;
}

pst_item* pstParseItemChecked(pst_file* pf, pst_desc_tree* d, bool* damaged)
{
    if (damaged)
        *damaged = false;
    if (!pf || !d || !d->desc)
        return nullptr;
    if (!checksSkipped()) {
        const Verdict verdict = ItemChecker(pf).checkDescriptor(d);
        if (damaged)
            *damaged = verdict == Verdict::Damaged;
        if (verdict != Verdict::Sound)
            return nullptr;
    }
    return pst_parse_item(pf, d, nullptr);
}

pst_item* pstParseEmbeddedChecked(pst_file* pf, pst_item_attach* attach)
{
    if (!pf || !attach || !attach->i_id)
        return nullptr;
    pst_desc_tree d{};
    d.d_id = attach->id2_val;
    d.desc = pst_getID(pf, attach->i_id);
    if (!d.desc)
        return nullptr;
    if (!checksSkipped()) {
        const PstBlockSource source(pf);
        PstNodeReader pc(source, attach->i_id, 0);
        if (!pc.load(true))
            return nullptr;
    }
    return pst_parse_item(pf, &d, attach->id2_head);
}

namespace {

// The attachment's data as libpst will read it: already in memory, or a
// data tree whose block lists are sound.
bool attachmentDataSound(pst_file* pf, const pst_item_attach* attach)
{
    if (!pf || !attach)
        return false;
    // Without a block of its own the data sits in the attachment's object,
    // which was checked with its item.
    if (attach->data.data || !attach->i_id || checksSkipped())
        return true;
    uint64_t total = 0;
    return PstBlockSource(pf).checkTree(attach->i_id, total);
}

} // namespace

pst_binary pstAttachToMemChecked(pst_file* pf, pst_item_attach* attach)
{
    if (!attachmentDataSound(pf, attach))
        return pst_binary{0, nullptr};
    return pst_attach_to_mem(pf, attach);
}

size_t pstAttachToFileBase64Checked(pst_file* pf, pst_item_attach* attach, FILE* fp)
{
    if (!fp || !attachmentDataSound(pf, attach))
        return 0;
    return pst_attach_to_file_base64(pf, attach, fp);
}

PstNameMapResult pstLoadExtendedAttributesChecked(pst_file* pf)
{
    if (!pf)
        return PstNameMapResult::Failed;
    if (pst_desc_tree* d = pstFindDescriptor(pf, kNameToIdMapNid); d && !checksSkipped() && !nameMapSound(pf, d))
        return PstNameMapResult::Damaged;
    return pst_load_extended_attributes(pf) == 1 ? PstNameMapResult::Loaded : PstNameMapResult::Failed;
}
