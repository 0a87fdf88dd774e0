#include "sorrel/store/PstBTreeLoader.h"

#include <QStringList>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace {

constexpr uint8_t kBlockTreePage = 0x80;
constexpr uint8_t kNodeTreePage = 0x81;
// Far deeper than any real file needs (every level multiplies the entries by
// at least 20); bounds the walk of a damaged one.
constexpr int kMaxLevel = 16;

// Page geometry and entry sizes of one format.
struct Layout {
    int pageSize;
    int entriesSize;  // entry area at the page start; the counts follow it
    bool wideCounts;  // 16-bit entry counts (4 KB pages)
    int trailerAt;    // page trailer; the checksum covers everything before it
    bool narrowIds;   // 32-bit ids and offsets (ANSI)
    int branchEntry;  // key, page id, page offset
    int blockEntry;   // leaf entry of the block b-tree
    int nodeEntry;    // leaf entry of the node b-tree
};

constexpr Layout kAnsi{512, 496, false, 500, true, 12, 12, 16};
constexpr Layout kUnicode{512, 488, false, 496, false, 24, 24, 32};
constexpr Layout kUnicode4k{4096, 4056, true, 4072, false, 24, 24, 32};

const Layout* layoutFor(int doRead64)
{
    switch (doRead64) {
    case 0:
        return &kAnsi;
    case 1:
        return &kUnicode;
    case 2:
        return &kUnicode4k;
    default:
        return nullptr;
    }
}

uint16_t u16(const uint8_t* p) { return qFromLittleEndian<quint16>(p); }
uint32_t u32(const uint8_t* p) { return qFromLittleEndian<quint32>(p); }
uint64_t u64(const uint8_t* p) { return qFromLittleEndian<quint64>(p); }

