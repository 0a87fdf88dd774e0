#pragma once
// Finds the document plug-in libraries, keeps them loaded, records which
// plug-in handles which file suffix and asks widget plug-ins for widgets.

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>

class IDocumentPlugin;
class IDocumentWidgetPlugin;
class IDocumentWidgetHost;
class QPluginLoader;
class QWidget;

class DocumentPluginManager : public QObject {
    Q_OBJECT
public:
    explicit DocumentPluginManager(QObject* parent = nullptr);
    // Deletes the loaders without unloading: plug-in objects stay valid
    // while their widgets are torn down.
    ~DocumentPluginManager() override;

    // "PST", " pst " and ".pst" all become ".pst"; empty stays empty.
    static QString normalizeSuffix(const QString& suffix);
    // ".pst" for "a/b.PST"; empty for a name without a dot.
    static QString suffixOfFile(const QString& path);
    // The directories searched, in order, as absolute cleaned paths.
    static QStringList searchDirectories();
    // Whether a directory entry is tried as a plug-in library (".so", any case).
    static bool isPluginFileName(const QString& fileName);

    void loadPlugins();
    void loadPlugin(const QString& path);

    QStringList allSupportedExtensions() const;
    QString openFileFilter() const;
    bool canOpenExtension(const QString& suffix) const;
    bool canOpenFile(const QString& path) const;
    bool hasWidgetPluginForFile(const QString& path) const;
    IDocumentWidgetPlugin* widgetPluginForFile(const QString& path) const;
    QWidget* createWidgetForFile(const QString& path, QWidget* parent, IDocumentWidgetHost* host,
                                 QString* errorMessage);
    QWidget* createWidgetForExtension(const QString& suffix, QWidget* parent, IDocumentWidgetHost* host,
                                      QString* errorMessage);

private:
    QHash<QString, IDocumentPlugin*> pageBySuffix;
    QHash<QString, IDocumentWidgetPlugin*> widgetBySuffix;
    QList<QPluginLoader*> loaders;
};
