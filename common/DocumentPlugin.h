#pragma once
// The contract between the host and its document plug-ins. Host and plug-in
// are separate binaries compiled against this one header, so the order of the
// virtual operations below must never change.

#include <QObject>
#include <QStringList>

class QWidget;

// What the host offers a module widget for its whole life. All calls happen
// on the GUI thread.
class IDocumentWidgetHost {
public:
    virtual ~IDocumentWidgetHost() = default;
    // The product's temporary directory (home + ".../Marrowin/Temp").
    virtual QString temporaryDirectory() const = 0;
    // Shows text in the host's status bar on behalf of owner, replacing
    // owner's earlier text.
    virtual void showStatusMessage(QObject* owner, const QString& text) = 0;
    // Withdraws owner's text; the previous owner's text shows again.
    virtual void clearStatusMessage(QObject* owner) = 0;
};

// A plug-in for page-based documents. The host registers its suffixes but
// opens documents through widget plug-ins only.
class IDocumentPlugin {
public:
    virtual ~IDocumentPlugin() = default;
    virtual QStringList supportedExtensions() const = 0;
};

// A plug-in that supplies a whole widget for its documents.
class IDocumentWidgetPlugin {
public:
    virtual ~IDocumentWidgetPlugin() = default;
    // Suffixes in any case, with or without the leading dot; the host
    // normalises them.
    virtual QStringList supportedExtensions() const = 0;
    // Makes a widget, opening filePath at once unless it is empty. The caller
    // owns the result. On failure returns null and may set *errorMessage.
    virtual QWidget* createWidget(const QString& filePath, QWidget* parent, IDocumentWidgetHost* host,
                                  QString* errorMessage) = 0;
    // Kept for binary compatibility; the host never asks. Plug-ins answer false.
    virtual bool reservedQuery() const = 0;
    // Whether page bookmarks are offered for this document.
    virtual bool supportsBookmarks(const QString& filePath) const = 0;
};

#define IDocumentPlugin_iid "com.example.reader.IDocumentPlugin/1.1"
#define IDocumentWidgetPlugin_iid "com.example.reader.IDocumentWidgetPlugin/1.0"

Q_DECLARE_INTERFACE(IDocumentPlugin, IDocumentPlugin_iid)
Q_DECLARE_INTERFACE(IDocumentWidgetPlugin, IDocumentWidgetPlugin_iid)

// Objects a page-document plug-in may hand out while it loads or renders a
// document. Declared for plug-ins of that kind; nothing here creates them.
class IDocumentLoader : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void progress(int current, int total, QString detail);
    void pdfDataReady(QByteArray pdfData);
    void pdfFileReady(QString pdfPath);
    void failed(QString errorMessage);
};

class IDocumentImageExporter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void progress(int current, int total, QString detail);
    void imageExported(QString filePath);
    void finished();
    void failed(QString errorMessage);
};
