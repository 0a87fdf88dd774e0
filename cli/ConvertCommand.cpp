#include "cli/ConvertCommand.h"

#include "sorrel/export/ExportManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

const char* const kConvertHelp =
    "Usage: marrowin-cli convert FILE OUTDIR [--formats LIST] [--folder FOLDER] [--keep-empty-folders]\n"
    "\n"
    "Converts the folders of the PST or OST file FILE into the directory OUTDIR, one\n"
    "directory per folder and one file per item: mails to .eml, contacts to .vcf,\n"
    "appointments and journal entries to .ics, sticky notes to .txt.\n"
    "\n"
    "Options:\n"
    "  --formats LIST        formats to write, joined by ',' (default: eml,vcf,ics,txt,ics2)\n"
    "                          eml   mails, one .eml file each\n"
    "                          vcf   contacts, one .vcf file each\n"
    "                          ics   appointments, one .ics file each\n"
    "                          txt   sticky notes, one .txt file each\n"
    "                          ics2  journal entries, one .ics file each\n"
    "                          mbox  mails, one mailbox file per folder with its subfolders\n"
    "                                in NAME.sbd/ (the layout mail clients import); used alone\n"
    "  --folder FOLDER       convert only this folder and its subfolders: folder names joined\n"
    "                        by '/' as 'tree' prints them, or #ID with a folder id\n"
    "  --keep-empty-folders  keep the directories (mailboxes) of folders with nothing to convert\n"
    "  --help                show this text\n"
    "\n"
    "Progress goes to standard error: a bar per format on a terminal, plain progress\n"
    "lines otherwise. The last line on standard output sums up the items written and\n"
    "failed per format. Ctrl+C stops after the current item; what was written stays.\n"
    "\n"
    "Exit status:\n"
    "  0    every item was converted (also when there was nothing to convert)\n"
    "  1    FILE cannot be opened, FOLDER does not exist or OUTDIR cannot be created\n"
    "  2    wrong usage\n"
    "  3    some items could not be converted (the summary line counts them; the log names them)\n"
    "  130  interrupted by Ctrl+C\n";

namespace {

std::atomic_bool g_interrupted{false};

void onInterrupt(int)
{
    g_interrupted = true;
    // A second Ctrl+C ends the program at once.
    std::signal(SIGINT, SIG_DFL);
}

// One line per format: a bar on a terminal, redrawn in place; otherwise a
// plain line each tenth of the way.
class ProgressDisplay {
public:
    explicit ProgressDisplay(bool terminal) : m_terminal(terminal) { m_clock.start(); }

    // The row's index.
    int add(const QString& label, int total)
    {
        m_rows.append({label, total, 0, -1});
        if (m_terminal)
            std::fputs("\n", stderr);
        draw(true);
        return int(m_rows.size()) - 1;
    }

    void update(int row, int done)
    {
        Row& r = m_rows[row];
        if (done <= r.done)
            return;
        r.done = done;
        if (!m_terminal) {
            const int tenth = r.total > 0 ? int(qint64(done) * 10 / r.total) : 10;
            if (tenth > r.printedTenth) {
                r.printedTenth = tenth;
                std::fprintf(stderr, "%s: %d/%d\n", qPrintable(r.label), r.done, r.total);
            }
            return;
        }
        draw(done == r.total);
    }

    void finish() { draw(true); }

private:
    struct Row {
        QString label;
        int total;
        int done;
        int printedTenth;
    };

    void draw(bool force)
    {
        if (!m_terminal || (!force && m_clock.elapsed() - m_lastDraw < 100))
            return;
        m_lastDraw = m_clock.elapsed();
        QByteArray out = "\x1b[" + QByteArray::number(m_rows.size()) + "A";
        for (const Row& r : m_rows) {
            constexpr int width = 30;
            const int filled = r.total > 0 ? int(qint64(r.done) * width / r.total) : width;
            out += "\r\x1b[2K" + r.label.leftJustified(12).toUtf8() + " [" + QByteArray(filled, '#')
                   + QByteArray(width - filled, '-') + "] " + QByteArray::number(r.done) + '/'
                   + QByteArray::number(r.total) + '\n';
        }
        std::fwrite(out.constData(), 1, size_t(out.size()), stderr);
        std::fflush(stderr);
    }

    bool m_terminal;
    QList<Row> m_rows;
    QElapsedTimer m_clock;
    qint64 m_lastDraw = -1000;
};

} // namespace

