#include "host/window/HomeModuleCard.h"

#include <QMouseEvent>
#include <QPainter>

HomeModuleCard::HomeModuleCard(const QString& moduleId, const QString& title, const QString& description,
                               const QColor&, const QString& badge, QWidget* parent)
    : QFrame(parent), id(moduleId), title(title), description(description), badge(badge),
      icon(QStringLiteral(":/img/%1_btn_icon.png").arg(moduleId))
{
    setObjectName(QStringLiteral("card_%1").arg(moduleId));
    setCursor(Qt::PointingHandCursor);
    setMinimumSize(210, 190);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMouseTracking(true);
}

void HomeModuleCard::enterEvent(QEnterEvent* event)
{
    hovered = true;
    update();
    QFrame::enterEvent(event);
}

void HomeModuleCard::leaveEvent(QEvent* event)
{
    hovered = false;
    update();
    QFrame::leaveEvent(event);
}

void HomeModuleCard::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onClick)
        onClick();
    QFrame::mouseReleaseEvent(event);
}

void HomeModuleCard::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);

    const QRectF card = QRectF(rect()).adjusted(1, 1, -1, -2);
    p.setBrush(Qt::white);
    p.setPen(QPen(hovered ? QColor(37, 99, 235, 120) : QColor(203, 213, 225, 210), 1));
    p.drawRoundedRect(card, 18, 18);

    const QRect iconBox(20, 20, 48, 48);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(248, 250, 252));
    p.drawRoundedRect(iconBox, 14, 14);
    if (!icon.isNull()) {
        const QRect inner = iconBox.adjusted(4, 4, -4, -4);
        const QPixmap scaled = icon.scaled(inner.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        p.drawPixmap(inner.x() + (inner.width() - scaled.width()) / 2,
                     inner.y() + (inner.height() - scaled.height()) / 2, scaled);
    }

    QFont font = p.font();
    if (!badge.isEmpty()) {
        font.setPointSize(11);
        font.setWeight(QFont::Bold);
        p.setFont(font);
        const QRect badgeBox(width() - 66, 32, 45, 22);
        p.setBrush(QColor(255, 241, 242));
        p.drawRoundedRect(badgeBox, 11, 11);
        p.setPen(QColor(225, 29, 72));
        p.drawText(badgeBox, Qt::AlignCenter, badge);
    }

    font.setPointSize(16);
    font.setWeight(QFont::Bold);
    p.setFont(font);
    p.setPen(QColor(30, 41, 59));
    p.drawText(QRect(20, 82, width() - 40, 28), Qt::AlignLeft | Qt::AlignVCenter, title);

    font.setPointSize(12);
    font.setWeight(QFont::Normal);
    p.setFont(font);
    p.setPen(QColor(100, 116, 139));
    p.drawText(QRect(20, 108, width() - 52, 65), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, description);

    if (hovered) {
        font.setPointSize(18);
        p.setFont(font);
        p.setPen(QColor(37, 99, 235));
        p.drawText(QRect(width() - 36, height() - 38, 20, 22), Qt::AlignCenter, QString(QChar(0x2192)));
    }
}
