#pragma once
// The export dialog's folder tree: a white rounded background with
// full-width bands of alternating grey behind the rows.

#include <QTreeView>

class AlternateTreeView : public QTreeView {
    Q_OBJECT
public:
    using QTreeView::QTreeView;

protected:
    void paintEvent(QPaintEvent* event) override;
};
