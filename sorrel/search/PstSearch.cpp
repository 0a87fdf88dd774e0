#include "sorrel/search/PstSearch.h"

#include "sorrel/items/PstMailItem.h"
#include "sorrel/items/PstItemKinds.h"
#include "sorrel/search/PstSearchIndex.h"
#include "sorrel/search/PstSearchRecords.h"

#include <QFileInfo>
#include <QMutexLocker>

#include <algorithm>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr qsizetype kChunkSize = 4 * 1024 * 1024;
constexpr int kSplitRecords = 20000;
constexpr quint32 kWideBit = 0x80000000u;

QString absolutePath(const QString& path) { return QFileInfo(path).absoluteFilePath(); }

// Copies text into out as Latin-1 bytes; false (out undefined) when some
// character does not fit.
bool packLatin1(const char16_t* text, qsizetype n, char* out)
{
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i high = _mm_set1_epi16(short(0xFF00));
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, high), _mm_setzero_si128())) != 0xFFFF)
            return false;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(v, v));
    }
#endif
    for (; i < n; ++i) {
        if (text[i] > 0xFF)
            return false;
        out[i] = char(text[i]);
    }
    return true;
}

bool startsWith(const QList<qint64>& path, const QList<qint64>& prefix)
{
    return path.size() >= prefix.size() && std::equal(prefix.cbegin(), prefix.cend(), path.cbegin());
}

} // namespace

// ------------------------------------------------------------ file records

std::shared_ptr<const PstSearchFileRecords> PstSearchFileRecords::load(const PstSearchDocument& document)
{
    auto records = std::make_shared<PstSearchFileRecords>();
    const bool ok = readSearchIndex(searchIndexPath(document.path), searchIndexKey(document.handle),
                                    [&records](PstSearchRecord&& r) { records->append(r); });
    if (!ok)
        return {};
    records->m_folderPathIndex = {};  // only needed while loading
    records->m_entries.shrink_to_fit();
    return records;
}

PstSearchFileRecords::TextRef PstSearchFileRecords::store(const QString& text)
{
    TextRef ref;
    if (text.isEmpty())
        return ref;
    // Room for the text in the current chunk, at two bytes a character in
    // case it does not fit in Latin-1 (and one more to align that).
    const qsizetype room = text.size() * 2 + 1;
    if (m_chunks.empty() || m_chunks.back().capacity() - m_chunks.back().size() < room) {
        QByteArray chunk;
        chunk.reserve(qMax(kChunkSize, room));
        m_chunks.push_back(std::move(chunk));
    }
    QByteArray& chunk = m_chunks.back();
    ref.chunk = quint32(m_chunks.size() - 1);
    qsizetype at = chunk.size();
    chunk.resize(at + text.size());
    if (packLatin1(reinterpret_cast<const char16_t*>(text.constData()), text.size(), chunk.data() + at)) {
        ref.size = quint32(text.size());
    } else {
        // UTF-16 code units start at an even offset (chunks are allocated aligned).
        at += at & 1;
        chunk.resize(at);
        chunk.append(reinterpret_cast<const char*>(text.constData()), text.size() * 2);
        ref.size = quint32(text.size()) | kWideBit;
    }
    ref.offset = quint32(at);
    return ref;
}

PstCompactText PstSearchFileRecords::compact(const TextRef& ref) const
{
    const quint32 size = ref.size & ~kWideBit;
    if (size == 0)
        return {};
    return {m_chunks[ref.chunk].constData() + ref.offset, qsizetype(size), (ref.size & kWideBit) != 0};
}

void PstSearchFileRecords::append(const PstSearchRecord& r)
{
    Entry e;
    e.itemId = r.itemId;
    e.kind = r.kind;
    e.rowInFolder = r.rowInFolder;
    e.hasAttachments = r.hasAttachments;
    e.taskFlag = r.taskFlag;
    auto path = m_folderPathIndex.constFind(r.folderPath);
    if (path == m_folderPathIndex.cend()) {
        path = m_folderPathIndex.insert(r.folderPath, quint32(m_folderPaths.size()));
        m_folderPaths.append(r.folderPath);
    }
    e.folderPath = *path;
    qsizetype icon = m_icons.indexOf(r.iconPath);
    if (icon < 0) {
        icon = m_icons.size();
        m_icons.append(r.iconPath);
    }
    e.icon = quint16(qMin<qsizetype>(icon, 0xFFFF));
    for (int f = 1; f <= 5; ++f)
        e.texts[f - 1] = store(r.fieldText(PstSearchField(f)));
    e.texts[kTitle] = store(r.title);
    e.texts[kSubject] = store(r.subject);
    e.texts[kDate] = store(r.dateText);
    e.texts[kDuration] = store(r.durationText);
    m_entries.push_back(e);
}

