#include "PstNdb.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace pstw::detail {

namespace {

constexpr uint64_t kAmapBase = 0x4400;
constexpr uint64_t kRegion = 496ull * 8 * 64; // bytes mapped by one AMap
constexpr uint64_t kPage = 512;
constexpr uint64_t kDlistAt = 0x4200;

enum : uint8_t { ptypeBBT = 0x80, ptypeNBT = 0x81, ptypeFMap = 0x82, ptypePMap = 0x83, ptypeAMap = 0x84, ptypeDL = 0x86 };

// Encoding table of the compressible ("permute") encryption.
const uint8_t kPermute[256] = {
    65, 54, 19, 98, 168, 33, 110, 187, 244, 22, 204, 4, 127, 100, 232, 93,
    30, 242, 203, 42, 116, 197, 94, 53, 210, 149, 71, 158, 150, 45, 154, 136,
    76, 125, 132, 63, 219, 172, 49, 182, 72, 95, 246, 196, 216, 57, 139, 231,
    35, 59, 56, 142, 200, 193, 223, 37, 177, 32, 165, 70, 96, 78, 156, 251,
    170, 211, 86, 81, 69, 124, 85, 0, 7, 201, 43, 157, 133, 155, 9, 160,
    143, 173, 179, 15, 99, 171, 137, 75, 215, 167, 21, 90, 113, 102, 66, 191,
    38, 74, 107, 152, 250, 234, 119, 83, 178, 112, 5, 44, 253, 89, 58, 134,
    126, 206, 6, 235, 130, 120, 87, 199, 141, 67, 175, 180, 28, 212, 91, 205,
    226, 233, 39, 79, 195, 8, 114, 128, 207, 176, 239, 245, 40, 109, 190, 48,
    77, 52, 146, 213, 14, 60, 34, 50, 229, 228, 249, 159, 194, 209, 10, 129,
    18, 225, 238, 145, 131, 118, 227, 151, 230, 97, 138, 23, 121, 164, 183, 220,
    144, 122, 92, 140, 2, 166, 202, 105, 222, 80, 26, 17, 147, 185, 82, 135,
    88, 252, 237, 29, 55, 73, 27, 106, 224, 41, 51, 153, 189, 108, 217, 148,
    243, 64, 84, 111, 240, 198, 115, 184, 214, 62, 101, 24, 68, 31, 221, 103,
    16, 241, 12, 25, 236, 174, 3, 161, 20, 123, 169, 11, 255, 248, 163, 192,
    162, 1, 247, 46, 188, 36, 104, 117, 13, 254, 186, 47, 181, 208, 218, 61,
};

struct CrcTable {
    uint32_t t[256];
    CrcTable()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
            t[i] = c;
        }
    }
};

uint16_t signature(uint64_t ib, uint64_t bid)
{
    ib ^= bid;
    return uint16_t((ib >> 16) ^ ib);
}

uint64_t regionOf(uint64_t ib) { return (ib - kAmapBase) / kRegion; }
uint64_t regionStart(uint64_t r) { return kAmapBase + r * kRegion; }
bool hasPMap(uint64_t r) { return r % 8 == 0; }
bool hasFMap(uint64_t r) { return r >= 128 && (r - 128) % 496 == 0; }
uint64_t reservedPrefix(uint64_t r) { return kPage * (1 + (hasPMap(r) ? 1 : 0) + (hasFMap(r) ? 1 : 0)); }
uint64_t alignUp(uint64_t v, uint64_t a) { return (v + a - 1) / a * a; }

void putBid(QByteArray &b, const Layout &l, uint64_t v)
{
    if (l.unicode)
        put64(b, v);
    else
        put32(b, uint32_t(v));
}

} // namespace

