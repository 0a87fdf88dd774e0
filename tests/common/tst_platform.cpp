// Bringing a window to the front: from hidden, from minimised, and through a
// child widget.
#include "common/Platform.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

class TestPlatform : public QObject {
    Q_OBJECT

private slots:
    void bringsHiddenAndMinimisedWindowsUp();
};

void TestPlatform::bringsHiddenAndMinimisedWindowsUp()
{
    QWidget window;
    auto* child = new QWidget(&window);
    window.setAttribute(Qt::WA_QuitOnClose, false);

    Platform::bringToFront(child);
    QVERIFY(window.isVisible());
    QVERIFY(window.testAttribute(Qt::WA_QuitOnClose));

    window.showMinimized();
    QVERIFY(window.isMinimized());
    Platform::bringToFront(&window);
    QVERIFY(!window.isMinimized());
    QVERIFY(window.isVisible());

    Platform::bringToFront(nullptr); // nothing to do, no crash
}

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
