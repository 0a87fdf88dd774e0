#include "common/ProductProfile.h"

#include <QDir>

#ifndef MARROWIN_EDITION_ID
#define MARROWIN_EDITION_ID "MARROWIN"
#endif

namespace ProductProfile {

QString editionId() { return QStringLiteral(MARROWIN_EDITION_ID); }

QString configDirectory() { return QDir::homePath() + QLatin1String(kConfigDirSuffix); }
QString logDirectory() { return QDir::homePath() + QLatin1String(kLogDirSuffix); }
QString tempDirectory() { return QDir::homePath() + QLatin1String(kTempDirSuffix); }

QString displayName(const QString& editionId, const QString& makerId, const QString& channel,
                    const QString& fullName, const QString& shortName)
{
    if (editionId == QLatin1String("LUMENFOLD"))
        return fullName;
    if (makerId == QLatin1String("tarnwick") && channel != QLatin1String("MAS"))
        return fullName;
    return shortName;
}

QString displayName()
{
    static const QString name = displayName(editionId(), QString::fromLatin1(kMakerId),
                                            QString::fromLatin1(kChannel), QString::fromLatin1(kApplicationName),
                                            QString::fromLatin1(kShortProductName));
    return name;
}

} // namespace ProductProfile
