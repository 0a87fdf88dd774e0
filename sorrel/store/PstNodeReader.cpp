#include "sorrel/store/PstNodeReader.h"

#include <QHash>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

using namespace pstnode;

namespace {

constexpr uint64_t kInternalBlockBit = 0x02;  // XBLOCK / XXBLOCK / subnode blocks
constexpr int kMaxBthLevels = 8;
constexpr int kMaxBthNodes = 1 << 16;          // guards against looping B-trees
constexpr int kMaxSubnodes = 1 << 20;

// Block 0 of a heap starts with the 12-byte HNHDR; blocks 8, 136, 264, ...
// with the 66-byte HNBITMAPHDR; all others with the 2-byte HNPAGEHDR.
qsizetype heapHeaderSize(qsizetype index)
{
    if (index == 0)
        return 12;
    if (index >= 8 && (index - 8) % 128 == 0)
        return 66;
    return 2;
}

// libpst's decoding of "compressible" encryption is a substitution of byte
// values. We take the table from libpst itself, by letting it decode a block
// holding every byte value once, so that blocks can be read directly and
// decoded exactly as libpst decodes them. Null if that does not work.
const std::array<uint8_t, 256>* compressibleDecoding()
{
    static const std::optional<std::array<uint8_t, 256>> table = []() -> std::optional<std::array<uint8_t, 256>> {
        unsigned char bytes[256];
        for (int i = 0; i < 256; ++i)
            bytes[i] = uint8_t(i);
        pst_index_ll entry{4, 0, sizeof bytes, 0, 1};
        pst_file pf;
        std::memset(&pf, 0, sizeof pf);
        pf.fp = fmemopen(bytes, sizeof bytes, "rb");
        if (!pf.fp)
            return std::nullopt;
        pf.do_read64 = 1;
        pf.encryption = PST_COMP_ENCRYPT;
        pf.size = sizeof bytes;
        pf.i_table = &entry;
        pf.i_count = pf.i_capacity = 1;
        char* buf = nullptr;
        const size_t n = pst_ff_getIDblock_dec(&pf, 4, &buf);
        std::fclose(pf.fp);
        std::array<uint8_t, 256> decode{};
        bool seen[256] = {};
        bool permutation = buf && n == sizeof bytes;
        for (size_t i = 0; permutation && i < n; ++i) {
            decode[i] = uint8_t(buf[i]);
            permutation = !seen[decode[i]];
            seen[decode[i]] = true;
        }
        std::free(buf);
        return permutation ? std::optional(decode) : std::nullopt;
    }();
    return table ? &*table : nullptr;
}

// Reading windows of the open file: one pread of 64 KiB serves the blocks
// of neighbouring items, which a folder walk reads one after another (libpst
// reads them again for the parse, a seek and a read per block). Per file,
// for the life of its handle; touched only under pstLibraryMutex().
struct FileWindows {
    static constexpr qsizetype kWindow = 64 * 1024;
    struct Window {
        uint64_t offset = 0;
        QByteArray bytes;
        uint64_t used = 0;
    };
    int fd = -1;
    uint64_t size = 0;
    const FILE* stream = nullptr;
    const char* name = nullptr;
    const pst_index_ll* index = nullptr;
    // Direct reads are checked against libpst's own once per file, for a
    // data block and an internal block: 0 unchecked, 1 same, -1 different.
    int sameAsLibpst[3] = {0, 0, 0};  // data, internal, compressed
    std::array<Window, 4> windows;
    uint64_t clock = 0;

