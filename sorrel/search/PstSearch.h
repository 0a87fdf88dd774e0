#pragma once
// The search task: finds the items of the open files whose fields contain
// every word of a query. It answers from the search index records whenever
// every file of the search has an index, and otherwise asks the loaded
// items themselves (the fallback). Runs on a worker thread; polls the
// request's cancel flag before every record or item.

#include "sorrel/items/PstItem.h"
#include "sorrel/search/PstSearchRecord.h"
#include "sorrel/search/PstSearchText.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// The records of one index file as the search keeps them in memory: field
// texts one byte per character where Latin-1 holds them, display texts
// alike, folder paths shared. Immutable once loaded; read by any thread.
class PstSearchFileRecords {
public:
    // The file's index read whole, or null when it is missing or rejected.
    static std::shared_ptr<const PstSearchFileRecords> load(const PstSearchDocument& document);

    void append(const PstSearchRecord& record);
    int size() const { return int(m_entries.size()); }

    qint64 itemId(int row) const { return m_entries[size_t(row)].itemId; }
    qint32 kind(int row) const { return m_entries[size_t(row)].kind; }
    qint32 rowInFolder(int row) const { return m_entries[size_t(row)].rowInFolder; }
    bool hasAttachments(int row) const { return m_entries[size_t(row)].hasAttachments; }
    bool taskFlag(int row) const { return m_entries[size_t(row)].taskFlag; }
    const QList<qint64>& folderPath(int row) const { return m_folderPaths[m_entries[size_t(row)].folderPath]; }
    int folderPathIndex(int row) const { return int(m_entries[size_t(row)].folderPath); }
    const QList<QList<qint64>>& folderPaths() const { return m_folderPaths; }
    QString iconPath(int row) const { return m_icons.value(m_entries[size_t(row)].icon); }
    PstCompactText fieldText(int row, PstSearchField field) const;  // Subject..Attachment
    QString title(int row) const { return text(row, kTitle); }
    QString subject(int row) const { return text(row, kSubject); }
    QString dateText(int row) const { return text(row, kDate); }
    QString durationText(int row) const { return text(row, kDuration); }
    // The record as it was read (all fields).
    PstSearchRecord record(int row) const;

    // Bytes held, containers included (for the benchmark's report).
    qint64 memoryBytes() const;

private:
    struct TextRef {
        quint32 chunk = 0;
        quint32 offset = 0;
        quint32 size = 0;  // characters; the top bit marks UTF-16
    };
    enum : int { kTitle = 5, kSubject, kDate, kDuration, kTextCount };  // 0..4: fields 1..5
    struct Entry {
        qint64 itemId = 0;
        qint32 kind = 0;
        qint32 rowInFolder = -1;
        quint32 folderPath = 0;
        quint16 icon = 0;
        bool hasAttachments = false;
        bool taskFlag = false;
        TextRef texts[kTextCount];
    };

    TextRef store(const QString& text);
    PstCompactText compact(const TextRef& ref) const;
    QString text(int row, int slot) const { return compact(m_entries[size_t(row)].texts[slot]).toString(); }

    std::vector<Entry> m_entries;
    std::vector<QByteArray> m_chunks;
    QList<QList<qint64>> m_folderPaths;
    QHash<QList<qint64>, quint32> m_folderPathIndex;
    QStringList m_icons;
};

// Index records of the open files, by file path (as in the request's open
// files). Entries are only added; the owner replaces the whole cache when a
// file opens or closes, and each search keeps the cache it started with.
class PstSearchRecordCache {
public:
    std::shared_ptr<const PstSearchFileRecords> find(const QString& path) const;
    void insert(const QString& path, std::shared_ptr<const PstSearchFileRecords> records);
    qint64 memoryBytes() const;
    int recordCount() const;

private:
    mutable QMutex m_mutex;
    QHash<QString, std::shared_ptr<const PstSearchFileRecords>> m_files;
};

struct PstSearchRequest {
    QStringList requestedFiles;         // paths of the files the scope covers
    QString scopeFile;                  // the one file the scope is limited to; empty: all
    QList<qint64> scopeFolderPath;      // the scope folder's path; empty: whole files
    QList<std::shared_ptr<PstItem>> scopeItems;  // loaded items of the scope, for the fallback
    int scopeKind = 0;                  // 0 all open files, 1 one file, 2 one folder
    QString scopeName;
    QList<PstSearchDocument> openFiles; // the requested files that are open, in request order
    QString query;
    PstSearchField field = PstSearchField::Any;
    PstCancelFlag cancel;
    std::shared_ptr<PstSearchRecordCache> cache;
};

// One result row: a loaded item (fallback), or a record of a file's index.
struct PstSearchResult {
    std::shared_ptr<PstItem> item;      // null for index rows
    // Index rows: itemId, folderPath, kind and rowInFolder; the texts come
    // through the accessors below (read from source, not copied per row).
    PstSearchRecord record;
    QString filePath;                   // the PST file of an index row
    QList<int> matchedFields;           // PstSearchField values, in the order first found
    std::shared_ptr<const PstSearchFileRecords> source;
    int sourceRow = -1;

    QString title() const;
    QString subject() const;
    QString dateText() const;
    QString durationText() const;
    QString iconPath() const;
    bool hasAttachments() const;
    bool taskFlag() const;
    // A field's text: from the index for index rows, from the item (which
    // reads its body again for Body) for item rows.
    QString fieldText(PstSearchField field) const;
};

struct PstSearchResponse {
    QList<PstSearchResult> rows;
    QStringList terms;
    bool cancelled = false;
};

PstSearchResponse runSearch(const PstSearchRequest& request);
