// The index built in the background walk of a real file, and searches over
// it: scopes, the fallback over items, cancellation, and opening what an
// index row names.

#include "SearchFixture.h"
#include "common/ProductProfile.h"
#include "sorrel/items/PstItemFactory.h"
#include "sorrel/search/PstSearch.h"
#include "sorrel/search/PstSearchIndex.h"
#include "sorrel/search/PstSearchRecords.h"
#include "sorrel/store/PstDocument.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

PstSearchDocument openDocument(const QString& path)
{
    PstDocument document;
    if (!document.open(path))
        return {};
    return {path, document.handle()};
}

// Builds the file's index; true when it is usable afterwards.
bool buildIndex(const PstSearchDocument& document, bool* rebuilt = nullptr)
{
    PstSearchLoad load;
    load.cancel = makeCancelFlag();
    load.announce = [rebuilt](bool usable) {
        if (rebuilt)
            *rebuilt = !usable;
    };
    return pstLoadForSearch(document, load).indexUsable;
}

QStringList titles(const PstSearchResponse& response)
{
    QStringList list;
    for (const PstSearchResult& row : response.rows)
        list << row.title() + QLatin1Char('|') + row.subject();
    list.sort();
    return list;
}

// A record whose field texts cancel its search when asked for the n-th time.
class CancellingItem : public PstItem {
public:
    CancellingItem(PstCancelFlag flag, bool cancels) : m_flag(std::move(flag)), m_cancels(cancels) {}
    PstItemKind kind() const override { return PstItemKind::Note; }
    QString iconPath() const override { return {}; }
    std::shared_ptr<PstItem> clone() const override { return {}; }
    QString fieldText(PstSearchField) const override
    {
        if (m_cancels)
            m_flag->store(true);
        return QStringLiteral("match");
    }

private:
    PstCancelFlag m_flag;
    bool m_cancels;
};

} // namespace