    // The raw bytes [offset, offset + n), or false when the file has fewer.
    bool read(uint64_t offset, qsizetype n, char* out)
    {
        if (offset > size || uint64_t(n) > size - offset)
            return false;
        if (n > kWindow / 2)
            return pread(fd, out, size_t(n), off_t(offset)) == ssize_t(n);
        Window* hit = nullptr;
        Window* oldest = &windows[0];
        for (Window& w : windows) {
            if (offset >= w.offset && offset + uint64_t(n) <= w.offset + uint64_t(w.bytes.size()))
                hit = &w;
            if (w.used < oldest->used)
                oldest = &w;
        }
        if (!hit) {
            hit = oldest;
            hit->offset = offset & ~uint64_t(4095);
            const qsizetype length = qsizetype(qMin<uint64_t>(kWindow, size - hit->offset));
            hit->bytes.resize(length);
            const ssize_t got = pread(fd, hit->bytes.data(), size_t(length), off_t(hit->offset));
            hit->bytes.resize(got > 0 ? qsizetype(got) : 0);
            if (offset + uint64_t(n) > hit->offset + uint64_t(hit->bytes.size()))
                return false;
        }
        hit->used = ++clock;
        std::memcpy(out, hit->bytes.constData() + (offset - hit->offset), size_t(n));
        return true;
    }
};

QHash<const pst_file*, FileWindows>& fileWindows()
{
    static QHash<const pst_file*, FileWindows> files;
    return files;
}

} // namespace

int pstnode::fixedTypeSize(uint16_t type)
{
    switch (type) {
    case 0x0002: return 2;                        // PtypInteger16
    case 0x0003: case 0x0004: case 0x000A: return 4;  // Integer32, Floating32, ErrorCode
    case 0x000B: return 1;                        // Boolean
    case 0x0005: case 0x0006: case 0x0007: case 0x0014: case 0x0040: return 8;
    case 0x0048: return 16;                       // PtypGuid
    case 0x000D: case 0x001E: case 0x001F: case 0x00FB: case 0x00FD: case 0x00FE: case 0x0102:
        return 0;
    default:
        break;
    }
    // Multi-valued types: the base type with 0x1000 set.
    switch (type) {
    case 0x1002: case 0x1003: case 0x1004: case 0x1005: case 0x1006: case 0x1007: case 0x1014:
    case 0x1040: case 0x1048: case 0x101E: case 0x101F: case 0x1102:
        return 0;
    default:
        return -1;
    }
}

bool pstnode::isInlineType(uint16_t type)
{
    const int size = fixedTypeSize(type);
    return size > 0 && size <= 4;
}

bool pstnode::isKnownType(uint16_t type)
{
    return fixedTypeSize(type) >= 0;
}

// --- blocks ----------------------------------------------------------------

PstBlockSource::PstBlockSource(pst_file* pf)
    : m_pf(pf), m_wide(pf && pf->do_read64 != 0), m_fileSize(pf ? pf->size : 0)
{
    const int fd = pf && pf->fp ? fileno(pf->fp) : -1;
    if (fd < 0)
        return;  // not a file on disk: blocks go through libpst
    // The file as it is on disk (a truncated file keeps its header's size),
    // taken once per open file: its stream, name and index tell it apart
    // from an earlier file in the same structure.
    FileWindows& file = fileWindows()[pf];
    if (file.fd != fd || file.stream != pf->fp || file.name != pf->fname || file.index != pf->i_table) {
        struct stat st;
        file = FileWindows();
        file.fd = fd;
        file.stream = pf->fp;
        file.name = pf->fname;
        file.index = pf->i_table;
        file.size = fstat(fd, &st) == 0 ? uint64_t(st.st_size) : pf->size;
    }
    m_fileSize = file.size;
    if (pf->encryption == PST_NO_ENCRYPT || (pf->encryption == PST_COMP_ENCRYPT && compressibleDecoding()))
        m_fd = fd;
}

