#pragma once
// List view the splitter may shrink to nothing.

#include <QListView>

class PSTListView : public QListView
{
    Q_OBJECT
public:
    using QListView::QListView;
    QSize minimumSizeHint() const override { return QSize(0, 0); }
};
