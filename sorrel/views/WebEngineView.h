#pragma once
// Renderer for mail bodies. Mail HTML comes from strangers, so the view is
// locked down: an off-the-record profile, no scripts of the page's own, no
// request leaves the process except data: and about:, no context menu, and
// links open in the desktop's browser (http, https and mailto only).
// Content is written with document.write from the application's isolated
// world into a blank document; a "Loading..." overlay covers the view until
// the newest write has finished. The print job renders its page in a hidden
// view of the same kind (Purpose::Print), without the mail's style block.

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

private:
    bool m_pageLoaded = false;  // the main frame has its one document
};

class WebEngineView : public QWebEngineView
{
    Q_OBJECT
public:
    // MailBody adds the font and scrollbar style to every page; Print writes
    // pages as they are (they bring their own style).
    enum class Purpose { MailBody, Print };

    explicit WebEngineView(QWidget* parent = nullptr, Purpose purpose = Purpose::MailBody);
    ~WebEngineView() override;

    // Covers the view with the overlay and stops the current page.
    void showLoading();
    // Writes html into the page; the overlay hides once the newest update is
    // written. Large pages are fine: nothing goes through setHtml's 2 MB limit.
    void updateHtml(const QString& html);

    // html with the font and scrollbar style block inserted before </head>,
    // before <body, or in front.
    static QString injectScrollbarStyle(const QString& html);
    // html whose meta tags lose their http-equiv attribute: a refresh would
    // otherwise replace the written page with about:blank (such navigations
    // never reach acceptNavigationRequest), and nothing else in it matters
    // for a page written as text.
    static QString disarmHttpEquiv(const QString& html);
    // text escaped for a JavaScript template literal (\ ` $).
    static QString escapeTemplateLiteral(const QString& text);

    bool isOverlayVisible() const;
    bool isLoaded() const { return m_loaded != 0; }
    int updateCount() const { return m_counter; }

signals:
    // Emitted when the write of the newest update has finished; ok is false
    // when the write failed (the page then shows nothing of it).
    void htmlWritten(bool ok);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    Purpose m_purpose = Purpose::MailBody;
    qint32 m_counter = 0;
    qint32 m_loaded = 0;
    QWidget* m_overlay = nullptr;
    QLabel* m_overlayLabel = nullptr;
    QWebEngineProfile* m_profile = nullptr;
    MyWebPage* m_page = nullptr;
};
