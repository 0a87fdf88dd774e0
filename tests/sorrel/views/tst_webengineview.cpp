// The mail body renderer against a real web engine: writes land literally,
// a mail's own scripts never run, and nothing is fetched from the network.

#include "sorrel/views/WebEngineView.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTcpServer>
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

QTEST_MAIN(TestWebEngineView)
#include "tst_webengineview.moc"
