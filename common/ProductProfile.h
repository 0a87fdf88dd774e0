#pragma once
// Build-time description of the product, shared by the host and its modules.

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

inline constexpr const char* kConfigDirSuffix = "/AppData/Roaming/Tarnwick/Marrowin/Config";
inline constexpr const char* kLogDirSuffix = "/AppData/Roaming/Tarnwick/Marrowin/Log";
inline constexpr const char* kTempDirSuffix = "/AppData/Roaming/Tarnwick/Marrowin/Temp";

// Home directory followed by the constant, forward slashes.
QString configDirectory();
QString logDirectory();
QString tempDirectory();

// Name shown in window titles and the About box.
QString displayName(const QString& editionId, const QString& makerId, const QString& channel,
                    const QString& fullName, const QString& shortName);
QString displayName();

} // namespace ProductProfile
