#pragma once
// The PST module's plug-in object: the root object the host's plug-in loader
// gets from the module library.

#include "common/DocumentPlugin.h"

#include <QObject>

class PstPlugin : public QObject, public IDocumentWidgetPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IDocumentWidgetPlugin_iid)
    Q_INTERFACES(IDocumentWidgetPlugin)

public:
    explicit PstPlugin(QObject* parent = nullptr);
    ~PstPlugin() override;

    QStringList supportedExtensions() const override;
    QWidget* createWidget(const QString& filePath, QWidget* parent, IDocumentWidgetHost* host,
                          QString* errorMessage) override;
    bool reservedQuery() const override;
    bool supportsBookmarks(const QString& filePath) const override;
};