PstCompactText PstSearchFileRecords::fieldText(int row, PstSearchField field) const
{
    const int f = int(field);
    if (f < 1 || f > 5)
        return {};
    return compact(m_entries[size_t(row)].texts[f - 1]);
}

PstSearchRecord PstSearchFileRecords::record(int row) const
{
    const Entry& e = m_entries[size_t(row)];
    PstSearchRecord r;
    r.itemId = e.itemId;
    r.folderPath = m_folderPaths[e.folderPath];
    r.kind = e.kind;
    r.rowInFolder = e.rowInFolder;
    r.title = title(row);
    r.subject = subject(row);
    r.dateText = dateText(row);
    r.durationText = durationText(row);
    r.iconPath = iconPath(row);
    r.hasAttachments = e.hasAttachments;
    r.taskFlag = e.taskFlag;
    for (int f = 1; f <= 5; ++f)
        r.fieldTexts.insert(PstSearchField(f), fieldText(row, PstSearchField(f)).toString());
    return r;
}

qint64 PstSearchFileRecords::memoryBytes() const
{
    qint64 bytes = qint64(sizeof *this) + qint64(m_entries.capacity() * sizeof(Entry));
    for (const QByteArray& chunk : m_chunks)
        bytes += chunk.capacity();
    for (const QList<qint64>& path : m_folderPaths)
        bytes += qint64(sizeof path) + path.capacity() * qint64(sizeof(qint64));
    return bytes;
}

// ------------------------------------------------------------------ cache

std::shared_ptr<const PstSearchFileRecords> PstSearchRecordCache::find(const QString& path) const
{
    QMutexLocker lock(&m_mutex);
    return m_files.value(path);
}

void PstSearchRecordCache::insert(const QString& path, std::shared_ptr<const PstSearchFileRecords> records)
{
    QMutexLocker lock(&m_mutex);
    if (!m_files.contains(path))
        m_files.insert(path, std::move(records));
}

qint64 PstSearchRecordCache::memoryBytes() const
{
    QMutexLocker lock(&m_mutex);
    qint64 bytes = 0;
    for (const auto& records : m_files)
        bytes += records->memoryBytes();
    return bytes;
}

int PstSearchRecordCache::recordCount() const
{
    QMutexLocker lock(&m_mutex);
    int count = 0;
    for (const auto& records : m_files)
        count += records->size();
    return count;
}

// ------------------------------------------------------------- result rows

QString PstSearchResult::title() const
{
    return item ? item->title() : source ? source->title(sourceRow) : record.title;
}

QString PstSearchResult::subject() const
{
    return item ? item->subject() : source ? source->subject(sourceRow) : record.subject;
}

QString PstSearchResult::dateText() const
{
    return item ? pstSearchDateText(*item) : source ? source->dateText(sourceRow) : record.dateText;
}

QString PstSearchResult::durationText() const
{
    return item ? item->durationText() : source ? source->durationText(sourceRow) : record.durationText;
}

QString PstSearchResult::iconPath() const
{
    return item ? item->iconPath() : source ? source->iconPath(sourceRow) : record.iconPath;
}

bool PstSearchResult::hasAttachments() const
{
    if (item)
        return item->kind() == PstItemKind::Mail && static_cast<const PstMailItem&>(*item).hasAttachments();
    return source ? source->hasAttachments(sourceRow) : record.hasAttachments;
}

bool PstSearchResult::taskFlag() const
{
    if (item)
        return item->kind() == PstItemKind::Task && static_cast<const PstTaskItem&>(*item).complete();
    return source ? source->taskFlag(sourceRow) : record.taskFlag;
}

QString PstSearchResult::fieldText(PstSearchField field) const
{
    if (item)
        return item->fieldText(field);
    return source ? source->fieldText(sourceRow, field).toString() : record.fieldText(field);
}

// ------------------------------------------------------------------ search

