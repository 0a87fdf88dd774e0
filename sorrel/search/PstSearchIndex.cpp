#include "sorrel/search/PstSearchIndex.h"

#include "sorrel/store/PstIndexCache.h"

#include <QBuffer>
#include <QDataStream>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>

#include <zlib.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

using namespace PstSearchIndexLimits;

namespace {

constexpr char kMagic[8] = {'P', 'S', 'T', 'S', 'R', 'C', 'H', '1'};
constexpr qint32 kVersion = 3;
constexpr auto kStreamVersion = QDataStream::Qt_6_0;

// The zlib stream as the writer lays it out: its two-byte header, then a
// stored block holding just the 4-byte record count (so that the count,
// known only at the end, can be written in place), then the records as raw
// deflate blocks, then the Adler-32 of the whole payload.
constexpr int kPrefixSize = 4;
constexpr int kZlibHeaderSize = 2;
constexpr int kStoredHeaderSize = 5;
constexpr qint64 kCountOffset = kHeaderSize + kPrefixSize + kZlibHeaderSize + kStoredHeaderSize;
// Fast compression: the payload is mostly UTF-16 text, which level 1
// shrinks almost as well as level 6 at five times the speed.
constexpr int kCompressionLevel = Z_BEST_SPEED;
constexpr int kChunk = 256 * 1024;

void writeHeader(QDataStream& out, const SearchIndexKey& key, qint64 payloadSize, qint32 blockSize)
{
    out.writeRawData(kMagic, sizeof kMagic);
    out << kVersion << key.fileSize << key.modifiedSecs << key.index1 << key.index2 << key.index1Back
        << key.index2Back << payloadSize << blockSize;
}

void writeRecord(QDataStream& out, const PstSearchRecord& r)
{
    out << r.itemId << qint32(r.folderPath.size());
    for (qint64 id : r.folderPath)
        out << id;
    out << r.kind << r.rowInFolder << r.title << r.subject << r.dateText << r.durationText << r.iconPath
        << r.hasAttachments << r.taskFlag << qint32(r.fieldTexts.size());
    for (auto it = r.fieldTexts.cbegin(); it != r.fieldTexts.cend(); ++it)
        out << qint32(it.key()) << it.value();
}

bool readRecord(QDataStream& in, PstSearchRecord& r)
{
    qint32 depth = 0;
    in >> r.itemId >> depth;
    if (in.status() != QDataStream::Ok || quint32(depth) > kMaxFolderDepth)
        return false;
    r.folderPath.resize(depth);
    for (qint64& id : r.folderPath)
        in >> id;
    qint32 fields = 0;
    in >> r.kind >> r.rowInFolder >> r.title >> r.subject >> r.dateText >> r.durationText >> r.iconPath
        >> r.hasAttachments >> r.taskFlag >> fields;
    // At most the five fields of each value; more would be repeats.
    if (in.status() != QDataStream::Ok || quint32(fields) > 5)
        return false;
    for (qint32 i = 0; i < fields; ++i) {
        qint32 field = 0;
        QString text;
        in >> field >> text;
        if (in.status() != QDataStream::Ok)
            return false;
        r.fieldTexts.insert(PstSearchField(field), text);
    }
    return in.status() == QDataStream::Ok;
}

struct Header {
    qint64 payloadSize = 0;
    qint32 blockSize = 0;
};

// The header checks; on success file stands after the header.
bool readHeader(QFile& file, const SearchIndexKey& key, Header& header)
{
    char magic[sizeof kMagic];
    if (file.read(magic, sizeof magic) != qint64(sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0)
        return false;
    QDataStream in(&file);
    in.setVersion(kStreamVersion);
    qint32 version = 0;
    in >> version;
    if (in.status() != QDataStream::Ok || version != kVersion)
        return false;
    SearchIndexKey stored;
    in >> stored.fileSize >> stored.modifiedSecs >> stored.index1 >> stored.index2 >> stored.index1Back
        >> stored.index2Back;
    if (in.status() != QDataStream::Ok || !(stored == key))
        return false;
    in >> header.payloadSize >> header.blockSize;
    if (in.status() != QDataStream::Ok)
        return false;
    return header.payloadSize >= 1 && header.payloadSize <= kMaxPayload && header.blockSize >= 1
        && header.blockSize <= file.size();
}

// The payload of an index file, inflated on a thread of its own while the
// reader parses what came before (the two cost about the same), at most the
// declared size. The stream's checksum is computed on the reading side, as
// the bytes are handed out; a damaged or short stream makes it fail.
class InflatingDevice : public QIODevice {
public:
    InflatingDevice(QFile& file, qint64 compressedBytes, qint64 declaredSize)
        : m_file(file), m_remaining(compressedBytes), m_declared(declaredSize)
    {
        open(QIODevice::ReadOnly);
        m_thread = std::thread([this] { produce(); });
    }
    ~InflatingDevice() override
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    bool isSequential() const override { return true; }

    // True once the whole stream was read, intact, at exactly the declared size.
    bool finishedIntact()
    {
        char sink[16384];
        qint64 got = 0;
        while ((got = readData(sink, sizeof sink)) > 0) {
        }
        std::lock_guard lock(m_mutex);
        return got == 0 && m_ended && !m_failed && m_consumed == m_declared && m_trailer == m_adler;
    }

protected:
    // Fills all of data unless the stream ends or fails first (a data
    // stream takes a short read for the end of its input).
    qint64 readData(char* data, qint64 maxSize) override
    {
        qint64 copied = 0;
        while (copied < maxSize) {
            if (m_pos >= m_current.size()) {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return !m_blocks.empty() || m_failed || m_ended; });
                if (m_failed)
                    return copied > 0 ? copied : -1;
                if (m_blocks.empty())
                    break;
                m_current = std::move(m_blocks.front());
                m_blocks.pop_front();
                m_pos = 0;
                lock.unlock();
                m_changed.notify_all();
            }
            const qint64 n = qMin<qint64>(maxSize - copied, m_current.size() - m_pos);
            std::memcpy(data + copied, m_current.constData() + m_pos, size_t(n));
            m_adler = adler32_z(m_adler, reinterpret_cast<const Bytef*>(data + copied), size_t(n));
            m_pos += n;
            copied += n;
        }
        m_consumed += copied;
        return copied;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    static constexpr size_t kQueued = 4;
    static constexpr int kBlock = 1024 * 1024;

    // Reads up to len more bytes of the block into buffer.
    qint64 readInput(char* buffer, qint64 len)
    {
        const qint64 got = m_remaining > 0 ? m_file.read(buffer, qMin(len, m_remaining)) : 0;
        if (got > 0)
            m_remaining -= got;
        return got;
    }

    void finish(bool failed, quint32 trailer = 0)
    {
        {
            std::lock_guard lock(m_mutex);
            m_failed = failed;
            m_ended = !failed;
            m_trailer = trailer;
        }
        m_changed.notify_all();
    }

    void produce()
    {
        unsigned char header[2];
        // zlib's header: deflate, a window of at most 32 KiB, no preset dictionary.
        if (readInput(reinterpret_cast<char*>(header), 2) != 2 || (header[0] & 0x0F) != 8 || (header[0] >> 4) > 7
            || (header[0] * 256 + header[1]) % 31 != 0 || (header[1] & 0x20))
            return finish(true);
        z_stream z{};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
            return finish(true);
        QByteArray in(kChunk, Qt::Uninitialized);
        qint64 produced = 0;
        int rc = Z_OK;
        while (rc != Z_STREAM_END) {
            if (z.avail_in == 0) {
                const qint64 got = readInput(in.data(), in.size());
                if (got <= 0)
                    break;  // the block ended before the stream did
                z.next_in = reinterpret_cast<Bytef*>(in.data());
                z.avail_in = uInt(got);
            }
            // One byte past the declared size shows an overlong stream.
            QByteArray out(int(qMin<qint64>(kBlock, m_declared - produced + 1)), Qt::Uninitialized);
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = uInt(out.size());
            rc = inflate(&z, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
                break;
            out.truncate(out.size() - int(z.avail_out));
            produced += out.size();
            if (produced > m_declared)
                break;
            if (!out.isEmpty()) {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_blocks.size() < kQueued || m_stop; });
                if (m_stop)
                    break;
                m_blocks.push_back(std::move(out));
                lock.unlock();
                m_changed.notify_all();
            }
        }
        if (rc != Z_STREAM_END || produced > m_declared) {
            inflateEnd(&z);
            return finish(true);
        }
        // The Adler-32 of the payload follows the deflate data.
        char trailer[4];
        qint64 have = qMin<qint64>(z.avail_in, 4);
        std::memcpy(trailer, z.next_in, size_t(have));
        inflateEnd(&z);
        if (have < 4 && readInput(trailer + have, 4 - have) != 4 - have)
            return finish(true);
        finish(false, qFromBigEndian<quint32>(trailer));
    }

