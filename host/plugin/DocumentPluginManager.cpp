#include "host/plugin/DocumentPluginManager.h"

#include "common/DocumentPlugin.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>

#include <algorithm>

DocumentPluginManager::DocumentPluginManager(QObject* parent) : QObject(parent) {}

DocumentPluginManager::~DocumentPluginManager() { qDeleteAll(loaders); }

QString DocumentPluginManager::normalizeSuffix(const QString& suffix)
{
    QString s = suffix.trimmed().toLower();
    if (!s.isEmpty() && !s.startsWith(QLatin1Char('.')))
        s.prepend(QLatin1Char('.'));
    return s;
}

QString DocumentPluginManager::suffixOfFile(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
}

QStringList DocumentPluginManager::searchDirectories()
{
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString workDir = QDir::currentPath();
    QStringList dirs = {
        programDir + QStringLiteral("/PlugIns/document"),
        programDir + QStringLiteral("/../PlugIns/document"),
        programDir + QStringLiteral("/plugins"),
        programDir + QStringLiteral("/document_plugins"),
    };
    // One directory per module of the product family, the PST module fourth.
    for (const char* module : {"/pdf", "/djvu", "/xps", "/sorrel", "/wpd"})
        dirs.append(workDir + QLatin1String(module));
    // An installed program's: the plug-ins are private to the program, in
    // its library directory (bin/../lib/marrowin/plugins).
    dirs.append(programDir + QLatin1Char('/') + QLatin1String(MARROWIN_INSTALLED_PLUGIN_DIR));
    for (QString& dir : dirs)
        dir = QDir::cleanPath(QDir(dir).absolutePath());
    return dirs;
}

bool DocumentPluginManager::isPluginFileName(const QString& fileName)
{
    return QFileInfo(fileName).suffix().compare(QLatin1String("so"), Qt::CaseInsensitive) == 0;
}

void DocumentPluginManager::loadPlugins()
{
    for (const QString& dirPath : searchDirectories()) {
        const QDir dir(dirPath);
        if (!dir.exists())
            continue;
        for (const QFileInfo& entry : dir.entryInfoList(QDir::Files)) {
            if (isPluginFileName(entry.fileName()))
                loadPlugin(entry.absoluteFilePath());
        }
    }
}

void DocumentPluginManager::loadPlugin(const QString& path)
{
    for (const QPluginLoader* loader : std::as_const(loaders)) {
        if (loader->fileName() == path)
            return;
    }
    auto* loader = new QPluginLoader(path);
    QObject* root = loader->instance();
    if (!root) {
        qWarning().noquote() << QStringLiteral("Failed to load document plugin \"%1\": %2").arg(path, loader->errorString());
        delete loader;
        return;
    }
    auto* page = qobject_cast<IDocumentPlugin*>(root);
    auto* widget = qobject_cast<IDocumentWidgetPlugin*>(root);
    if (!page && !widget) {
        qWarning().noquote() << QStringLiteral("Ignored document plugin \"%1\": unsupported plugin interface").arg(path);
        loader->unload();
        delete loader;
        return;
    }
    // A later plug-in claiming the same suffix replaces the earlier one.
    // Blank entries would match every file in the dialog filter; skip them.
    if (page) {
        for (const QString& suffix : page->supportedExtensions()) {
            if (const QString s = normalizeSuffix(suffix); !s.isEmpty())
                pageBySuffix.insert(s, page);
        }
    }
    if (widget) {
        for (const QString& suffix : widget->supportedExtensions()) {
            if (const QString s = normalizeSuffix(suffix); !s.isEmpty())
                widgetBySuffix.insert(s, widget);
        }
    }
    loaders.append(loader);
}

QStringList DocumentPluginManager::allSupportedExtensions() const
{
    QStringList all = pageBySuffix.keys();
    for (const QString& suffix : widgetBySuffix.keys()) {
        if (!all.contains(suffix))
            all.append(suffix);
    }
    std::sort(all.begin(), all.end());
    return all;
}

QString DocumentPluginManager::openFileFilter() const
{
    QStringList patterns;
    for (const QString& suffix : allSupportedExtensions())
        patterns.append(QLatin1Char('*') + suffix);
    return tr("Supported Documents (%1)").arg(patterns.join(QLatin1Char(' '))) + QStringLiteral(";;")
           + tr("All Files (*)");
}

bool DocumentPluginManager::canOpenExtension(const QString& suffix) const
{
    const QString s = normalizeSuffix(suffix);
    return !s.isEmpty() && (pageBySuffix.contains(s) || widgetBySuffix.contains(s));
}

bool DocumentPluginManager::canOpenFile(const QString& path) const
{
    const QString s = suffixOfFile(path);
    return !s.isEmpty() && (pageBySuffix.contains(s) || widgetBySuffix.contains(s));
}

bool DocumentPluginManager::hasWidgetPluginForFile(const QString& path) const
{
    return widgetPluginForFile(path) != nullptr;
}

IDocumentWidgetPlugin* DocumentPluginManager::widgetPluginForFile(const QString& path) const
{
    const QString s = suffixOfFile(path);
    return s.isEmpty() ? nullptr : widgetBySuffix.value(s);
}

QWidget* DocumentPluginManager::createWidgetForFile(const QString& path, QWidget* parent, IDocumentWidgetHost* host,
                                                    QString* errorMessage)
{
    IDocumentWidgetPlugin* plugin = widgetPluginForFile(path);
    return plugin ? plugin->createWidget(path, parent, host, errorMessage) : nullptr;
}

QWidget* DocumentPluginManager::createWidgetForExtension(const QString& suffix, QWidget* parent,
                                                         IDocumentWidgetHost* host, QString* errorMessage)
{
    IDocumentWidgetPlugin* plugin = widgetBySuffix.value(normalizeSuffix(suffix));
    return plugin ? plugin->createWidget(QString(), parent, host, errorMessage) : nullptr;
}
