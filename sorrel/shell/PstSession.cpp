#include "sorrel/shell/PstSession.h"

#include "common/ProductProfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>

namespace pstsession {

namespace {

QStringList stringsOf(const QJsonValue& value)
{
    QStringList out;
    for (const QJsonValue& v : value.toArray()) {
        if (v.isString())
            out << v.toString();
    }
    return cleanList(out);
}

} // namespace

QString sessionPathFor(const QString& path)
{
    if (!path.isEmpty())
        return path;
    return ProductProfile::configDirectory() + QStringLiteral("/pst_session.json");
}

QStringList cleanList(const QStringList& list)
{
    QStringList out;
    QSet<QString> seen;
    for (const QString& s : list) {
        if (s.isEmpty() || seen.contains(s))
            continue;
        seen.insert(s);
        out << s;
    }
    return out;
}

PstSession parseSession(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return {};
    const QJsonObject o = doc.object();
    const QJsonValue version = o.value(QLatin1String("version"));
    if (!version.isDouble() || version.toDouble() != kVersion)
        return {};
    PstSession s;
    s.openFiles = stringsOf(o.value(QLatin1String("openFiles")));
    s.expandedTreePaths = stringsOf(o.value(QLatin1String("expandedTreePaths")));
    s.currentTreePath = o.value(QLatin1String("currentTreePath")).toString();
    s.searchText = o.value(QLatin1String("searchText")).toString();
    return s;
}

QByteArray serializeSession(const PstSession& session)
{
    QJsonObject o;
    o.insert(QLatin1String("version"), kVersion);
    o.insert(QLatin1String("openFiles"), QJsonArray::fromStringList(cleanList(session.openFiles)));
    o.insert(QLatin1String("expandedTreePaths"), QJsonArray::fromStringList(cleanList(session.expandedTreePaths)));
    o.insert(QLatin1String("currentTreePath"), session.currentTreePath);
    o.insert(QLatin1String("searchText"), session.searchText);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

PstSession readSession(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.read(kMaxFileSize + 1);
    if (data.size() > kMaxFileSize)
        return {};
    return parseSession(data);
}

bool writeSession(const QString& path, const PstSession& session)
{
    const QString dir = QFileInfo(path).absolutePath();
    const bool dirOk = QDir::cleanPath(dir) == QDir::cleanPath(ProductProfile::configDirectory())
                           ? ProductProfile::makePrivateDirectory(dir)
                           : QDir().mkpath(dir);
    if (!dirOk)
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray data = serializeSession(session);
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace pstsession
