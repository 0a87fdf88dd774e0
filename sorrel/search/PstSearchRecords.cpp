#include "sorrel/search/PstSearchRecords.h"

#include "common/Log.h"
#include "sorrel/items/PstItemKeys.h"
#include "sorrel/items/PstItemKinds.h"
#include "sorrel/items/PstMailItem.h"
#include "sorrel/items/PstTextDecoding.h"
#include "sorrel/search/PstSearchIndex.h"

#include <QElapsedTimer>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

QString pstSearchDateText(const PstItem& item)
{
    switch (item.kind()) {
    case PstItemKind::Mail: {
        const qint64 sent = item.date(PstKey::SentDate);
        return sent ? dateText(sent, kListDateFormat) : PstMailItem::tr("No sent date");
    }
    case PstItemKind::Calendar:
    case PstItemKind::Task:
        return optionalDateText(item.date(PstKey::StartDate), kDetailDateFormat);
    case PstItemKind::Note:
        return optionalDateText(item.date(PstKey::CreateDate), kDetailDateFormat);
    case PstItemKind::Journal:
        return optionalDateText(item.date(PstKey::StartTime), kDetailDateFormat);
    case PstItemKind::Contact:
    case PstItemKind::Folder:
        break;
    }
    return {};
}

PstSearchRecord pstSearchRecordFor(const PstItem& item, const QList<qint64>& folderPath, int row,
                                   const PstItemBody& body)
{
    PstSearchRecord r;
    r.itemId = qint64(item.id());
    r.folderPath = folderPath;
    r.kind = qint32(item.kind());
    r.rowInFolder = row;
    r.title = item.title();
    r.subject = item.subject();
    r.dateText = pstSearchDateText(item);
    r.durationText = item.durationText();
    r.iconPath = item.iconPath();
    if (item.kind() == PstItemKind::Mail)
        r.hasAttachments = static_cast<const PstMailItem&>(item).hasAttachments();
    if (item.kind() == PstItemKind::Task)
        r.taskFlag = static_cast<const PstTaskItem&>(item).complete();
    for (int f = 1; f <= 5; ++f)
        r.fieldTexts.insert(PstSearchField(f), item.fieldText(PstSearchField(f), body));
    return r;
}

namespace {

// Field texts, serialising and compressing on a thread of their own, fed
// by the walk through a short queue: the walk parses while the previous
// items are written, and memory stays flat whatever the file's size.
class IndexPipeline {
public:
    explicit IndexPipeline(PstSearchIndexWriter& writer) : m_writer(writer)
    {
        m_thread = std::thread([this] { run(); });
    }
    ~IndexPipeline() { stop(false); }

    void push(std::shared_ptr<PstItem> item, QList<qint64> folderPath, int row, PstItemBody&& body)
    {
        const qint64 bytes = (body.plain.size() + body.html.size()) * 2;
        std::unique_lock lock(m_mutex);
        m_notFull.wait(lock, [&] { return m_queue.size() < kMaxJobs && m_queuedBytes < kMaxBytes; });
        m_queuedBytes += bytes;
        m_queue.push_back({std::move(item), std::move(folderPath), row, std::move(body), bytes});
        ++m_pushed;
        m_notEmpty.notify_one();
    }
    int pushed() const { return m_pushed; }

    // Writes what is queued and completes the file; false when anything failed.
    bool finish()
    {
        stop(true);
        return m_ok && m_writer.commit();
    }
    void cancel()
    {
        stop(false);
        m_writer.discard();
    }

private:
    struct Job {
        std::shared_ptr<PstItem> item;
        QList<qint64> folderPath;
        int row = 0;
        PstItemBody body;
        qint64 bytes = 0;
    };
    static constexpr size_t kMaxJobs = 256;
    static constexpr qint64 kMaxBytes = 16 * 1024 * 1024;

    void stop(bool drain)
    {
        if (!m_thread.joinable())
            return;
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
            if (!drain)
                m_abandon = true;
        }
        m_notEmpty.notify_all();
        m_thread.join();
    }

