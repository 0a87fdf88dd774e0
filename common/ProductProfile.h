#pragma once
// Build-time description of the product, shared by the host and its modules,
// and the one place that says where the program keeps its own files.

#include <QString>

namespace ProductProfile {

// "MARROWIN" (this edition), "LUMENFOLD" (all modules) or "TASSELBY" (mail
// attachments): chosen at build time with the CMake option MARROWIN_EDITION.
QString editionId();

inline constexpr const char* kInternalProductName = "Marrowin";
inline constexpr const char* kMakerId = "tarnwick";
inline constexpr const char* kOrganizationName = "Tarnwick";
inline constexpr const char* kApplicationName = "Marrowin";
inline constexpr const char* kShortProductName = "Marrowin";
inline constexpr const char* kChannel = "WEBSITE";
inline constexpr const char* kVersion = "2.3.0";
inline constexpr const char* kProductId = "10015";
inline constexpr const char* kWindowIconFile = "pst_icon.ico";
// The product's web page: the source of every web link of the menu and the
// About box; while it is empty those links are not offered.
inline constexpr const char* kWebsiteUrl = "";
// Reverse-DNS id: the installed .desktop entry, icon and AppStream file are
// named by it, and the windows carry it so the desktop finds that entry.
inline constexpr const char* kDesktopId = "com.tarnwick.Marrowin";

// The program's own directories, after the XDG base-directory rules, each
// ending in "/Tarnwick/Marrowin" (organisation and application name).
// Absolute, forward slashes; nothing is created here (see
// makePrivateDirectory). They do not depend on the names the calling
// process gave its QCoreApplication.
//
// Settings' neighbours: session, recent files, bookmarks. $XDG_CONFIG_HOME,
// else ~/.config. (The settings store itself is QSettings'
// ~/.config/Tarnwick/Marrowin.conf.)
QString configDirectory();
// Index caches and search index files. $XDG_CACHE_HOME, else ~/.cache.
QString cacheDirectory();
// $XDG_STATE_HOME, else ~/.local/state.
QString stateDirectory();
// Log files: stateDirectory() + "/log".
QString logDirectory();
// The user's runtime directory ($XDG_RUNTIME_DIR) when it is set, absolute,
// a directory owned by this user and closed to everybody else; else empty.
QString runtimeDirectory();
// Attachment temporary files: runtimeDirectory() + "/Tarnwick/Marrowin" when
// there is a runtime directory, else cacheDirectory() + "/tmp".
QString tempDirectory();

// Creates path (and its missing parents) so that only this user can enter
// it: mode 0700 for path itself, tightened when it already exists. False when
// path is not, or cannot become, a directory of this user's (a symbolic
// link, another owner's, a file in the way).
bool makePrivateDirectory(const QString& path);
// Makes the log, configuration, cache and temporary directories, each with
// makePrivateDirectory: they hold mail text, names and paths. False when one
// of them could not be made.
bool makeDirectories();

// Name shown in window titles and the About box.
QString displayName(const QString& editionId, const QString& makerId, const QString& channel,
                    const QString& fullName, const QString& shortName);
QString displayName();

} // namespace ProductProfile
