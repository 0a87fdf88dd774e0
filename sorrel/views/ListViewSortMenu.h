#pragma once
// Drop-down that picks the list's sort field ("none", "subject", "date") and
// order ("asc", "desc"). The order entries are disabled while "Default" is
// checked and are labelled by the field (dates: oldest/newest first).

#include <QMenu>

class QActionGroup;

class ListViewSortMenu : public QMenu
{
    Q_OBJECT
public:
    explicit ListViewSortMenu(QWidget* parent = nullptr);

    QString currentField() const;
    QString currentOrder() const;
    QActionGroup* fieldGroup() const { return m_fieldGroup; }
    QActionGroup* orderGroup() const { return m_orderGroup; }

signals:
    void sortChanged(const QString& field, const QString& order);

public slots:
    void onActionTriggered(QAction* act);
    void updateOrderLabels();

private:
    QActionGroup* m_fieldGroup = nullptr;
    QActionGroup* m_orderGroup = nullptr;
    QAction* m_asc = nullptr;
    QAction* m_desc = nullptr;
};