    QFile& m_file;                // the producer's alone once started
    qint64 m_remaining;           // compressed bytes left to read
    const qint64 m_declared;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<QByteArray> m_blocks;  // inflated, not yet read
    bool m_stop = false;
    bool m_failed = false;
    bool m_ended = false;
    quint32 m_trailer = 0;
    // The reading side's.
    QByteArray m_current;
    qsizetype m_pos = 0;
    qint64 m_consumed = 0;
    uLong m_adler = adler32(0, nullptr, 0);
};

bool fileStamp(const QString& path, qint64& size, qint64& mtime)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return false;
    size = info.size();
    mtime = info.lastModified().toSecsSinceEpoch();
    return true;
}

} // namespace

SearchIndexKey searchIndexKey(const PstFileHandle& handle)
{
    SearchIndexKey key;
    if (!handle || !handle->fname)
        return key;
    qint64 size = 0, mtime = 0;
    if (!fileStamp(QFile::decodeName(handle->fname), size, mtime) || size == 0)
        return key;
    key.fileSize = size;
    key.modifiedSecs = mtime;
    key.index1 = qint64(handle->index1);
    key.index2 = qint64(handle->index2);
    key.index1Back = qint64(handle->index1_back);
    key.index2Back = qint64(handle->index2_back);
    return key;
}

