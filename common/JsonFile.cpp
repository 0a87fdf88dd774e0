#include "common/JsonFile.h"

#include "common/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

namespace JsonFile {

QJsonDocument read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QJsonDocument();
    return QJsonDocument::fromJson(file.readAll());
}

bool write(const QString& path, const QJsonDocument& document)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    const QByteArray bytes = document.toJson(QJsonDocument::Indented);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        mw::logWarning(QStringLiteral("Could not save %1: %2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

} // namespace JsonFile
