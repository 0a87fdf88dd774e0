// Background loading with the index build, searching through the index, and
// the GUI thread's longest stall while the loader runs. Run by hand through
// bench_search.sh (it generates the files); caches go to $HOME.
//
//   bench_search load FILE            walk + index build (the index is deleted first)
//   bench_search search FILE QUERY    first search (reads the index), then repeated ones
//   bench_search stall FILE           event-loop latency on the GUI thread while the
//                                     tree controller loads the file (offscreen)
//
// Times are wall and CPU milliseconds; memory is the process's resident
// set (VmRSS, and VmHWM for the peak) from /proc/self/status.

#include "bench/store/ProcessStats.h"
#include "sorrel/search/PstSearch.h"
#include "sorrel/search/PstSearchIndex.h"
#include "sorrel/search/PstSearchRecords.h"
#include "sorrel/store/PSTTreeView.h"
#include "sorrel/store/PstDocument.h"
#include "sorrel/store/PstTreeController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using bench::cpuMs;
using bench::median;
using bench::statusKb;

namespace {

PstSearchDocument openDocument(const QString& path)
{
    PstDocument document;
    if (!document.open(path)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        std::exit(1);
    }
    return {path, document.handle()};
}

int load(const QString& path)
{
    const PstSearchDocument document = openDocument(path);
    QFile::remove(searchIndexPath(path));
    const long rssBefore = statusKb("VmRSS:");
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = cpuMs();
    PstSearchLoad options;
    options.cancel = makeCancelFlag();
    const PstSearchLoadResult loaded = pstLoadForSearch(document, options);
    const double ms = wall.nsecsElapsed() / 1e6;
    const double cpu = cpuMs() - cpu0;
    const long rssAfter = statusKb("VmRSS:");
    const long peak = statusKb("VmHWM:");
    const qsizetype items = loaded.forest.items.size();
    std::printf("load+index: %lld items, %.0f ms wall, %.0f ms CPU, %.0f items/s (wall), %.0f items/s (CPU)\n",
                qlonglong(items), ms, cpu, items / (ms / 1e3), items / (cpu / 1e3));
    std::printf("memory: before %ld KB, after %ld KB, peak %ld KB; growth after %.2f KB/item, peak growth %.2f KB/item\n",
                rssBefore, rssAfter, peak, double(rssAfter - rssBefore) / items, double(peak - rssBefore) / items);
    std::printf("index written: %s\n", loaded.indexUsable ? "yes" : "no");
    return loaded.indexUsable ? 0 : 1;
}

int search(const QString& path, const QString& query)
{
    const PstSearchDocument document = openDocument(path);
    PstSearchRequest request;
    request.requestedFiles = {path};
    request.openFiles = {document};
    request.query = query;
    request.cancel = makeCancelFlag();
    request.cache = std::make_shared<PstSearchRecordCache>();
    const long rssBefore = statusKb("VmRSS:");
    QElapsedTimer wall;
    wall.start();
    double cpu0 = cpuMs();
    PstSearchResponse response = runSearch(request);
    std::printf("first search (reads the index): %.0f ms wall, %.0f ms CPU, %lld rows\n", wall.nsecsElapsed() / 1e6,
                cpuMs() - cpu0, qlonglong(response.rows.size()));
    const int records = request.cache->recordCount();
    response = {};
    const long rssAfter = statusKb("VmRSS:");
    std::printf("record cache: %d records, %.1f MB counted (%.0f bytes/item), resident growth %.1f MB (%.0f bytes/item)\n",
                records, request.cache->memoryBytes() / 1048576.0, double(request.cache->memoryBytes()) / records,
                (rssAfter - rssBefore) / 1024.0, (rssAfter - rssBefore) * 1024.0 / records);
    std::vector<double> walls, cpus;
    qsizetype rows = 0;
    for (int i = 0; i < 7; ++i) {
        wall.restart();
        cpu0 = cpuMs();
        rows = runSearch(request).rows.size();
        walls.push_back(wall.nsecsElapsed() / 1e6);
        cpus.push_back(cpuMs() - cpu0);
    }
    std::printf("search with the index read: median %.1f ms wall, %.1f ms CPU (7 runs), %lld rows\n", median(walls),
                median(cpus), qlonglong(rows));
    return 0;
}

int stall(const QString& path)
{
    PSTTreeView view;
    PstTreeController controller(&view);
    QFile::remove(searchIndexPath(path));
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worst = 0;
    int ticks = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        worst = qMax(worst, now - last - 5);
        last = now;
        ++ticks;
    });
    QElapsedTimer wall;
    QObject::connect(&controller, &PstTreeController::allItemsReady, [&] {
        if (controller.fileCount() > 0)
            QCoreApplication::quit();
    });
    QTimer::singleShot(0, [&] {
        clock.start();
        wall.start();
        tick.start();
        controller.openFile(path);
    });
    QApplication::exec();
    std::printf("GUI thread while opening and loading: longest stall %lld ms over %d ticks of 5 ms, %.0f ms in all\n",
                worst, ticks, wall.nsecsElapsed() / 1e6);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = app.arguments().mid(1);
    if (args.size() >= 2 && args[0] == QLatin1String("load"))
        return load(args[1]);
    if (args.size() >= 3 && args[0] == QLatin1String("search"))
        return search(args[1], args.mid(2).join(QLatin1Char(' ')));
    if (args.size() >= 2 && args[0] == QLatin1String("stall"))
        return stall(args[1]);
    std::fprintf(stderr, "usage: bench_search load FILE | search FILE QUERY | stall FILE\n");
    return 2;
}
