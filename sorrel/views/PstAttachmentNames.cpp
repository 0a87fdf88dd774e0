#include "sorrel/views/PstAttachmentNames.h"

#include <QDir>

namespace PstAttachmentNames {

QString safeFileName(const QString& name, quint64 id)
{
    const qsizetype cut = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    QString part = name.mid(cut + 1);
    part.removeIf([](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
    if (part.trimmed().isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
        return QStringLiteral("attachment_%1").arg(id);
    return part;
}

QString tempFileName(const QString& name, quint64 id)
{
    return QString::number(id) + QLatin1Char('_') + safeFileName(name, id);
}

QString pathInDirectory(const QString& dir, const QString& name, quint64 id)
{
    QString base = QDir::cleanPath(dir);
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + safeFileName(name, id);
}

} // namespace PstAttachmentNames
