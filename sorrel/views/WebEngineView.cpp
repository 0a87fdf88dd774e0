#include "sorrel/views/WebEngineView.h"

#include <QAction>
#include <QDesktopServices>
#include <QLabel>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

namespace {

const char kStyleText[] =
    "\n"
    "        body {\n"
    "            font-family: \"Microsoft YaHei\", \"PingFang SC\", \"Segoe UI\", \"Helvetica Neue\", \"Arial\", sans-serif;\n"
    "        }\n"
    "        ::-webkit-scrollbar { width: 9px; height: 9px; }\n"
    "        ::-webkit-scrollbar-thumb { background: rgba(0,0,0,20%); border-radius: 5px; }\n"
    "        ::-webkit-scrollbar-thumb:hover { background: rgba(0,0,0,50%); }\n"
    "        ::-webkit-scrollbar-track { background: transparent; }\n"
    "    ";

const char kScriptTemplate[] =
    "\n"
    "        (function() {\n"
    "            if (document.getElementById('__custom_scrollbar__')) return;\n"
    "            var style = document.createElement('style');\n"
    "            style.id = '__custom_scrollbar__';\n"
    "            style.textContent = `%1`;\n"
    "            document.documentElement.appendChild(style);\n"
    "        })();\n"
    "    ";

const char kStyleElement[] =
    "<style id=\"__custom_scrollbar__\">\n"
    "        body {\n"
    "            font-family: \"Microsoft YaHei\",\"PingFang SC\",\"Segoe UI\",\"Helvetica Neue\",\"Arial\",sans-serif;\n"
    "        }\n"
    "        ::-webkit-scrollbar { width: 9px; height: 9px; }\n"
    "        ::-webkit-scrollbar-thumb { background: rgba(0,0,0,20%); border-radius: 5px; }\n"
    "        ::-webkit-scrollbar-thumb:hover { background: rgba(0,0,0,50%); }\n"
    "        ::-webkit-scrollbar-track { background: transparent; }\n"
    "    </style>";

// A page for one new-window request: its first navigation goes to the
// desktop (when the scheme allows it) and the page goes away.
class PopupPage : public QWebEnginePage
{
public:
    PopupPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override
    {
        if (!m_handled) {
            m_handled = true;
            if (url.isValid())
                MyWebPage::openExternally(url);
            deleteLater();
        }
        return false;
    }

private:
    bool m_handled = false;
};

} // namespace

bool PstBlockingInterceptor::isAllowed(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("data") || scheme == QLatin1String("about");
}

void PstBlockingInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    if (!isAllowed(info.requestUrl()))
        info.block(true);
}

MyWebPage::MyWebPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {}

bool MyWebPage::isExternalLink(const QUrl& url)
{
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https")
        || scheme == QLatin1String("mailto");
}

bool MyWebPage::openExternally(const QUrl& url)
{
    if (!isExternalLink(url))
        return false;
    return QDesktopServices::openUrl(url);
}

bool MyWebPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    if (type == NavigationTypeLinkClicked) {
        openExternally(url);
        return false;
    }
    if (!PstBlockingInterceptor::isAllowed(url))
        return false;
    // The blank document we start with is the only page the main frame ever
    // loads; content is written into it. Nothing replaces it afterwards, not
    // even about:blank (a meta refresh or a form would otherwise wipe the mail).
    if (isMainFrame) {
        if (m_pageLoaded)
            return false;
        m_pageLoaded = true;
    }
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

QWebEnginePage* MyWebPage::createWindow(WebWindowType)
{
    return new PopupPage(profile(), this);
}

