#include "host/shell/LogPruning.h"

#include <QDir>
#include <QFile>

namespace HostLog {

int pruneOldLogFiles(const QString& logDirectory, const QDateTime& now)
{
    const QDir dir(logDirectory);
    if (!dir.exists())
        return 0;
    const QDateTime limit = now.addMonths(-1);
    int removed = 0;
    const QFileInfoList entries =
        dir.entryInfoList({QStringLiteral("*.log")}, QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (entry.lastModified() < limit && QFile::remove(entry.absoluteFilePath()))
            ++removed;
    }
    return removed;
}

} // namespace HostLog
