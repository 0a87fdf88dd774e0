#pragma once
// The recently opened documents: "recent_files.json" in the configuration
// directory, a JSON array of absolute paths, most recent first. There is no
// copy in memory; every use reads the file again.

#include <QStringList>

inline constexpr int kMaxRecentFiles = 10;

// The file's path; the configuration directory is created on the way.
QString recentFilesPath();

// Puts path (made absolute and clean) at the front, drops an earlier entry
// of the same path and keeps the 10 most recent. Paths compare exactly:
// "Mail.pst" and "mail.pst" are two files.
void addRecentFile(const QString& path);

// The list in order without empty entries or repeats, at most 10; empty when
// the file is missing, unreadable or not an array.
QStringList loadRecentFiles();
