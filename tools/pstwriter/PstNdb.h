// Node database layer of the PST writer: blocks, data trees, subnode
// trees, the node and block b-trees, allocation maps and the file header.
// Internal to PstWriter.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace pstw::detail {

// Sizes that differ between the Unicode (64-bit) and ANSI (32-bit) formats.
struct Layout {
    bool unicode = true;
    int bidSize = 8;          // BID / IB width
    int blockTrailer = 16;
    int maxBlockData = 8176;  // data bytes in one block
    int pageCrcSize = 496;    // page bytes covered by the page CRC
    int btEntriesSize = 488;  // entry area of a b-tree page
    int nbtLeafEntry = 32;
    int bbtLeafEntry = 24;
    int btEntry = 24;
    int xblockMax = 1021;     // BIDs in one XBLOCK
    int slEntry = 24;
    int slHeader = 8;
    int slMax = 340;
    int siEntry = 16;
    int siMax = 510;
    int rowIndexValue = 4;    // dwRowIndex width in a table's row index

    static Layout forFormat(bool unicode);
};

constexpr int kMaxHeapItem = 3580;

// Little-endian appenders.
inline void put8(QByteArray &b, uint8_t v) { b.append(char(v)); }
inline void put16(QByteArray &b, uint16_t v) { b.append(char(v & 0xFF)); b.append(char(v >> 8)); }
inline void put32(QByteArray &b, uint32_t v) { for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xFF)); }
inline void put64(QByteArray &b, uint64_t v) { for (int i = 0; i < 8; ++i) b.append(char((v >> (8 * i)) & 0xFF)); }
inline void set16(QByteArray &b, int at, uint16_t v) { b[at] = char(v & 0xFF); b[at + 1] = char(v >> 8); }
inline void set32(QByteArray &b, int at, uint32_t v) { for (int i = 0; i < 4; ++i) b[at + i] = char((v >> (8 * i)) & 0xFF); }
inline void set64(QByteArray &b, int at, uint64_t v) { for (int i = 0; i < 8; ++i) b[at + i] = char((v >> (8 * i)) & 0xFF); }

uint32_t pstCrc(const char *data, size_t len, uint32_t crc = 0);

// A subnode of a node: local NID with its data and its own subnode tree.
struct SubEntry {
    uint32_t nid = 0;
    uint64_t bidData = 0;
    uint64_t bidSub = 0;
};

// What a node (top-level or subnode) is made of once written.
struct BuiltNode {
    uint64_t bidData = 0;
    uint64_t bidSub = 0;
};

class NdbFile {
public:
    NdbFile() = default;
    ~NdbFile();
    NdbFile(const NdbFile &) = delete;
    NdbFile &operator=(const NdbFile &) = delete;

    bool open(const QString &path, bool unicode, bool compressible);
    bool ok() const { return m_fd >= 0 && m_error.isEmpty(); }
    QString error() const { return m_error; }
    const Layout &layout() const { return m_layout; }

    // One block; external blocks are encoded when the file is encrypted.
    uint64_t writeBlock(const char *data, int size, bool internal);
    uint64_t writeBlock(const QByteArray &data, bool internal) { return writeBlock(data.constData(), int(data.size()), internal); }
    // A byte stream as one data block, or an XBLOCK/XXBLOCK tree of them.
    uint64_t writeData(const QByteArray &data);
    // Given data blocks (each at most maxBlockData) as one tree.
    uint64_t writeBlocks(const std::vector<QByteArray> &blocks);
    // A subnode tree (SLBLOCK, or SIBLOCK over SLBLOCKs); 0 when empty.
    uint64_t writeSubnodes(std::vector<SubEntry> entries);

    void addNode(uint32_t nid, uint64_t bidData, uint64_t bidSub, uint32_t parent);

    // Writes the b-trees, maps and header and closes the file.
    bool finish(const uint32_t nextNidIndex[32]);

private:
    struct BbtEntry { uint64_t bid, ib; uint16_t cb; };
    struct NbtEntry { uint32_t nid; uint32_t parent; uint64_t bidData, bidSub; };
    struct PageRef { uint64_t key, bid, ib; };

    uint64_t nextBid(bool internal);
    uint64_t allocate(uint64_t size, uint64_t align);
    void markAllocated(uint64_t ib, uint64_t size);
    void output(uint64_t ib, const char *data, size_t size);
    bool flush();
    bool pwriteAll(uint64_t ib, const char *data, size_t size);
    uint64_t treeOverBids(const std::vector<uint64_t> &bids, uint64_t total, int level);
    PageRef writePage(QByteArray page, uint8_t ptype);
    PageRef writeBTree(const std::vector<QByteArray> &leafEntries, const std::vector<uint64_t> &keys,
                       uint8_t ptype, int leafEntrySize);
    bool isReservedPage(uint64_t ib) const;
    void setError(const QString &e) { if (m_error.isEmpty()) m_error = e; }

    Layout m_layout;
    bool m_compressible = false;
    int m_fd = -1;
    QString m_error;
    uint64_t m_bidIndex = 1;
    uint64_t m_cursor = 0;        // next free byte of the data area
    std::vector<uint8_t> m_amap;  // one bit per 64 bytes from 0x4400
    std::vector<BbtEntry> m_bbt;
    std::vector<NbtEntry> m_nbt;
    QByteArray m_pending;         // sequential write buffer
    uint64_t m_pendingAt = 0;
    QByteArray m_scratch;
};

} // namespace pstw::detail
