#pragma once
// The module's workspace between runs, in "pst_session.json" beside the
// settings: the open files, the expanded and the current tree nodes (tree
// path keys) and the search box's text. Read once at start; written
// atomically (a kill in the middle leaves the previous file), so a reader
// only ever sees a whole file or none. No widget code.

#include <QByteArray>
#include <QString>
#include <QStringList>

struct PstSession {
    QStringList openFiles;          // absolute paths, tree order, then the queued ones
    QStringList expandedTreePaths;  // tree path keys
    QString currentTreePath;        // tree path key, empty for none
    QString searchText;             // as typed

    bool operator==(const PstSession& other) const = default;
};

namespace pstsession {

inline constexpr int kVersion = 1;
// A larger file is no workspace of ours: it is ignored, not read.
inline constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

// path when not empty, else "pst_session.json" in the configuration directory.
QString sessionPathFor(const QString& path = {});
// Without empty strings and repeats (first kept, order kept).
QStringList cleanList(const QStringList& list);
// The session in JSON text; an empty record for anything that is not a
// version 1 object. Array elements that are not strings are skipped.
PstSession parseSession(const QByteArray& json);
QByteArray serializeSession(const PstSession& session);
// Never fails: a missing, unreadable, oversized or invalid file is an empty record.
PstSession readSession(const QString& path);
// Creates the directory (private when it is the configuration directory)
// and replaces the file atomically; false (the old file stays) on failure.
bool writeSession(const QString& path, const PstSession& session);

} // namespace pstsession
