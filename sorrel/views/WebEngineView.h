#pragma once
// Renderer for mail bodies. Mail HTML comes from strangers, so the view is
// locked down: an off-the-record profile, no scripts of the page's own, no
// request leaves the process except data: and about:, no context menu, and
// links open in the desktop's browser (http, https and mailto only).
// Content is written with document.write from the application's isolated
// world into a blank document; a "Loading..." overlay covers the view until
// the newest write has finished.

#include <QWebEnginePage>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

class QLabel;
class QWebEngineProfile;

// Blocks every request whose scheme is neither data nor about.
class PstBlockingInterceptor : public QWebEngineUrlRequestInterceptor
{
    Q_OBJECT
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    static bool isAllowed(const QUrl& url);
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
};

// Page that hands clicked links and new-window requests to the desktop.
class MyWebPage : public QWebEnginePage
{
    Q_OBJECT
public:
    MyWebPage(QWebEngineProfile* profile, QObject* parent);

    // True for the schemes a mail link may open outside (http, https, mailto).
    static bool isExternalLink(const QUrl& url);
    // Opens url with the desktop's default handler when isExternalLink allows it.
    static bool openExternally(const QUrl& url);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
};

class WebEngineView : public QWebEngineView
{
    Q_OBJECT
public:
    explicit WebEngineView(QWidget* parent = nullptr);
    ~WebEngineView() override;

    // Covers the view with the overlay and stops the current page.
    void showLoading();
    // Writes html into the page; the overlay hides once the newest update is written.
    void updateHtml(const QString& html);

    // html with the font and scrollbar style block inserted before </head>,
    // before <body, or in front.
    static QString injectScrollbarStyle(const QString& html);
    // text escaped for a JavaScript template literal (\ ` $).
    static QString escapeTemplateLiteral(const QString& text);

    bool isOverlayVisible() const;
    bool isLoaded() const { return m_loaded != 0; }
    int updateCount() const { return m_counter; }

signals:
    // Emitted when the write of the newest update has finished.
    void htmlWritten();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    qint32 m_counter = 0;
    qint32 m_loaded = 0;
    QWidget* m_overlay = nullptr;
    QLabel* m_overlayLabel = nullptr;
    QWebEngineProfile* m_profile = nullptr;
    MyWebPage* m_page = nullptr;
};