QString searchIndexPath(const QString& pstPath)
{
    return PstIndexCache::cacheFilePathFor(pstPath, QStringLiteral(".pstsrch"));
}

bool searchIndexHeaderValid(const QString& indexPath, const SearchIndexKey& key)
{
    if (indexPath.isEmpty() || !key.isKnown())
        return false;
    QFile file(indexPath);
    Header header;
    return file.open(QIODevice::ReadOnly) && readHeader(file, key, header);
}

bool readSearchIndex(const QString& indexPath, const SearchIndexKey& key,
                     const std::function<void(PstSearchRecord&&)>& sink)
{
    if (indexPath.isEmpty() || !key.isKnown())
        return false;
    QFile file(indexPath);
    Header header;
    if (!file.open(QIODevice::ReadOnly) || !readHeader(file, key, header))
        return false;
    if (header.blockSize < kPrefixSize || file.size() - file.pos() < header.blockSize)
        return false;
    char prefix[kPrefixSize];
    if (file.read(prefix, kPrefixSize) != kPrefixSize || qFromBigEndian<quint32>(prefix) != quint64(header.payloadSize))
        return false;

    InflatingDevice payload(file, header.blockSize - kPrefixSize, header.payloadSize);
    QDataStream in(&payload);
    in.setVersion(kStreamVersion);
    quint32 count = 0;
    in >> count;
    if (in.status() != QDataStream::Ok || count > kMaxRecords)
        return false;
    for (quint32 i = 0; i < count; ++i) {
        PstSearchRecord record;
        if (!readRecord(in, record))
            return false;
        if (sink)
            sink(std::move(record));
    }
    return payload.finishedIntact();
}

bool loadSearchIndex(const PstSearchDocument& document, QList<PstSearchRecord>& records)
{
    records.clear();
    const bool ok = readSearchIndex(searchIndexPath(document.path), searchIndexKey(document.handle),
                                    [&records](PstSearchRecord&& r) { records.append(std::move(r)); });
    if (!ok)
        records.clear();
    return ok;
}

bool saveSearchIndex(const QString& indexPath, const SearchIndexKey& key, const QList<PstSearchRecord>& records)
{
    PstSearchIndexWriter writer(indexPath, key);
    if (!writer.open())
        return false;
    for (const PstSearchRecord& record : records) {
        if (!writer.add(record))
            return false;
    }
    return writer.commit();
}

// ------------------------------------------------------------------ writer

struct PstSearchIndexWriter::State {
    QString path;
    SearchIndexKey key;
    QSaveFile file;
    z_stream z{};
    bool zReady = false;
    bool failed = false;
    bool done = false;
    int count = 0;
    qint64 recordBytes = 0;  // payload after the count
    uLong adler = adler32(0, nullptr, 0);
    qint64 deflated = 0;
    QByteArray record;
    QBuffer recordBuffer{&record};
    QDataStream recordStream;
    QByteArray out{kChunk, Qt::Uninitialized};

