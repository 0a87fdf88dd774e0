#include "host/shell/CustomWindowFrame.h"

#include "ui_CustomWindowFrame.h"

#include "common/MultiLanguage.h"
#include "common/ProductProfile.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWindow>

static void initFrameResources() { Q_INIT_RESOURCE(host_window); }

namespace {

constexpr int kTitleBarHeight = 31;

QIcon twoSizeIcon(const QString& name)
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/img/%1-16.png").arg(name), QSize(16, 16));
    icon.addFile(QStringLiteral(":/img/%1-32.png").arg(name), QSize(32, 32));
    return icon;
}

Qt::CursorShape cursorFor(Qt::Edges edges)
{
    const bool left = edges & Qt::LeftEdge, right = edges & Qt::RightEdge;
    const bool top = edges & Qt::TopEdge, bottom = edges & Qt::BottomEdge;
    if ((top && left) || (bottom && right))
        return Qt::SizeFDiagCursor;
    if ((top && right) || (bottom && left))
        return Qt::SizeBDiagCursor;
    if (left || right)
        return Qt::SizeHorCursor;
    return Qt::SizeVerCursor;
}

} // namespace

CustomWindowFrame::CustomWindowFrame(QWidget* contentWidget, QWidget* parent, int mode,
                                     const FrameCallbacks& frameCallbacks)
    : QMainWindow(parent), ui(new Ui::CustomWindowFrame), content(contentWidget), mode(mode),
      callbacks(frameCallbacks)
{
    initFrameResources();
    ui->setupUi(this);
    setAcceptDrops(mode == 1);

    if (content) {
        contentSize = content->size();
        const QSize minimum = content->minimumSize();
        content->setParent(ui->mainWidget);
        ui->gridLayout_2->addWidget(content, 0, 0);
        if (!minimum.isEmpty()) {
            content->setMinimumSize(minimum.width(), qMax(0, minimum.height() - kTitleBarHeight));
            setMinimumSize(minimum);
        }
        connect(content, &QWidget::windowTitleChanged, this, &CustomWindowFrame::updateTitle);
        content->show();
    }

    setWindowFlag(Qt::FramelessWindowHint);
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull()) {
        icon = QIcon(QStringLiteral(":/img/icons/%1").arg(QLatin1String(ProductProfile::kWindowIconFile)));
        QApplication::setWindowIcon(icon);
    }
    setWindowIcon(icon);
    ui->label_icon->setPixmap(icon.pixmap(32, 32));

    const QString buttonStyle = QStringLiteral(
        "QPushButton { background: transparent; border: none; }QPushButton:hover { background: rgb(229, 229, 229); }");
    for (QPushButton* button : {ui->btn_menu, ui->btn_minimize, ui->btn_maximize, ui->btn_close}) {
        button->setIconSize(QSize(16, 16));
        button->setStyleSheet(buttonStyle);
    }
    ui->btn_close->setStyleSheet(QStringLiteral(
        "QPushButton { background: transparent; border: none; }QPushButton:hover { background: rgb(232, 17, 35); }"));
    ui->btn_menu->setStyleSheet(buttonStyle + QStringLiteral("QPushButton::menu-indicator { image: none; width: 0px; }"));
    ui->btn_close->setIcon(twoSizeIcon(QStringLiteral("close")));
    ui->btn_menu->setIcon(twoSizeIcon(QStringLiteral("menu")));
    ui->btn_minimize->setIcon(twoSizeIcon(QStringLiteral("mini")));
    ui->frame_title->setStyleSheet(
        QStringLiteral("QFrame#frame_title{border:none;background-color: rgb(240,240,240);}"));

    appMenu = new AppMenu(mode, this);
    appMenu->attachTo(ui->btn_menu);
    connect(appMenu, &AppMenu::recentFileTriggered, this, [this](const QString& path) {
        if (callbacks.openFile)
            callbacks.openFile(path);
    });
    connect(appMenu, &AppMenu::fileActionTriggered, this, [this](AppMenu::FileAction action) {
        if (callbacks.fileAction)
            callbacks.fileAction(action);
    });
    connect(appMenu, &AppMenu::removeInstalledModuleRequested, this, [this](const QString& id) {
        if (callbacks.removeInstalledModule)
            callbacks.removeInstalledModule(id);
    });
    connect(appMenu, &AppMenu::removeAllInstalledModulesRequested, this, [this] {
        if (callbacks.removeAllInstalledModules)
            callbacks.removeAllInstalledModules();
    });

    connect(ui->btn_minimize, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(ui->btn_close, &QPushButton::clicked, qApp, &QCoreApplication::quit);
    connect(ui->btn_maximize, &QPushButton::clicked, this, &CustomWindowFrame::toggleMaximized);
    connect(MultiLanguage::instance(), &MultiLanguage::languageChanged, this, [this] {
        ui->retranslateUi(this);
        retranslate();
        update();
    });

    retranslate();
    followWindowState();
}

CustomWindowFrame::~CustomWindowFrame() { delete ui; }

Qt::Edges CustomWindowFrame::resizeEdgesAt(const QSize& size, const QPoint& pos, int band)
{
    Qt::Edges edges;
    if (pos.x() < 0 || pos.y() < 0 || pos.x() >= size.width() || pos.y() >= size.height())
        return edges;
    if (pos.x() < band)
        edges |= Qt::LeftEdge;
    if (pos.x() >= size.width() - band)
        edges |= Qt::RightEdge;
    if (pos.y() < band)
        edges |= Qt::TopEdge;
    if (pos.y() >= size.height() - band)
        edges |= Qt::BottomEdge;
    return edges;
}