// Blocks of unencrypted or compressible files are read here, through the
// file's windows, and decoded as libpst decodes them; false leaves the block
// to libpst. A zlib-compressed block (Outlook 2013 files) must inflate whole
// to its recorded size: libpst would hand on a half-inflated buffer, whose
// unset bytes differ between our read and its own.
bool PstBlockSource::readDirect(const pst_index_ll& e, QByteArray& out) const
{
    const bool compressed = e.inflated_size && e.inflated_size != e.size;
    if (m_fd < 0 || (compressed && m_pf->encryption != PST_NO_ENCRYPT))
        return false;
    out.resize(qsizetype(e.size));
    if (!fileWindows()[m_pf].read(e.offset, out.size(), out.data())) {
        out.clear();
        return true;  // a short file: the block is not there
    }
    if (compressed) {
        QByteArray inflated(qsizetype(e.inflated_size), Qt::Uninitialized);
        uLongf length = uLongf(e.inflated_size);
        const bool whole = uncompress(reinterpret_cast<Bytef*>(inflated.data()), &length,
                                      reinterpret_cast<const Bytef*>(out.constData()), uLong(out.size())) == Z_OK
            && length == uLongf(e.inflated_size);
        out = whole ? inflated : QByteArray();
        return true;
    }
    // Block lists and subnode lists are stored unencrypted.
    if (m_pf->encryption == PST_COMP_ENCRYPT && !(e.i_id & kInternalBlockBit)) {
        const std::array<uint8_t, 256>& decode = *compressibleDecoding();
        auto* p = reinterpret_cast<uint8_t*>(out.data());
        for (qsizetype i = 0; i < out.size(); ++i)
            p[i] = decode[p[i]];
    }
    return true;
}

void pstForgetFileWindows(const pst_file* pf)
{
    fileWindows().remove(pf);
}

const pst_index_ll* PstBlockSource::entry(uint64_t id) const
{
    if (!m_pf || id == 0)
        return nullptr;
    const pst_index_ll* e = pst_getID(m_pf, id);
    if (!e || e->size == 0 || e->size > uint64_t(kMaxBlockBytes))
        return nullptr;
    if (e->inflated_size > uint64_t(kMaxBlockBytes))
        return nullptr;
    if (e->offset > m_fileSize || e->size > m_fileSize - e->offset)
        return nullptr;
    return e;
}

QByteArray PstBlockSource::readBlock(uint64_t id) const
{
    const pst_index_ll* e = entry(id);
    if (!e)
        return {};
    const int kind = e->inflated_size && e->inflated_size != e->size ? 2 : (id & kInternalBlockBit) ? 1 : 0;
    int* same = m_fd >= 0 ? &fileWindows()[m_pf].sameAsLibpst[kind] : nullptr;
    QByteArray direct;
    if (same && *same >= 0 && readDirect(*e, direct)) {
        if (*same == 1 || direct.isEmpty())
            return direct;
        *same = direct == readThroughLibpst(id) ? 1 : -1;
        if (*same == 1)
            return direct;
    }
    return readThroughLibpst(id);
}

QByteArray PstBlockSource::readThroughLibpst(uint64_t id) const
{
    char* buf = nullptr;
    const size_t n = pst_ff_getIDblock_dec(m_pf, id, &buf);
    QByteArray out;
    if (buf && n > 0 && n <= size_t(kMaxBlockBytes))
        out = QByteArray(buf, qsizetype(n));
    std::free(buf);
    return out;
}

bool PstBlockSource::readTree(uint64_t id, QList<QByteArray>& out, qsizetype& budget) const
{
    uint64_t total = 0;
    return walkTree(id, 2, true, &out, budget, total);
}

bool PstBlockSource::checkTree(uint64_t id, uint64_t& totalBytes) const
{
    qsizetype budget = kMaxTreeBytes;
    totalBytes = 0;
    return walkTree(id, 2, false, nullptr, budget, totalBytes);
}

