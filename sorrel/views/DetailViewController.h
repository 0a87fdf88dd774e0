#pragma once
// Decides what the detail pane shows for the picked record: nothing (page 0,
// the form's empty page), the mail view for mails, or the info page for
// appointments, contacts, journal entries, tasks and sticky notes.
//
//   DetailViewController(PSTStackedWidget* pane, const QString& tempDir, QObject* parent)
//       appends the mail view and the info view to pane; opened attachments
//       are written to tempDir (the host's temporaryDirectory())
//   showItem(item)   empty pointer or folder: page 0

#include <QObject>

#include <memory>

class PSTStackedWidget;
class PstInfoView;
class PstItem;
class PstMailView;

class DetailViewController : public QObject
{
    Q_OBJECT
public:
    DetailViewController(PSTStackedWidget* pane, const QString& tempDir, QObject* parent);

    void showItem(const std::shared_ptr<PstItem>& item);
    std::shared_ptr<PstItem> currentItem() const { return m_item; }

    PstMailView* mailView() const { return m_mailView; }
    PstInfoView* infoView() const { return m_infoView; }

private:
    PSTStackedWidget* m_pane = nullptr;
    PstMailView* m_mailView = nullptr;
    PstInfoView* m_infoView = nullptr;
    std::shared_ptr<PstItem> m_item;
};
