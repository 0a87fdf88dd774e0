#include "sorrel/export/AlternateTreeView.h"

#include <QPainter>
#include <QPainterPath>

void AlternateTreeView::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(viewport());
        const QRect area = viewport()->rect();
        QPainterPath rounded;
        rounded.addRoundedRect(QRectF(area), 10, 10);
        painter.fillPath(rounded, Qt::white);
        const int band = fontMetrics().height() + 6;
        for (int index = area.top() / band; index * band < area.bottom(); ++index)
            painter.fillRect(QRect(area.left(), index * band, area.width(), band),
                             index % 2 == 0 ? QColor(250, 250, 250) : QColor(230, 230, 230));
    }
    QTreeView::paintEvent(event);
}
