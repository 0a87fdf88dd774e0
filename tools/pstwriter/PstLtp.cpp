#include "PstLtp.h"

#include <algorithm>
#include <cstring>

namespace pstw::detail {

namespace {

constexpr uint8_t kNidTypeLtp = 0x1F;

uint8_t fillLevel(int freeBytes)
{
    static const int limits[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768, 512, 256, 128, 64, 32, 16, 8};
    for (int i = 0; i < 15; ++i)
        if (freeBytes >= limits[i])
            return uint8_t(i);
    return 0x0F;
}

bool isInline(uint16_t type)
{
    return type == 0x0002 || type == 0x0003 || type == 0x0004 || type == 0x000A || type == 0x000B;
}

int columnWidth(uint16_t type)
{
    switch (type) {
    case 0x0005: case 0x0006: case 0x0007: case 0x0014: case 0x0040:
        return 8;
    case 0x0002:
        return 2;
    case 0x000B:
        return 1;
    default:
        return 4; // 32-bit values and HNIDs of variable-size values
    }
}

bool isVariable(uint16_t type)
{
    return !(type == 0x0002 || type == 0x0003 || type == 0x0004 || type == 0x0005 || type == 0x0006
             || type == 0x0007 || type == 0x000A || type == 0x000B || type == 0x0014 || type == 0x0040);
}

} // namespace

HeapBuilder::HeapBuilder(const Layout &layout, uint8_t clientSig) : m_layout(layout), m_sig(clientSig) {}

int HeapBuilder::headerSize(size_t page) const
{
    if (page == 0)
        return 12;
    if (page % 128 == 8)
        return 66;
    return 2;
}

uint32_t HeapBuilder::alloc(const char *data, int size)
{
    auto fits = [&](const Page &p) {
        const int mapSize = 4 + 2 * int(p.offsets.size() + 2);
        return int(p.data.size()) + size + 1 + mapSize <= m_layout.maxBlockData;
    };
    if (m_pages.empty() || !fits(m_pages.back())) {
        Page p;
        p.data = QByteArray(headerSize(m_pages.size()), '\0');
        m_pages.push_back(std::move(p));
    }
    Page &p = m_pages.back();
    p.offsets.push_back(uint16_t(p.data.size()));
    p.data.append(data, size);
    return uint32_t((m_pages.size() - 1) << 16) | uint32_t(p.offsets.size() << 5);
}

std::vector<QByteArray> HeapBuilder::pages()
{
    std::vector<QByteArray> out;
    if (m_pages.empty()) {
        // An empty heap still has its header page.
        m_pages.push_back({QByteArray(12, '\0'), {}});
    }
    out.reserve(m_pages.size());
    for (const Page &p : m_pages) {
        QByteArray b = p.data;
        const uint16_t end = uint16_t(b.size());
        if (b.size() % 2)
            b.append('\0');
        const uint16_t ibHnpm = uint16_t(b.size());
        put16(b, uint16_t(p.offsets.size()));
        put16(b, 0);
        for (uint16_t o : p.offsets)
            put16(b, o);
        put16(b, end);
        set16(b, 0, ibHnpm);
        out.push_back(b);
    }
    auto level = [&](size_t i) { return fillLevel(m_layout.maxBlockData - int(out[i].size())); };
    QByteArray &first = out.front();
    first[2] = char(0xEC);
    first[3] = char(m_sig);
    set32(first, 4, m_userRoot);
    for (size_t i = 0; i < 8 && i < out.size(); ++i)
        first[8 + int(i / 2)] = char(uint8_t(first[8 + int(i / 2)]) | (level(i) << ((i % 2) * 4)));
    for (size_t i = 8; i < out.size(); i += 128) {
        QByteArray &bm = out[i];
        for (size_t k = 0; k < 128 && i + k < out.size(); ++k)
            bm[2 + int(k / 2)] = char(uint8_t(bm[2 + int(k / 2)]) | (level(i + k) << ((k % 2) * 4)));
    }
    return out;
}

uint32_t storeValue(NdbFile &ndb, HeapBuilder &heap, SubnodeList &subs, const QByteArray &value)
{
    if (value.size() <= kMaxHeapItem)
        return heap.alloc(value);
    const uint32_t nid = subs.newNid(kNidTypeLtp);
    subs.add(nid, ndb.writeData(value), 0);
    return nid;
}

uint32_t buildBth(HeapBuilder &heap, int cbKey, int cbEnt, const std::vector<QByteArray> &records)
{
    uint32_t root = 0;
    int levels = 0;
    if (!records.empty()) {
        std::vector<QByteArray> level = records;
        int recSize = cbKey + cbEnt;
        for (;;) {
            const size_t perItem = size_t(kMaxHeapItem / recSize);
            std::vector<QByteArray> next;
            for (size_t i = 0; i < level.size(); i += perItem) {
                const size_t n = std::min(level.size() - i, perItem);
                QByteArray item;
                item.reserve(int(n) * recSize);
                for (size_t k = i; k < i + n; ++k)
                    item.append(level[k]);
                const uint32_t hid = heap.alloc(item);
                QByteArray idx = level[i].left(cbKey);
                put32(idx, hid);
                next.push_back(idx);
            }
            if (next.size() == 1) {
                root = uint32_t(uint8_t(next[0][cbKey])) | uint32_t(uint8_t(next[0][cbKey + 1])) << 8
                       | uint32_t(uint8_t(next[0][cbKey + 2])) << 16 | uint32_t(uint8_t(next[0][cbKey + 3])) << 24;
                break;
            }
            level = std::move(next);
            recSize = cbKey + 4;
            ++levels;
        }
    }
    QByteArray h;
    put8(h, kSigBTH);
    put8(h, uint8_t(cbKey));
    put8(h, uint8_t(cbEnt));
    put8(h, uint8_t(levels));
    put32(h, root);
    return heap.alloc(h);
}

BuiltNode writePc(NdbFile &ndb, std::vector<PcProp> props, SubnodeList &subs)
{
    std::stable_sort(props.begin(), props.end(), [](const PcProp &a, const PcProp &b) { return a.id < b.id; });
    HeapBuilder heap(ndb.layout(), kSigPC);
    std::vector<QByteArray> records;
    records.reserve(props.size());
    for (const PcProp &p : props) {
        if (!records.empty() && uint16_t(uint8_t(records.back()[0]) | uint8_t(records.back()[1]) << 8) == p.id)
            continue; // first one wins
        QByteArray r;
        put16(r, p.id);
        put16(r, p.type);
        if (isInline(p.type)) {
            QByteArray v = p.data.left(4);
            v.append(QByteArray(4 - int(v.size()), '\0'));
            r.append(v);
        } else {
            put32(r, storeValue(ndb, heap, subs, p.data));
        }
        records.push_back(r);
    }
    heap.setUserRoot(buildBth(heap, 2, 6, records));
    BuiltNode n;
    n.bidData = ndb.writeBlocks(heap.pages());
    n.bidSub = ndb.writeSubnodes(subs.entries());
    return n;
}

TableBuilder::TableBuilder(const Layout &layout, std::vector<uint32_t> tags) : m_layout(layout)
{
    m_cols.push_back({0x67F20003, 0, 4, 0, false});
    m_cols.push_back({0x67F30003, 4, 4, 1, false});
    m_inputToCol.assign(tags.size(), 0);
    int at = 8;
    uint8_t bit = 2;
    for (int width : {8, 4, 2, 1}) {
        for (size_t i = 0; i < tags.size(); ++i) {
            const uint16_t type = uint16_t(tags[i] & 0xFFFF);
            if (columnWidth(type) != width)
                continue;
            m_inputToCol[i] = m_cols.size();
            m_cols.push_back({tags[i], uint16_t(at), uint8_t(width), bit++, isVariable(type)});
            at += width;
        }
        if (width == 4)
            m_rgib[0] = uint16_t(at);
        else if (width == 2)
            m_rgib[1] = uint16_t(at);
        else if (width == 1)
            m_rgib[2] = uint16_t(at);
    }
    m_cebAt = at;
    m_rowSize = at + int(m_cols.size() + 7) / 8;
    m_rgib[3] = uint16_t(m_rowSize);
}

void TableBuilder::addRow(uint32_t rowId, const std::vector<Cell> &cells)
{
    const qsizetype base = m_rows.size();
    m_rows.resize(base + m_rowSize);
    char *row = m_rows.data() + base;
    std::memset(row, 0, size_t(m_rowSize));
    auto setBit = [&](uint8_t b) { row[m_cebAt + b / 8] = char(uint8_t(row[m_cebAt + b / 8]) | (0x80 >> (b % 8))); };
    auto le32 = [](char *p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = char((v >> (8 * i)) & 0xFF); };
    le32(row, rowId);
    le32(row + 4, 1);
    setBit(0);
    setBit(1);
    for (size_t i = 0; i < cells.size() && i < m_inputToCol.size(); ++i) {
        const Cell &cell = cells[i];
        if (!cell.present)
            continue;
        const Col &col = m_cols[m_inputToCol[i]];
        setBit(col.bit);
        if (col.variable) {
            le32(row + col.ib, uint32_t(m_varRefs.size()));
            m_varRefs.push_back({uint64_t(m_varPool.size()), uint32_t(cell.data.size())});
            m_varPool.append(cell.data);
        } else {
            std::memcpy(row + col.ib, cell.data.constData(), std::min<size_t>(col.cb, size_t(cell.data.size())));
        }
    }
    m_rowIds.push_back(rowId);
}

BuiltNode TableBuilder::write(NdbFile &ndb, SubnodeList &subs)
{
    const Layout &l = m_layout;
    HeapBuilder heap(l, kSigTC);
    const size_t rows = m_rowIds.size();

    // Variable cells go to the heap (or subnodes) now; their HNIDs replace the indexes.
    for (size_t r = 0; r < rows; ++r) {
        char *row = m_rows.data() + qsizetype(r) * m_rowSize;
        for (const Col &col : m_cols) {
            if (!col.variable || !(uint8_t(row[m_cebAt + col.bit / 8]) & (0x80 >> (col.bit % 8))))
                continue;
            uint32_t ref = 0;
            std::memcpy(&ref, row + col.ib, 4);
            const auto &[off, len] = m_varRefs[ref];
            const uint32_t hnid = storeValue(ndb, heap, subs, QByteArray::fromRawData(m_varPool.constData() + off, qsizetype(len)));
            for (int i = 0; i < 4; ++i)
                row[col.ib + i] = char((hnid >> (8 * i)) & 0xFF);
        }
    }
    m_varPool.clear();
    m_varRefs.clear();

    // Row index: row id -> position in the row matrix.
    std::vector<std::pair<uint32_t, uint32_t>> index;
    index.reserve(rows);
    for (size_t r = 0; r < rows; ++r)
        index.push_back({m_rowIds[r], uint32_t(r)});
    std::sort(index.begin(), index.end());
    std::vector<QByteArray> records;
    records.reserve(rows);
    for (const auto &[id, pos] : index) {
        QByteArray rec;
        put32(rec, id);
        if (l.rowIndexValue == 4)
            put32(rec, pos);
        else
            put16(rec, uint16_t(pos));
        records.push_back(rec);
    }
    const uint32_t hidRowIndex = buildBth(heap, 4, l.rowIndexValue, records);
    records.clear();

    // Row matrix: in the heap when small, else a subnode whose blocks hold whole rows.
    uint32_t hnidRows = 0;
    if (rows > 0 && m_rows.size() <= kMaxHeapItem) {
        hnidRows = heap.alloc(m_rows);
    } else if (rows > 0) {
        const size_t perBlock = size_t(l.maxBlockData / m_rowSize);
        std::vector<QByteArray> blocks;
        for (size_t r = 0; r < rows; r += perBlock) {
            const size_t n = std::min(rows - r, perBlock);
            QByteArray b = m_rows.mid(qsizetype(r) * m_rowSize, qsizetype(n) * m_rowSize);
            if (r + n < rows)
                b.append(QByteArray(l.maxBlockData - int(b.size()), '\0'));
            blocks.push_back(b);
        }
        hnidRows = subs.newNid(kNidTypeLtp);
        subs.add(hnidRows, ndb.writeBlocks(blocks), 0);
    }
    m_rows.clear();

    std::vector<Col> sorted = m_cols;
    std::sort(sorted.begin(), sorted.end(), [](const Col &a, const Col &b) { return a.tag < b.tag; });
    QByteArray info;
    put8(info, kSigTC);
    put8(info, uint8_t(sorted.size()));
    for (uint16_t v : m_rgib)
        put16(info, v);
    put32(info, hidRowIndex);
    put32(info, hnidRows);
    put32(info, 0);
    for (const Col &c : sorted) {
        put32(info, c.tag);
        put16(info, c.ib);
        put8(info, c.cb);
        put8(info, c.bit);
    }
    heap.setUserRoot(heap.alloc(info));
    BuiltNode n;
    n.bidData = ndb.writeBlocks(heap.pages());
    n.bidSub = ndb.writeSubnodes(subs.entries());
    return n;
}

} // namespace pstw::detail
