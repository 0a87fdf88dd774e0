#pragma once
// The search index file (".pstsrch") of one PST file: one record per item,
// with what its result card shows and the text of each searchable field.
// An index is bound to the PST file's state (SearchIndexKey): any change
// makes it stale, and it is rebuilt.
//
// Layout (big-endian, Qt data stream version 6.0): a 72-byte header (magic
// "PSTSRCH1", version 3, the six key numbers, the payload size before
// compression, the compressed block's size), then the block: the payload
// size again (4 bytes) and a zlib stream of the payload, which is the record
// count followed by the records.
//
// The writer streams: records are compressed as they come and the sizes and
// the count are filled in at the end, so writing holds one record at a
// time. It writes through QSaveFile, so a crash never leaves a file behind
// that a later start would trust. Every byte read is treated as hostile.

#include "sorrel/search/PstSearchRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

// Limits a reader enforces.
namespace PstSearchIndexLimits {
constexpr qint64 kMaxPayload = 0x40000000;     // 1 GiB before compression
constexpr quint32 kMaxRecords = 10000000;
constexpr quint32 kMaxFolderDepth = 4096;
constexpr int kHeaderSize = 72;
} // namespace PstSearchIndexLimits

// The key of the file behind handle: file-system size and modification time
// of the handle's file name, then libpst's four header values. All zero
// without a handle, a file name or a file of non-zero size.
SearchIndexKey searchIndexKey(const PstFileHandle& handle);

// The index file of a PST file (the cache directory, SHA-1 of its canonical
// path); empty for an empty path.
QString searchIndexPath(const QString& pstPath);

// Whether the file's header matches key (reads 72 bytes). False for an
// unknown key or an empty path.
bool searchIndexHeaderValid(const QString& indexPath, const SearchIndexKey& key);

// Reads a whole index file, handing each record to sink in file order.
// False on any rejection; the records handed out before it must then be
// dropped by the caller.
bool readSearchIndex(const QString& indexPath, const SearchIndexKey& key,
                     const std::function<void(PstSearchRecord&& record)>& sink);

// Reads the index of an open file (key from its handle, path from its
// path): true with the records in file order, or false with none.
bool loadSearchIndex(const PstSearchDocument& document, QList<PstSearchRecord>& records);

// Writes records as the file at indexPath; true on success.
bool saveSearchIndex(const QString& indexPath, const SearchIndexKey& key, const QList<PstSearchRecord>& records);

// Writes one index file record by record.
class PstSearchIndexWriter {
public:
    PstSearchIndexWriter(const QString& indexPath, const SearchIndexKey& key);
    ~PstSearchIndexWriter();  // an uncommitted file is discarded
    PstSearchIndexWriter(const PstSearchIndexWriter&) = delete;
    PstSearchIndexWriter& operator=(const PstSearchIndexWriter&) = delete;

    // False for an empty path, an unknown key or a file that cannot be
    // created (a missing directory included).
    bool open();
    // False once the writer failed (write error, payload over the limit);
    // later records are ignored then.
    bool add(const PstSearchRecord& record);
    // Completes the file and puts it in place; false when anything failed.
    bool commit();
    // Drops the file; an older index stays untouched.
    void discard();

    int count() const;

private:
    struct State;
    std::unique_ptr<State> d;
};
