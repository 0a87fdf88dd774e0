// Print to the print dialog for a mail with a 1 MB HTML body: building the
// print page (the body read from the file), writing it into the hidden web
// view, up to the moment the dialog would open. The first run includes the
// start of the web engine; the others are timed after it, median reported.

#include "PstWriter.h"
#include "sorrel/items/PstItemFactory.h"
#include "sorrel/print/PstPrinter.h"
#include "sorrel/store/PstDocument.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("print.pst"));
    pstw::MessageId id = 0;
    {
        pstw::PstWriter w(path);
        QByteArray html = "<html><body>";
        for (int i = 0; html.size() < 1024 * 1024; ++i)
            html += "<p>Paragraph " + QByteArray::number(i)
                + " of a long mail, with <b>some</b> markup and a <a href='https://example.org/'>link</a>.</p>\n";
        html += "</body></html>";
        pstw::MessageSpec m;
        m.subject = QStringLiteral("One megabyte");
        m.html = html;
        id = w.addMessage(w.addFolder(w.ipmSubtree(), QStringLiteral("Inbox")), m);
        if (!w.finish())
            return 1;
    }
    PstDocument document;
    if (!document.open(path))
        return 1;
    const auto mail = loadItemById(document.handle(), id);
    if (!mail)
        return 1;

    PstPrinter printer;
    QElapsedTimer clock;
    qint64 atDialog = -1;
    printer.setDialogHook([&](QPrinter&, QWidget*) {
        atDialog = clock.nsecsElapsed();
        return false;
    });
    QList<double> warm;
    for (int run = 0; run <= runs; ++run) {
        QSignalSpy finished(&printer, &PstPrinter::jobFinished);
        atDialog = -1;
        clock.start();
        printer.printItem(*mail);
        if (!finished.wait(120000) || atDialog < 0) {
            std::fprintf(stderr, "the print job did not reach the dialog\n");
            return 1;
        }
        const double ms = atDialog / 1e6;
        if (run == 0)
            std::printf("[profile] Print to dialog, 1 MB HTML mail, first (web engine starting): %.1f ms\n", ms);
        else
            warm << ms;
    }
    std::sort(warm.begin(), warm.end());
    std::printf("[profile] Print to dialog, 1 MB HTML mail, median of %d: %.1f ms (min %.1f, max %.1f)\n",
                int(warm.size()), warm.at(warm.size() / 2), warm.first(), warm.last());
    return 0;
}
