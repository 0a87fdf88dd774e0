#include "sorrel/export/ExportManager.h"

#include "common/Log.h"
#include "sorrel/export/ExportNaming.h"
#include "sorrel/export/ExportTask.h"
#include "sorrel/export/writers/OutputStreams.h"
#include "sorrel/export/writers/WriterSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThreadPool>

#include <sys/stat.h>

namespace {

struct FormatInfo {
    const char* key;
    PstItemKind kind;
    const char* label;
};

const FormatInfo kFormats[] = {
    {"eml", PstItemKind::Mail, "Emails"},     {"vcf", PstItemKind::Contact, "Contacts"},
    {"ics", PstItemKind::Calendar, "Appointment"}, {"txt", PstItemKind::Note, "Note"},
    {"ics2", PstItemKind::Journal, "Journal"}, {"mbox", PstItemKind::Mail, "Emails"},
};

std::shared_ptr<ExportStrategy> makeStrategy(const QString& format)
{
    if (format == QLatin1String("eml"))
        return std::make_shared<ExportToEml>();
    if (format == QLatin1String("vcf"))
        return std::make_shared<ExportToVcf>();
    if (format == QLatin1String("ics"))
        return std::make_shared<ExportToIcs>();
    if (format == QLatin1String("txt"))
        return std::make_shared<ExportToTxt>();
    if (format == QLatin1String("ics2"))
        return std::make_shared<ExportToIcs2>();
    return std::make_shared<ExportToMbox>();
}

// What lstat sees at path, without following a link: 0 when nothing.
mode_t entryType(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & S_IFMT;
}

} // namespace

struct ExportManager::Walk {
    QString rootCanonical;
    QMap<QString, int> totals;
};

ExportManager::ExportManager(QObject* parent) : QObject(parent), m_pool(new QThreadPool(this))
{
    qRegisterMetaType<std::shared_ptr<ProgressReporter>>();
    m_pool->setMaxThreadCount(1);
    m_pool->setExpiryTimeout(60000);
}

ExportManager::~ExportManager()
{
    m_cancel.cancel();
    m_pool->waitForDone();
}

const QStringList& ExportManager::allFormats()
{
    static const QStringList keys = [] {
        QStringList k;
        for (const FormatInfo& f : kFormats)
            k << QLatin1String(f.key);
        return k;
    }();
    return keys;
}

QString ExportManager::progressLabel(const QString& format)
{
    for (const FormatInfo& f : kFormats) {
        if (format == QLatin1String(f.key))
            return QLatin1String(f.label);
    }
    return {};
}

QString ExportManager::formatFor(const PstItem& item) const
{
    for (const FormatInfo& f : kFormats) {
        if (f.kind == item.kind() && m_formats.contains(QLatin1String(f.key)))
            return QLatin1String(f.key);
    }
    return {};
}

void ExportManager::countItems(const PstFolderItemPtr& folder, QMap<QString, int>& totals)
{
    const bool loadedBefore = folder->isLoaded() || !folder->childLoader();
    folder->loadChildren();
    QList<PlannedItem>& plan = m_plan[folder.get()];
    for (const auto& item : folder->items()) {
        const QString format = formatFor(*item);
        if (format.isEmpty())
            continue;
        ++totals[format];
        // The format string of m_formats, shared rather than copied per item.
        plan.append({item->descriptor(), m_formats.at(m_formats.indexOf(format))});
    }
    if (!loadedBefore)
        folder->releaseItems();
    for (const auto& sub : folder->subfolders())
        countItems(sub, totals);
}

