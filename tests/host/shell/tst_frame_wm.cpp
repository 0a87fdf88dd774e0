// The frame under a real window manager (openbox on a virtual screen): the
// window manager maximises and restores it and the frame follows; the
// frame's own maximise goes through the window manager; a real pointer
// moves the window by its title bar and resizes it at its edge, and a
// double-click on the title bar still maximises after such moves.
//
// Positions are read from the X server: Qt's own idea of a top-level's
// position can lag behind a reparenting window manager, sizes and states
// cannot.
#include "host/shell/CustomWindowFrame.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

namespace {

// Runs a desktop tool while this process keeps answering its windows;
// returns its output, or a null string when it failed.
QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    QElapsedTimer timer;
    timer.start();
    while (process.state() != QProcess::NotRunning && timer.elapsed() < 30000)
        QTest::qWait(20);
    if (process.state() != QProcess::NotRunning || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        return QString();
    return QString::fromLocal8Bit(process.readAllStandardOutput()) + QLatin1Char(' ');
}

QString windowId(const QWidget& window) { return QString::number(window.winId()); }

// The window's rectangle as the X server has it.
QRect xGeometry(const QWidget& window)
{
    const QString shell =
        run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), windowId(window)});
    auto value = [&](const char* key) {
        return QRegularExpression(QStringLiteral("%1=(-?\\d+)").arg(QLatin1String(key))).match(shell).captured(1).toInt();
    };
    return QRect(value("X"), value("Y"), value("WIDTH"), value("HEIGHT"));
}

bool isManaged(const QWidget& window)
{
    const QString list = run(QStringLiteral("wmctrl"), {QStringLiteral("-l")});
    return list.contains(QStringLiteral("0x%1").arg(window.winId(), 8, 16, QLatin1Char('0')));
}

// Asks the window manager (as a pager or a keyboard shortcut would) until
// the window's state has followed.
bool maximizeByWindowManager(const QWidget& window, bool maximized)
{
    const QStringList args = {QStringLiteral("-i"), QStringLiteral("-r"), windowId(window), QStringLiteral("-b"),
                              (maximized ? QStringLiteral("add") : QStringLiteral("remove"))
                                  + QStringLiteral(",maximized_vert,maximized_horz")};
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (run(QStringLiteral("wmctrl"), args).isNull())
            return false;
        for (int i = 0; i < 50 && window.isMaximized() != maximized; ++i)
            QTest::qWait(20);
        if (window.isMaximized() == maximized)
            return true;
    }
    return false;
}

// Presses the first button at from, drags through two steps to to and
// releases it there.
bool drag(const QPoint& from, const QPoint& to)
{
    QStringList args;
    auto moveTo = [&](const QPoint& p) {
        args << QStringLiteral("mousemove") << QString::number(p.x()) << QString::number(p.y())
             << QStringLiteral("sleep") << QStringLiteral("0.3");
    };
    moveTo(from);
    args << QStringLiteral("mousedown") << QStringLiteral("1") << QStringLiteral("sleep") << QStringLiteral("0.3");
    moveTo(from + QPoint(15, 10));
    moveTo((from + to) / 2);
    moveTo(to);
    args << QStringLiteral("mouseup") << QStringLiteral("1");
    return !run(QStringLiteral("xdotool"), args).isNull();
}

} // namespace

class TestFrameWindowManager : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void maximiseAndRestoreFollowTheWindowManager();
    void pointerMovesAndResizesThroughTheWindowManager();

private:
    std::unique_ptr<CustomWindowFrame> frame;
    QPushButton* maximize = nullptr;
    QLabel* title = nullptr;
};

void TestFrameWindowManager::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    QCoreApplication::setApplicationName(QStringLiteral("Marrowin"));
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
}