WebEngineView::WebEngineView(QWidget* parent, Purpose purpose) : QWebEngineView(parent), m_purpose(purpose)
{
    m_profile = new QWebEngineProfile(this);
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    m_profile->setSpellCheckEnabled(false);
    m_profile->setUrlRequestInterceptor(new PstBlockingInterceptor(m_profile));

    QWebEngineSettings* s = m_profile->settings();
    s->setAttribute(QWebEngineSettings::AutoLoadImages, true);
    // Page content never runs scripts; our own writes use the isolated world.
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
    s->setAttribute(QWebEngineSettings::WebGLEnabled, false);
    s->setAttribute(QWebEngineSettings::Accelerated2dCanvasEnabled, false);
    s->setAttribute(QWebEngineSettings::ScrollAnimatorEnabled, false);
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::HyperlinkAuditingEnabled, false);
    s->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    s->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);

    m_page = new MyWebPage(m_profile, this);
    setPage(m_page);
    connect(m_page, &QWebEnginePage::loadFinished, this, [this](bool) { m_loaded = 1; });
    m_page->setContent(QByteArrayLiteral("<html><body></body></html>"),
                       QStringLiteral("text/html;charset=UTF-8"), QUrl(QStringLiteral("about:blank")));

    if (m_purpose == Purpose::MailBody) {
        QWebEngineScript script;
        script.setName(QStringLiteral("custom-scrollbar"));
        script.setInjectionPoint(QWebEngineScript::DocumentReady);
        script.setWorldId(QWebEngineScript::ApplicationWorld);
        script.setRunsOnSubFrames(true);
        script.setSourceCode(QString::fromLatin1(kScriptTemplate).arg(QString::fromLatin1(kStyleText)));
        m_page->scripts().insert(script);
    }

    setContextMenuPolicy(Qt::NoContextMenu);

    m_overlay = new QWidget(this);
    m_overlay->setStyleSheet(QStringLiteral("background: white;"));
    auto* layout = new QVBoxLayout(m_overlay);
    m_overlayLabel = new QLabel(QStringLiteral("Loading..."), m_overlay);
    m_overlayLabel->setAlignment(Qt::AlignCenter);
    m_overlayLabel->setStyleSheet(QStringLiteral("color: #999; font-size: 14px;"));
    layout->addWidget(m_overlayLabel);
    m_overlay->hide();
}

WebEngineView::~WebEngineView()
{
    // The page must go before its profile.
    delete m_page;
}

bool WebEngineView::isOverlayVisible() const
{
    return !m_overlay->isHidden();
}

void WebEngineView::showLoading()
{
    ++m_counter;
    m_overlay->setGeometry(0, 0, width(), height());
    m_overlay->show();
    m_overlay->raise();
    m_page->triggerAction(QWebEnginePage::Stop);
}

void WebEngineView::resizeEvent(QResizeEvent* event)
{
    QWebEngineView::resizeEvent(event);
    if (!m_overlay->isHidden())
        m_overlay->setGeometry(0, 0, width(), height());
}

QString WebEngineView::escapeTemplateLiteral(const QString& text)
{
    QString out = text;
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    out.replace(QLatin1Char('`'), QLatin1String("\\`"));
    out.replace(QLatin1Char('$'), QLatin1String("\\$"));
    return out;
}

void WebEngineView::updateHtml(const QString& html)
{
    const qint32 token = ++m_counter;
    m_page->triggerAction(QWebEnginePage::Stop);
    const QString page = disarmHttpEquiv(html);
    const QString text = escapeTemplateLiteral(m_purpose == Purpose::MailBody ? injectScrollbarStyle(page) : page);
    // The final "true" tells a finished write from one that threw (no result).
    const QString js = QStringLiteral("document.open();document.write(`%1`);document.close();true").arg(text);
    QPointer<WebEngineView> self(this);
    m_page->runJavaScript(js, QWebEngineScript::ApplicationWorld, [self, token](const QVariant& result) {
        if (!self || self->m_counter != token)
            return;
        self->m_overlay->hide();
        emit self->htmlWritten(result.toBool());
    });
}

QString WebEngineView::disarmHttpEquiv(const QString& html)
{
    // A whole meta tag, quoted values may hold ">".
    static const QRegularExpression metaTag(QStringLiteral("<meta\\b(?:[^>\"']++|\"[^\"]*+\"|'[^']*+')*+>?"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression httpEquiv(QStringLiteral("([\\s/\"'])http-equiv(?=\\s*=)"),
                                              QRegularExpression::CaseInsensitiveOption);
    if (!html.contains(QLatin1String("http-equiv"), Qt::CaseInsensitive))
        return html;
    QString out;
    out.reserve(html.size());
    qsizetype done = 0;
    for (auto it = metaTag.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(html).mid(done, m.capturedStart() - done);
        out += m.captured().replace(httpEquiv, QStringLiteral("\\1data-disarmed-http-equiv"));
        done = m.capturedEnd();
    }
    out += QStringView(html).mid(done);
    return out;
}

QString WebEngineView::injectScrollbarStyle(const QString& html)
{
    const QString style = QString::fromLatin1(kStyleElement);
    QString out = html;
    if (out.contains(QLatin1String("</head>"), Qt::CaseInsensitive)) {
        out.replace(QLatin1String("</head>"), style + QLatin1String("</head>"), Qt::CaseInsensitive);
        return out;
    }
    if (out.contains(QLatin1String("<body"), Qt::CaseInsensitive)) {
        static const QRegularExpression bodyStart(QStringLiteral("<body"),
                                                  QRegularExpression::CaseInsensitiveOption);
        out.replace(bodyStart, style + QLatin1String("<body"));
        return out;
    }
    return style + out;
}