void ExportManager::startExportToFiles(const PstFolderItemPtr& root, const QString& outputDirectory,
                                       const QStringList& formats)
{
    if (m_exporting || !m_completed) {
        mw::logWarning(QStringLiteral("Export already running; the new one is not started."));
        return;
    }
    m_exportToApp = false;
    mw::logInfo(QStringLiteral("Start exporting PST data."));
    QStringList chosen;
    for (const QString& key : allFormats()) {
        if (formats.contains(key))
            chosen << key;
    }
    if (chosen.contains(QLatin1String("mbox")) && chosen.size() > 1) {
        mw::logWarning(QStringLiteral("Export to mbox is done alone; the other formats are left out."));
        chosen = {QStringLiteral("mbox")};
    }
    m_formats = chosen;
    m_mailboxes = chosen == QStringList{QStringLiteral("mbox")};
    mw::logInfo(QStringLiteral("Export to file, formats: [%1]").arg(formats.join(QLatin1Char(','))));

    mw::logInfo(QStringLiteral("Export pre-scan path."));
    QMap<QString, int> totals;
    m_plan.clear();
    if (root)
        countItems(root, totals);
    mw::logInfo(QStringLiteral("Scan results: %1 emails, %2 contacts, %3 appointments")
                    .arg(totals.value(QStringLiteral("eml")) + totals.value(QStringLiteral("mbox")))
                    .arg(totals.value(QStringLiteral("vcf")))
                    .arg(totals.value(QStringLiteral("ics"))));
    m_results.clear();
    int all = 0;
    for (const QString& format : m_formats) {
        m_results[format].total = totals.value(format);
        all += totals.value(format);
    }
    if (all == 0) {
        mw::logInfo(QStringLiteral("Scan results is empty."));
        emit exportItemNotFound();
        return;
    }

    m_reporters.clear();
    for (const QString& format : m_formats) {
        auto reporter = std::make_shared<ProgressReporter>();
        m_reporters.insert(format, reporter);
        emit progressReady(progressLabel(format), reporter, totals.value(format));
    }
    mw::logInfo(QStringLiteral("Export format: %1").arg(m_formats.join(QLatin1Char(','))));

    const QByteArray storeKey = writersupport::storeKey(root->document().get());
    m_strategies.clear();
    for (const QString& format : m_formats) {
        auto strategy = makeStrategy(format);
        strategy->resetCount();
        strategy->setStoreKey(storeKey);
        m_strategies.insert(format, strategy);
    }

    m_exporting = true;
    m_walkDone = false;
    m_completed = false;
    m_inFlight = 0;
    m_failures.clear();
    m_pool->start([this, root, outputDirectory] {
        walk(root, outputDirectory);
        QMetaObject::invokeMethod(this, "onWalkFinished", Qt::QueuedConnection);
    });
}

void ExportManager::cancelExport()
{
    mw::logInfo(QStringLiteral("Cancel export."));
    m_cancel.cancel();
    m_exporting = false;
}

void ExportManager::walk(const PstFolderItemPtr& root, const QString& outputDirectory)
{
    Walk w;
    for (auto it = m_results.cbegin(); it != m_results.cend(); ++it)
        w.totals.insert(it.key(), it.value().total);
    if (QDir().mkpath(outputDirectory))
        w.rootCanonical = QFileInfo(outputDirectory).canonicalFilePath();
    if (w.rootCanonical.isEmpty())
        mw::logWarning(QStringLiteral("Export failed: unable to create directory %1.").arg(outputDirectory));
    if (m_mailboxes)
        exportMailboxes(w, root, outputDirectory, exportnaming::folderName(root->title()), true);
    else
        exportFolder(w, root, outputDirectory, true);
}

bool ExportManager::makeDirectory(const Walk& w, const QString& directory) const
{
    if (w.rootCanonical.isEmpty() || directory.isEmpty() || !QDir().mkpath(directory))
        return false;
    // Never below a link that leads out of the output directory.
    const QString canonical = QFileInfo(directory).canonicalFilePath();
    return canonical == w.rootCanonical || canonical.startsWith(w.rootCanonical + QLatin1Char('/'));
}

int ExportManager::exportItems(Walk& w, const PstFolderItemPtr& folder, const QString& target)
{
    const PstFileHandle handle = folder->document();
    int started = 0;
    for (const PlannedItem& planned : m_plan.value(folder.get())) {
        if (m_cancel.isCancelled())
            break;
        const QString& format = planned.format;
        ExportTask::Job job;
        job.format = format;
        job.total = w.totals.value(format);
        job.document = handle;
        job.descriptor = planned.descriptor;
        job.strategy = m_strategies.value(format);
        job.target = target;
        job.reporter = m_reporters.value(format).get();
        job.cancel = m_cancel;
        // Run at once on this worker: nothing waits in a queue, so memory
        // stays flat however many items the tree holds.
        ExportTask task(std::move(job));
        task.setAutoDelete(false);
        connect(&task, &ExportTask::taskFinished, this, &ExportManager::onTaskFinished, Qt::QueuedConnection);
        ++m_inFlight;
        task.run();
        ++started;
    }
    return started;
}

