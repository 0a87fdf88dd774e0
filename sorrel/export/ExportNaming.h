#pragma once
// Names of the files and directories an export writes. Every name is a
// single path component that stays inside its directory: no separators, no
// "." or "..", no control characters, at most 255 bytes.

#include <QString>

namespace exportnaming {

// Longest file or directory name in bytes (as the file system stores it).
inline constexpr int kMaxNameBytes = 255;

// Line breaks removed; / \ : * ? " < > | and other control characters
// replaced by "_".
QString cleanName(const QString& name);

// A folder's directory name: cleanName, and "_" for a name that is then
// empty, "." or "..".
QString folderName(const QString& name);

// base + suffix + extension, base shortened at a character boundary so
// that the whole fits kMaxNameBytes. suffix is "" or "_N"; extension is
// "" or ".eml" and the like.
QString fitName(const QString& base, const QString& suffix, const QString& extension);

} // namespace exportnaming
