#include "PstMutate.h"

#include <libpst/libpst.h>

#include <QFile>
#include <QRandomGenerator>
#include <QSet>

#include <cstring>

namespace pstmutate {

namespace {

constexpr qint64 kPage = 512;
constexpr qint64 kHeader = 512;  // the file header and its root structure

uint32_t le(const QByteArray& b, qint64 at, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | uint8_t(b[at + i]);
    return v;
}

// The b-tree pages below root, 512-byte pages only (Outlook 2013's 4 KiB
// pages are listed by their root alone). leafEntries gets the leaf entries'
// offsets.
void walkPages(const QByteArray& file, qint64 root, bool wide, QList<qint64>& pages, QList<qint64>* leafEntries,
               QSet<qint64>& seen)
{
    if (root < kHeader || root + kPage > file.size() || seen.contains(root) || seen.size() > 100000)
        return;
    seen.insert(root);
    pages.append(root);
    const qint64 meta = root + (wide ? 488 : 496);
    const int count = uint8_t(file[meta]);
    const int entrySize = uint8_t(file[meta + 2]);
    const int level = uint8_t(file[meta + 3]);
    if (entrySize == 0 || count * entrySize > (wide ? 488 : 496))
        return;
    for (int i = 0; i < count; ++i) {
        const qint64 at = root + qint64(i) * entrySize;
        if (level == 0) {
            if (leafEntries)
                leafEntries->append(at);
            continue;
        }
        const qint64 child = wide ? qint64(le(file, at + 16, 4)) | (qint64(le(file, at + 20, 4)) << 32)
                                  : qint64(le(file, at + 8, 4));
        walkPages(file, child, wide, pages, leafEntries, seen);
    }
}

void flipByte(QByteArray& b, qint64 at, QRandomGenerator& rng)
{
    if (at < 0 || at >= b.size())
        return;
    b[at] = char(uint8_t(b[at]) ^ uint8_t(1 + rng.bounded(255)));
}

// A byte of the first span or of the last span of [offset, offset + size).
qint64 nearEnds(qint64 offset, qint64 size, qint64 span, QRandomGenerator& rng)
{
    span = qMax<qint64>(1, qMin(span, size));
    return rng.bounded(2) == 0 ? offset + rng.bounded(span) : offset + size - 1 - rng.bounded(span);
}

} // namespace

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::Flip: return QStringLiteral("flip");
    case Kind::BTree: return QStringLiteral("btree");
    case Kind::Heap: return QStringLiteral("heap");
    case Kind::Length: return QStringLiteral("length");
    case Kind::Truncate: return QStringLiteral("truncate");
    }
    return {};
}

std::optional<Kind> kindFromName(const QString& name)
{
    for (Kind k : allKinds()) {
        if (kindName(k) == name)
            return k;
    }
    return std::nullopt;
}

QList<Kind> allKinds()
{
    return {Kind::Flip, Kind::BTree, Kind::Heap, Kind::Length, Kind::Truncate};
}

std::optional<Layout> readLayout(const QString& path)
{
    pst_file pf;
    std::memset(&pf, 0, sizeof pf);
    if (pst_open(&pf, QFile::encodeName(path).constData(), nullptr) != 0)
        return std::nullopt;
    Layout layout;
    layout.wide = pf.do_read64 != 0;
    const qint64 blockRoot = qint64(pf.index1);
    const qint64 nodeRoot = qint64(pf.index2);
    const bool indexed = pst_load_index(&pf) == 0;
    if (indexed) {
        for (size_t i = 0; i < pf.i_count; ++i) {
            const pst_index_ll e = pf.i_table[i];
            layout.blocks.append({qint64(e.offset), qint64(e.size), (e.i_id & 0x02) != 0});
        }
    }
    pst_close(&pf);
    if (!indexed)
        return std::nullopt;

    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray file = f.readAll();
    const bool smallPages = file.size() > 12 && le(file, 10, 2) < 36;
    QSet<qint64> seen;
    if (smallPages) {
        walkPages(file, blockRoot, layout.wide, layout.btreePages, &layout.bbtLeafEntries, seen);
        walkPages(file, nodeRoot, layout.wide, layout.btreePages, nullptr, seen);
    } else {
        layout.btreePages = {blockRoot, nodeRoot};
    }
    return layout;
}

QByteArray mutate(const QByteArray& file, const Layout& layout, Kind kind, uint32_t seed)
{
    QByteArray b = file;
    QRandomGenerator rng(seed * 2654435761u + uint32_t(kind));
    if (b.size() <= kHeader)
        return b;
    const int hits = 1 + int(rng.bounded(3));
    switch (kind) {
    case Kind::Flip:
        for (int i = 0; i < hits; ++i)
            flipByte(b, rng.bounded(qint64(b.size())), rng);
        break;
    case Kind::BTree:
        for (int i = 0; i < hits && !layout.btreePages.isEmpty(); ++i) {
            const qint64 page = layout.btreePages[rng.bounded(qsizetype(layout.btreePages.size()))];
            const qint64 meta = page + (layout.wide ? 488 : 496);
            // The counts and level, or an entry.
            flipByte(b, rng.bounded(3) == 0 ? meta + rng.bounded(4) : page + rng.bounded(qint64(meta - page)), rng);
        }
        break;
    case Kind::Heap:
        for (int i = 0; i < hits && !layout.blocks.isEmpty(); ++i) {
            const Layout::Block& blk = layout.blocks[rng.bounded(qsizetype(layout.blocks.size()))];
            // The heap header at the start, the page map at the end.
            flipByte(b, nearEnds(blk.offset, blk.size, 12, rng), rng);
        }
        break;
    case Kind::Length:
        for (int i = 0; i < hits && !layout.blocks.isEmpty(); ++i) {
            const int what = int(rng.bounded(3));
            if (what == 0 && !layout.bbtLeafEntries.isEmpty()) {
                // The stored size of a block in its b-tree entry.
                const qint64 entry = layout.bbtLeafEntries[rng.bounded(qsizetype(layout.bbtLeafEntries.size()))];
                flipByte(b, entry + (layout.wide ? 16 : 8) + rng.bounded(2), rng);
                continue;
            }
            const Layout::Block& blk = layout.blocks[rng.bounded(qsizetype(layout.blocks.size()))];
            if (blk.internal || what == 1) {
                // A block list's count and total, or a heap's page-map offset.
                flipByte(b, blk.offset + rng.bounded(qMin<qint64>(8, blk.size)), rng);
            } else {
                // A page-map entry: the high byte of a 16-bit offset.
                const qint64 at = blk.offset + blk.size - 1 - 2 * rng.bounded(qMax<qint64>(1, qMin<qint64>(16, blk.size / 2)));
                if (at >= 0 && at < b.size())
                    b[at] = char(rng.bounded(2) ? 0xFF : uint8_t(b[at]) + 1);
            }
        }
        break;
    case Kind::Truncate:
        b.truncate(kHeader + rng.bounded(qint64(b.size() - kHeader)));
        break;
    }
    return b;
}

} // namespace pstmutate