QString ExportManager::childName(const PstFolderItemPtr& child, const QString& directory,
                                 QSet<QString>& taken) const
{
    const QString base = exportnaming::folderName(child->title());
    const QString reserve = m_mailboxes ? QStringLiteral(".sbd") : QString();
    for (int n = 0;; ++n) {
        const QString suffix = n == 0 ? QString() : QLatin1Char('_') + QString::number(n);
        const QString name = exportnaming::fitName(base, suffix, reserve).chopped(reserve.size());
        if (taken.contains(name))
            continue;
        const QString path = directory + QLatin1Char('/') + name;
        if (m_mailboxes) {
            const mode_t box = entryType(path);
            const mode_t sub = entryType(path + reserve);
            if ((box && box != S_IFREG) || (sub && sub != S_IFDIR))
                continue;
            taken << name << name + reserve;
        } else {
            const mode_t type = entryType(path);
            if (type && type != S_IFDIR)
                continue;
            taken << name;
        }
        return name;
    }
}

void ExportManager::exportFolder(Walk& w, const PstFolderItemPtr& folder, const QString& directory, bool isRoot)
{
    if (m_cancel.isCancelled())
        return;
    const bool usable = makeDirectory(w, directory);
    if (!usable && !directory.isEmpty() && !w.rootCanonical.isEmpty())
        mw::logWarning(QStringLiteral("Export failed: unable to create directory %1.").arg(directory));
    const int started = exportItems(w, folder, usable ? directory : QString());
    QSet<QString> taken;
    for (const auto& sub : folder->subfolders()) {
        if (m_cancel.isCancelled())
            break;
        // Below an unusable directory nothing is created; the items fail.
        if (usable)
            exportFolder(w, sub, directory + QLatin1Char('/') + childName(sub, directory, taken), false);
        else
            exportFolder(w, sub, QString(), false);
    }
    if (usable && !isRoot && m_ignoreEmptyFolders && started == 0 && QDir(directory).isEmpty())
        QDir().rmdir(directory);
}

void ExportManager::exportMailboxes(Walk& w, const PstFolderItemPtr& folder, const QString& directory,
                                    const QString& name, bool isRoot)
{
    if (m_cancel.isCancelled())
        return;
    // The file node has no mailbox of its own: its folders go straight into
    // the output directory.
    const bool fileRoot = isRoot && folder->depth() == 0;
    const bool usable = !directory.isEmpty() && makeDirectory(w, directory);
    const QString box = usable ? directory + QLatin1Char('/') + name : QString();
    exportItems(w, folder, box);
    const QString childDirectory = !usable ? QString() : fileRoot ? directory : box + QStringLiteral(".sbd");
    QSet<QString> taken;
    if (fileRoot)
        taken << name << name + QStringLiteral(".sbd");
    for (const auto& sub : folder->subfolders()) {
        if (m_cancel.isCancelled())
            break;
        exportMailboxes(w, sub, childDirectory,
                        usable ? childName(sub, childDirectory, taken) : QString(), false);
    }
    if (!usable || fileRoot)
        return;
    if (entryType(childDirectory) == S_IFDIR && QDir(childDirectory).isEmpty())
        QDir().rmdir(childDirectory);
    // Mail clients expect a mailbox beside every "NAME.sbd".
    if (!entryType(box) && (entryType(childDirectory) == S_IFDIR || !m_ignoreEmptyFolders))
        outputstreams::closeChecked(outputstreams::createNew(box));
}

void ExportManager::onTaskFinished(const QString& type, bool success)
{
    if (success) {
        ++m_results[type].written;
    } else {
        ++m_results[type].failed;
        ++m_failures[type];
    }
    --m_inFlight;
    completeIfDone();
}

void ExportManager::onWalkFinished()
{
    m_walkDone = true;
    m_plan.clear();  // the walk is over: nothing reads the plan any more
    completeIfDone();
}

void ExportManager::completeIfDone()
{
    if (m_completed || !m_walkDone || m_inFlight > 0)
        return;
    m_completed = true;
    emit exportCompleted(m_exportToApp);
    m_exporting = false;
    mw::logInfo(QStringLiteral("Exported error emails: %1, contacts: %2, appointments: %3")
                    .arg(m_failures.value(QStringLiteral("eml")) + m_failures.value(QStringLiteral("mbox")))
                    .arg(m_failures.value(QStringLiteral("vcf")))
                    .arg(m_failures.value(QStringLiteral("ics"))));
    m_failures.clear();
}
