#include "sorrel/views/DetailViewController.h"

#include "sorrel/items/PstItem.h"
#include "sorrel/views/PSTStackedWidget.h"
#include "sorrel/views/PstInfoView.h"
#include "sorrel/views/PstMailView.h"

DetailViewController::DetailViewController(PSTStackedWidget* pane, const QString& tempDir, QObject* parent)
    : QObject(parent), m_pane(pane)
{
    m_mailView = new PstMailView(pane);
    m_infoView = new PstInfoView(pane);
    if (!tempDir.isEmpty()) {
        m_mailView->setTemporaryDirectory(tempDir);
        m_infoView->setTemporaryDirectory(tempDir);
    }
    pane->addWidget(m_mailView);
    pane->addWidget(m_infoView);
}

void DetailViewController::showItem(const std::shared_ptr<PstItem>& item)
{
    if (!item) {
        m_item.reset();
        m_pane->setCurrentIndex(0);
        return;
    }
    m_item = item;
    switch (item->kind()) {
    case PstItemKind::Mail:
        m_mailView->setItem(item);
        m_pane->setCurrentWidget(m_mailView);
        break;
    case PstItemKind::Calendar:
    case PstItemKind::Contact:
    case PstItemKind::Journal:
    case PstItemKind::Task:
    case PstItemKind::Note:
        m_pane->setCurrentWidget(m_infoView);
        m_infoView->setItem(item);
        break;
    default:
        m_item.reset();
        m_pane->setCurrentIndex(0);
        break;
    }
}