// The checksum of pages and blocks (CRC-32 without pre- and post-inversion).
uint32_t pageCrc(const uint8_t* data, size_t size)
{
    static const auto table = [] {
        std::vector<uint32_t> t(256);
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

uint16_t pageSignature(uint64_t ib, uint64_t bid)
{
    const uint64_t v = ib ^ bid;
    return uint16_t((v >> 16) ^ v);
}

QString hex(uint64_t v) { return QStringLiteral("0x") + QString::number(v, 16); }

// A page to read: where it is, the id its trailer must carry, and the range
// [lo, hi) its keys must lie in (no upper bound when !bounded).
struct PageRef {
    uint64_t ib;
    uint64_t bid;
    uint64_t lo;
    uint64_t hi;
    bool bounded;
};

// Reads and checks the pages of the two trees.
class PageReader {
public:
    PageReader(int fd, uint64_t fileSize, const Layout& layout, PstBTreeReport& report)
        : m_fd(fd), m_fileSize(fileSize), m_layout(layout), m_report(report), m_page(size_t(layout.pageSize))
    {
    }

    // Walks one tree level by level, in key order, and hands every leaf page
    // that passes its checks to leaf(page, entryCount). A page that fails is
    // left out with its subtree. False on a read error.
    template <typename Leaf>
    bool walk(uint8_t ptype, uint64_t rootIb, uint64_t rootBid, Leaf&& leaf)
    {
        m_ptype = ptype;
        std::vector<PageRef> level{{rootIb, rootBid, 0, 0, false}};
        std::vector<PageRef> below;
        int wantLevel = -1; // the root says how deep the tree is
        while (!level.empty()) {
            below.clear();
            findRepeats(level);
            for (const PageRef& ref : level) {
                int count = 0, pageLevel = 0;
                if (m_repeated.count(ref.ib) && !m_taken.insert(ref.ib).second) {
                    refuse(ref, QStringLiteral("is reached a second time"));
                    continue;
                }
                if (!readPage(ref, wantLevel, count, pageLevel)) {
                    if (m_readError)
                        return false;
                    continue;
                }
                if (wantLevel < 0)
                    wantLevel = pageLevel;
                if (pageLevel == 0) {
                    leaf(m_page.data(), count);
                    continue;
                }
                const Layout& l = m_layout;
                for (int i = 0; i < count; ++i) {
                    const uint8_t* e = m_page.data() + i * l.branchEntry;
                    const bool last = i + 1 == count;
                    PageRef child{id(e + 2 * idSize()), id(e + idSize()), id(e), last ? ref.hi : id(e + l.branchEntry),
                                  last ? ref.bounded : true};
                    below.push_back(child);
                }
            }
            if (wantLevel <= 0)
                break;
            --wantLevel;
            level.swap(below);
        }
        return true;
    }

    int idSize() const { return m_layout.narrowIds ? 4 : 8; }
    uint64_t id(const uint8_t* p) const { return m_layout.narrowIds ? u32(p) : u64(p); }

    void problem(const QString& what)
    {
        if (m_report.firstProblem.isEmpty())
            m_report.firstProblem = what;
    }
    QString pageName(const PageRef& ref) const
    {
        return QStringLiteral("%1 page %2 at %3")
            .arg(m_ptype == kBlockTreePage ? QStringLiteral("block b-tree") : QStringLiteral("node b-tree"), hex(ref.bid),
                 hex(ref.ib));
    }

private:
    // The pages named more than once on one level; only the first naming (in
    // key order) is read. A page named again on another level fails its level
    // check, and one named by the other tree its page type, so no page is
    // used twice and the walk cannot loop.
    void findRepeats(const std::vector<PageRef>& level)
    {
        m_repeated.clear();
        m_taken.clear();
        std::vector<uint64_t> offsets;
        offsets.reserve(level.size());
        for (const PageRef& ref : level)
            offsets.push_back(ref.ib);
        std::sort(offsets.begin(), offsets.end());
        for (size_t i = 1; i < offsets.size(); ++i) {
            if (offsets[i] == offsets[i - 1])
                m_repeated.insert(offsets[i]);
        }
    }

    bool refuse(const PageRef& ref, const QString& why)
    {
        ++m_report.pagesRefused;
        problem(pageName(ref) + QStringLiteral(": ") + why);
        return false;
    }

    bool readPage(const PageRef& ref, int wantLevel, int& count, int& pageLevel)
    {
        const Layout& l = m_layout;
        const auto size = uint64_t(l.pageSize);
        if (ref.ib > m_fileSize || m_fileSize - ref.ib < size)
            return refuse(ref, QStringLiteral("lies outside the file"));
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pread(m_fd, m_page.data() + done, size - done, off_t(ref.ib + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_readError = true;
                problem(pageName(ref) + QStringLiteral(": cannot be read"));
                return false;
            }
            done += size_t(n);
        }
        ++m_report.pagesRead;

        const uint8_t* p = m_page.data();
        const uint8_t* t = p + l.trailerAt;
        if (t[0] != m_ptype || t[1] != m_ptype)
            return refuse(ref, QStringLiteral("wrong page type %1/%2").arg(hex(t[0]), hex(t[1])));
        const uint64_t trailerBid = l.narrowIds ? u32(t + 4) : u64(t + 8);
        const uint32_t crc = l.narrowIds ? u32(t + 8) : u32(t + 4);
        if (trailerBid != ref.bid)
            return refuse(ref, QStringLiteral("its trailer names page %1").arg(hex(trailerBid)));

        const uint8_t* c = p + l.entriesSize;
        const int entries = l.wideCounts ? u16(c) : c[0];
        const int maxEntries = l.wideCounts ? u16(c + 2) : c[1];
        const int entrySize = l.wideCounts ? c[4] : c[2];
        const int level = l.wideCounts ? c[5] : c[3];
        if (wantLevel < 0 ? level > kMaxLevel : level != wantLevel)
            return refuse(ref, QStringLiteral("level %1 where %2 was expected")
                                   .arg(level)
                                   .arg(wantLevel < 0 ? QStringLiteral("at most %1").arg(kMaxLevel)
                                                      : QString::number(wantLevel)));
        const int wantSize = level > 0 ? l.branchEntry : m_ptype == kBlockTreePage ? l.blockEntry : l.nodeEntry;
        if (entrySize != wantSize)
            return refuse(ref, QStringLiteral("entries of %1 bytes where %2 were expected").arg(entrySize).arg(wantSize));
        if (entries > maxEntries || entries * entrySize > l.entriesSize)
            return refuse(ref, QStringLiteral("%1 entries do not fit (at most %2)")
                                   .arg(entries)
                                   .arg(qMin(maxEntries, l.entriesSize / entrySize)));
        // Keys ascend strictly and stay inside the range the parent gave.
        uint64_t previous = 0;
        for (int i = 0; i < entries; ++i) {
            const uint64_t key = id(p + i * entrySize);
            if ((i > 0 && key <= previous) || key < ref.lo || (ref.bounded && key >= ref.hi))
                return refuse(ref, QStringLiteral("key %1 out of order").arg(hex(key)));
            previous = key;
        }
        // A stale checksum or signature alone does not make the entries
        // unsafe: they passed every check above, so they are used.
        const uint16_t signature = u16(t + 2);
        if (crc != pageCrc(p, size_t(l.trailerAt)) || signature != pageSignature(ref.ib, ref.bid)) {
            ++m_report.checksumMismatches;
            problem(pageName(ref) + QStringLiteral(": checksum or signature does not match"));
        }
        count = entries;
        pageLevel = level;
        return true;
    }

    int m_fd;
    uint64_t m_fileSize;
    const Layout& m_layout;
    PstBTreeReport& m_report;
    std::vector<uint8_t> m_page;
    std::unordered_set<uint64_t> m_repeated;
    std::unordered_set<uint64_t> m_taken;
    uint8_t m_ptype = 0;
    bool m_readError = false;
};

// The i_table under construction, in malloc'd memory as libpst frees it.
struct BlockTable {
    pst_index_ll* data = nullptr;
    size_t count = 0;
    size_t capacity = 0;

    BlockTable() = default;
    BlockTable(const BlockTable&) = delete;
    BlockTable& operator=(const BlockTable&) = delete;
    ~BlockTable() { std::free(data); }

    bool append(const pst_index_ll& entry)
    {
        if (count == capacity) {
            const size_t grown = capacity ? capacity * 2 : 1024;
            auto* bigger = static_cast<pst_index_ll*>(std::realloc(data, grown * sizeof(pst_index_ll)));
            if (!bigger)
                return false;
            data = bigger;
            capacity = grown;
        }
        data[count++] = entry;
        return true;
    }

    // The entry with this id as libpst's lookup finds it (the low bit of a
    // block id is not part of it), or null.
    pst_index_ll* find(uint64_t blockId) const
    {
        blockId &= ~uint64_t(1);
        if (!blockId)
            return nullptr;
        pst_index_ll* end = data + count;
        pst_index_ll* at = std::lower_bound(data, end, blockId,
                                            [](const pst_index_ll& e, uint64_t want) { return e.i_id < want; });
        return at != end && at->i_id == blockId ? at : nullptr;
    }

    // Trims the table to its size once it is complete; it must not move
    // after descriptors point into it.
    void trim()
    {
        if (!count) {
            std::free(data);
            data = nullptr;
        } else if (count < capacity) {
            if (auto* trimmed = static_cast<pst_index_ll*>(std::realloc(data, count * sizeof(pst_index_ll))))
                data = trimmed;
        }
        capacity = count;
    }

    pst_index_ll* release()
    {
        pst_index_ll* out = data;
        data = nullptr;
        count = capacity = 0;
        return out;
    }
};

// The descriptor nodes in key order, each malloc'd as libpst frees them.
struct NodeList {
    std::vector<pst_desc_tree*> nodes;
    std::vector<uint64_t> ids;

    NodeList() = default;
    NodeList(const NodeList&) = delete;
    NodeList& operator=(const NodeList&) = delete;
    ~NodeList()
    {
        for (pst_desc_tree* n : nodes)
            std::free(n);
    }
};

// Links the nodes (ascending ids) into the tree pst_load_index builds. libpst
// takes the nodes in order: a node first adopts the top-level nodes waiting
// for it as their parent, then goes below its parent when a walk of the tree
// built so far finds it, else to the top level to wait. So a node ends below
// its parent whenever that exists, children in id order, except where the
// parents form a cycle: the node that closes it finds its parent inside its
// own (not yet attached) subtree and stays at the top level. A union-find of
// the current tree roots answers "inside its own subtree" in near-constant
// time; nodes not taken yet count as roots.
void linkTree(NodeList& list, pst_desc_tree*& head, pst_desc_tree*& tail)
{
    const size_t n = list.nodes.size();
    std::vector<uint32_t> up(n);
    for (size_t i = 0; i < n; ++i)
        up[i] = uint32_t(i);
    auto rootOf = [&up](uint32_t x) {
        while (up[x] != x) {
            up[x] = up[up[x]];
            x = up[x];
        }
        return x;
    };
    head = tail = nullptr;
    for (size_t k = 0; k < n; ++k) {
        pst_desc_tree* node = list.nodes[k];
        const uint64_t parentId = node->parent_d_id;
        pst_desc_tree* parent = nullptr;
        if (parentId != 0 && parentId != list.ids[k]) {
            const auto at = std::lower_bound(list.ids.begin(), list.ids.end(), parentId);
            if (at != list.ids.end() && *at == parentId) {
                const auto j = uint32_t(at - list.ids.begin());
                if (j > k || rootOf(j) != k) {
                    up[k] = j;
                    parent = list.nodes[j];
                }
            }
        }
        if (parent)
            parent->no_child = parent->no_child + 1;
        pstLinkDescriptor(node, parent, head, tail);
    }
}

} // namespace

QString PstBTreeReport::summary() const
{
    QStringList parts;
    if (pagesRefused)
        parts << QStringLiteral("%1 b-tree page(s) refused").arg(pagesRefused);
    if (checksumMismatches)
        parts << QStringLiteral("%1 page(s) with a bad checksum").arg(checksumMismatches);
    if (entriesDropped)
        parts << QStringLiteral("%1 entry(ies) dropped").arg(entriesDropped);
    QString text = parts.join(QStringLiteral(", "));
    if (!firstProblem.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral("; first: ")) + firstProblem;
    return text;
}

void pstLinkDescriptor(pst_desc_tree* node, pst_desc_tree* parent, pst_desc_tree*& head, pst_desc_tree*& tail)
{
    // libpst's structures are packed: their members are read and written by
    // value, never bound to references.
    pst_desc_tree* last = parent ? parent->child_tail : tail;
    node->parent = parent;
    node->prev = last;
    if (last)
        last->next = node;
    else if (parent)
        parent->child = node;
    else
        head = node;
    if (parent)
        parent->child_tail = node;
    else
        tail = node;
}

bool pstBlockEntryFits(const pst_index_ll& entry, uint64_t fileSize)
{
    const uint64_t offset = entry.offset;
    const uint64_t size = entry.size;
    const uint64_t inflated = entry.inflated_size;
    return size <= 0xFFFF && inflated <= 0xFFFF && offset <= fileSize && size <= fileSize - offset;
}

namespace {

// The load itself; its working memory is gone when it returns.
PstBTreeResult loadBTrees(pst_file* pf, const Layout& l, int fd, uint64_t fileSize, PstBTreeReport& report)
{
    PageReader reader(fd, fileSize, l, report);

    BlockTable table;
    bool outOfMemory = false;
    auto drop = [&](const QString& why) {
        ++report.entriesDropped;
        reader.problem(why);
    };
    const bool blocksRead = reader.walk(kBlockTreePage, pf->index1, pf->index1_back, [&](const uint8_t* p, int count) {
        for (int i = 0; i < count && !outOfMemory; ++i) {
            const uint8_t* e = p + i * l.blockEntry;
            pst_index_ll entry{};
            if (l.narrowIds) {
                entry.i_id = u32(e);
                entry.offset = u32(e + 4);
                entry.size = u16(e + 8);
                entry.inflated_size = entry.size;
                entry.u1 = int16_t(u16(e + 10));
            } else {
                entry.i_id = u64(e);
                entry.offset = u64(e + 8);
                entry.size = u16(e + 16);
                entry.inflated_size = l.wideCounts ? u16(e + 18) : entry.size;
                // libpst's u1 is the 32 bits at offset 20, or at 22 in a 4 KB
                // page (the last two bytes fall in the next entry); kept so.
                entry.u1 = int32_t(u32(e + (l.wideCounts ? 22 : 20)));
            }
            const uint64_t blockId = entry.i_id;
            if (!blockId) {
                drop(QStringLiteral("a block entry without id"));
            } else if (!pstBlockEntryFits(entry, fileSize)) {
                drop(QStringLiteral("block %1 at %2 of %3 bytes lies outside the file")
                         .arg(hex(blockId), hex(entry.offset))
                         .arg(uint64_t(entry.size)));
            } else if (!table.append(entry)) {
                outOfMemory = true;
            }
        }
    });
    table.trim(); // complete: from here on descriptors point into it

    NodeList nodes;
    const bool nodesRead =
        blocksRead && !outOfMemory
        && reader.walk(kNodeTreePage, pf->index2, pf->index2_back, [&](const uint8_t* p, int count) {
               for (int i = 0; i < count && !outOfMemory; ++i) {
                   const uint8_t* e = p + i * l.nodeEntry;
                   const uint64_t nodeId = l.narrowIds ? u32(e) : u64(e);
                   const uint64_t dataId = l.narrowIds ? u32(e + 4) : u64(e + 8);
                   const uint64_t subId = l.narrowIds ? u32(e + 8) : u64(e + 16);
                   const uint64_t parentId = l.narrowIds ? u32(e + 12) : u32(e + 24);
                   if (!nodeId) {
                       drop(QStringLiteral("a node entry without id"));
                       continue;
                   }
                   auto* node = static_cast<pst_desc_tree*>(std::calloc(1, sizeof(pst_desc_tree)));
                   if (!node) {
                       outOfMemory = true;
                       break;
                   }
                   nodes.nodes.push_back(node);
                   nodes.ids.push_back(nodeId);
                   node->d_id = nodeId;
                   node->parent_d_id = parentId;
                   node->desc = table.find(dataId);
                   node->assoc_tree = table.find(subId);
               }
           });
    if (!nodesRead || outOfMemory)
        return PstBTreeResult::Unreadable;

    pst_desc_tree* head = nullptr;
    pst_desc_tree* tail = nullptr;
    linkTree(nodes, head, tail);
    report.blocks = table.count;
    report.descriptors = nodes.nodes.size();
    pf->i_count = pf->i_capacity = table.count;
    pf->i_table = table.release();
    pf->d_head = head;
    pf->d_tail = tail;
    nodes.nodes.clear(); // they belong to the tree now
    return report.damaged() ? PstBTreeResult::Damaged : PstBTreeResult::Loaded;
}

} // namespace

PstBTreeResult pstLoadBTrees(pst_file* pf, PstBTreeReport* reportOut)
{
    PstBTreeReport local;
    PstBTreeReport& report = reportOut ? *reportOut : local;
    report = PstBTreeReport();
    const Layout* layout = pf ? layoutFor(pf->do_read64) : nullptr;
    if (!layout || !pf->fp || pf->i_table || pf->d_head)
        return PstBTreeResult::Unreadable;
    const int fd = fileno(pf->fp);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size < 0)
        return PstBTreeResult::Unreadable;
    const PstBTreeResult result = loadBTrees(pf, *layout, fd, uint64_t(st.st_size), report);
    // The working lists lay between the nodes in the heap; hand their pages
    // back, so that the load holds no more than the structures themselves.
    malloc_trim(0);
    return result;
}


