// Cost per object of the task and journal property reader, next to libpst's
// own item parse, over every descriptor of a PST file.
//   bench_extraproperties [FILE.pst] [ROUNDS]
// FILE defaults to $MARROWIN_ENRON_PST, ROUNDS to 50.

#include "sorrel/store/PstExtraProperties.h"
#include "sorrel/store/PstLibrary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString path = args.size() > 1 ? args[1] : qEnvironmentVariable("MARROWIN_ENRON_PST");
    const int rounds = args.size() > 2 ? qMax(1, args[2].toInt()) : 50;

    PstFileHandle h = makePstFileHandle();
    pst_file* pf = h.get();
    if (!pf || pst_open(pf, QFile::encodeName(path).constData(), nullptr) != 0 || pst_load_index(pf) != 0
        || pst_load_extended_attributes(pf) != 1) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return 1;
    }
    QList<pst_desc_tree*> nodes;
    for (pst_desc_tree* d = pf->d_head; d; d = pst_getNextDptr(d))
        nodes.append(d);

    QElapsedTimer t;
    int tasks = 0, journals = 0;
    t.start();
    for (int r = 0; r < rounds; ++r) {
        for (pst_desc_tree* d : nodes) {
            const PstExtraProperties e = pstReadExtraProperties(pf, d);
            tasks += e.task ? 1 : 0;
            journals += e.journalDuration ? 1 : 0;
        }
    }
    const double readerNs = double(t.nsecsElapsed()) / (double(rounds) * nodes.size());

    t.restart();
    for (int r = 0; r < rounds; ++r) {
        for (pst_desc_tree* d : nodes) {
            if (pst_item* item = pst_parse_item(pf, d, nullptr))
                pst_freeItem(item);
        }
    }
    const double parseNs = double(t.nsecsElapsed()) / (double(rounds) * nodes.size());

    std::printf("%s: %lld objects x %d rounds\n", qPrintable(path), qlonglong(nodes.size()), rounds);
    std::printf("pstReadExtraProperties: %.1f us per object (%d task records, %d journal durations per round)\n",
                readerNs / 1000.0, tasks / rounds, journals / rounds);
    std::printf("pst_parse_item+pst_freeItem: %.1f us per object\n", parseNs / 1000.0);
    std::printf("reader / parse: %.2f\n", readerNs / parseNs);
    return 0;
}
