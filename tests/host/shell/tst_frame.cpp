// The frameless window frame, headless: adopting the main window, the title,
// the menu's requests reaching the main window, maximising from the title
// bar, moving by hand where the platform has no system move, the resize
// band, and the close button ending the program.
#include "host/shell/CustomWindowFrame.h"
#include "host/window/RecentFiles.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

namespace {

QWidget* makeContent(const QSize& minimum, const QSize& size)
{
    auto* content = new QWidget;
    if (minimum.isValid())
        content->setMinimumSize(minimum);
    content->resize(size);
    return content;
}

} // namespace

class TestFrame : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void adoptsTheContentAndShowsItsTitle();
    void menuRequestsReachTheCallbacks();
    void titleBarDoubleClickTogglesMaximise();
    void titleBarDragMovesTheWindowByHand();
    void resizeBand_data();
    void resizeBand();
    // Last: once the application has quit, no later event loop runs.
    void closeButtonEndsTheEventLoop();
};

void TestFrame::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    QCoreApplication::setApplicationName(QStringLiteral("Marrowin"));
}

void TestFrame::adoptsTheContentAndShowsItsTitle()
{
    QWidget* content = makeContent(QSize(900, 560), QSize(1104, 750));
    CustomWindowFrame frame(content, nullptr, 0, FrameCallbacks());
    auto* title = frame.findChild<QLabel*>(QStringLiteral("label_title"));
    QVERIFY(title);
    QCOMPARE(content->parentWidget()->objectName(), QStringLiteral("mainWidget"));
    // The title bar's 31 pixels come out of the content's minimum height.
    QCOMPARE(content->minimumSize(), QSize(900, 529));
    QCOMPARE(frame.minimumSize(), QSize(900, 560));
    QCOMPARE(frame.findChild<QWidget*>(QStringLiteral("frame_title"))->height(), 31);

    QCOMPARE(title->text(), QStringLiteral("Marrowin")); // no title yet: the display name
    content->setWindowTitle(QStringLiteral("PDF Reader"));
    QCOMPARE(title->text(), QStringLiteral("PDF Reader"));
    QCOMPARE(frame.windowTitle(), QStringLiteral("PDF Reader"));
    content->setWindowTitle(QString());
    QCOMPARE(frame.windowTitle(), QStringLiteral("Marrowin"));

    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QCOMPARE(frame.size(), QSize(1104, 750));
    // Centred in the available area, but never left of or above it.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(frame.x(), qMax(area.x(), area.x() + (area.width() - 1104) / 2));
    QCOMPARE(frame.y(), qMax(area.y(), area.y() + (area.height() - 750) / 2));
    QVERIFY(frame.windowFlags() & Qt::FramelessWindowHint);
}

void TestFrame::menuRequestsReachTheCallbacks()
{
    QStringList opened;
    QList<AppMenu::FileAction> actions;
    FrameCallbacks callbacks;
    callbacks.openFile = [&](const QString& path) { opened.append(path); };
    callbacks.fileAction = [&](AppMenu::FileAction action) { actions.append(action); };
    CustomWindowFrame frame(makeContent(QSize(), QSize(400, 300)), nullptr, 0, callbacks);

    addRecentFile(QStringLiteral("/mail/archive.pst"));
    QMenu* recent = frame.applicationMenu()->recentFilesMenu();
    frame.applicationMenu()->refreshRecentFiles();
    recent->actions().first()->trigger();
    QCOMPARE(opened, QStringList({QStringLiteral("/mail/archive.pst")}));
    emit frame.applicationMenu()->fileActionTriggered(AppMenu::OpenManagerBookmarks);
    QCOMPARE(actions, QList<AppMenu::FileAction>({AppMenu::OpenManagerBookmarks}));

    // A frame without callbacks ignores the same requests.
    CustomWindowFrame bare(makeContent(QSize(), QSize(400, 300)), nullptr, 0, FrameCallbacks());
    bare.applicationMenu()->refreshRecentFiles();
    bare.applicationMenu()->recentFilesMenu()->actions().first()->trigger();
    emit bare.applicationMenu()->fileActionTriggered(AppMenu::AddFile);
    QCOMPARE(opened.size(), 1);
    QCOMPARE(frame.findChild<QPushButton*>(QStringLiteral("btn_menu"))->menu(), frame.applicationMenu()->menu());
}

