#pragma once
// The folder tree's view: lets the splitter shrink it to nothing, and tells
// when the user moved the current folder with the keyboard (arrow keys,
// Home, End, Page Up/Down) or pressed Enter on it, so that the folder's items
// show as they do for a click. Programmatic changes of the current index
// (restoring the workspace, revealing a search hit) are not announced.

#include <QKeyEvent>
#include <QPersistentModelIndex>
#include <QTreeView>

class PSTTreeView : public QTreeView {
    Q_OBJECT
public:
    using QTreeView::QTreeView;

    QSize minimumSizeHint() const override { return {0, 0}; }

signals:
    void currentChosenByKey(const QModelIndex& index);

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        const QPersistentModelIndex before = currentIndex();
        QTreeView::keyPressEvent(event);
        const QModelIndex now = currentIndex();
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (now.isValid() && (enter || now != QModelIndex(before)))
            emit currentChosenByKey(now);
    }
};
