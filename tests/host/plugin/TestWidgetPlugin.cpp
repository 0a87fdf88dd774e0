// A widget plug-in with suffixes written in the sloppy ways plug-ins may
// write them. Its widgets are labels naming the library file they came from
// (so a test can tell two copies apart), and it logs through the shared sink.
#include "common/DocumentPlugin.h"
#include "common/Log.h"

#include <QLabel>

#include <dlfcn.h>

namespace {
QString libraryFile()
{
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&libraryFile), &info);
    return QString::fromLocal8Bit(info.dli_fname);
}
} // namespace

class TestWidgetPlugin : public QObject, public IDocumentWidgetPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IDocumentWidgetPlugin_iid)
    Q_INTERFACES(IDocumentWidgetPlugin)

public:
    QStringList supportedExtensions() const override
    {
        return {QStringLiteral(" PST"), QStringLiteral("pst"), QStringLiteral(".Tst "), QStringLiteral("  ")};
    }
    QWidget* createWidget(const QString& filePath, QWidget* parent, IDocumentWidgetHost*, QString* error) override
    {
        if (filePath.endsWith(QLatin1String("refuse.tst"))) {
            if (error)
                *error = QStringLiteral("refused");
            return nullptr;
        }
        mw::logInfo(QStringLiteral("test plugin made a widget for [%1]").arg(filePath));
        auto* label = new QLabel(libraryFile(), parent);
        label->setObjectName(filePath);
        return label;
    }
    bool reservedQuery() const override { return false; }
    bool supportsBookmarks(const QString&) const override { return false; }
};

#include "TestWidgetPlugin.moc"
