// A widget plug-in standing in for the page-based readers of the other
// editions: PDF, XPS and Winmail files. Its widgets are labels named by the
// file; PDF documents offer bookmarks.
#include "common/DocumentPlugin.h"

#include <QLabel>

class TestReaderPlugin : public QObject, public IDocumentWidgetPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IDocumentWidgetPlugin_iid)
    Q_INTERFACES(IDocumentWidgetPlugin)

public:
    QStringList supportedExtensions() const override
    {
        return {QStringLiteral(".pdf"), QStringLiteral(".xps"), QStringLiteral(".dat")};
    }
    QWidget* createWidget(const QString& filePath, QWidget* parent, IDocumentWidgetHost*, QString*) override
    {
        auto* label = new QLabel(filePath, parent);
        label->setObjectName(filePath);
        return label;
    }
    bool reservedQuery() const override { return false; }
    bool supportsBookmarks(const QString& filePath) const override { return filePath.endsWith(QLatin1String(".pdf")); }
};

#include "TestReaderPlugin.moc"