    // Compresses len bytes (flush: Z_FINISH at the end) and writes the output.
    bool deflateBytes(const char* data, qsizetype len, int flush)
    {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        z.avail_in = uInt(len);
        do {
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = uInt(out.size());
            const int rc = deflate(&z, flush);
            if (rc == Z_STREAM_ERROR)
                return false;
            const qint64 produced = out.size() - qint64(z.avail_out);
            if (produced > 0 && file.write(out.constData(), produced) != produced)
                return false;
            deflated += produced;
            if (flush == Z_FINISH && rc == Z_STREAM_END)
                return true;
        } while (z.avail_in > 0 || z.avail_out == 0);
        return flush != Z_FINISH;
    }
};

PstSearchIndexWriter::PstSearchIndexWriter(const QString& indexPath, const SearchIndexKey& key) : d(new State)
{
    d->path = indexPath;
    d->key = key;
}

PstSearchIndexWriter::~PstSearchIndexWriter()
{
    discard();
}

int PstSearchIndexWriter::count() const { return d->count; }

bool PstSearchIndexWriter::open()
{
    if (d->path.isEmpty() || !d->key.isKnown())
        return false;
    d->file.setFileName(d->path);
    // The directory must exist; a missing one fails here, as it should.
    d->file.setDirectWriteFallback(false);
    if (!d->file.open(QIODevice::WriteOnly))
        return false;
    if (deflateInit2(&d->z, kCompressionLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        d->file.cancelWriting();
        return false;
    }
    d->zReady = true;
    d->recordBuffer.open(QIODevice::WriteOnly);
    d->recordStream.setDevice(&d->recordBuffer);
    d->recordStream.setVersion(kStreamVersion);

    // Placeholders up to the count; commit fills them in.
    const QByteArray lead(kCountOffset + 4, '\0');
    if (d->file.write(lead) != lead.size()) {
        d->failed = true;
        return false;
    }
    return true;
}

bool PstSearchIndexWriter::add(const PstSearchRecord& record)
{
    if (!d->zReady || d->failed || d->done)
        return false;
    d->recordBuffer.seek(0);
    writeRecord(d->recordStream, record);
    const qint64 len = d->recordBuffer.pos();
    if (d->recordStream.status() != QDataStream::Ok || 4 + d->recordBytes + len > kMaxPayload) {
        d->failed = true;
        return false;
    }
    d->adler = adler32_z(d->adler, reinterpret_cast<const Bytef*>(d->record.constData()), size_t(len));
    d->recordBytes += len;
    if (!d->deflateBytes(d->record.constData(), len, Z_NO_FLUSH)) {
        d->failed = true;
        return false;
    }
    ++d->count;
    return true;
}

bool PstSearchIndexWriter::commit()
{
    if (!d->zReady || d->failed || d->done || !d->deflateBytes(nullptr, 0, Z_FINISH)) {
        discard();
        return false;
    }
    const qint64 payloadSize = 4 + d->recordBytes;
    char count[4];
    qToBigEndian<quint32>(quint32(d->count), count);
    const uLong adler = adler32_combine(adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(count), 4),
                                        d->adler, z_off_t(d->recordBytes));
    char trailer[4];
    qToBigEndian<quint32>(quint32(adler), trailer);
    if (d->file.write(trailer, 4) != 4) {
        discard();
        return false;
    }
    const qint64 blockSize = kPrefixSize + kZlibHeaderSize + kStoredHeaderSize + 4 + d->deflated + 4;

    QByteArray lead;
    {
        QBuffer buffer(&lead);
        buffer.open(QIODevice::WriteOnly);
        QDataStream stream(&buffer);
        stream.setVersion(kStreamVersion);
        writeHeader(stream, d->key, payloadSize, qint32(blockSize));
        stream << quint32(payloadSize);
        // zlib header of a 32 KiB window at the fastest level, then a
        // non-final stored block of 4 bytes (LEN 4, NLEN ~4).
        const char zlibAndStored[] = {'\x78', '\x01', '\x00', '\x04', '\x00', '\xfb', '\xff'};
        stream.writeRawData(zlibAndStored, sizeof zlibAndStored);
        stream.writeRawData(count, 4);
    }
    if (lead.size() != kCountOffset + 4 || !d->file.seek(0) || d->file.write(lead) != lead.size()) {
        discard();
        return false;
    }
    deflateEnd(&d->z);
    d->zReady = false;
    d->done = true;
    return d->file.commit();
}

void PstSearchIndexWriter::discard()
{
    if (d->zReady) {
        deflateEnd(&d->z);
        d->zReady = false;
    }
    if (!d->done && d->file.isOpen())
        d->file.cancelWriting();
    d->done = true;
}
