#pragma once
// The folder tree's view: lets the splitter shrink it to nothing.

#include <QTreeView>

class PSTTreeView : public QTreeView {
    Q_OBJECT
public:
    using QTreeView::QTreeView;

    QSize minimumSizeHint() const override { return {0, 0}; }
};
