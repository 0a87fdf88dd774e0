#include "host/window/BrowserTabWidget.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

const char kTabStyle[] =
    "QTabWidget { background: none; border: none; }QTabWidget::pane { background-color: transparent; }QTabBar { "
    "background-color: #e6e6e6; qproperty-drawBase: 0; border: none; border-bottom: 1px solid #CFD4DA; "
    "}QTabWidget::tab-bar { alignment: left; background-color: #F8F9FA; }QTabBar::tab { font-size: 12px; background: "
    "#F1F3F5; border: none; border-bottom: 1px solid #CFD4DA; color: #485056; margin: 0px; padding: 5px 8px; "
    "}QTabBar::tab:selected { background: #ffffff; border: none; border-left: 1px solid #CFD4DA; border-right: 1px "
    "solid #CFD4DA; border-top: 1px solid #CFD4DA; margin: 0px; margin-bottom: -1px; padding: 5px 8px; "
    "}QTabBar::tab:hover { background: #E7EDF3; }QTabBar::close-button { subcontrol-position: right; border-image: "
    "url(:/img/close-16.png); }QTabBar::close-button:hover { background-color: rgb(183, 183, 183); }";

constexpr int kMaxTabWidth = 180;
constexpr int kMinTabWidth = 18;

} // namespace

BrowserTabBar::BrowserTabBar(QWidget* parent) : QTabBar(parent)
{
    setMouseTracking(true);
    setExpanding(true);
    setElideMode(Qt::ElideMiddle);
}

QRect BrowserTabBar::addButtonRect() const
{
    if (count() == 0)
        return QRect(5, 5, height() - 10, height() - 10);
    const QRect last = tabRect(count() - 1);
    return QRect(last.right() + 1, (height() - last.height()) / 2, last.height(), last.height() - 1);
}

QSize BrowserTabBar::tabSizeHint(int index) const
{
    QSize hint = QTabBar::tabSizeHint(index);
    // Room is kept for the add button, a square as high as a tab.
    const int room = width() - hint.height();
    if (count() > 0 && room > 0)
        hint.setWidth(qBound(kMinTabWidth, room / count(), kMaxTabWidth));
    return hint;
}

void BrowserTabBar::paintEvent(QPaintEvent* event)
{
    QTabBar::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect button = addButtonRect();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(addHovered ? "#E7EDF3" : "#e6e6e6"));
    painter.drawRect(button);
    painter.setPen(QPen(QColor("#0e0f0f"), 1));
    const QPoint c = button.center();
    painter.drawLine(c.x() - 6, c.y(), c.x() + 6, c.y());
    painter.drawLine(c.x(), c.y() - 6, c.x(), c.y() + 6);
}

void BrowserTabBar::mouseMoveEvent(QMouseEvent* event)
{
    const bool hovered = addButtonRect().contains(event->position().toPoint());
    if (hovered != addHovered) {
        addHovered = hovered;
        update(addButtonRect());
    }
    QTabBar::mouseMoveEvent(event);
}

void BrowserTabBar::leaveEvent(QEvent* event)
{
    if (addHovered) {
        addHovered = false;
        update(addButtonRect());
    }
    QTabBar::leaveEvent(event);
}

void BrowserTabBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && addButtonRect().contains(event->position().toPoint())) {
        emit addTabRequested();
        return;
    }
    QTabBar::mousePressEvent(event);
}

BrowserTabWidget::BrowserTabWidget(QWidget* parent) : QTabWidget(parent)
{
    auto* bar = new BrowserTabBar(this);
    setTabBar(bar);
    setTabsClosable(true);
    setDocumentMode(true);
    setUsesScrollButtons(false);
    setAcceptDrops(true);
    setStyleSheet(QLatin1String(kTabStyle));
    connect(bar, &BrowserTabBar::addTabRequested, this, &BrowserTabWidget::addFileClicked);
    connect(this, &QTabWidget::tabCloseRequested, this, &BrowserTabWidget::closeTab);
}

void BrowserTabWidget::registerFile(const QString& path)
{
    if (!fileList.contains(path))
        fileList.append(path);
}

int BrowserTabWidget::indexOfFile(const QString& path) const
{
    if (path.isEmpty())
        return -1;
    for (int i = 0; i < count(); ++i) {
        if (widget(i)->property("sourceFilePath").toString() == path)
            return i;
    }
    return -1;
}

void BrowserTabWidget::closeTab(int index)
{
    QWidget* page = widget(index);
    if (!page)
        return;
    const QString path = page->property("sourceFilePath").toString();
    if (!path.isEmpty())
        fileList.removeAll(path);
    removeTab(index);
    delete page;
    if (count() == 0)
        emit allTabClosed();
}
