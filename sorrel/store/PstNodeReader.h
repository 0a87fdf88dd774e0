#pragma once
// Bounds-checked reading of what a PST node holds, on top of libpst's block
// access (pst_getID, pst_ff_getIDblock_dec):
//   - PstBlockSource: blocks, data trees (XBLOCK / XXBLOCK) and subnode trees
//     (SLBLOCK / SIBLOCK), with every index entry checked against the file
//     before libpst reads it;
//   - PstHeap: a heap-on-node over a data tree's blocks, with its page maps
//     checked, and the B-trees (BTH) inside it;
//   - PstNodeReader: the property context of one descriptor node.
// Every offset and count is checked against the bytes actually read; damage
// gives false or an empty result, never an out-of-bounds access.
// Callers hold pstLibraryMutex().

#include <libpst/libpst.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>

#include <cstdint>
#include <functional>

namespace pstnode {

inline uint16_t le16(QByteArrayView b, qsizetype at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData()) + at;
    return uint16_t(p[0] | (p[1] << 8));
}

inline uint32_t le32(QByteArrayView b, qsizetype at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData()) + at;
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

inline uint64_t le64(QByteArrayView b, qsizetype at)
{
    return uint64_t(le32(b, at)) | (uint64_t(le32(b, at + 4)) << 32);
}

constexpr qsizetype kMaxBlockBytes = 1 << 20;  // sane upper bound for one block
constexpr qsizetype kMaxTreeBytes = 64 << 20;  // upper bound for one data tree read whole

// Property types by their storage: small fixed values sit in the record
// itself; larger fixed ones have this many bytes behind their reference;
// everything else is variable (0 here). Unknown types answer -1.
int fixedTypeSize(uint16_t type);
bool isInlineType(uint16_t type);
bool isKnownType(uint16_t type);

} // namespace pstnode

class PstBlockSource {
public:
    explicit PstBlockSource(pst_file* pf);

    bool wide() const { return m_wide; }
    pst_file* file() const { return m_pf; }

    // The index entry of block id when it lies inside the file with a sane
    // size; null otherwise (libpst would allocate or seek by absurd values).
    const pst_index_ll* entry(uint64_t id) const;
    // The block's bytes (decrypted, inflated); empty when missing or damaged.
    QByteArray readBlock(uint64_t id) const;
    // Appends the data blocks of the tree rooted at id (a data block, an
    // XBLOCK or an XXBLOCK). budget bounds the bytes read.
    bool readTree(uint64_t id, QList<QByteArray>& out, qsizetype& budget) const;
    // Checks the tree rooted at id without reading its data blocks: the
    // block lists are read and checked, every data block must have a sane
    // index entry, and the lists' totals must match. totalBytes gets the
    // size of the data.
    bool checkTree(uint64_t id, uint64_t& totalBytes) const;

    struct Subnode {
        uint32_t nid = 0;
        uint64_t data = 0;  // data tree of the subnode
        uint64_t sub = 0;   // its own subnode tree, 0 for none
    };
    // In list order; a node has a handful, so a scan finds one.
    using Subnodes = QList<Subnode>;
    static const Subnode* find(const Subnodes& subnodes, uint32_t nid);
    // Every entry of the subnode tree rooted at id (an SLBLOCK or SIBLOCK).
    bool readSubnodes(uint64_t id, Subnodes& out) const;

private:
    bool readDirect(const pst_index_ll& e, QByteArray& out) const;
    QByteArray readThroughLibpst(uint64_t id) const;
    bool walkTree(uint64_t id, int maxLevel, bool readData, QList<QByteArray>* out, qsizetype& budget,
                  uint64_t& totalBytes) const;
    bool walkSubnodes(uint64_t id, int maxLevel, Subnodes& out) const;

    pst_file* m_pf;
    bool m_wide;
    uint64_t m_fileSize;
    int m_fd = -1;  // for direct reads; -1 when blocks go through libpst
};

// Drops what PstBlockSource keeps of an open file (its size, read windows);
// called when the file is closed, under pstLibraryMutex().
void pstForgetFileWindows(const pst_file* pf);

class PstHeap {
public:
    // The heap over a data tree's blocks; false when the first block is no
    // heap or (strict) any block's page map is damaged.
    bool load(QList<QByteArray> blocks, bool strict);

    uint8_t clientSignature() const { return m_clientSig; }
    uint32_t userRoot() const { return m_userRoot; }
    // The bytes of allocation hid; false when it does not resolve.
    bool alloc(uint32_t hid, QByteArrayView& out) const;

    // Walks the B-tree whose header is allocation hid: its key and entry
    // sizes must be cbKey and one of cbEnt (0 accepts any); leaf(record)
    // gets each leaf record (key then data) in key order and may stop the
    // walk by returning false. Answers false when the tree is damaged
    // (strict: any unresolved node or uneven record list); entrySize gets
    // the tree's entry size.
    bool walkBth(uint32_t hid, int cbKey, std::initializer_list<int> cbEnt, bool strict,
                 const std::function<bool(QByteArrayView)>& leaf, int* entrySize = nullptr) const;

private:
    bool checkPageMap(qsizetype index) const;
    bool walkNode(uint32_t hid, int level, int recordKey, int recordEnt, bool strict, int& nodes,
                  const std::function<bool(QByteArrayView)>& leaf, bool& stopped) const;

    QList<QByteArray> m_blocks;
    uint8_t m_clientSig = 0;
    uint32_t m_userRoot = 0;
};

// The property context (PC) of one node: a heap whose user root is a BTH of
// (property id, type, value reference) records.
class PstNodeReader {
public:
    // The node's data tree and subnode tree by block id (a descriptor's desc
    // and assoc_tree ids, or a subnode's data and sub ids).
    PstNodeReader(const PstBlockSource& source, uint64_t dataId, uint64_t subId);

    // Reads the property context; false when it is missing or damaged.
    // strict: every page map and B-tree node must be sound.
    bool load(bool strict = false);
    // Reads the node's heap whatever it holds (a property context, a table,
    // ...); false when its data tree or (strict) a page map is damaged, or
    // it is no heap at all.
    bool loadHeap(bool strict);
    const PstHeap& heap() const { return m_heap; }

    // Calls f(id, type, hnid) for each record in key order until f returns
    // false. Answers false when the B-tree is damaged (strict load only).
    bool forEachRecord(const std::function<bool(uint16_t, uint16_t, uint32_t)>& f) const;

    // The bytes of a value reference of the given type (whole, also when
    // held in a subnode).
    bool value(uint16_t type, uint32_t hnid, QByteArray& out) const;

    // The node's subnodes (read on first use); empty without a subnode tree.
    bool subnodes(const PstBlockSource::Subnodes*& out) const;

private:
    const PstBlockSource& m_source;
    uint64_t m_dataId;
    uint64_t m_subId;
    bool m_strict = false;
    PstHeap m_heap;
    mutable bool m_subnodesRead = false;
    mutable bool m_subnodesOk = false;
    mutable PstBlockSource::Subnodes m_subnodes;
};
