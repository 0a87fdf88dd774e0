#pragma once

#include <QDateTime>
#include <QString>

namespace HostLog {

// Deletes the *.log files directly in logDirectory last modified more than
// one calendar month before now. Directories are never touched; failures to
// delete are ignored. Returns the number of files deleted.
int pruneOldLogFiles(const QString& logDirectory, const QDateTime& now = QDateTime::currentDateTime());

} // namespace HostLog