namespace {

// The index path: every open file's records, read once per cache. False
// when some file has no usable index.
bool searchIndexes(const PstSearchRequest& request, const PstSearchTerms& terms, PstSearchResponse& response)
{
    QList<std::shared_ptr<const PstSearchFileRecords>> files;
    for (const PstSearchDocument& document : request.openFiles) {
        std::shared_ptr<const PstSearchFileRecords> records = request.cache->find(document.path);
        if (!records) {
            records = PstSearchFileRecords::load(document);
            if (!records)
                return false;
            request.cache->insert(document.path, records);
        }
        files.append(records);
    }

    const QString scopeFile = request.scopeFile.isEmpty() ? QString() : absolutePath(request.scopeFile);
    for (int i = 0; i < files.size(); ++i) {
        const QString& path = request.openFiles[i].path;
        const bool inScopeFile = !scopeFile.isEmpty() && absolutePath(path) == scopeFile;
        if (!scopeFile.isEmpty() && !inScopeFile)
            continue;
        const PstSearchFileRecords& records = *files[i];
        // Which of the file's folder paths lie inside the scope folder.
        std::vector<char> inScope(size_t(records.folderPaths().size()), 1);
        if (inScopeFile && !request.scopeFolderPath.isEmpty()) {
            for (qsizetype p = 0; p < records.folderPaths().size(); ++p)
                inScope[size_t(p)] = startsWith(records.folderPaths()[p], request.scopeFolderPath);
        }
        // Large files are matched in two halves at once.
        const auto matchRows = [&](int begin, int end, QList<PstSearchResult>& rows) {
            for (int row = begin; row < end; ++row) {
                if (isCancelled(request.cancel))
                    return false;
                if (!inScope[size_t(records.folderPathIndex(row))])
                    continue;
                QList<int> matched =
                    terms.match(request.field, [&](PstSearchField f) { return records.fieldText(row, f); });
                if (matched.isEmpty())
                    continue;
                PstSearchResult result;
                result.record.itemId = records.itemId(row);
                result.record.folderPath = records.folderPath(row);
                result.record.kind = records.kind(row);
                result.record.rowInFolder = records.rowInFolder(row);
                result.filePath = path;
                result.matchedFields = std::move(matched);
                result.source = files[i];
                result.sourceRow = row;
                rows.append(std::move(result));
            }
            return true;
        };
        const int half = records.size() >= kSplitRecords ? records.size() / 2 : records.size();
        QList<PstSearchResult> secondRows;
        bool secondDone = true;
        std::thread second;
        if (half < records.size())
            second = std::thread([&] { secondDone = matchRows(half, records.size(), secondRows); });
        const bool firstDone = matchRows(0, half, response.rows);
        if (second.joinable())
            second.join();
        if (!firstDone || !secondDone) {
            response.rows.clear();
            response.cancelled = true;
            return true;
        }
        response.rows.append(std::move(secondRows));
    }
    return true;
}

void searchItems(const PstSearchRequest& request, const PstSearchTerms& terms, PstSearchResponse& response)
{
    const bool any = request.field == PstSearchField::Any;
    const int first = any ? 1 : int(request.field);
    const int last = any ? 5 : int(request.field);
    for (const std::shared_ptr<PstItem>& item : request.scopeItems) {
        if (isCancelled(request.cancel)) {
            response.rows.clear();
            response.cancelled = true;
            return;
        }
        if (!item)
            continue;
        QString texts[6];
        for (int f = first; f <= last; ++f) {
            texts[f] = item->fieldText(PstSearchField(f));
            if (isCancelled(request.cancel)) {
                response.rows.clear();
                response.cancelled = true;
                return;
            }
        }
        QList<int> matched = terms.match(request.field, [&](PstSearchField f) { return QStringView(texts[int(f)]); });
        if (matched.isEmpty())
            continue;
        PstSearchResult result;
        result.item = item;
        result.matchedFields = std::move(matched);
        response.rows.append(std::move(result));
    }
}

} // namespace

PstSearchResponse runSearch(const PstSearchRequest& request)
{
    PstSearchResponse response;
    response.terms = splitSearchTerms(request.query);
    if (response.terms.isEmpty())
        return response;
    const PstSearchTerms terms(response.terms);
    const bool useIndex = !request.openFiles.isEmpty() && request.cache
        && request.openFiles.size() == request.requestedFiles.size();
    if (useIndex && searchIndexes(request, terms, response))
        return response;
    response.rows.clear();
    searchItems(request, terms, response);
    return response;
}