bool parseConvertArguments(const QStringList& args, ConvertOptions* options, QString* error)
{
    QStringList positional;
    bool formatsGiven = false;
    for (int i = 0; i < args.size(); ++i) {
        QString arg = args.at(i);
        QString value;
        const bool takesValue = arg == QLatin1String("--formats") || arg == QLatin1String("--folder");
        if (arg.startsWith(QLatin1String("--formats=")) || arg.startsWith(QLatin1String("--folder="))) {
            value = arg.mid(arg.indexOf(QLatin1Char('=')) + 1);
            arg.truncate(arg.indexOf(QLatin1Char('=')));
        } else if (takesValue) {
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("%1 needs a value").arg(arg);
                return false;
            }
            value = args.at(++i);
        }
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options->help = true;
        } else if (arg == QLatin1String("--keep-empty-folders")) {
            options->keepEmptyFolders = true;
        } else if (arg == QLatin1String("--folder")) {
            options->folder = value;
        } else if (arg == QLatin1String("--formats")) {
            formatsGiven = true;
            for (const QString& key : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                const QString k = key.trimmed().toLower();
                if (!ExportManager::allFormats().contains(k)) {
                    *error = QStringLiteral("unknown format: %1").arg(key);
                    return false;
                }
                if (!options->formats.contains(k))
                    options->formats << k;
            }
        } else if (arg.startsWith(QLatin1String("--"))) {
            *error = QStringLiteral("unknown option: %1").arg(arg);
            return false;
        } else {
            positional << arg;
        }
    }
    if (options->help)
        return true;
    if (positional.size() != 2) {
        *error = QStringLiteral("convert needs FILE and OUTDIR");
        return false;
    }
    if (formatsGiven && options->formats.isEmpty()) {
        *error = QStringLiteral("--formats names no format");
        return false;
    }
    if (!formatsGiven)
        options->formats = {"eml", "vcf", "ics", "txt", "ics2"};
    if (options->formats.contains(QLatin1String("mbox")) && options->formats.size() > 1) {
        *error = QStringLiteral("mbox cannot be combined with other formats");
        return false;
    }
    options->file = positional.at(0);
    options->outputDirectory = positional.at(1);
    return true;
}

int runConvert(const PstFolderItemPtr& root, const ConvertOptions& options)
{
    if (!QDir().mkpath(options.outputDirectory)) {
        std::fprintf(stderr, "Cannot create the output directory: %s\n", qPrintable(options.outputDirectory));
        return 1;
    }
    std::signal(SIGINT, onInterrupt);

    ExportManager manager;
    manager.setIgnoreEmptyFolders(!options.keepEmptyFolders);
    ProgressDisplay progress(::isatty(STDERR_FILENO) == 1);
    QEventLoop loop;
    bool completed = false;
    bool nothingFound = false;
    QObject::connect(&manager, &ExportManager::progressReady, &manager,
                     [&](const QString& label, std::shared_ptr<ProgressReporter> reporter, int total) {
                         const int row = progress.add(label, total);
                         QObject::connect(reporter.get(), &ProgressReporter::progressUpdated, &manager,
                                          [&progress, row](int done) { progress.update(row, done); });
                     });
    QObject::connect(&manager, &ExportManager::exportItemNotFound, &manager, [&] { nothingFound = true; });
    QObject::connect(&manager, &ExportManager::exportCompleted, &manager, [&] {
        completed = true;
        loop.quit();
    });
    QTimer interruptPoll;
    QObject::connect(&interruptPoll, &QTimer::timeout, &manager, [&] {
        if (g_interrupted && manager.isExporting())
            manager.cancelExport();
    });
    interruptPoll.start(100);

    manager.startExportToFiles(root, options.outputDirectory, options.formats);
    if (!nothingFound && !completed)
        loop.exec();
    progress.finish();
    if (nothingFound)
        std::fputs("No items to export.\n", stderr);

    QStringList parts;
    int failed = 0;
    const QMap<QString, ExportManager::FormatResult> results = manager.results();
    for (const QString& format : manager.formats()) {
        const ExportManager::FormatResult r = results.value(format);
        parts << QStringLiteral("%1 %2 written, %3 failed").arg(format).arg(r.written).arg(r.failed);
        failed += r.failed;
    }
    std::printf("Summary: %s\n", qPrintable(parts.join(QStringLiteral("; "))));
    std::fflush(stdout);
    if (g_interrupted)
        return kExitInterrupted;
    return failed > 0 ? kExitSomeFailed : 0;
}
