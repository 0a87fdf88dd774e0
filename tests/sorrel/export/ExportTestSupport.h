#pragma once
// Helpers of the export tests: open a PST file, run one export to its end,
// and read what it wrote back with the standard readers (readback.py).

#include "sorrel/export/ExportManager.h"
#include "sorrel/store/PstDocument.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

namespace exporttest {

struct Run {
    int completions = 0;
    int notFound = 0;
    QMap<QString, ExportManager::FormatResult> results;
    QMap<QString, int> lastProgress;  // by progress label
};

// The file node of path, fully loaded; the document keeps the handle.
inline PstFolderItemPtr openPst(PstDocument& document, const QString& path)
{
    if (!document.open(path))
        return {};
    return document.parse(path);
}

// A subfolder of folder by its name.
inline PstFolderItemPtr subfolder(const PstFolderItemPtr& folder, const QString& name)
{
    folder->loadChildren();
    for (const auto& sub : folder->subfolders()) {
        if (sub->name() == name)
            return sub;
    }
    return {};
}

// Exports root into outDir and waits for the completion (or the pre-scan's
// "nothing found"); then waits a moment longer to see a second completion.
inline Run runExport(const PstFolderItemPtr& root, const QString& outDir, const QStringList& formats,
                     bool ignoreEmptyFolders = true, const std::function<void(ExportManager&)>& afterStart = {})
{
    Run run;
    ExportManager manager;
    manager.setIgnoreEmptyFolders(ignoreEmptyFolders);
    QObject::connect(&manager, &ExportManager::progressReady, &manager,
                     [&run](const QString& label, std::shared_ptr<ProgressReporter> reporter, int) {
                         QObject::connect(reporter.get(), &ProgressReporter::progressUpdated, reporter.get(),
                                          [&run, label](int done) { run.lastProgress[label] = done; });
                     });
    QSignalSpy completed(&manager, &ExportManager::exportCompleted);
    QSignalSpy notFound(&manager, &ExportManager::exportItemNotFound);
    manager.startExportToFiles(root, outDir, formats);
    if (afterStart)
        afterStart(manager);
    if (notFound.isEmpty() && completed.isEmpty())
        completed.wait(120000);
    QTest::qWait(50);
    run.completions = int(completed.size());
    run.notFound = int(notFound.size());
    run.results = manager.results();
    if (manager.isExporting())
        run.completions = -1;
    return run;
}

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// readback.py over dir: per file its problems and the named attachments.
inline QJsonObject readBack(const QString& dir, bool mailboxes = false)
{
    QProcess python;
    QStringList args{qEnvironmentVariable("MARROWIN_SOURCE_DIR") + QStringLiteral("/tests/sorrel/export/readback.py"), dir};
    if (mailboxes)
        args << QStringLiteral("--mbox");
    python.start(qEnvironmentVariable("MARROWIN_PYTHON3", QStringLiteral("/usr/bin/python3")), args);
    if (!python.waitForFinished(300000) || python.exitCode() != 0) {
        qWarning("readback.py failed: %s", python.readAllStandardError().constData());
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

// The problems readback.py found, one line per file that has any.
inline QStringList problemsOf(const QJsonObject& files)
{
    QStringList lines;
    for (auto it = files.begin(); it != files.end(); ++it) {
        const QJsonObject file = it.value().toObject();
        QStringList problems;
        for (const QJsonValue& p : file.value("problems").toArray())
            problems << p.toString();
        for (const QJsonValue& p : file.value("headerProblems").toArray())
            problems << p.toString();
        if (!problems.isEmpty())
            lines << it.key() + QStringLiteral(": ") + problems.join(QStringLiteral("; "));
    }
    return lines;
}

// Every file below dir, relative to it.
inline QStringList filesBelow(const QString& dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(dir).relativeFilePath(it.next());
    files.sort();
    return files;
}

} // namespace exporttest
