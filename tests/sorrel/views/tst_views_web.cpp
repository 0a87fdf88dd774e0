// Everything that needs a real web engine: the body renderer (writes land
// literally, a mail's own scripts never run, nothing is fetched from the
// network), the mail view and the detail pane.

#include "sorrel/items/PstItemKeys.h"
#include "sorrel/items/PstItemKinds.h"
#include "sorrel/items/PstMailItem.h"
#include "sorrel/store/PstFolderItem.h"
#include "sorrel/views/DetailViewController.h"
#include "sorrel/views/ElidedLabel.h"
#include "sorrel/views/PSTStackedWidget.h"
#include "sorrel/views/PstInfoView.h"
#include "sorrel/views/PstMailView.h"
#include "sorrel/views/WebEngineView.h"
#include "WrittenMail.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include <QApplication>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineScript>

namespace {

// Runs js in the isolated world and waits for its result.
QVariant evalIsolated(WebEngineView& view, const QString& js)
{
    QVariant result;
    bool done = false;
    view.page()->runJavaScript(js, QWebEngineScript::ApplicationWorld, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 20000))
        return QVariant(QStringLiteral("<timeout>"));
    return result;
}

bool showAndWait(WebEngineView& view, const QString& html)
{
    QSignalSpy written(&view, &WebEngineView::htmlWritten);
    view.showLoading();
    view.updateHtml(html);
    return written.wait(20000) || written.count() > 0;
}

} // namespace

class TestWebEngineView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void writesBodyLiterally();
    void mailScriptsDoNotRun();
    void remoteImageMakesNoConnection();
    void newestUpdateHidesOverlay();
    void styleInjection_data();
    void styleInjection();
    void metaRefreshIsDisarmed_data();
    void metaRefreshIsDisarmed();
    void refreshNeverReplacesThePage();
    void linkSchemes();
    void mailViewHeader();
    void plainTextBodyIsEscaped();
    void detailPane();

private:
    WebEngineView* m_view = nullptr;
};

void TestWebEngineView::initTestCase()
{
    m_view = new WebEngineView;
    m_view->resize(600, 400);
    m_view->show();
    QVERIFY(QTest::qWaitFor([&] { return m_view->isLoaded(); }, 30000));
}

void TestWebEngineView::writesBodyLiterally()
{
    const QString text = QStringLiteral("a `tick` \\n back ${1+1} $$ end");
    QVERIFY(showAndWait(*m_view, QStringLiteral("<html><HEAD></HEAD><body><p id='t'>%1</p></body></html>").arg(text)));
    QCOMPARE(evalIsolated(*m_view, QStringLiteral("document.getElementById('t').textContent")).toString(), text);
    QCOMPARE(evalIsolated(*m_view, QStringLiteral("!!document.getElementById('__custom_scrollbar__')")).toBool(), true);
    QVERIFY(!m_view->isOverlayVisible());
}

void TestWebEngineView::mailScriptsDoNotRun()
{
    const QString html = QStringLiteral(
        "<html><head><script>document.documentElement.setAttribute('data-ran','head');</script></head>"
        "<body onload=\"document.body.setAttribute('data-ran','onload')\">"
        "<p id='p'>hello</p>"
        "<script>document.getElementById('p').textContent='script';</script>"
        "<img src='data:,x' onerror=\"document.body.setAttribute('data-err','1')\">"
        "</body></html>");
    QVERIFY(showAndWait(*m_view, html));
    QTest::qWait(300);
    QCOMPARE(evalIsolated(*m_view, QStringLiteral("document.getElementById('p').textContent")).toString(),
             QStringLiteral("hello"));
    QCOMPARE(evalIsolated(*m_view, QStringLiteral("String(document.documentElement.getAttribute('data-ran'))"))
                 .toString(),
             QStringLiteral("null"));
    QCOMPARE(evalIsolated(*m_view, QStringLiteral("String(document.body.getAttribute('data-ran'))")).toString(),
             QStringLiteral("null"));
    QCOMPARE(evalIsolated(*m_view, QStringLiteral("String(document.body.getAttribute('data-err'))")).toString(),
             QStringLiteral("null"));
}

void TestWebEngineView::remoteImageMakesNoConnection()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort());
    const QString html = QStringLiteral(
        "<html><head><link rel='stylesheet' href='%1/s.css'></head><body>"
        "<img id='i' src='%1/pixel.png'>"
        "<iframe src='%1/frame.html'></iframe>"
        "<div style=\"background:url('%1/bg.png')\">x</div>"
        "<img src='file:///etc/hostname'>"
        "</body></html>").arg(base);
    QVERIFY(showAndWait(*m_view, html));
    // Give the engine time to attempt the loads.
    QTest::qWait(1500);
    QVERIFY2(!server.hasPendingConnections(), "the mail fetched from the network");
    // The image stays broken.
    QCOMPARE(evalIsolated(*m_view, QStringLiteral("document.getElementById('i').naturalWidth")).toInt(), 0);
}