    void run()
    {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(m_mutex);
                m_notEmpty.wait(lock, [&] { return !m_queue.empty() || m_closing; });
                if (m_abandon || m_queue.empty())
                    return;
                job = std::move(m_queue.front());
                m_queue.pop_front();
                m_queuedBytes -= job.bytes;
                m_notFull.notify_one();
            }
            // After a failure the rest is only drained.
            if (m_ok)
                m_ok = m_writer.add(pstSearchRecordFor(*job.item, job.folderPath, job.row, job.body));
        }
    }

    PstSearchIndexWriter& m_writer;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_notEmpty, m_notFull;
    std::deque<Job> m_queue;
    qint64 m_queuedBytes = 0;
    bool m_closing = false;
    bool m_abandon = false;
    bool m_ok = true;  // the consumer's; read by finish after the join
    int m_pushed = 0;
};

} // namespace

PstSearchLoadResult pstLoadForSearch(const PstSearchDocument& document, const PstSearchLoad& load)
{
    PstSearchLoadResult result;
    const SearchIndexKey key = searchIndexKey(document.handle);
    const QString indexPath = searchIndexPath(document.path);
    QElapsedTimer timer;
    timer.start();
    result.indexUsable = searchIndexHeaderValid(indexPath, key);
    const qint64 headerMs = timer.elapsed();
    if (result.indexUsable)
        mw::logInfo(QStringLiteral("[profile] 搜索索引：磁盘上那份可用，开始收森林 %1").arg(document.path));
    else
        mw::logInfo(QStringLiteral("[profile] 搜索索引：需要重建，开始读 %1").arg(document.path));
    if (load.announce)
        load.announce(result.indexUsable);

    const bool rebuild = !result.indexUsable;
    PstSearchIndexWriter writer(indexPath, key);
    std::unique_ptr<IndexPipeline> pipeline;
    if (rebuild && writer.open())
        pipeline = std::make_unique<IndexPipeline>(writer);

    timer.restart();
    int total = 0;
    int done = 0;
    int items = 0;
    const PstFolderItem* pathOf = nullptr;
    QList<qint64> folderPath;
    PstForestWalk walk;
    walk.cancel = load.cancel.get();
    walk.keepItems = load.keepItems;
    walk.foldersOnly = !load.keepItems && !rebuild;
    walk.readBodies = pipeline != nullptr;
    walk.onItem = [&](const std::shared_ptr<PstItem>& item, PstFolderItem& folder, int row, PstItemBody&& body) {
        ++items;
        if (!pipeline)
            return;
        if (pathOf != &folder) {
            folderPath.clear();
            for (uint64_t id : folder.idPath())
                folderPath.append(qint64(id));
            pathOf = &folder;
        }
        pipeline->push(item, folderPath, row, std::move(body));
    };
    if (rebuild && load.progress) {
        walk.onStart = [&](int folders) { total = folders; };
        walk.onFolderDone = [&] { load.progress(qMin(++done, total), total); };
    }
    result.forest = pstBuildForest(document.path, document.handle, walk);

    if (isCancelled(load.cancel)) {
        if (pipeline)
            pipeline->cancel();
        if (rebuild)
            mw::logInfo(QStringLiteral("[profile] 搜索索引：本次被取消，不落盘（%1 条，未完成）").arg(items));
        result.forest = {};
        result.indexUsable = false;
        return result;
    }
    if (!rebuild) {
        mw::logInfo(QStringLiteral("[profile] 搜索索引：磁盘上那份可用，验头部 %1 ms（未读内容）").arg(headerMs));
        return result;
    }
    const bool written = pipeline && pipeline->finish();
    if (key.isKnown() && !written)
        mw::logWarning(QStringLiteral("保存搜索索引失败：%1").arg(indexPath));
    if (load.progress && total > 0)
        load.progress(total, total);
    mw::logInfo(QStringLiteral("[profile] 搜索索引：重建 %1 ms，%2 条，%3")
                    .arg(timer.elapsed())
                    .arg(items)
                    .arg(written ? QStringLiteral("已落盘") : QStringLiteral("未落盘")));
    result.indexUsable = written;
    return result;
}