void TestFrameWindowManager::init()
{
    auto* content = new QWidget;
    content->setMinimumSize(400, 300);
    content->resize(600, 400);
    frame = std::make_unique<CustomWindowFrame>(content, nullptr, 0, FrameCallbacks());
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame.get(), 30000));
    QTRY_VERIFY_WITH_TIMEOUT(isManaged(*frame), 30000);
    // Placed where the frame centred itself once the window manager is done.
    const QRect area = frame->screen()->availableGeometry();
    const QRect centred(area.x() + (area.width() - 600) / 2, area.y() + (area.height() - 400) / 2, 600, 400);
    QTRY_COMPARE_WITH_TIMEOUT(xGeometry(*frame), centred, 30000);
    maximize = frame->findChild<QPushButton*>(QStringLiteral("btn_maximize"));
    title = frame->findChild<QLabel*>(QStringLiteral("label_title"));
    QVERIFY(maximize && title);
}

void TestFrameWindowManager::cleanup() { frame.reset(); }

void TestFrameWindowManager::maximiseAndRestoreFollowTheWindowManager()
{
    const QRect screen = frame->screen()->availableGeometry();
    const QRect normal = xGeometry(*frame);
    QCOMPARE(normal.size(), QSize(600, 400));

    QVERIFY(maximizeByWindowManager(*frame, true));
    QTRY_COMPARE_WITH_TIMEOUT(frame->size(), screen.size(), 10000);
    QCOMPARE(xGeometry(*frame), screen);
    QCOMPARE(maximize->toolTip(), QStringLiteral("Restore Down"));

    QVERIFY(maximizeByWindowManager(*frame, false));
    QTRY_COMPARE_WITH_TIMEOUT(frame->size(), normal.size(), 10000);
    QCOMPARE(xGeometry(*frame), normal);
    QCOMPARE(maximize->toolTip(), QStringLiteral("Maximize"));

    // The frame's own button and title bar ask the window manager too.
    QTest::mouseClick(maximize, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(frame->isMaximized(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(frame->size(), screen.size(), 10000);
    QTest::mouseDClick(title, Qt::LeftButton, {}, QPoint(5, 5));
    QTRY_VERIFY_WITH_TIMEOUT(!frame->isMaximized(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(frame->size(), normal.size(), 10000);
}

void TestFrameWindowManager::pointerMovesAndResizesThroughTheWindowManager()
{
    const QRect before = xGeometry(*frame);
    const QPoint onTitle = before.topLeft() + title->mapTo(frame.get(), QPoint(5, title->height() / 2));
    QVERIFY(drag(onTitle, onTitle + QPoint(120, 70)));
    // The window follows the pointer from where the drag began to count.
    QRect moved;
    QTRY_VERIFY_WITH_TIMEOUT((moved = xGeometry(*frame)).topLeft() != before.topLeft(), 10000);
    const QPoint shift = moved.topLeft() - before.topLeft();
    QVERIFY2(shift.x() >= 120 - 15 && shift.x() <= 120 && shift.y() >= 70 - 10 && shift.y() <= 70,
             qPrintable(QStringLiteral("moved by %1,%2").arg(shift.x()).arg(shift.y())));
    QCOMPARE(moved.size(), before.size());

    const QPoint corner = moved.bottomRight() - QPoint(1, 1);
    QVERIFY(drag(corner, corner + QPoint(90, 60)));
    QTRY_COMPARE_WITH_TIMEOUT(frame->size(), before.size() + QSize(90, 60), 10000);
    QCOMPARE(xGeometry(*frame).topLeft(), moved.topLeft());

    // After the window manager's moves a double-click is still one.
    const QPoint again = moved.topLeft() + title->mapTo(frame.get(), QPoint(5, title->height() / 2));
    QVERIFY(!run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(again.x()),
                                             QString::number(again.y()), QStringLiteral("sleep"), QStringLiteral("0.3"),
                                             QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
                                             QStringLiteral("--delay"), QStringLiteral("120"), QStringLiteral("1")})
                 .isNull());
    QTRY_VERIFY_WITH_TIMEOUT(frame->isMaximized(), 10000);
}

QTEST_MAIN(TestFrameWindowManager)
#include "tst_frame_wm.moc"
