#include "sorrel/export/ExportStrategy.h"

#include "common/Log.h"
#include "sorrel/export/ExportNaming.h"
#include "sorrel/export/writers/ItemWriters.h"
#include "sorrel/export/writers/MailWriter.h"
#include "sorrel/export/writers/OutputStreams.h"
#include "sorrel/items/PstTextDecoding.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Anything of that name, a dangling link included.
bool nameTaken(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

bool writeBytes(FILE* out, const QByteArray& bytes)
{
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out) == size_t(bytes.size());
}

// The writer of a text made in memory.
std::function<bool(FILE*)> textWriter(const QByteArray& text)
{
    return [text](FILE* out) { return writeBytes(out, text); };
}

} // namespace

QString ExportStrategy::makeOutputPath(pst_item* item, const QString& directory, const QString& defaultName)
{
    QString base = exportnaming::cleanName(item ? decodeText(item, item->subject) : QString());
    if (base.isEmpty())
        base = defaultName;
    return nextFreePath(directory, base, formatKey());
}

QString ExportStrategy::nextFreePath(const QString& directory, const QString& base, const QString& extension)
{
    if (directory != m_suffixDirectory) {
        m_suffixDirectory = directory;
        m_nextSuffix.clear();
    }
    const QString dot = QLatin1Char('.') + extension;
    auto known = m_nextSuffix.constFind(base);
    int n = 1;
    if (known == m_nextSuffix.cend()) {
        const QString path = directory + QLatin1Char('/') + exportnaming::fitName(base, QString(), dot);
        if (!nameTaken(path))
            return path;
    } else {
        n = *known;
    }
    for (;; ++n) {
        const QString path =
            directory + QLatin1Char('/') + exportnaming::fitName(base, QLatin1Char('_') + QString::number(n), dot);
        if (!nameTaken(path)) {
            m_nextSuffix.insert(base, n + 1);
            return path;
        }
    }
}

bool ExportStrategy::exportToNewFile(pst_item* item, bool hasPart, const char* what, const QString& directory,
                                     const QString& defaultName, const CancelToken& cancel,
                                     const std::function<bool(FILE*)>& write)
{
    ++m_count;
    if (!item || !hasPart) {
        mw::logWarning(QStringLiteral("Export failed: PST %1 is empty.").arg(QLatin1String(what)));
        return false;
    }
    if (cancel.isCancelled())
        return false;
    QString path;
    FILE* out = nullptr;
    if (!directory.isEmpty()) {
        // A name taken between the look and the creation: take the next one.
        for (int attempt = 0; attempt < 100 && !out; ++attempt) {
            path = makeOutputPath(item, directory, defaultName);
            out = outputstreams::createNew(path);
            if (!out && errno != EEXIST)
                break;
        }
    }
    if (!out) {
        mw::logWarning(QStringLiteral("Export %1 failed: unable to open output file %2.").arg(formatKey(), path));
        return false;
    }
    bool ok = write(out);
    ok = outputstreams::closeChecked(out) && ok;
    if (!ok) {
        QFile::remove(path);
        mw::logWarning(QStringLiteral("Export %1 failed: unable to write output file %2.").arg(formatKey(), path));
    }
    return ok;
}

bool ExportToEml::exportItem(pst_file* pf, pst_item* item, const QString& target, const CancelToken& cancel)
{
    mailwriter::MailWriterOptions options;
    options.mode = mailwriter::MailMode::Eml;
    options.keepRtf = true;
    options.storeKey = m_storeKey;
    return exportToNewFile(item, item && item->email, "email", target, QStringLiteral("mail"), cancel,
                           [&](FILE* out) { return mailwriter::writeMail(out, pf, item, options); });
}

bool ExportToVcf::exportItem(pst_file*, pst_item* item, const QString& target, const CancelToken& cancel)
{
    const bool has = item && item->contact;
    return exportToNewFile(item, has, "contact", target, QStringLiteral("contact"), cancel,
                           textWriter(has ? itemwriters::vcardText(item) : QByteArray()));
}

bool ExportToIcs::exportItem(pst_file*, pst_item* item, const QString& target, const CancelToken& cancel)
{
    const bool has = item && item->appointment;
    return exportToNewFile(item, has, "appointment", target, QStringLiteral("calendar"), cancel,
                           textWriter(has ? itemwriters::appointmentText(item, m_storeKey) : QByteArray()));
}

bool ExportToIcs2::exportItem(pst_file*, pst_item* item, const QString& target, const CancelToken& cancel)
{
    const bool has = item && item->journal;
    return exportToNewFile(item, has, "journal", target, QStringLiteral("journal"), cancel,
                           textWriter(has ? itemwriters::journalText(item, m_storeKey) : QByteArray()));
}

bool ExportToTxt::exportItem(pst_file*, pst_item* item, const QString& target, const CancelToken& cancel)
{
    return exportToNewFile(item, item != nullptr, "note", target, QStringLiteral("note"), cancel,
                           textWriter(itemwriters::noteText(item)));
}

bool ExportToMbox::exportItem(pst_file* pf, pst_item* item, const QString& target, const CancelToken& cancel)
{
    ++m_count;
    if (!item || !item->email) {
        mw::logWarning(QStringLiteral("Export failed: PST email is empty."));
        return false;
    }
    if (cancel.isCancelled())
        return false;
    FILE* out = target.isEmpty() ? nullptr : outputstreams::openForAppend(target);
    if (!out) {
        mw::logWarning(QStringLiteral("Export mbox failed: unable to open output file %1.").arg(target));
        return false;
    }
    struct stat before {};
    const off_t size = ::fstat(fileno(out), &before) == 0 ? before.st_size : 0;
    mailwriter::MailWriterOptions options;
    options.mode = mailwriter::MailMode::Mbox;
    options.keepRtf = true;
    options.storeKey = m_storeKey;
    bool ok = mailwriter::writeMail(out, pf, item, options);
    ok = outputstreams::closeChecked(out) && ok;
    if (!ok) {
        // Leave the mailbox as it was: a partial message would run into the next one.
        if (::truncate(QFile::encodeName(target).constData(), size) != 0)
            mw::logWarning(QStringLiteral("Export mbox: unable to cut off a partial message in %1.").arg(target));
        mw::logWarning(QStringLiteral("Export mbox failed: unable to write output file %1.").arg(target));
    }
    return ok;
}