// maxLevel 2 allows an XXBLOCK, 1 an XBLOCK, 0 only a data block. Without
// readData the data blocks are not read; only their index entries count.
bool PstBlockSource::walkTree(uint64_t id, int maxLevel, bool readData, QList<QByteArray>* out, qsizetype& budget,
                              uint64_t& totalBytes) const
{
    if (!(id & kInternalBlockBit)) {
        if (!readData) {
            const pst_index_ll* e = entry(id);
            if (!e)
                return false;
            // A compressed block must inflate whole (readBlock checks it).
            if (e->inflated_size && e->inflated_size != e->size && readBlock(id).isEmpty())
                return false;
            totalBytes += e->inflated_size ? e->inflated_size : e->size;
            return true;
        }
        QByteArray b = readBlock(id);
        if (b.isEmpty() || b.size() > budget)
            return false;
        budget -= b.size();
        totalBytes += uint64_t(b.size());
        out->append(std::move(b));
        return true;
    }
    if (maxLevel < 1)
        return false;
    const QByteArray b = readBlock(id);
    if (b.size() < 8 || uint8_t(b[0]) != 0x01)
        return false;
    const int level = uint8_t(b[1]);
    if (level < 1 || level > maxLevel)
        return false;
    const qsizetype count = le16(b, 2);
    const uint64_t declared = le32(b, 4);
    const qsizetype idSize = m_wide ? 8 : 4;
    if (count == 0 || 8 + count * idSize > b.size())
        return false;
    uint64_t sum = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype at = 8 + i * idSize;
        const uint64_t child = m_wide ? le64(b, at) : le32(b, at);
        // An XXBLOCK lists XBLOCKs, an XBLOCK lists data blocks.
        if (bool(child & kInternalBlockBit) != (level == 2))
            return false;
        if (!walkTree(child, level - 1, readData, out, budget, sum))
            return false;
    }
    // The list's total is what a reader allocates for the whole value.
    if (sum != declared)
        return false;
    totalBytes += sum;
    return true;
}

const PstBlockSource::Subnode* PstBlockSource::find(const Subnodes& subnodes, uint32_t nid)
{
    for (const Subnode& s : subnodes) {
        if (s.nid == nid)
            return &s;
    }
    return nullptr;
}

bool PstBlockSource::readSubnodes(uint64_t id, Subnodes& out) const
{
    return walkSubnodes(id, 1, out);
}

bool PstBlockSource::walkSubnodes(uint64_t id, int maxLevel, Subnodes& out) const
{
    if (!(id & kInternalBlockBit))
        return false;
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
        const uint64_t first = m_wide ? le64(b, at + idSize) : le32(b, at + idSize);
        if (level > 0) {
            if (!walkSubnodes(first, level - 1, out))
                return false;
            continue;
        }
        const uint64_t sub = m_wide ? le64(b, at + 2 * idSize) : le32(b, at + 2 * idSize);
        if (!entry(first) || (sub && !entry(sub)) || out.size() >= kMaxSubnodes)
            return false;
        out.append(Subnode{le32(b, at), first, sub});
    }
    return true;
}

// --- heap-on-node ------------------------------------------------------------

bool PstHeap::load(QList<QByteArray> blocks, bool strict)
{
    m_blocks = std::move(blocks);
    if (m_blocks.isEmpty())
        return false;
    const QByteArray& first = m_blocks.first();
    if (first.size() < 12 || uint8_t(first[2]) != 0xEC)
        return false;
    m_clientSig = uint8_t(first[3]);
    m_userRoot = le32(first, 4);
    if (strict) {
        for (qsizetype i = 0; i < m_blocks.size(); ++i) {
            if (!checkPageMap(i))
                return false;
        }
    }
    return true;
}

// The page map at the block's ibHnpm: cAlloc, cFree and cAlloc + 1 offsets
// that rise from the end of the page header to at most the map itself.
bool PstHeap::checkPageMap(qsizetype index) const
{
    const QByteArray& b = m_blocks[index];
    const qsizetype header = heapHeaderSize(index);
    if (b.size() < header || b.size() < 2)
        return false;
    const qsizetype map = le16(b, 0);
    if (map < header || map + 4 > b.size())
        return false;
    const qsizetype allocs = le16(b, map);
    if (map + 4 + 2 * (allocs + 1) > b.size())
        return false;
    qsizetype previous = header;
    for (qsizetype i = 0; i <= allocs; ++i) {
        const qsizetype at = le16(b, map + 4 + 2 * i);
        if (at < previous || at > map)
            return false;
        previous = at;
    }
    return true;
}

// A heap allocation: block index in the high 16 bits, 1-based slot above the 5 type bits.
bool PstHeap::alloc(uint32_t hid, QByteArrayView& out) const
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