void CustomWindowFrame::retranslate()
{
    ui->btn_menu->setToolTip(tr("Menu"));
    ui->btn_minimize->setToolTip(tr("Minimize"));
    ui->btn_close->setToolTip(tr("Close"));
    followWindowState();
    updateTitle();
}

void CustomWindowFrame::updateTitle()
{
    QString title = content ? content->windowTitle() : QString();
    if (title.isEmpty())
        title = ProductProfile::displayName();
    ui->label_title->setText(title);
    setWindowTitle(title);
}

void CustomWindowFrame::toggleMaximized()
{
    if (isMaximized())
        showNormal();
    else
        showMaximized();
}

void CustomWindowFrame::followWindowState()
{
    // The state is the window manager's: it may come from the button, a
    // double-click, a keyboard shortcut or tiling.
    const bool maximized = isMaximized();
    ui->btn_maximize->setIcon(twoSizeIcon(maximized ? QStringLiteral("restore") : QStringLiteral("max")));
    ui->btn_maximize->setToolTip(maximized ? tr("Restore Down") : tr("Maximize"));
    if (maximized || isFullScreen())
        setHoverEdges({});
}

void CustomWindowFrame::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange)
        followWindowState();
    QMainWindow::changeEvent(event);
}

void CustomWindowFrame::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (firstShown)
        return;
    firstShown = true;
    if (QWindow* window = windowHandle())
        window->installEventFilter(this);
    if (layout())
        layout()->activate();
    resize(contentSize.isValid() ? contentSize : (content ? content->size() : size()));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(qMax(area.x(), area.x() + (area.width() - width()) / 2),
             qMax(area.y(), area.y() + (area.height() - height()) / 2));
    }
    placedAt = pos();
}

void CustomWindowFrame::closeEvent(QCloseEvent* event)
{
    if (content)
        content->close();
    QMainWindow::closeEvent(event);
}

bool CustomWindowFrame::isOnTitleBar(const QPointF& framePos) const
{
    const QPoint p = ui->frame_title->mapFrom(this, framePos.toPoint());
    return ui->frame_title->rect().contains(p);
}

void CustomWindowFrame::mousePressEvent(QMouseEvent* event)
{
    // Presses on the title bar's labels and empty space arrive here; the
    // buttons keep theirs.
    if (event->button() == Qt::LeftButton && isOnTitleBar(event->position())) {
        titlePressed = true;
        dragStart = event->globalPosition();
        event->accept();
        return;
    }
    QMainWindow::mousePressEvent(event);
}

void CustomWindowFrame::mouseMoveEvent(QMouseEvent* event)
{
    if (titlePressed && (event->buttons() & Qt::LeftButton)) {
        if (!dragging) {
            if ((event->globalPosition() - dragStart).manhattanLength() < QApplication::startDragDistance())
                return;
            // Started on the first move rather than on the press, so that
            // clicks and double-clicks on the title bar stay what they are.
            if (windowHandle() && windowHandle()->startSystemMove()) {
                titlePressed = false;
                return;
            }
            dragging = true;
        }
        dragBy(event->globalPosition());
        return;
    }
    QMainWindow::mouseMoveEvent(event);
}

void CustomWindowFrame::dragBy(const QPointF& globalPos)
{
    if (isMaximized()) {
        // Restore under the cursor, keeping its relative place on the title bar.
        const qreal ratio = width() > 0 ? (globalPos.x() - x()) / width() : 0.5;
        showNormal();
        const QPoint cursor = globalPos.toPoint();
        QTimer::singleShot(0, this, [this, cursor, ratio] {
            move(cursor.x() - int(width() * ratio), cursor.y() - 10);
        });
    } else {
        move(pos() + (globalPos - dragStart).toPoint());
    }
    dragStart = globalPos;
}

void CustomWindowFrame::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        titlePressed = false;
        dragging = false;
    }
    QMainWindow::mouseReleaseEvent(event);
}

void CustomWindowFrame::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && isOnTitleBar(event->position())) {
        titlePressed = false;
        toggleMaximized();
        return;
    }
    QMainWindow::mouseDoubleClickEvent(event);
}

void CustomWindowFrame::setHoverEdges(Qt::Edges edges)
{
    if (edges == hoverEdges)
        return;
    hoverEdges = edges;
    if (edges)
        setCursor(cursorFor(edges));
    else
        unsetCursor();
}

bool CustomWindowFrame::eventFilter(QObject* watched, QEvent* event)
{
    // The window's own events, before any child widget sees them: the
    // resize band lies over the content's edges.
    if (watched == windowHandle() && event->type() == QEvent::Expose && placedAt) {
        // A reparenting window manager may map the window before it moves
        // its own frame into place and never say so; Qt then keeps a wrong
        // position (and a system move would start from it). Asking once
        // more for the place it was given makes the manager confirm it.
        const QPoint place = *placedAt;
        placedAt.reset();
        QTimer::singleShot(0, this, [this, place] {
            if (!isMaximized() && !isFullScreen())
                windowHandle()->setPosition(place);
        });
    }
    if (watched == windowHandle()) {
        const bool resizable = !isMaximized() && !isFullScreen();
        switch (event->type()) {
        case QEvent::MouseMove: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->buttons() == Qt::NoButton)
                setHoverEdges(resizable ? resizeEdgesAt(size(), e->position().toPoint()) : Qt::Edges());
            break;
        }
        case QEvent::MouseButtonPress: {
            auto* e = static_cast<QMouseEvent*>(event);
            const Qt::Edges edges = resizable ? resizeEdgesAt(size(), e->position().toPoint()) : Qt::Edges();
            if (e->button() == Qt::LeftButton && edges && windowHandle()->startSystemResize(edges)) {
                setHoverEdges({});
                return true;
            }
            break;
        }
        case QEvent::Leave:
            setHoverEdges({});
            break;
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
