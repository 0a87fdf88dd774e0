#include "sorrel/export/ExportNaming.h"

#include <QFile>
#include <QStringView>

namespace exportnaming {

namespace {

int nameBytes(QStringView text)
{
    return int(QFile::encodeName(text.toString()).size());
}

} // namespace

QString cleanName(const QString& name)
{
    QString out;
    out.reserve(name.size());
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u == '\r' || u == '\n')
            continue;
        if (u < 0x20 || u == 0x7F || QStringView(u"/\\:*?\"<>|").contains(c))
            out += QLatin1Char('_');
        else
            out += c;
    }
    return out;
}

QString folderName(const QString& name)
{
    const QString cleaned = cleanName(name);
    if (cleaned.isEmpty() || cleaned == QLatin1String(".") || cleaned == QLatin1String(".."))
        return QStringLiteral("_");
    return cleaned;
}

QString fitName(const QString& base, const QString& suffix, const QString& extension)
{
    const int room = kMaxNameBytes - nameBytes(suffix) - nameBytes(extension);
    if (nameBytes(base) <= room)
        return base + suffix + extension;
    // Whole code points only: a surrogate pair stays together.
    QString kept;
    int used = 0;
    for (qsizetype i = 0; i < base.size();) {
        const qsizetype len = base.at(i).isHighSurrogate() && i + 1 < base.size() ? 2 : 1;
        const int bytes = nameBytes(QStringView(base).mid(i, len));
        if (used + bytes > room)
            break;
        kept += QStringView(base).mid(i, len);
        used += bytes;
        i += len;
    }
    return kept + suffix + extension;
}

} // namespace exportnaming