namespace {

qint64 positionIn(const pst_file* pf, const pst_index_ll* entry)
{
    return entry ? qint64(entry - pf->i_table) : -1;
}

QString describe(const pst_desc_tree* n) { return n ? hex(n->d_id) : QStringLiteral("none"); }

} // namespace

QString pstIndexDifference(const pst_file* a, const pst_file* b)
{
    if (!a || !b)
        return QStringLiteral("missing file");
    if (a->i_count != b->i_count)
        return QStringLiteral("i_count %1 against %2").arg(a->i_count).arg(b->i_count);
    for (size_t i = 0; i < a->i_count; ++i) {
        const pst_index_ll x = a->i_table[i];
        const pst_index_ll y = b->i_table[i];
        if (x.i_id != y.i_id || x.offset != y.offset || x.size != y.size || x.inflated_size != y.inflated_size
            || x.u1 != y.u1)
            return QStringLiteral("i_table[%1]: id %2 offset %3 size %4 inflated %5 u1 %6 against id %7 offset %8 "
                                  "size %9 inflated %10 u1 %11")
                .arg(i)
                .arg(hex(x.i_id), hex(x.offset))
                .arg(x.size)
                .arg(x.inflated_size)
                .arg(x.u1)
                .arg(hex(y.i_id), hex(y.offset))
                .arg(y.size)
                .arg(y.inflated_size)
                .arg(y.u1);
    }
    if (describe(a->d_tail) != describe(b->d_tail))
        return QStringLiteral("d_tail %1 against %2").arg(describe(a->d_tail), describe(b->d_tail));
    // Both trees in depth-first pre-order, side by side.
    std::vector<std::pair<const pst_desc_tree*, const pst_desc_tree*>> pending{{a->d_head, b->d_head}};
    while (!pending.empty()) {
        const auto [x, y] = pending.back();
        pending.pop_back();
        if (!x || !y) {
            if (x || y)
                return QStringLiteral("node %1 against %2").arg(describe(x), describe(y));
            continue;
        }
        const QString where = QStringLiteral("node %1: ").arg(hex(x->d_id));
        if (x->d_id != y->d_id)
            return where + QStringLiteral("against node %1").arg(hex(y->d_id));
        if (x->parent_d_id != y->parent_d_id)
            return where + QStringLiteral("parent_d_id %1 against %2").arg(hex(x->parent_d_id), hex(y->parent_d_id));
        if (x->no_child != y->no_child)
            return where + QStringLiteral("no_child %1 against %2").arg(x->no_child).arg(y->no_child);
        if (positionIn(a, x->desc) != positionIn(b, y->desc))
            return where + QStringLiteral("desc entry %1 against %2").arg(positionIn(a, x->desc)).arg(positionIn(b, y->desc));
        if (positionIn(a, x->assoc_tree) != positionIn(b, y->assoc_tree))
            return where + QStringLiteral("assoc_tree entry %1 against %2")
                               .arg(positionIn(a, x->assoc_tree))
                               .arg(positionIn(b, y->assoc_tree));
        if (describe(x->parent) != describe(y->parent) || describe(x->prev) != describe(y->prev)
            || describe(x->child_tail) != describe(y->child_tail))
            return where + QStringLiteral("parent/prev/child_tail %1/%2/%3 against %4/%5/%6")
                               .arg(describe(x->parent), describe(x->prev), describe(x->child_tail),
                                    describe(y->parent), describe(y->prev), describe(y->child_tail));
        const pst_desc_tree* nextX = x->next;
        const pst_desc_tree* nextY = y->next;
        const pst_desc_tree* childX = x->child;
        const pst_desc_tree* childY = y->child;
        pending.emplace_back(nextX, nextY);
        pending.emplace_back(childX, childY);
    }
    return {};
}
