#include "sorrel/shell/PstPlugin.h"

#include "sorrel/shell/PstViewWidget.h"

#include <QFileInfo>

PstPlugin::PstPlugin(QObject* parent) : QObject(parent) {}

PstPlugin::~PstPlugin() = default;

// Offline folder files (.ost) share the format; libpst reads both.
QStringList PstPlugin::supportedExtensions() const { return {QStringLiteral(".pst"), QStringLiteral(".ost")}; }

QWidget* PstPlugin::createWidget(const QString& filePath, QWidget* parent, IDocumentWidgetHost* host,
                                 QString* errorMessage)
{
    if (!filePath.isEmpty() && !QFileInfo(filePath).isFile()) {
        if (errorMessage)
            *errorMessage = tr("Unable to open the document.");
        return nullptr;
    }
    auto* widget = new PstViewWidget(parent, host);
    if (!filePath.isEmpty())
        widget->openFile(filePath);
    return widget;
}

bool PstPlugin::reservedQuery() const { return false; }

bool PstPlugin::supportsBookmarks(const QString&) const { return false; }
