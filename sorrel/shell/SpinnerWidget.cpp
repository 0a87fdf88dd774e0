#include "sorrel/shell/SpinnerWidget.h"

#include <QPainter>
#include <QPixmap>

SpinnerWidget::SpinnerWidget(QWidget* parent, int side) : QWidget(parent), m_side(side)
{
    setFixedSize(side, side);
    const QPixmap image(QStringLiteral(":/img/wait.png"));
    if (!image.isNull())
        m_image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    setAttribute(Qt::WA_TranslucentBackground);
    m_timer.setInterval(50);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 30) % 360;
        update();
    });
    m_hideTimer.setSingleShot(true);
    connect(&m_hideTimer, &QTimer::timeout, this, &QWidget::hide);
}

void SpinnerWidget::showSpinning()
{
    m_hideTimer.stop();
    show();
}

void SpinnerWidget::hideAfterMinimum(int ms)
{
    const qint64 shown = m_shownClock.isValid() ? m_shownClock.elapsed() : ms;
    if (shown >= ms) {
        m_hideTimer.stop();
        hide();
    } else {
        m_hideTimer.start(int(ms - shown));
    }
}

void SpinnerWidget::showEvent(QShowEvent* event)
{
    m_hideTimer.stop();
    m_angle = 0;
    m_shownClock.start();
    m_timer.start();
    QWidget::showEvent(event);
}

void SpinnerWidget::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

void SpinnerWidget::paintEvent(QPaintEvent*)
{
    if (m_image.isNull())
        return;
    QPainter p(this);
    p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    p.translate(width() / 2.0, height() / 2.0);
    p.rotate(m_angle);
    p.drawPixmap(-m_image.width() / 2, -m_image.height() / 2, m_image);
}
