#pragma once
// Small JSON files of the program (recent files, bookmarks): read leniently,
// written atomically so that a crash or a full disk never leaves a file
// half-written or empty.

class QJsonDocument;
class QString;

namespace JsonFile {

// The document in path; a null document when the file is missing, unreadable
// or not JSON.
QJsonDocument read(const QString& path);

// Writes the document indented through a save file that replaces path only
// once everything is on disk; creates the directory when needed. A failure
// leaves the old file as it was, is logged as a warning and returns false.
bool write(const QString& path, const QJsonDocument& document);

} // namespace JsonFile
