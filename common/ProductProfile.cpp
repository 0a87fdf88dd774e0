#include "common/ProductProfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

#ifndef MARROWIN_EDITION_ID
#define MARROWIN_EDITION_ID "MARROWIN"
#endif

namespace ProductProfile {
namespace {

QString productPath(const QString& base)
{
    return QDir::cleanPath(base) + QLatin1Char('/') + QLatin1String(kOrganizationName) + QLatin1Char('/')
           + QLatin1String(kApplicationName);
}

// The base-directory rules ignore a relative XDG value; Qt 6.4 takes it as
// it stands, which would put the files below whatever the working directory is.
QString absoluteOr(const QString& path, const char* homeRelativeDefault)
{
    if (QDir::isAbsolutePath(path))
        return path;
    return QDir::homePath() + QLatin1Char('/') + QLatin1String(homeRelativeDefault);
}

bool isPrivateDirectoryOfMine(const QByteArray& path, struct stat& st)
{
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

} // namespace

QString editionId() { return QStringLiteral(MARROWIN_EDITION_ID); }

QString configDirectory()
{
    return productPath(absoluteOr(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation), ".config"));
}

QString cacheDirectory()
{
    return productPath(absoluteOr(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation), ".cache"));
}

// Qt 6.4 has no state location: $XDG_STATE_HOME as the rules define it.
QString stateDirectory() { return productPath(absoluteOr(qEnvironmentVariable("XDG_STATE_HOME"), ".local/state")); }

QString logDirectory() { return stateDirectory() + QStringLiteral("/log"); }

QString runtimeDirectory()
{
    const QString value = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!QDir::isAbsolutePath(value))
        return {};
    struct stat st {};
    const QByteArray native = QFile::encodeName(value);
    if (::stat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()
        || (st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return {};
    return QDir::cleanPath(value);
}

QString tempDirectory()
{
    const QString runtime = runtimeDirectory();
    return runtime.isEmpty() ? cacheDirectory() + QStringLiteral("/tmp") : productPath(runtime);
}

bool makePrivateDirectory(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    const QByteArray native = QFile::encodeName(clean);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0) {
        // Created closed from the start, so nobody else can slip in between.
        const QString parent = QFileInfo(clean).path();
        if (!QDir().mkpath(parent) || (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST))
            return false;
    }
    if (!isPrivateDirectoryOfMine(native, st))
        return false;
    return (st.st_mode & 07777) == 0700 || ::chmod(native.constData(), 0700) == 0;
}

bool makeDirectories()
{
    bool ok = true;
    for (const QString& dir : {logDirectory(), configDirectory(), cacheDirectory(), tempDirectory()})
        ok = makePrivateDirectory(dir) && ok;
    return ok;
}

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
