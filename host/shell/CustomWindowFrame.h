#pragma once
// The program's top-level window: a frameless window with its own title bar
// (icon, title, application menu, minimise, maximise, close) around the main
// window. Moving and resizing are handed to the window manager
// (QWindow::startSystemMove / startSystemResize), so snapping, tiling and
// keyboard moves work as for any other window, on X11 and Wayland alike.

#include "host/window/AppMenu.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <optional>

namespace Ui {
class CustomWindowFrame;
}

// How the frame reaches the main window; an empty callback is never called.
struct FrameCallbacks {
    int mode = 0;
    std::function<void(const QString& path)> openFile;
    std::function<void(AppMenu::FileAction action)> fileAction;
    std::function<void(const QString& moduleId)> removeInstalledModule;
    std::function<void()> removeAllInstalledModules;
};

class CustomWindowFrame : public QMainWindow {
    Q_OBJECT
public:
    // Adopts content (re-parented into the frame, not owned by the caller
    // any more). Mode 0 is the single-module frame of this program.
    CustomWindowFrame(QWidget* content, QWidget* parent, int mode, const FrameCallbacks& callbacks);
    ~CustomWindowFrame() override;

    QWidget* contentWidget() const { return content; }
    AppMenu* applicationMenu() const { return appMenu; }

    // Width of the band along the window's edges where a press resizes it.
    static constexpr int kResizeBand = 5;
    // The edges whose band contains pos (window coordinates).
    static Qt::Edges resizeEdgesAt(const QSize& windowSize, const QPoint& pos, int band = kResizeBand);

    // Maximises, or restores a maximised window; the window manager decides
    // and the frame follows the state it reports.
    void toggleMaximized();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    // Used by the multi-module frame only.
    void setHomePageActive(bool active) { Q_UNUSED(active) }

private:
    bool isOnTitleBar(const QPointF& framePos) const;
    void updateTitle();
    void retranslate();
    void followWindowState();
    void setHoverEdges(Qt::Edges edges);
    void dragBy(const QPointF& globalPos);

    Ui::CustomWindowFrame* ui = nullptr;
    QPointer<QWidget> content;
    AppMenu* appMenu = nullptr;
    int mode = 0;
    FrameCallbacks callbacks;
    bool titlePressed = false;     // left button went down on the title bar
    bool dragging = false;         // moving by hand: the platform offers no system move
    QPointF dragStart;             // global position of the press, then of the last drag step
    Qt::Edges hoverEdges;
    bool firstShown = false;
    std::optional<QPoint> placedAt; // where the first show put the window, until it is confirmed
    QSize contentSize;
};
