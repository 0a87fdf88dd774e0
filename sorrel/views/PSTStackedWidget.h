#pragma once
// Stacked widget of the detail pane; the splitter may shrink it to nothing.

#include <QStackedWidget>

class PSTStackedWidget : public QStackedWidget
{
    Q_OBJECT
public:
    using QStackedWidget::QStackedWidget;
    QSize minimumSizeHint() const override { return QSize(0, 0); }
};