void TestFrame::titleBarDoubleClickTogglesMaximise()
{
    QWidget* content = makeContent(QSize(), QSize(400, 300));
    CustomWindowFrame frame(content, nullptr, 0, FrameCallbacks());
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    auto* title = frame.findChild<QLabel*>(QStringLiteral("label_title"));
    auto* maximize = frame.findChild<QPushButton*>(QStringLiteral("btn_maximize"));
    QCOMPARE(maximize->toolTip(), QStringLiteral("Maximize"));

    QTest::mouseDClick(content, Qt::LeftButton, {}, QPoint(50, 50));
    QVERIFY(!frame.isMaximized()); // outside the title bar: nothing

    QTest::mouseDClick(title, Qt::LeftButton, {}, QPoint(5, 5));
    QTRY_VERIFY(frame.isMaximized());
    QCOMPARE(maximize->toolTip(), QStringLiteral("Restore Down"));
    QTest::mouseDClick(title, Qt::LeftButton, {}, QPoint(5, 5));
    QTRY_VERIFY(!frame.isMaximized());
    QCOMPARE(maximize->toolTip(), QStringLiteral("Maximize"));

    // A state set from elsewhere (a keyboard shortcut, tiling) shows as well.
    frame.setWindowState(Qt::WindowMaximized);
    QTRY_COMPARE(maximize->toolTip(), QStringLiteral("Restore Down"));
}

void TestFrame::titleBarDragMovesTheWindowByHand()
{
    // The offscreen platform has no system move, so the frame moves itself.
    CustomWindowFrame frame(makeContent(QSize(), QSize(400, 300)), nullptr, 0, FrameCallbacks());
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    auto* title = frame.findChild<QLabel*>(QStringLiteral("label_title"));
    const QPoint start = frame.pos();
    QTest::mousePress(title, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(title, QPoint(45, 30));
    QTest::mouseRelease(title, Qt::LeftButton, {}, QPoint(45, 30));
    QCOMPARE(frame.pos(), start + QPoint(40, 25));
}

void TestFrame::resizeBand_data()
{
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<int>("edges");
    const int none = 0;
    QTest::newRow("inside") << QPoint(400, 300) << none;
    QTest::newRow("top left corner") << QPoint(0, 0) << int(Qt::TopEdge | Qt::LeftEdge);
    QTest::newRow("last pixel of the left band") << QPoint(4, 300) << int(Qt::LeftEdge);
    QTest::newRow("first pixel past the left band") << QPoint(5, 300) << none;
    QTest::newRow("right band") << QPoint(795, 300) << int(Qt::RightEdge);
    QTest::newRow("first pixel before the right band") << QPoint(794, 300) << none;
    QTest::newRow("bottom right corner") << QPoint(799, 599) << int(Qt::BottomEdge | Qt::RightEdge);
    QTest::newRow("top right corner") << QPoint(797, 2) << int(Qt::TopEdge | Qt::RightEdge);
    QTest::newRow("bottom left corner") << QPoint(1, 597) << int(Qt::BottomEdge | Qt::LeftEdge);
    QTest::newRow("outside") << QPoint(800, 10) << none;
}

void TestFrame::resizeBand()
{
    QFETCH(QPoint, pos);
    QFETCH(int, edges);
    QCOMPARE(int(CustomWindowFrame::resizeEdgesAt(QSize(800, 600), pos)), edges);
}

void TestFrame::closeButtonEndsTheEventLoop()
{
    CustomWindowFrame frame(makeContent(QSize(), QSize(400, 300)), nullptr, 0, FrameCallbacks());
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    auto* close = frame.findChild<QPushButton*>(QStringLiteral("btn_close"));
    QTimer::singleShot(0, close, [close] { QTest::mouseClick(close, Qt::LeftButton); });
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
    QCOMPARE(QApplication::exec(), 0);
}

QTEST_MAIN(TestFrame)
#include "tst_frame.moc"
