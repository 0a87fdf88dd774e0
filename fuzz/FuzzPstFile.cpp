#include "FuzzPstFile.h"

#include "sorrel/store/PstDescriptorIndex.h"

#include <algorithm>
#include <cstring>

namespace {
const QByteArray kMarker = QByteArrayLiteral("BLK!");
constexpr qsizetype kMaxBlocks = 64;
}

FuzzPstFile::FuzzPstFile(const uint8_t* data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    uint64_t firstId = 0, secondId = 0;
    qsizetype from = 0;
    for (int n = 0; from < input.size() && n < kMaxBlocks; ++n) {
        qsizetype end = input.indexOf(kMarker, from);
        if (end < 0)
            end = input.size();
        const QByteArray part = input.mid(from, end - from);
        from = end + kMarker.size();
        if (part.size() < 8)
            continue;
        uint64_t id = 0;
        std::memcpy(&id, part.constData(), 8);
        if (n == 0)
            firstId = id;
        else if (n == 1)
            secondId = id;
        if (id == 0 || part.size() == 8)
            continue;
        m_index.append(pst_index_ll{id, uint64_t(m_image.size()), uint64_t(part.size() - 8), 0, 1});
        m_image += part.mid(8);
    }
    std::sort(m_index.begin(), m_index.end(), [](const pst_index_ll& a, const pst_index_ll& b) { return a.i_id < b.i_id; });
    m_index.erase(std::unique(m_index.begin(), m_index.end(),
                              [](const pst_index_ll& a, const pst_index_ll& b) { return a.i_id == b.i_id; }),
                  m_index.end());
    if (m_image.isEmpty())
        m_image = QByteArray(1, '\0');
    m_pf.fp = fmemopen(m_image.data(), size_t(m_image.size()), "rb");
    m_pf.do_read64 = 1;
    m_pf.size = uint64_t(m_image.size());
    m_pf.i_table = m_index.data();
    m_pf.i_count = m_pf.i_capacity = size_t(m_index.size());
    auto find = [&](uint64_t id) -> pst_index_ll* {
        for (pst_index_ll& e : m_index) {
            if (e.i_id == id)
                return &e;
        }
        return nullptr;
    };
    m_desc.d_id = 0x61;
    m_desc.desc = find(firstId);
    m_desc.assoc_tree = secondId ? find(secondId) : nullptr;
    m_pf.d_head = m_pf.d_tail = &m_desc;
}

FuzzPstFile::~FuzzPstFile()
{
    pstForgetDescriptors(&m_pf);
    if (m_pf.fp)
        std::fclose(m_pf.fp);
}

QByteArray FuzzPstFile::encode(const QList<Block>& blocks)
{
    QByteArray out;
    for (const Block& b : blocks) {
        if (!out.isEmpty())
            out += kMarker;
        char id[8];
        std::memcpy(id, &b.id, 8);
        out += QByteArray(id, 8) + b.bytes;
    }
    return out;
}