void TestWebEngineView::newestUpdateHidesOverlay()
{
    QSignalSpy written(m_view, &WebEngineView::htmlWritten);
    m_view->showLoading();
    m_view->updateHtml(QStringLiteral("<p id='a'>A</p>"));
    m_view->showLoading();
    m_view->updateHtml(QStringLiteral("<p id='b'>B</p>"));
    QVERIFY(written.wait(20000));
    QCOMPARE(written.count(), 1); // only the newest write reports
    QVERIFY(!m_view->isOverlayVisible());
    QCOMPARE(evalIsolated(*m_view, QStringLiteral("document.body.textContent")).toString(), QStringLiteral("B"));
}

void TestWebEngineView::styleInjection_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("before"); // what the style block must directly precede
    QTest::newRow("head end in capitals") << "<html><HEAD><title>t</title></HEAD><body>x</body></html>" << "</head>";
    QTest::newRow("body tag with attributes") << "<html><BODY class='m'>x</BODY></html>" << "<body class='m'>";
    QTest::newRow("fragment") << "<p>x</p>" << "<p>x</p>";
}

void TestWebEngineView::styleInjection()
{
    QFETCH(QString, html);
    QFETCH(QString, before);
    const QString out = WebEngineView::injectScrollbarStyle(html);
    const QString end = QStringLiteral("</style>");
    const qsizetype at = out.indexOf(QStringLiteral("<style id=\"__custom_scrollbar__\">"));
    QVERIFY(at >= 0);
    QVERIFY(out.mid(out.indexOf(end, at) + end.size()).startsWith(before));
    QCOMPARE(out.count(QStringLiteral("__custom_scrollbar__")), 1);
    QCOMPARE(WebEngineView::escapeTemplateLiteral(QStringLiteral("a\\b`c${d}")), QStringLiteral("a\\\\b\\`c\\${d}"));
}

void TestWebEngineView::metaRefreshIsDisarmed_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");
    QTest::newRow("quoted") << R"(<meta http-equiv="refresh" content="0">)"
                            << R"(<meta data-disarmed-http-equiv="refresh" content="0">)";
    QTest::newRow("capitals, unquoted") << "<META HTTP-EQUIV=Refresh CONTENT=0>"
                                        << "<META data-disarmed-http-equiv=Refresh CONTENT=0>";
    QTest::newRow("after a quoted >") << R"(<meta name="a>b" http-equiv = 'refresh'>)"
                                      << R"(<meta name="a>b" data-disarmed-http-equiv = 'refresh'>)";
    QTest::newRow("slash as separator") << "<meta/http-equiv=refresh content=0>"
                                        << "<meta/data-disarmed-http-equiv=refresh content=0>";
    QTest::newRow("text and other tags stay") << R"(<p title="http-equiv=x">write http-equiv="refresh"</p>)"
                                              << R"(<p title="http-equiv=x">write http-equiv="refresh"</p>)";
}

void TestWebEngineView::metaRefreshIsDisarmed()
{
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QCOMPARE(WebEngineView::disarmHttpEquiv(html), expected);
}

void TestWebEngineView::refreshNeverReplacesThePage()
{
    QVERIFY(showAndWait(*m_view, QStringLiteral("<html><head><meta http-equiv=\"refresh\" content=\"0;url=about:blank\">"
                                                "</head><body><p>Kept</p></body></html>")));
    QTest::qWait(1500);
    QCOMPARE(evalIsolated(*m_view, QStringLiteral("document.body ? document.body.textContent : ''")).toString(),
             QStringLiteral("Kept"));
}

void TestWebEngineView::linkSchemes()
{
    QVERIFY(MyWebPage::isExternalLink(QUrl(QStringLiteral("https://example.org/a"))));
    QVERIFY(MyWebPage::isExternalLink(QUrl(QStringLiteral("HTTP://example.org/"))));
    QVERIFY(MyWebPage::isExternalLink(QUrl(QStringLiteral("mailto:a@example.org"))));
    for (const char* url : {"file:///etc/passwd", "javascript:alert(1)", "smb://host/share", "data:text/html,x", "ms-settings:"})
        QVERIFY2(!MyWebPage::isExternalLink(QUrl(QString::fromLatin1(url))), url);
    QVERIFY(PstBlockingInterceptor::isAllowed(QUrl(QStringLiteral("data:image/png;base64,AA=="))));
    QVERIFY(PstBlockingInterceptor::isAllowed(QUrl(QStringLiteral("about:blank"))));
    QVERIFY(!PstBlockingInterceptor::isAllowed(QUrl(QStringLiteral("file:///etc/hostname"))));
    QVERIFY(!PstBlockingInterceptor::isAllowed(QUrl(QStringLiteral("qrc:/img/x.png"))));
}

