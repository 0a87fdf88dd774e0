// Uncached open of large files: our b-tree reader against libpst's
// pst_load_index, in the same run, on the same files.
//   build/bench/bench_btree [--rounds N] [--ours-only] FILE.pst...
//   build/bench/bench_btree.sh [MAILS...]   (generates the files first)
// Per file: the wall and CPU time of pst_open plus the index load (ours:
// median of N rounds; libpst's: once, or not with --ours-only), the memory
// the loaded structures hold (resident growth with them alive) and the peak
// during the load, and whether both loaders built identical structures. Each
// measurement runs in a fresh process of its own, so heaps do not mix. The
// file stays in the page cache between rounds: this measures the work, not
// the disk.

#include "ProcessStats.h"
#include "sorrel/store/PstBTreeLoader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include <libpst/libpst.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

struct Closer {
    void operator()(pst_file* pf) const
    {
        if (pf->fp)
            pst_close(pf);
        delete pf;
    }
};
using Pst = std::unique_ptr<pst_file, Closer>;

Pst openPst(const QString& path)
{
    Pst pf(new pst_file{});
    if (pst_open(pf.get(), QFile::encodeName(path).constData(), nullptr) != 0)
        pf->fp = nullptr;
    return pf;
}

struct Run {
    double wallMs = 0, cpuMs = 0;
    long heldKb = 0, peakKb = 0;
    bool ok = false;
};

// One open and load; the structures are kept in out so their memory can be
// measured and compared.
Run measure(const QString& path, const std::function<bool(pst_file*)>& load, Pst& out)
{
    out.reset();
    Run run;
    const long before = bench::statusKb("VmRSS:");
    QElapsedTimer timer;
    const double cpu0 = bench::cpuMs();
    timer.start();
    out = openPst(path);
    run.ok = out->fp && load(out.get());
    run.wallMs = double(timer.nsecsElapsed()) / 1e6;
    run.cpuMs = bench::cpuMs() - cpu0;
    run.heldKb = bench::statusKb("VmRSS:") - before;
    run.peakKb = bench::statusKb("VmHWM:") - before;
    return run;
}

uint64_t countNodes(const pst_desc_tree* n)
{
    uint64_t count = 0;
    std::vector<const pst_desc_tree*> pending{n};
    while (!pending.empty()) {
        const pst_desc_tree* at = pending.back();
        pending.pop_back();
        for (; at; at = at->next) {
            ++count;
            const pst_desc_tree* child = at->child;
            if (child)
                pending.push_back(child);
        }
    }
    return count;
}

// One measurement in this process (a fresh heap): prints a result line.
int child(const QString& loader, const QString& path)
{
    Pst loaded;
    PstBTreeReport report;
    const bool libpst = loader == QLatin1String("libpst");
    const Run run = measure(
        path,
        [&](pst_file* pf) {
            return libpst ? pst_load_index(pf) == 0 : pstLoadBTrees(pf, &report) == PstBTreeResult::Loaded;
        },
        loaded);
    QString same = QStringLiteral("-");
    if (libpst && run.ok) {
        Pst ours = openPst(path);
        const bool ok = ours->fp && pstLoadBTrees(ours.get()) == PstBTreeResult::Loaded;
        const QString difference = ok ? pstIndexDifference(ours.get(), loaded.get()) : QStringLiteral("ours failed");
        same = difference.isEmpty() ? QStringLiteral("identical") : QStringLiteral("DIFFER: ") + difference;
    }
    std::printf("%d %.3f %.3f %ld %ld %zu %llu %llu %s\n", run.ok ? 1 : 0, run.wallMs, run.cpuMs, run.heldKb, run.peakKb,
                loaded->i_count, static_cast<unsigned long long>(countNodes(loaded->d_head)),
                static_cast<unsigned long long>(report.pagesRead), qPrintable(same));
    return 0;
}

struct Result {
    Run run;
    size_t blocks = 0;
    unsigned long long nodes = 0, pages = 0;
    QString same;
};

bool runChild(const QString& loader, const QString& path, Result& out)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), loader, path});
    if (!p.waitForFinished(-1) || p.exitCode() != 0)
        return false;
    const QStringList f = QString::fromUtf8(p.readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
    if (f.size() < 9)
        return false;
    out.run.ok = f[0] == QLatin1String("1");
    out.run.wallMs = f[1].toDouble();
    out.run.cpuMs = f[2].toDouble();
    out.run.heldKb = f[3].toLong();
    out.run.peakKb = f[4].toLong();
    out.blocks = f[5].toULongLong();
    out.nodes = f[6].toULongLong();
    out.pages = f[7].toULongLong();
    out.same = f.mid(8).join(QLatin1Char(' '));
    return out.run.ok;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 3 && args[0] == QLatin1String("--child"))
        return child(args[1], args[2]);
    int rounds = 5;
    bool oursOnly = false;
    QStringList files;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--rounds") && i + 1 < args.size())
            rounds = qMax(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--ours-only"))
            oursOnly = true;
        else
            files << args[i];
    }
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: bench_btree [--rounds N] [--ours-only] FILE.pst...\n");
        return 2;
    }

    int failures = 0;
    for (const QString& path : files) {
        std::printf("%s (%.1f MB)\n", qPrintable(path), double(QFileInfo(path).size()) / 1048576.0);
        std::vector<Result> ours(static_cast<size_t>(rounds));
        bool ok = true;
        for (Result& r : ours)
            ok = runChild(QStringLiteral("ours"), path, r) && ok;
        auto median = [&](double Run::*field) {
            std::vector<double> v;
            for (const Result& r : ours)
                v.push_back(r.run.*field);
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        const Result& first = ours.front();
        // What the structures need: the table and one malloc'd node each
        // (glibc adds 8 bytes and rounds the chunk to 16).
        const double needKb = (double(first.blocks) * sizeof(pst_index_ll)
                               + double(first.nodes) * double((sizeof(pst_desc_tree) + 8 + 15) / 16 * 16))
                              / 1024.0;
        std::printf("  %zu blocks, %llu descriptors, %llu pages; the structures need %.0f KB\n", first.blocks,
                    first.nodes, first.pages, needKb);
        std::printf("  ours   (pst_open + pstLoadBTrees, median of %d): %9.1f ms wall %9.1f ms cpu; holds %ld KB, "
                    "peak %ld KB%s\n",
                    rounds, median(&Run::wallMs), median(&Run::cpuMs), first.run.heldKb, first.run.peakKb,
                    ok ? "" : " FAILED");
        failures += !ok;
        if (oursOnly)
            continue;
        Result lib;
        const bool libOk = runChild(QStringLiteral("libpst"), path, lib);
        std::printf("  libpst (pst_open + pst_load_index, once):       %9.1f ms wall %9.1f ms cpu; holds %ld KB, "
                    "peak %ld KB%s\n",
                    lib.run.wallMs, lib.run.cpuMs, lib.run.heldKb, lib.run.peakKb, libOk ? "" : " FAILED");
        std::printf("  libpst / ours: %.1f times the wall time; structures %s\n", lib.run.wallMs / median(&Run::wallMs),
                    qPrintable(lib.same));
        failures += !libOk || lib.same != QLatin1String("identical");
    }
    return failures ? 1 : 0;
}
