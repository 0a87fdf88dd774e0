// Writes seed inputs for the PST fuzz targets: for each descriptor of a sound
// file (up to a limit), the blocks its item parse reads, in FuzzPstFile's
// encoding; and small index cache bodies for fuzz_indexcache.
//   fuzz_seeds FILE.pst CORPUSDIR [max items]
#include "FuzzPstFile.h"

#include "sorrel/store/PstNodeReader.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <cstring>

namespace {

constexpr qsizetype kMaxSeedBytes = 64 * 1024;

// The blocks of the tree rooted at id: XBLOCKs, SLBLOCKs and SIBLOCKs with
// what they list, data blocks as they are.
void collect(const PstBlockSource& source, uint64_t id, QList<FuzzPstFile::Block>& out, qsizetype& bytes)
{
    if (!id || bytes > kMaxSeedBytes)
        return;
    for (const auto& b : out) {
        if (b.id == id)
            return;
    }
    const QByteArray block = source.readBlock(id);
    if (block.isEmpty())
        return;
    out.append({id, block});
    bytes += block.size();
    if (!(id & 0x02) || block.size() < 8)
        return;
    const int type = uint8_t(block[0]), level = uint8_t(block[1]);
    const qsizetype count = pstnode::le16(block, 2);
    if (type == 0x01) {
        for (qsizetype i = 0; i < count && 8 + 8 * (i + 1) <= block.size(); ++i)
            collect(source, pstnode::le64(block, 8 + 8 * i), out, bytes);
    } else if (type == 0x02) {
        const qsizetype entry = level == 0 ? 24 : 16;
        for (qsizetype i = 0; i < count && 8 + entry * (i + 1) <= block.size(); ++i) {
            collect(source, pstnode::le64(block, 8 + entry * i + 8), out, bytes);
            if (level == 0)
                collect(source, pstnode::le64(block, 8 + entry * i + 16), out, bytes);
        }
    }
}

bool write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// An index cache body from the entry count on: n entries, m records.
QByteArray cacheBody(int n, int m)
{
    QByteArray out;
    char buf[8];
    auto put = [&](qint64 v) {
        qToLittleEndian<qint64>(v, buf);
        out.append(buf, 8);
    };
    put(n);
    for (int i = 0; i < n; ++i) {
        put(4 * (i + 1));   // i_id
        put(4096);          // offset
        put(64);            // size
        put(64);            // inflated_size
        put(1);             // u1
    }
    put(m);
    for (int i = 0; i < m; ++i) {
        put(0x21 + 32 * i);         // d_id
        put(i ? 0x21 : 0);          // parent_d_id
        put(0);                     // no_child
        put(n ? i % n : -1);        // descIndex
        put(-1);                    // assocIndex
        put(i ? 0 : -1);            // parentIndex
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        fprintf(stderr, "usage: fuzz_seeds FILE.pst CORPUSDIR [max items]\n");
        return 2;
    }
    const int maxItems = args.size() > 3 ? args[3].toInt() : 24;
    pst_file pf;
    std::memset(&pf, 0, sizeof pf);
    if (pst_open(&pf, QFile::encodeName(args[1]).constData(), nullptr) != 0 || pst_load_index(&pf) != 0) {
        fprintf(stderr, "fuzz_seeds: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    const QDir corpus(args[2]);
    for (const char* target : {"fuzz_itemparse", "fuzz_properties", "fuzz_indexcache"})
        corpus.mkpath(QLatin1String(target));
    const PstBlockSource source(&pf);
    int written = 0;
    for (pst_desc_tree* d = pf.d_head; d && written < maxItems; d = pst_getNextDptr(d)) {
        if (!d->desc)
            continue;
        QList<FuzzPstFile::Block> blocks;
        qsizetype bytes = 0;
        collect(source, d->desc->i_id, blocks, bytes);
        const qsizetype dataBlocks = blocks.size();
        if (d->assoc_tree)
            collect(source, d->assoc_tree->i_id, blocks, bytes);
        if (blocks.isEmpty() || bytes > kMaxSeedBytes)
            continue;
        // The subnode root goes second; without one a placeholder stands there.
        if (dataBlocks < blocks.size())
            blocks.move(dataBlocks, 1);
        else
            blocks.insert(1, {0, QByteArray()});
        const QByteArray seed = FuzzPstFile::encode(blocks);
        const QString name = QStringLiteral("node-%1").arg(d->d_id, 0, 16);
        write(corpus.filePath(QStringLiteral("fuzz_itemparse/") + name), seed);
        write(corpus.filePath(QStringLiteral("fuzz_properties/") + name), seed);
        ++written;
    }
    write(corpus.filePath(QStringLiteral("fuzz_indexcache/empty")), cacheBody(0, 0));
    write(corpus.filePath(QStringLiteral("fuzz_indexcache/two-three")), cacheBody(2, 3));
    pst_close(&pf);
    printf("%d item seeds\n", written);
    return 0;
}
