// Opening, folder loading and lookups of the store on a large file.
//   HOME=$PWD/build/benchhome build/bench/bench_store [FILE.pst] [ROUNDS] [cached-only]
// Without FILE a Unicode file of 100,000 mails with 2 KB plain bodies in 100
// folders is generated once into build/bench/store-100k-2kb.pst. ROUNDS (default 5) repeats the fast
// timings (median reported); the index walk of libpst runs once per column,
// or not at all with a third argument "cached-only". Caches go to $HOME, so point HOME somewhere harmless.

#include "PstWriter.h"
#include "sorrel/items/PstItemFactory.h"
#include "ProcessStats.h"
#include "sorrel/store/PstDescriptorIndex.h"
#include "sorrel/store/PstDocument.h"
#include "sorrel/store/PstIndexCache.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

namespace {

constexpr int kFolders = 100;
constexpr int kMailsPerFolder = 1000;
constexpr int kBodyChars = 2048;

bool generate(const QString& path)
{
    std::fprintf(stderr, "generating %s ...\n", qPrintable(path));
    pstw::PstWriter w(path + QStringLiteral(".part"), pstw::PstFormat::Unicode);
    const pstw::FolderId top = w.addFolder(w.ipmSubtree(), QStringLiteral("Archive"));
    const QDateTime base(QDate(2020, 1, 1), QTime(8, 0), Qt::UTC);
    for (int f = 0; f < kFolders; ++f) {
        const pstw::FolderId folder = w.addFolder(top, QStringLiteral("Folder %1").arg(f));
        for (int i = 0; i < kMailsPerFolder; ++i) {
            pstw::MessageSpec m;
            m.subject = QStringLiteral("Message %1 of folder %2").arg(i).arg(f);
            QString body = QStringLiteral("Body text of message %1, with a few words to decode. ").arg(i);
            body = body.repeated(kBodyChars / int(body.size()) + 1).left(kBodyChars);
            m.body = body;
            m.senderName = QStringLiteral("Sender %1").arg(i % 97);
            m.senderEmail = QStringLiteral("sender%1@example.com").arg(i % 97);
            m.sent = m.received = base.addSecs(qint64(f) * kMailsPerFolder * 60 + i * 60);
            m.recipients = {{QStringLiteral("Reader"), QStringLiteral("reader@example.com")}};
            w.addMessage(folder, m);
        }
    }
    if (!w.finish())
        return false;
    return QFile::rename(path + QStringLiteral(".part"), path);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Median wall-clock milliseconds of the rounds; the median CPU time of the
// process goes to cpu (the machine may be shared, so both are reported).
double timed(int rounds, const std::function<void()>& before, const std::function<void()>& body, double& cpu)
{
    std::vector<double> ms, cpus;
    for (int r = 0; r < rounds; ++r) {
        before();
        QElapsedTimer t;
        const double c0 = bench::cpuMs();
        t.start();
        body();
        ms.push_back(t.nsecsElapsed() / 1e6);
        cpus.push_back(bench::cpuMs() - c0);
    }
    cpu = median(cpus);
    return median(ms);
}

void collect(const PstFolderItemPtr& folder, std::vector<uint64_t>& ids, int& folders)
{
    folder->loadChildren();
    ++folders;
    for (const auto& item : folder->items())
        ids.push_back(item->descriptor()->d_id);
    for (const auto& sub : folder->subfolders())
        collect(sub, ids, folders);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = app.arguments();
    QString path = args.size() > 1 ? args[1] : QString();
    const int rounds = args.size() > 2 ? qMax(1, args[2].toInt()) : 5;
    const bool skipWalk = args.size() > 3 && args[3] == QLatin1String("cached-only");
    if (path.isEmpty()) {
        path = QCoreApplication::applicationDirPath() + QStringLiteral("/store-100k-2kb.pst");
        if (!QFile::exists(path) && !generate(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    const QString cache = PstIndexCache::cachePathFor(path);
    const QByteArray name = QFile::encodeName(path);
    std::printf("file: %s (%.1f MB)\n", qPrintable(path), QFileInfo(path).size() / 1048576.0);

    // libpst's index walk against the cache load, on bare handles.
    double loadIndexCpu = 0, loadCacheCpu = 0, openColdCpu = 0, openWarmCpu = 0;
    PstFileHandle indexed;
    const double loadIndex = skipWalk ? 0 : timed(1, [] {}, [&] {
        indexed = makePstFileHandle();
        pst_open(indexed.get(), name.constData(), nullptr);
        pst_load_index(indexed.get());
    }, loadIndexCpu);
    if (skipWalk) {
        PstDocument warmUp;
        warmUp.open(path); // makes sure a cache exists
    } else {
        QMutexLocker lock(&pstLibraryMutex());
        PstIndexCache::saveIndexCache(indexed.get(), cache);
        std::printf("index: %zu entries, cache file %.1f MB\n", indexed->i_count,
                    QFileInfo(cache).size() / 1048576.0);
        indexed.reset();
    }
    const double loadCache = timed(rounds, [] {}, [&] {
        PstFileHandle h = makePstFileHandle();
        pst_open(h.get(), name.constData(), nullptr);
        PstIndexCache::loadIndexCache(h.get(), cache);
    }, loadCacheCpu);
    std::printf("pst_open + pst_load_index:   %10.2f ms wall, %10.2f ms cpu\n", loadIndex, loadIndexCpu);
    std::printf("pst_open + loadIndexCache:   %10.2f ms wall, %10.2f ms cpu\n", loadCache, loadCacheCpu);

    const double openCold = skipWalk ? 0 : timed(1, [&] { QFile::remove(cache); }, [&] {
        PstDocument d;
        d.open(path);
    }, openColdCpu);
    const double openWarm = timed(rounds, [] {}, [&] {
        PstDocument d;
        d.open(path);
    }, openWarmCpu);
    std::printf("PstDocument::open, no cache: %10.2f ms wall, %10.2f ms cpu (cache written)\n", openCold, openColdCpu);
    std::printf("PstDocument::open, cached:   %10.2f ms wall, %10.2f ms cpu\n", openWarm, openWarmCpu);

    // Every folder through the child loader, once, with memory before and after.
    PstDocument document;
    if (!document.open(path))
        return 1;
    const long rssBefore = bench::statusKb("VmRSS:");
    QElapsedTimer t;
    t.start();
    PstFolderItemPtr fileNode = document.parse(path);
    std::vector<uint64_t> ids;
    int folders = 0;
    if (fileNode)
        collect(fileNode, ids, folders);
    const double loadAll = t.nsecsElapsed() / 1e6;
    const long rssAfter = bench::statusKb("VmRSS:");
    std::printf("load every folder: %d folders, %zu records in %.0f ms = %.0f records/s\n", folders, ids.size(),
                loadAll, ids.size() / (loadAll / 1000.0));
    std::printf("memory of all records: %.1f MB resident (%.0f bytes per record), peak %ld MB\n",
                (rssAfter - rssBefore) / 1024.0, ids.empty() ? 0.0 : (rssAfter - rssBefore) * 1024.0 / ids.size(),
                bench::statusKb("VmHWM:") / 1024);

    // Lookups by id in random order: the map against libpst's tree walk order.
    std::mt19937_64 random(42);
    std::vector<uint64_t> shuffled = ids;
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    pst_file* pf = document.handle().get();
    size_t hits = 0;
    t.restart();
    {
        QMutexLocker lock(&pstLibraryMutex());
        for (uint64_t id : shuffled)
            hits += pstFindDescriptor(pf, id) != nullptr;
    }
    const double lookupNs = shuffled.empty() ? 0 : double(t.nsecsElapsed()) / shuffled.size();
    std::printf("pstFindDescriptor: %zu lookups, %zu hits, %.0f ns per lookup\n", shuffled.size(), hits, lookupNs);
    // The same ids found by walking the tree depth first, as without the map.
    const size_t walkSample = std::min<size_t>(shuffled.size(), 200);
    t.restart();
    size_t walked = 0;
    for (size_t i = 0; i < walkSample; ++i) {
        for (pst_desc_tree* n = pf->d_head; n;) {
            if (n->d_id == shuffled[i]) {
                ++walked;
                break;
            }
            if (n->child) {
                n = n->child;
                continue;
            }
            while (n && !n->next)
                n = n->parent;
            n = n ? n->next : nullptr;
        }
    }
    std::printf("tree walk instead:  %zu lookups, %.0f ns per lookup\n", walked,
                walkSample ? double(t.nsecsElapsed()) / walkSample : 0.0);
    const size_t sample = std::min<size_t>(shuffled.size(), 2000);
    t.restart();
    size_t loaded = 0;
    for (size_t i = 0; i < sample; ++i)
        loaded += loadItemById(document.handle(), shuffled[i]) != nullptr;
    std::printf("loadItemById: %zu of %zu records, %.1f us per record\n", loaded, sample,
                sample ? t.nsecsElapsed() / 1e3 / sample : 0.0);
    return 0;
}
