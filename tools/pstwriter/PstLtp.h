// Lists, tables and properties layer of the PST writer: heap-on-node,
// b-trees on the heap, property contexts and table contexts. Internal.
#pragma once

#include "PstNdb.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace pstw::detail {

enum : uint8_t { kSigTC = 0x7C, kSigBTH = 0xB5, kSigPC = 0xBC };

// Subnodes a node collects while its heap is built (large values, row
// matrices, attachment objects...). Local NIDs are unique per node.
class SubnodeList {
public:
    uint32_t newNid(uint8_t nidType) { return (m_next++ << 5) | nidType; }
    void add(uint32_t nid, uint64_t bidData, uint64_t bidSub) { m_entries.push_back({nid, bidData, bidSub}); }
    std::vector<SubEntry> &entries() { return m_entries; }
private:
    uint32_t m_next = 0x400;
    std::vector<SubEntry> m_entries;
};

class HeapBuilder {
public:
    HeapBuilder(const Layout &layout, uint8_t clientSig);
    // Returns the HID of a new item of at most kMaxHeapItem bytes.
    uint32_t alloc(const char *data, int size);
    uint32_t alloc(const QByteArray &d) { return alloc(d.constData(), int(d.size())); }
    void setUserRoot(uint32_t hid) { m_userRoot = hid; }
    std::vector<QByteArray> pages();

private:
    struct Page { QByteArray data; std::vector<uint16_t> offsets; };
    int headerSize(size_t page) const;
    const Layout &m_layout;
    uint8_t m_sig;
    uint32_t m_userRoot = 0;
    std::vector<Page> m_pages;
};

// A value too large for the heap goes to a subnode of the node.
uint32_t storeValue(NdbFile &ndb, HeapBuilder &heap, SubnodeList &subs, const QByteArray &value);

// A b-tree on the heap with the given key/record width; records sorted by key.
uint32_t buildBth(HeapBuilder &heap, int cbKey, int cbEnt, const std::vector<QByteArray> &records);

// One property of a property context, already resolved to its id and type.
struct PcProp {
    uint16_t id = 0;
    uint16_t type = 0;
    QByteArray data;
};

// Writes a property context with the given subnodes (which it may add to).
BuiltNode writePc(NdbFile &ndb, std::vector<PcProp> props, SubnodeList &subs);

// A table context built row by row.
class TableBuilder {
public:
    // Column tags (id << 16 | type) besides the row id and row version.
    explicit TableBuilder(const Layout &layout, std::vector<uint32_t> tags);
    // Cells in the order of the tags; an empty optional is an absent cell.
    struct Cell { bool present = false; QByteArray data; };
    void addRow(uint32_t rowId, const std::vector<Cell> &cells);
    size_t rowCount() const { return m_rowIds.size(); }
    BuiltNode write(NdbFile &ndb, SubnodeList &subs);

private:
    struct Col { uint32_t tag; uint16_t ib; uint8_t cb; uint8_t bit; bool variable; };
    const Layout &m_layout;
    std::vector<Col> m_cols;
    int m_rowSize = 0;
    int m_cebAt = 0;
    uint16_t m_rgib[4] = {};
    QByteArray m_rows;       // fixed row bytes; variable cells hold an index into m_varRefs
    QByteArray m_varPool;
    std::vector<std::pair<uint64_t, uint32_t>> m_varRefs;
    std::vector<size_t> m_inputToCol;
    std::vector<uint32_t> m_rowIds;
};

} // namespace pstw::detail
