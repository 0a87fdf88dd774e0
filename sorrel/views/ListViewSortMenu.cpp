#include "sorrel/views/ListViewSortMenu.h"

#include <QActionGroup>

namespace {
QAction* addChoice(QMenu* menu, QActionGroup* group, const QString& text, const QString& data)
{
    QAction* act = menu->addAction(text);
    act->setCheckable(true);
    act->setData(data);
    group->addAction(act);
    return act;
}

QString checkedData(const QActionGroup* group)
{
    const QAction* act = group->checkedAction();
    return act ? act->data().toString() : QString();
}
} // namespace

ListViewSortMenu::ListViewSortMenu(QWidget* parent) : QMenu(parent)
{
    m_fieldGroup = new QActionGroup(this);
    m_fieldGroup->setExclusive(true);
    addChoice(this, m_fieldGroup, tr("Default"), QStringLiteral("none"))->setChecked(true);
    addChoice(this, m_fieldGroup, tr("Subject"), QStringLiteral("subject"));
    addChoice(this, m_fieldGroup, tr("Date"), QStringLiteral("date"));
    addSeparator();
    m_orderGroup = new QActionGroup(this);
    m_orderGroup->setExclusive(true);
    m_asc = addChoice(this, m_orderGroup, QString(), QStringLiteral("asc"));
    m_asc->setChecked(true);
    m_desc = addChoice(this, m_orderGroup, QString(), QStringLiteral("desc"));
    m_orderGroup->setEnabled(false);
    updateOrderLabels();
    connect(this, &QMenu::triggered, this, &ListViewSortMenu::onActionTriggered);
}

QString ListViewSortMenu::currentField() const
{
    return checkedData(m_fieldGroup);
}

QString ListViewSortMenu::currentOrder() const
{
    return checkedData(m_orderGroup);
}

void ListViewSortMenu::updateOrderLabels()
{
    if (currentField() == QLatin1String("date")) {
        m_asc->setText(tr("Oldest first"));
        m_desc->setText(tr("Newest first"));
    } else {
        m_asc->setText(tr("A \u2192 Z"));
        m_desc->setText(tr("Z \u2192 A"));
    }
}

void ListViewSortMenu::onActionTriggered(QAction*)
{
    const QString field = currentField();
    updateOrderLabels();
    m_orderGroup->setEnabled(field != QLatin1String("none"));
    emit sortChanged(field, currentOrder());
}
