#include "sorrel/store/PstIndexCache.h"

#include "common/Log.h"
#include "common/ProductProfile.h"
#include "sorrel/store/PstBTreeLoader.h"
#include "sorrel/store/PstDescriptorIndex.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <utility>
#include <vector>

namespace PstIndexCache {
namespace {

constexpr char kMagic[8] = {'P', 'S', 'T', 'I', 'D', 'X', '0', '1'};
constexpr quint32 kVersion = 1;
constexpr qint64 kHeaderSize = 68;
constexpr qint64 kEntrySize = 40;
constexpr qint64 kRecordSize = 48;
constexpr quint64 kMaxCount = 0x100000000ULL;
constexpr qint64 kPruneAgeSecs = 15 * 24 * 3600;

// The table is copied as one block, so the library's entry must be the
// 40-byte file entry (five 64-bit fields).
static_assert(sizeof(pst_index_ll) == kEntrySize, "pst_index_ll is not five 64-bit fields");

void put64(char* p, quint64 v) { qToLittleEndian<quint64>(v, p); }
quint64 get64(const char* p) { return qFromLittleEndian<quint64>(p); }
qint64 getS64(const char* p) { return qFromLittleEndian<qint64>(p); }

// Size and modification time (seconds since 1970) of the PST file as the
// file system reports them.
bool fileStamp(const char* fname, qint64& size, qint64& mtime)
{
    if (!fname)
        return false;
    const QFileInfo info(QFile::decodeName(fname));
    const QDateTime modified = info.lastModified();
    if (!info.exists() || !modified.isValid())
        return false;
    size = info.size();
    mtime = modified.toSecsSinceEpoch();
    return true;
}

void swapTable(pst_index_ll* table, quint64 count)
{
    if constexpr (Q_BYTE_ORDER != Q_LITTLE_ENDIAN) {
        for (quint64 i = 0; i < count; ++i) {
            auto* fields = reinterpret_cast<uint64_t*>(&table[i]);
            for (int f = 0; f < 5; ++f)
                fields[f] = qFromLittleEndian(fields[f]);
        }
    }
}

// Position of entry in pf's table, -1 for none, -2 for a pointer outside it.
qint64 tablePosition(const pst_file* pf, const pst_index_ll* entry)
{
    if (!entry)
        return -1;
    const auto base = reinterpret_cast<uintptr_t>(pf->i_table);
    const auto at = reinterpret_cast<uintptr_t>(entry);
    if (!pf->i_table || at < base || (at - base) % kEntrySize != 0 || (at - base) / kEntrySize >= pf->i_count)
        return -2;
    return qint64((at - base) / kEntrySize);
}

// Descriptor records in depth-first pre-order; false when a node points
// outside the index table (such a tree cannot be described by the file).
bool encodeRecords(const pst_file* pf, QByteArray& out, quint64& count)
{
    count = 0;
    std::vector<std::pair<pst_desc_tree*, qint64>> pending; // node to visit, its parent's record
    pending.emplace_back(pf->d_head, -1);
    while (!pending.empty()) {
        auto [node, parentRecord] = pending.back();
        pending.pop_back();
        if (!node)
            continue;
        const qint64 desc = tablePosition(pf, node->desc);
        const qint64 assoc = tablePosition(pf, node->assoc_tree);
        if (desc < -1 || assoc < -1)
            return false;
        char record[kRecordSize];
        put64(record, node->d_id);
        put64(record + 8, node->parent_d_id);
        put64(record + 16, quint64(qint64(node->no_child)));
        put64(record + 24, quint64(desc));
        put64(record + 32, quint64(assoc));
        put64(record + 40, quint64(parentRecord));
        out.append(record, kRecordSize);
        const qint64 self = qint64(count++);
        // Copied out: the packed members must not be bound to references.
        pst_desc_tree* const next = node->next;
        pst_desc_tree* const child = node->child;
        pending.emplace_back(next, parentRecord); // siblings after the subtree
        pending.emplace_back(child, self);
    }
    return true;
}

// What loadIndexCache has built so far; freed unless released.
struct PartialIndex {
    pst_index_ll* table = nullptr;
    pst_desc_tree** nodes = nullptr;
    quint64 created = 0;
    ~PartialIndex()
    {
        for (quint64 i = 0; i < created; ++i)
            std::free(nodes[i]);
        std::free(nodes);
        std::free(table);
    }
};

} // namespace

QString cacheFilePathFor(const QString& pstPath, const QString& suffix)
{
    if (pstPath.isEmpty())
        return {};
    const QFileInfo info(pstPath);
    QString key = info.canonicalFilePath();
    if (key.isEmpty())
        key = info.absoluteFilePath();
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QDir::toNativeSeparators(ProductProfile::cacheDirectory() + QLatin1Char('/') + QString::fromLatin1(hash)
                                    + suffix);
}

QString cachePathFor(const QString& pstPath) { return cacheFilePathFor(pstPath, QStringLiteral(".pstidx")); }

int saveIndexCache(pst_file* pf, const QString& cachePath)
{
    if (!pf || !pf->fp || !pf->fname || (!pf->i_table && !pf->d_head) || cachePath.isEmpty())
        return -1;
    qint64 size = 0, mtime = 0;
    if (!fileStamp(pf->fname, size, mtime))
        return -1;

    QByteArray records;
    quint64 recordCount = 0;
    if (!encodeRecords(pf, records, recordCount))
        return -1;

    char header[kHeaderSize];
    std::memcpy(header, kMagic, 8);
    qToLittleEndian<quint32>(kVersion, header + 8);
    put64(header + 12, quint64(size));
    put64(header + 20, quint64(mtime));
    put64(header + 28, pf->index1);
    put64(header + 36, pf->index2);
    put64(header + 44, pf->index1_back);
    put64(header + 52, pf->index2_back);
    put64(header + 60, pf->i_count);

    QByteArray table;
    const qint64 tableBytes = qint64(pf->i_count) * kEntrySize;
    if (pf->i_count) {
        table = QByteArray::fromRawData(reinterpret_cast<const char*>(pf->i_table), tableBytes);
        if constexpr (Q_BYTE_ORDER != Q_LITTLE_ENDIAN) {
            table.detach();
            swapTable(reinterpret_cast<pst_index_ll*>(table.data()), pf->i_count);
        }
    }
    char count[8];
    put64(count, recordCount);

    QDir().mkpath(QFileInfo(cachePath).absolutePath());
    // Written aside and renamed over the old cache when complete, so another
    // process never reads a half-written file.
    QSaveFile file(cachePath);
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    if (file.write(header, kHeaderSize) != kHeaderSize || file.write(table) != tableBytes
        || file.write(count, 8) != 8 || file.write(records) != records.size()) {
        file.cancelWriting();
        return -1;
    }
    return file.commit() ? 0 : -1;
}

int loadIndexCache(pst_file* pf, const QString& cachePath)
{
    if (!pf || !pf->fp || !pf->fname || pf->i_table || pf->d_head || cachePath.isEmpty())
        return -1;
    qint64 size = 0, mtime = 0;
    if (!fileStamp(pf->fname, size, mtime))
        return -1;

    QFile file(cachePath);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    char header[kHeaderSize];
    if (file.read(header, kHeaderSize) != kHeaderSize)
        return -1;
    if (std::memcmp(header, kMagic, 8) != 0 || qFromLittleEndian<quint32>(header + 8) != kVersion
        || getS64(header + 12) != size || getS64(header + 20) != mtime || get64(header + 28) != pf->index1
        || get64(header + 36) != pf->index2 || get64(header + 44) != pf->index1_back
        || get64(header + 52) != pf->index2_back)
        return -1;

    // Counts are checked against the bytes actually present before anything
    // is allocated, so a damaged count cannot ask for gigabytes.
    qint64 remaining = file.size() - kHeaderSize;
    const quint64 entryCount = get64(header + 60);
    if (entryCount > kMaxCount || entryCount > quint64(remaining / kEntrySize))
        return -1;
    PartialIndex built;
    const qint64 tableBytes = qint64(entryCount) * kEntrySize;
    if (entryCount) {
        built.table = static_cast<pst_index_ll*>(std::calloc(entryCount, kEntrySize));
        if (!built.table || file.read(reinterpret_cast<char*>(built.table), tableBytes) != tableBytes)
            return -1;
        swapTable(built.table, entryCount);
        // libpst finds blocks by binary search over the ids, and reads and
        // allocates by the offsets and sizes: every entry must fit the file
        // as the b-tree reader requires of the file's own entries.
        for (quint64 i = 0; i < entryCount; ++i) {
            if ((i > 0 && built.table[i].i_id < built.table[i - 1].i_id)
                || !pstBlockEntryFits(built.table[i], quint64(size)))
                return -1;
        }
    }
    remaining -= tableBytes;

    char countBytes[8];
    if (file.read(countBytes, 8) != 8)
        return -1;
    remaining -= 8;
    const quint64 recordCount = get64(countBytes);
    if (recordCount > kMaxCount || recordCount > quint64(remaining / kRecordSize))
        return -1;
    if (recordCount) {
        built.nodes = static_cast<pst_desc_tree**>(std::calloc(recordCount, sizeof(pst_desc_tree*)));
        if (!built.nodes)
            return -1;
    }

    pst_desc_tree* head = nullptr;
    pst_desc_tree* tail = nullptr;
    constexpr quint64 kChunk = 4096;
    QByteArray chunk;
    for (quint64 first = 0; first < recordCount; first += kChunk) {
        const qint64 want = qint64(qMin(kChunk, recordCount - first)) * kRecordSize;
        chunk = file.read(want);
        if (chunk.size() != want)
            return -1;
        for (qint64 at = 0; at < want; at += kRecordSize) {
            const char* r = chunk.constData() + at;
            const qint64 i = qint64(first) + at / kRecordSize;
            const qint64 noChild = getS64(r + 16);
            const qint64 descIndex = getS64(r + 24);
            const qint64 assocIndex = getS64(r + 32);
            const qint64 parentIndex = getS64(r + 40);
            if (noChild < std::numeric_limits<int32_t>::min() || noChild > std::numeric_limits<int32_t>::max()
                || (descIndex >= 0 && quint64(descIndex) >= entryCount)
                || (assocIndex >= 0 && quint64(assocIndex) >= entryCount) || parentIndex >= i)
                return -1;
            auto* node = static_cast<pst_desc_tree*>(std::calloc(1, sizeof(pst_desc_tree)));
            if (!node)
                return -1;
            built.nodes[i] = node;
            built.created = quint64(i) + 1;
            node->d_id = get64(r);
            node->parent_d_id = get64(r + 8);
            node->no_child = int32_t(noChild);
            node->desc = descIndex >= 0 ? &built.table[descIndex] : nullptr;
            node->assoc_tree = assocIndex >= 0 ? &built.table[assocIndex] : nullptr;
            pstLinkDescriptor(node, parentIndex < 0 ? nullptr : built.nodes[parentIndex], head, tail);
        }
    }

    pf->i_table = built.table;
    pf->i_count = pf->i_capacity = entryCount;
    pf->d_head = head;
    pf->d_tail = tail;
    built.table = nullptr;
    built.created = 0; // the nodes now belong to the tree
    pstIndexDescriptors(pf);
    return 0;
}

void touchCacheFile(const QString& cachePath)
{
    if (cachePath.isEmpty() || !QFile::exists(cachePath))
        return;
    QFile file(cachePath);
    if (file.open(QIODevice::ReadWrite))
        file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
}

int pruneCacheFilesNow()
{
    const QDir dir(ProductProfile::cacheDirectory());
    if (!dir.exists())
        return 0;
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addSecs(-kPruneAgeSecs);
    int removed = 0;
    for (const char* suffix : {"*.pstidx", "*.pstsrch"}) {
        const QFileInfoList files =
            dir.entryInfoList({QString::fromLatin1(suffix)}, QDir::Files | QDir::NoSymLinks | QDir::Hidden);
        for (const QFileInfo& info : files) {
            if (info.lastModified() < cutoff && QFile::remove(info.absoluteFilePath()))
                ++removed;
        }
    }
    if (removed > 0)
        mw::logInfo(QStringLiteral("Pruned %1 stale pst index cache file(s).").arg(removed));
    return removed;
}

void pruneCacheFiles()
{
    static std::once_flag once;
    std::call_once(once, [] { pruneCacheFilesNow(); });
}

} // namespace PstIndexCache