bool PstHeap::walkBth(uint32_t hid, int cbKey, std::initializer_list<int> cbEnt, bool strict,
                      const std::function<bool(QByteArrayView)>& leaf, int* entrySize) const
{
    QByteArrayView header;
    if (!alloc(hid, header) || header.size() < 8 || uint8_t(header[0]) != 0xB5)
        return false;
    const int key = uint8_t(header[1]);
    const int ent = uint8_t(header[2]);
    const int levels = uint8_t(header[3]);
    const uint32_t root = le32(header, 4);
    bool entOk = cbEnt.size() == 0 && ent > 0;
    for (int e : cbEnt)
        entOk = entOk || e == ent;
    if (key != cbKey || !entOk || levels > kMaxBthLevels)
        return false;
    if (entrySize)
        *entrySize = ent;
    if (root == 0)
        return true;
    int nodes = 0;
    bool stopped = false;
    return walkNode(root, levels, key, ent, strict, nodes, leaf, stopped);
}

bool PstHeap::walkNode(uint32_t hid, int level, int recordKey, int recordEnt, bool strict, int& nodes,
                       const std::function<bool(QByteArrayView)>& leaf, bool& stopped) const
{
    if (++nodes > kMaxBthNodes)
        return false;
    QByteArrayView node;
    if (!alloc(hid, node))
        return !strict;  // a broken branch: skip it, keep the rest
    const qsizetype recordSize = level == 0 ? recordKey + recordEnt : recordKey + 4;
    if (strict && node.size() % recordSize != 0)
        return false;
    for (qsizetype at = 0; at + recordSize <= node.size() && !stopped; at += recordSize) {
        if (level == 0) {
            stopped = !leaf(node.sliced(at, recordSize));
        } else if (!walkNode(le32(node, at + recordKey), level - 1, recordKey, recordEnt, strict, nodes, leaf,
                             stopped)) {
            return false;
        }
    }
    return true;
}

// --- property context -----------------------------------------------------------

PstNodeReader::PstNodeReader(const PstBlockSource& source, uint64_t dataId, uint64_t subId)
    : m_source(source), m_dataId(dataId), m_subId(subId)
{
}

bool PstNodeReader::loadHeap(bool strict)
{
    m_strict = strict;
    if (!m_dataId)
        return false;
    QList<QByteArray> blocks;
    qsizetype budget = kMaxTreeBytes;
    return m_source.readTree(m_dataId, blocks, budget) && m_heap.load(std::move(blocks), strict);
}

bool PstNodeReader::load(bool strict)
{
    if (!loadHeap(strict) || m_heap.clientSignature() != 0xBC)
        return false;
    // The header alone is checked here; the records on the walk.
    return m_heap.walkBth(m_heap.userRoot(), 2, {6}, strict, [](QByteArrayView) { return false; });
}

bool PstNodeReader::forEachRecord(const std::function<bool(uint16_t, uint16_t, uint32_t)>& f) const
{
    return m_heap.walkBth(m_heap.userRoot(), 2, {6}, m_strict, [&](QByteArrayView r) {
        return f(le16(r, 0), le16(r, 2), le32(r, 4));
    });
}

bool PstNodeReader::value(uint16_t type, uint32_t hnid, QByteArray& out) const
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
        if (!m_heap.alloc(hnid, heapValue))
            return false;
        out = heapValue.toByteArray();
        return true;
    }
    const PstBlockSource::Subnodes* subs = nullptr;
    if (!subnodes(subs))
        return false;
    const PstBlockSource::Subnode* it = PstBlockSource::find(*subs, hnid);
    if (!it)
        return false;
    QList<QByteArray> blocks;
    qsizetype budget = kMaxTreeBytes;
    if (!m_source.readTree(it->data, blocks, budget))
        return false;
    out.reserve(kMaxTreeBytes - budget);
    for (const QByteArray& b : blocks)
        out += b;
    return true;
}

bool PstNodeReader::subnodes(const PstBlockSource::Subnodes*& out) const
{
    if (!m_subnodesRead) {
        m_subnodesRead = true;
        m_subnodesOk = !m_subId || m_source.readSubnodes(m_subId, m_subnodes);
    }
    out = &m_subnodes;
    return m_subnodesOk;
}