void TestWebEngineView::mailViewHeader()
{
    PstMailView view;
    view.resize(500, 400);
    view.show();
    auto label = [&](const char* name) { return view.findChild<QLabel*>(QLatin1String(name)); };
    auto button = view.findChild<QPushButton*>(QStringLiteral("attachmentBtn"));

    auto full = std::make_shared<PstMailItem>();
    full->setField(PstKey::Sender, QStringLiteral("Alice <b>A</b>"));
    full->setField(PstKey::SenderAddr, QStringLiteral("alice@example.org"));
    full->setField(PstKey::Recipients, QStringLiteral("Bob"));
    full->setField(PstKey::Cc, QStringLiteral("Carol"));
    full->setField(PstKey::Subject, QStringLiteral("<i>Hi</i>"));
    for (quint64 id : {1, 2}) {
        auto a = std::make_shared<Attachment>();
        a->name = QStringLiteral("file%1.txt").arg(id);
        a->id = id;
        full->addAttachment(a);
    }
    view.setItem(full);
    QCOMPARE(label("from")->text(), QStringLiteral("Alice <b>A</b>"));
    QCOMPARE(label("from")->textFormat(), Qt::PlainText);
    QCOMPARE(static_cast<ElidedLabel*>(label("fromLabel"))->fullText(), QStringLiteral("<alice@example.org>"));
    QVERIFY(label("fromLabel")->isVisible());
    QCOMPARE(label("dateLabel")->text(), QStringLiteral("No sent date"));
    QCOMPARE(label("toLabel")->text(), QStringLiteral("To: Bob"));
    QCOMPARE(static_cast<ElidedLabel*>(label("ccLabel"))->fullText(), QStringLiteral("Cc: Carol"));
    QVERIFY(label("ccLabel")->isVisible());
    QVERIFY(!label("bccLabel")->isVisible());
    QCOMPARE(static_cast<ElidedLabel*>(label("subjectLabel"))->fullText(), QStringLiteral("<i>Hi</i>"));
    QCOMPARE(label("subjectLabel")->textFormat(), Qt::PlainText);
    QVERIFY(button->isVisible());
    QCOMPARE(button->text(), QStringLiteral("Attachments (2)"));
    QVERIFY(view.attachmentMenu());
    QStringList entries;
    for (QAction* act : view.attachmentMenu()->actions())
        entries << act->text();
    QCOMPARE(entries, (QStringList{"file1.txt", "file2.txt", "", "Save All"}));

    auto bare = std::make_shared<PstMailItem>();
    view.setItem(bare);
    QVERIFY(!label("fromLabel")->isVisible());
    QVERIFY(!label("ccLabel")->isVisible());
    QVERIFY(!label("bccLabel")->isVisible());
    QVERIFY(label("toLabel")->isVisible());
    QCOMPARE(label("toLabel")->text(), QString());
    QVERIFY(!button->isVisible());

    // A record of another kind leaves the mail shown.
    view.setItem(std::make_shared<PstNoteItem>());
    QCOMPARE(label("toLabel")->text(), QString());
}

void TestWebEngineView::plainTextBodyIsEscaped()
{
    PstMailView view;
    view.resize(500, 400);
    view.show();
    const QString text = QStringLiteral("1 < 2 && <b>not bold</b>\n`tick` ${x}");
    QTemporaryDir dir;
    pstw::MessageSpec spec;
    spec.subject = QStringLiteral("Plain");
    spec.body = text;
    const auto m = writtenMail(dir.filePath(QStringLiteral("plain.pst")), spec);
    QVERIFY(m);
    QVERIFY(m->displayHtml().contains(QStringLiteral("&lt;b&gt;not bold&lt;/b&gt;")));
    QSignalSpy written(view.bodyView(), &WebEngineView::htmlWritten);
    view.setItem(m);
    QVERIFY(written.wait(20000));
    QCOMPARE(evalIsolated(*view.bodyView(), QStringLiteral("document.querySelector('div').textContent")).toString(), text);
    QCOMPARE(evalIsolated(*view.bodyView(), QStringLiteral("document.getElementsByTagName('b').length")).toInt(), 0);
}

void TestWebEngineView::detailPane()
{
    PSTStackedWidget pane;
    auto* blank = new QWidget;
    pane.addWidget(blank);
    DetailViewController controller(&pane, QString(), nullptr);
    QCOMPARE(pane.count(), 3);
    auto m = std::make_shared<PstMailItem>();
    controller.showItem(m);
    QCOMPARE(pane.currentWidget(), static_cast<QWidget*>(controller.mailView()));
    auto contact = std::make_shared<PstContactItem>();
    controller.showItem(contact);
    QCOMPARE(pane.currentWidget(), static_cast<QWidget*>(controller.infoView()));
    QCOMPARE(controller.currentItem(), std::shared_ptr<PstItem>(contact));
    controller.showItem(std::make_shared<PstFolderItem>());
    QCOMPARE(pane.currentIndex(), 0);
    QVERIFY(!controller.currentItem());
    controller.showItem(contact);
    controller.showItem(nullptr);
    QCOMPARE(pane.currentIndex(), 0);
    QVERIFY(!controller.currentItem());
}

QTEST_MAIN(TestWebEngineView)
#include "tst_views_web.moc"
