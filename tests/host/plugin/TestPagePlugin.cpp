// A page-document plug-in: its suffix is registered but opens nothing.
#include "common/DocumentPlugin.h"

class TestPagePlugin : public QObject, public IDocumentPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IDocumentPlugin_iid)
    Q_INTERFACES(IDocumentPlugin)

public:
    QStringList supportedExtensions() const override { return {QStringLiteral("Page")}; }
};

#include "TestPagePlugin.moc"
