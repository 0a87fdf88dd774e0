// pstmutate: damaged copies of a PST file for robustness tests. Each mutant
// is fixed by (source, kind, seed): the same inputs give the same bytes.
//
//   flip      a few random bytes anywhere
//   btree     bytes of the file's b-tree pages (entries, counts, levels)
//   heap      heap-on-node headers and page maps at the ends of data blocks
//   length    length and count fields: block list headers, page-map offsets,
//             the stored sizes in the block b-tree
//   truncate  the file cut short at a random offset
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace pstmutate {

enum class Kind { Flip, BTree, Heap, Length, Truncate };

QString kindName(Kind kind);
std::optional<Kind> kindFromName(const QString& name);
QList<Kind> allKinds();

// Where the structures of a sound PST file lie, read once per source.
struct Layout {
    bool wide = true;                 // Unicode (64-bit ids) or ANSI
    QList<qint64> btreePages;         // offsets of 512-byte b-tree pages
    struct Block { qint64 offset; qint64 size; bool internal; };
    QList<Block> blocks;              // every block of the block index
    QList<qint64> bbtLeafEntries;     // offsets of block b-tree leaf entries
};

// The layout of the file at path (opened with libpst for its index); empty
// when the file does not open.
std::optional<Layout> readLayout(const QString& path);

// The mutant of file for kind and seed.
QByteArray mutate(const QByteArray& file, const Layout& layout, Kind kind, uint32_t seed);

} // namespace pstmutate