class TestSearch : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SearchFixture m_ids;
    QString m_path;
    PstSearchDocument m_document;

    PstSearchRequest request(const QString& query, PstSearchField field = PstSearchField::Any)
    {
        PstSearchRequest r;
        r.requestedFiles = {m_path};
        r.openFiles = {m_document};
        r.query = query;
        r.field = field;
        r.cancel = makeCancelFlag();
        r.cache = std::make_shared<PstSearchRecordCache>();
        return r;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(ProductProfile::makeDirectories());
        m_path = m_dir.filePath(QStringLiteral("search.pst"));
        QVERIFY(writeSearchFixture(m_path, &m_ids));
        m_document = openDocument(m_path);
        QVERIFY(m_document.handle);
    }

    void buildsTheIndexInTheWalk()
    {
        bool rebuilt = false;
        QVERIFY(buildIndex(m_document, &rebuilt));
        QVERIFY(rebuilt);
        QList<PstSearchRecord> records;
        QVERIFY(loadSearchIndex(m_document, records));
        QCOMPARE(records.size(), 5);
        // Every kind carries its descriptor id; folder paths start below the file.
        QHash<qint64, PstSearchRecord> byId;
        for (const PstSearchRecord& r : records)
            byId.insert(r.itemId, r);
        const PstSearchRecord draft = byId.value(m_ids.draft);
        QCOMPARE(draft.folderPath.size(), 3);
        QCOMPARE(draft.folderPath.mid(1), (QList<qint64>{m_ids.inbox, m_ids.projects}));
        QCOMPARE(draft.rowInFolder, 0);
        QCOMPARE(draft.fieldText(PstSearchField::Body), QStringLiteral("budget draft"));
        const PstSearchRecord quarterly = byId.value(m_ids.quarterly);
        QCOMPARE(quarterly.fieldText(PstSearchField::From), QStringLiteral("Ann Lee ann@example.com"));
        QCOMPARE(quarterly.fieldText(PstSearchField::Attachment), QStringLiteral("plan.pdf"));
        QVERIFY(quarterly.hasAttachments);
        QCOMPARE(quarterly.dateText, QStringLiteral("2024/05/01"));
        QCOMPARE(byId.value(m_ids.contact).kind, 2);
        QCOMPARE(byId.value(m_ids.appointment).kind, 1);

        // A second walk finds it usable and writes nothing.
        const QDateTime written = QFileInfo(searchIndexPath(m_path)).lastModified();
        QVERIFY(buildIndex(m_document, &rebuilt));
        QVERIFY(!rebuilt);
        QCOMPARE(QFileInfo(searchIndexPath(m_path)).lastModified(), written);
    }

    void staleIndexAndCancelledBuild()
    {
        // A copy of the file, indexed, then touched: its index is stale.
        const QString copy = m_dir.filePath(QStringLiteral("touched.pst"));
        QVERIFY(QFile::copy(m_path, copy));
        PstSearchDocument document = openDocument(copy);
        QVERIFY(buildIndex(document));
        const QString indexPath = searchIndexPath(copy);
        QFile before(indexPath);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray old = before.readAll();
        QFile touch(copy);
        QVERIFY(touch.open(QIODevice::ReadWrite));
        QVERIFY(touch.setFileTime(QFileInfo(copy).lastModified().addSecs(1), QFileDevice::FileModificationTime));
        touch.close();
        document = openDocument(copy);
        QList<PstSearchRecord> records;
        QVERIFY(!loadSearchIndex(document, records));
        QVERIFY(records.isEmpty());

        // Cancelled during the rebuild: nothing written, the old file stays.
        PstSearchLoad load;
        load.cancel = makeCancelFlag();
        load.progress = [&](int, int) { load.cancel->store(true); };
        const PstSearchLoadResult cancelled = pstLoadForSearch(document, load);
        QVERIFY(!cancelled.indexUsable);
        QVERIFY(!cancelled.forest.root);
        QFile after(indexPath);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), old);

        // The next walk rebuilds it.
        bool rebuilt = false;
        QVERIFY(buildIndex(document, &rebuilt));
        QVERIFY(rebuilt);
        QVERIFY(loadSearchIndex(document, records));
    }

    void scopes()
    {
        QVERIFY(buildIndex(m_document));
        PstSearchRequest all = request(QStringLiteral("report BUDGET"));
        const PstSearchResponse everywhere = runSearch(all);
        QCOMPARE(everywhere.terms, (QStringList{"report", "BUDGET"}));
        QCOMPARE(titles(everywhere), (QStringList{"Ann Lee|Quarterly REPORT", "Ann Lee|report draft",
                                                  "Ann Lee|report final"}));
        for (const PstSearchResult& row : everywhere.rows) {
            QVERIFY(!row.item);
            QCOMPARE(row.filePath, m_path);
            QCOMPARE(row.matchedFields, (QList<int>{1, 4}));
        }
        // The records were read once and stay in the cache.
        QCOMPARE(all.cache->recordCount(), 5);

        // Inbox and its subfolder, not its sibling.
        PstSearchRequest inbox = request(QStringLiteral("report"));
        inbox.scopeFile = m_path;
        inbox.scopeFolderPath = everywhere.rows.first().record.folderPath.first(1) << m_ids.inbox;
        QCOMPARE(titles(runSearch(inbox)), (QStringList{"Ann Lee|Quarterly REPORT", "Ann Lee|report draft"}));

        // An appointment has no sender: it never matches on From.
        QCOMPARE(titles(runSearch(request(QStringLiteral("review"), PstSearchField::From))), QStringList());
        QCOMPARE(titles(runSearch(request(QStringLiteral("room"), PstSearchField::Body))),
                 (QStringList{"Report review|Report review"}));
        QVERIFY(runSearch(request(QStringLiteral("   "))).rows.isEmpty());
    }

    void fallsBackWhenAFileHasNoIndex()
    {
        QList<PstSearchDocument> documents;
        QList<std::shared_ptr<PstItem>> items;
        for (const char* name : {"one.pst", "two.pst", "three.pst"}) {
            const QString path = m_dir.filePath(QLatin1String(name));
            QVERIFY(QFile::copy(m_path, path));
            documents << openDocument(path);
            const PstSearchLoadResult loaded = pstLoadForSearch(documents.last(), {});
            items << loaded.forest.items;
        }
        QVERIFY(QFile::remove(searchIndexPath(documents[1].path)));
        PstSearchRequest r = request(QStringLiteral("carter"));
        r.requestedFiles.clear();
        r.openFiles = documents;
        for (const PstSearchDocument& d : documents)
            r.requestedFiles << d.path;
        r.scopeItems = items;
        const PstSearchResponse response = runSearch(r);
        QCOMPARE(response.rows.size(), 3);
        for (const PstSearchResult& row : response.rows) {
            QVERIFY(row.item);  // every file was searched through its items
            QVERIFY(row.filePath.isEmpty());
            QCOMPARE(row.item->title(), QStringLiteral("Beth Carter"));
        }
    }

    void cancelledSearchesGiveNoRows()
    {
        PstSearchRequest indexed = request(QStringLiteral("report"));
        indexed.cancel->store(true);
        PstSearchResponse response = runSearch(indexed);
        QVERIFY(response.cancelled);
        QVERIFY(response.rows.isEmpty());

        // Cancelled on the third item: the two rows found before are dropped.
        PstSearchRequest items = request(QStringLiteral("match"));
        items.openFiles.clear();
        for (int i = 0; i < 5; ++i)
            items.scopeItems << std::make_shared<CancellingItem>(items.cancel, i == 2);
        response = runSearch(items);
        QVERIFY(response.cancelled);
        QVERIFY(response.rows.isEmpty());
    }

    void opensAContactFoundThroughTheIndex()
    {
        QVERIFY(buildIndex(m_document));
        const PstSearchResponse response = runSearch(request(QStringLiteral("northwind")));
        QCOMPARE(response.rows.size(), 1);
        const PstSearchResult& row = response.rows.first();
        QCOMPARE(row.record.kind, int(PstItemKind::Contact));
        QCOMPARE(row.record.itemId, qint64(m_ids.contact));
        const std::shared_ptr<PstItem> contact = loadItemById(m_document.handle, uint64_t(row.record.itemId));
        QVERIFY(contact);
        QCOMPARE(contact->kind(), PstItemKind::Contact);
        QCOMPARE(contact->title(), QStringLiteral("Beth Carter"));
    }
};

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
