#include "host/window/RecentFiles.h"

#include "common/JsonFile.h"
#include "common/ProductProfile.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

QString recentFilesPath()
{
    const QString dir = ProductProfile::configDirectory();
    QDir().mkpath(dir);
    return dir + QStringLiteral("/recent_files.json");
}

void addRecentFile(const QString& path)
{
    if (path.isEmpty())
        return;
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QStringList files = loadRecentFiles();
    files.removeAll(absolute);
    files.prepend(absolute);
    while (files.size() > kMaxRecentFiles)
        files.removeLast();
    JsonFile::write(recentFilesPath(), QJsonDocument(QJsonArray::fromStringList(files)));
}

QStringList loadRecentFiles()
{
    const QJsonDocument document = JsonFile::read(recentFilesPath());
    QStringList files;
    if (!document.isArray())
        return files;
    for (const QJsonValue& value : document.array()) {
        const QString path = value.toString();
        if (path.isEmpty() || files.contains(path))
            continue;
        files.append(path);
        if (files.size() == kMaxRecentFiles)
            break;
    }
    return files;
}