uint32_t pstCrc(const char *data, size_t len, uint32_t crc)
{
    static const CrcTable table;
    const auto *p = reinterpret_cast<const uint8_t *>(data);
    for (size_t i = 0; i < len; ++i)
        crc = table.t[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

Layout Layout::forFormat(bool unicode)
{
    Layout l;
    if (unicode)
        return l;
    l.unicode = false;
    l.bidSize = 4;
    l.blockTrailer = 12;
    l.maxBlockData = 8180;
    l.pageCrcSize = 500;
    l.btEntriesSize = 496;
    l.nbtLeafEntry = 16;
    l.bbtLeafEntry = 12;
    l.btEntry = 12;
    l.xblockMax = (8180 - 8) / 4;
    l.slEntry = 12;
    l.slHeader = 4;
    l.slMax = (8180 - 4) / 12;
    l.siEntry = 8;
    l.siMax = (8180 - 4) / 8;
    l.rowIndexValue = 2;
    return l;
}

NdbFile::~NdbFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool NdbFile::open(const QString &path, bool unicode, bool compressible)
{
    m_layout = Layout::forFormat(unicode);
    m_compressible = compressible;
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        setError(QStringLiteral("cannot create %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno))));
        return false;
    }
    m_cursor = kAmapBase;
    return true;
}

uint64_t NdbFile::nextBid(bool internal)
{
    return (m_bidIndex++ << 2) | (internal ? 2 : 0);
}

uint64_t NdbFile::allocate(uint64_t size, uint64_t align)
{
    uint64_t pos = alignUp(m_cursor, align);
    uint64_t r = regionOf(pos);
    if (pos < regionStart(r) + reservedPrefix(r))
        pos = regionStart(r) + reservedPrefix(r);
    if (pos + size > regionStart(r + 1)) {
        ++r;
        pos = regionStart(r) + reservedPrefix(r);
    }
    m_cursor = pos + size;
    markAllocated(pos, size);
    return pos;
}

void NdbFile::markAllocated(uint64_t ib, uint64_t size)
{
    uint64_t first = (ib - kAmapBase) / 64;
    uint64_t last = (ib + alignUp(size, 64) - kAmapBase) / 64; // exclusive
    if (m_amap.size() < (last + 7) / 8 + 496)
        m_amap.resize(alignUp((last + 7) / 8 + 496, 496) + 496 * 64, 0);
    for (uint64_t bit = first; bit < last; ++bit)
        m_amap[bit / 8] |= uint8_t(0x80 >> (bit % 8));
}

void NdbFile::output(uint64_t ib, const char *data, size_t size)
{
    uint64_t end = m_pendingAt + uint64_t(m_pending.size());
    if (m_pending.isEmpty()) {
        m_pendingAt = ib;
    } else if (ib >= end && ib - end < (1u << 20)) {
        m_pending.append(QByteArray(int(ib - end), '\0'));
    } else {
        flush();
        m_pendingAt = ib;
    }
    m_pending.append(data, qsizetype(size));
    if (m_pending.size() > (8 << 20))
        flush();
}

bool NdbFile::flush()
{
    if (m_pending.isEmpty())
        return true;
    bool ok = pwriteAll(m_pendingAt, m_pending.constData(), size_t(m_pending.size()));
    m_pending.clear();
    return ok;
}

bool NdbFile::pwriteAll(uint64_t ib, const char *data, size_t size)
{
    while (size > 0) {
        ssize_t n = ::pwrite(m_fd, data, size, off_t(ib));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            setError(QStringLiteral("write failed: %1").arg(QString::fromLocal8Bit(strerror(errno))));
            return false;
        }
        data += n;
        size -= size_t(n);
        ib += uint64_t(n);
    }
    return true;
}

uint64_t NdbFile::writeBlock(const char *data, int size, bool internal)
{
    const Layout &l = m_layout;
    const uint64_t bid = nextBid(internal);
    const uint64_t total = alignUp(uint64_t(size) + uint64_t(l.blockTrailer), 64);
    const uint64_t ib = allocate(total, 64);

    QByteArray &b = m_scratch;
    b.resize(qsizetype(total));
    std::memcpy(b.data(), data, size_t(size));
    if (m_compressible && !internal) {
        auto *p = reinterpret_cast<uint8_t *>(b.data());
        for (int i = 0; i < size; ++i)
            p[i] = kPermute[p[i]];
    }
    std::memset(b.data() + size, 0, size_t(total) - size_t(size));
    const uint32_t crc = pstCrc(b.constData(), size_t(size));
    const int t = int(total) - l.blockTrailer;
    set16(b, t, uint16_t(size));
    set16(b, t + 2, signature(ib, bid));
    if (l.unicode) {
        set32(b, t + 4, crc);
        set64(b, t + 8, bid);
    } else {
        set32(b, t + 4, uint32_t(bid));
        set32(b, t + 8, crc);
    }
    output(ib, b.constData(), size_t(total));
    m_bbt.push_back({bid, ib, uint16_t(size)});
    return bid;
}

uint64_t NdbFile::treeOverBids(const std::vector<uint64_t> &bids, uint64_t total, int level)
{
    const Layout &l = m_layout;
    QByteArray x;
    put8(x, 0x01);
    put8(x, uint8_t(level));
    put16(x, uint16_t(bids.size()));
    put32(x, uint32_t(total));
    for (uint64_t bid : bids)
        putBid(x, l, bid);
    return writeBlock(x, true);
}

uint64_t NdbFile::writeBlocks(const std::vector<QByteArray> &blocks)
{
    const Layout &l = m_layout;
    if (blocks.size() == 1)
        return writeBlock(blocks.front(), false);
    std::vector<uint64_t> bids;
    std::vector<uint64_t> sizes;
    uint64_t total = 0;
    for (const QByteArray &blk : blocks) {
        bids.push_back(writeBlock(blk, false));
        sizes.push_back(uint64_t(blk.size()));
        total += uint64_t(blk.size());
    }
    if (bids.size() <= size_t(l.xblockMax))
        return treeOverBids(bids, total, 1);
    std::vector<uint64_t> xbids;
    for (size_t i = 0; i < bids.size(); i += size_t(l.xblockMax)) {
        size_t n = std::min(bids.size() - i, size_t(l.xblockMax));
        std::vector<uint64_t> part(bids.begin() + qsizetype(i), bids.begin() + qsizetype(i + n));
        uint64_t sub = 0;
        for (size_t k = i; k < i + n; ++k)
            sub += sizes[k];
        xbids.push_back(treeOverBids(part, sub, 1));
    }
    return treeOverBids(xbids, total, 2);
}

uint64_t NdbFile::writeData(const QByteArray &data)
{
    const int max = m_layout.maxBlockData;
    if (data.size() <= max)
        return writeBlock(data, false);
    std::vector<QByteArray> blocks;
    for (qsizetype at = 0; at < data.size(); at += max)
        blocks.push_back(data.mid(at, max));
    return writeBlocks(blocks);
}

uint64_t NdbFile::writeSubnodes(std::vector<SubEntry> entries)
{
    if (entries.empty())
        return 0;
    const Layout &l = m_layout;
    std::sort(entries.begin(), entries.end(), [](const SubEntry &a, const SubEntry &b) { return a.nid < b.nid; });
    auto header = [&](QByteArray &b, int level, size_t count) {
        put8(b, 0x02);
        put8(b, uint8_t(level));
        put16(b, uint16_t(count));
        if (l.unicode)
            put32(b, 0);
    };
    auto putNid = [&](QByteArray &b, uint32_t nid) {
        put32(b, nid);
        if (l.unicode)
            put32(b, 0);
    };
    std::vector<std::pair<uint32_t, uint64_t>> leaves;
    for (size_t i = 0; i < entries.size(); i += size_t(l.slMax)) {
        size_t n = std::min(entries.size() - i, size_t(l.slMax));
        QByteArray b;
        header(b, 0, n);
        for (size_t k = i; k < i + n; ++k) {
            putNid(b, entries[k].nid);
            putBid(b, l, entries[k].bidData);
            putBid(b, l, entries[k].bidSub);
        }
        leaves.push_back({entries[i].nid, writeBlock(b, true)});
    }
    if (leaves.size() == 1)
        return leaves.front().second;
    // Subnode trees of more than one SIBLOCK are not needed for any object we write.
    QByteArray b;
    header(b, 1, leaves.size());
    for (const auto &[nid, bid] : leaves) {
        putNid(b, nid);
        putBid(b, l, bid);
    }
    return writeBlock(b, true);
}

void NdbFile::addNode(uint32_t nid, uint64_t bidData, uint64_t bidSub, uint32_t parent)
{
    m_nbt.push_back({nid, parent, bidData, bidSub});
}

NdbFile::PageRef NdbFile::writePage(QByteArray page, uint8_t ptype)
{
    const Layout &l = m_layout;
    const uint64_t bid = nextBid(false);
    const uint64_t ib = allocate(kPage, kPage);
    page.resize(int(kPage));
    const int t = l.pageCrcSize;
    const uint32_t crc = pstCrc(page.constData(), size_t(t));
    page[t] = char(ptype);
    page[t + 1] = char(ptype);
    set16(page, t + 2, signature(ib, bid));
    if (l.unicode) {
        set32(page, t + 4, crc);
        set64(page, t + 8, bid);
    } else {
        set32(page, t + 4, uint32_t(bid));
        set32(page, t + 8, crc);
    }
    output(ib, page.constData(), kPage);
    return {0, bid, ib};
}

NdbFile::PageRef NdbFile::writeBTree(const std::vector<QByteArray> &leafEntries, const std::vector<uint64_t> &keys,
                                     uint8_t ptype, int leafEntrySize)
{
    const Layout &l = m_layout;
    auto makePage = [&](const std::vector<QByteArray> &ents, size_t from, size_t n, int entSize, int level) {
        QByteArray p(int(kPage), '\0');
        for (size_t i = 0; i < n; ++i)
            std::memcpy(p.data() + i * size_t(entSize), ents[from + i].constData(), size_t(entSize));
        const int at = l.btEntriesSize;
        p[at] = char(n);
        p[at + 1] = char(l.btEntriesSize / entSize);
        p[at + 2] = char(entSize);
        p[at + 3] = char(level);
        return p;
    };
    std::vector<QByteArray> ents = leafEntries;
    std::vector<uint64_t> entKeys = keys;
    int entSize = leafEntrySize;
    int level = 0;
    for (;;) {
        const size_t perPage = size_t(l.btEntriesSize / entSize);
        std::vector<PageRef> pages;
        if (ents.empty()) {
            PageRef r = writePage(makePage(ents, 0, 0, entSize, level), ptype);
            return r;
        }
        for (size_t i = 0; i < ents.size(); i += perPage) {
            size_t n = std::min(ents.size() - i, perPage);
            PageRef r = writePage(makePage(ents, i, n, entSize, level), ptype);
            r.key = entKeys[i];
            pages.push_back(r);
        }
        if (pages.size() == 1)
            return pages.front();
        ents.clear();
        entKeys.clear();
        for (const PageRef &r : pages) {
            QByteArray e;
            putBid(e, l, r.key);
            putBid(e, l, r.bid);
            putBid(e, l, r.ib);
            ents.push_back(e);
            entKeys.push_back(r.key);
        }
        entSize = l.btEntry;
        ++level;
    }
}

bool NdbFile::isReservedPage(uint64_t ib) const
{
    uint64_t r = regionOf(ib);
    return ib < regionStart(r) + reservedPrefix(r);
}

bool NdbFile::finish(const uint32_t nextNidIndex[32])
{
    const Layout &l = m_layout;
    if (m_fd < 0)
        return false;

    // Node b-tree.
    std::sort(m_nbt.begin(), m_nbt.end(), [](const NbtEntry &a, const NbtEntry &b) { return a.nid < b.nid; });
    std::vector<QByteArray> nEnts;
    std::vector<uint64_t> nKeys;
    nEnts.reserve(m_nbt.size());
    for (const NbtEntry &e : m_nbt) {
        QByteArray b;
        if (l.unicode) {
            put64(b, e.nid);
            put64(b, e.bidData);
            put64(b, e.bidSub);
            put32(b, e.parent);
            put32(b, 0);
        } else {
            put32(b, e.nid);
            put32(b, uint32_t(e.bidData));
            put32(b, uint32_t(e.bidSub));
            put32(b, e.parent);
        }
        nEnts.push_back(b);
        nKeys.push_back(e.nid);
    }
    const PageRef nbtRoot = writeBTree(nEnts, nKeys, ptypeNBT, l.nbtLeafEntry);
    nEnts.clear();
    nEnts.shrink_to_fit();

    // Block b-tree (the b-tree pages are not blocks, so they are not listed).
    std::sort(m_bbt.begin(), m_bbt.end(), [](const BbtEntry &a, const BbtEntry &b) { return a.bid < b.bid; });
    std::vector<QByteArray> bEnts;
    std::vector<uint64_t> bKeys;
    bEnts.reserve(m_bbt.size());
    for (const BbtEntry &e : m_bbt) {
        QByteArray b;
        putBid(b, l, e.bid);
        putBid(b, l, e.ib);
        put16(b, e.cb);
        put16(b, 2);
        if (l.unicode)
            put32(b, 0);
        bEnts.push_back(b);
        bKeys.push_back(e.bid);
    }
    const PageRef bbtRoot = writeBTree(bEnts, bKeys, ptypeBBT, l.bbtLeafEntry);
    bEnts.clear();
    bEnts.shrink_to_fit();
    if (!flush())
        return false;

    // The file grows by whole AMap regions.
    const uint64_t regions = regionOf(m_cursor - 1) + 1;
    const uint64_t eof = regionStart(regions);
    for (uint64_t r = 0; r < regions; ++r)
        markAllocated(regionStart(r), reservedPrefix(r));

    auto mapPage = [&](const uint8_t *bits, uint8_t ptype, uint64_t ib) {
        QByteArray p(int(kPage), '\0');
        std::memcpy(p.data(), bits, 496);
        const int t = l.pageCrcSize;
        const uint32_t crc = pstCrc(p.constData(), size_t(t));
        p[t] = char(ptype);
        p[t + 1] = char(ptype);
        set16(p, t + 2, 0);
        if (l.unicode) {
            set32(p, t + 4, crc);
            set64(p, t + 8, ib);
        } else {
            set32(p, t + 4, uint32_t(ib));
            set32(p, t + 8, crc);
        }
        return p;
    };

    uint64_t freeBytes = 0;
    std::vector<uint8_t> longestFree(regions, 0);
    for (uint64_t r = 0; r < regions; ++r) {
        const uint8_t *bits = m_amap.data() + r * 496;
        uint64_t run = 0, best = 0;
        for (int bit = 0; bit < 496 * 8; ++bit) {
            if (bits[bit / 8] & (0x80 >> (bit % 8))) {
                run = 0;
            } else {
                ++freeBytes;
                best = std::max(best, ++run);
            }
        }
        longestFree[r] = uint8_t(std::min<uint64_t>(best, 255));
        QByteArray p = mapPage(bits, ptypeAMap, regionStart(r));
        if (!pwriteAll(regionStart(r), p.constData(), kPage))
            return false;
        if (hasPMap(r)) {
            std::vector<uint8_t> all(496, 0xFF);
            QByteArray pm = mapPage(all.data(), ptypePMap, regionStart(r) + kPage);
            if (!pwriteAll(regionStart(r) + kPage, pm.constData(), kPage))
                return false;
        }
    }
    freeBytes *= 64;
    for (uint64_t r = 128; r < regions; r += 496) {
        std::vector<uint8_t> fm(496, 0);
        for (uint64_t k = 0; k < 496 && r + k < regions; ++k)
            fm[k] = longestFree[r + k];
        const uint64_t at = regionStart(r) + 2 * kPage;
        QByteArray p = mapPage(fm.data(), ptypeFMap, at);
        if (!pwriteAll(at, p.constData(), kPage))
            return false;
    }
    if (l.unicode) {
        // Density list: present, empty.
        std::vector<uint8_t> none(496, 0);
        QByteArray p = mapPage(none.data(), ptypeDL, kDlistAt);
        if (!pwriteAll(kDlistAt, p.constData(), kPage))
            return false;
    }
    if (::ftruncate(m_fd, off_t(eof)) != 0) {
        setError(QStringLiteral("cannot size the file"));
        return false;
    }

    // Header.
    const uint64_t lastAmap = regionStart(regions - 1);
    const uint64_t nextBidValue = m_bidIndex << 2;
    QByteArray h;
    put32(h, 0x4E444221);                         // "!BDN"
    put32(h, 0);                                  // partial CRC, set below
    put16(h, 0x4D53);                             // "SM"
    put16(h, l.unicode ? 23 : 14);
    put16(h, 19);
    put8(h, 1);
    put8(h, 1);
    put32(h, 0);
    put32(h, 0);
    if (l.unicode) {
        put64(h, 0);                              // unused BID
        put64(h, nextBidValue);                   // next page BID
    } else {
        put32(h, uint32_t(nextBidValue));         // next block BID
        put32(h, uint32_t(nextBidValue));         // next page BID
    }
    put32(h, 1);                                  // dwUnique
    for (int i = 0; i < 32; ++i)
        put32(h, nextNidIndex[i]);
    if (l.unicode)
        put64(h, 0);
    // ROOT
    put32(h, 0);
    putBid(h, l, eof);
    putBid(h, l, lastAmap);
    putBid(h, l, freeBytes);
    putBid(h, l, 0);                              // PMap free
    putBid(h, l, nbtRoot.bid);
    putBid(h, l, nbtRoot.ib);
    putBid(h, l, bbtRoot.bid);
    putBid(h, l, bbtRoot.ib);
    put8(h, 0x02);                                // AMaps valid
    put8(h, 0);
    put16(h, 0);
    if (l.unicode)
        put32(h, 0);                              // dwAlign
    h.append(QByteArray(128, char(0xFF)));        // rgbFM
    h.append(QByteArray(128, char(0xFF)));        // rgbFP
    put8(h, 0x80);
    put8(h, m_compressible ? 1 : 0);
    put16(h, 0);
    if (l.unicode) {
        put64(h, nextBidValue);                   // next block BID
        put32(h, 0);                              // full CRC, set below
        h.append(QByteArray(3 + 1 + 32, '\0'));
    } else {
        put64(h, 0);
        put32(h, 0);
        h.append(QByteArray(3 + 1 + 32, '\0'));
    }
    set32(h, 4, pstCrc(h.constData() + 8, 471));
    if (l.unicode)
        set32(h, 524, pstCrc(h.constData() + 8, 516));
    QByteArray area(int(kDlistAt), '\0');
    std::memcpy(area.data(), h.constData(), size_t(h.size()));
    if (!pwriteAll(0, area.constData(), size_t(area.size())))
        return false;
    if (::close(m_fd) != 0)
        setError(QStringLiteral("close failed"));
    m_fd = -1;
    return m_error.isEmpty();
}

} // namespace pstw::detail
