#pragma once
// The "Attachments (n)" button of the detail pages (mails and the other
// kinds): a click pops up the item's attachment menu (open, save, save all);
// hidden for an item without attachments.

#include <QPushButton>

#include <memory>

class PstItem;
class QMenu;

class PstAttachmentButton : public QPushButton
{
    Q_OBJECT
public:
    explicit PstAttachmentButton(QWidget* parent = nullptr);

    // Builds the menu for item (opened attachments go to tempDir) and shows
    // the button with the count, or hides it.
    void setItem(const std::shared_ptr<PstItem>& item, const QString& tempDir);
    QMenu* attachmentMenu() const { return m_menu.get(); }

    // The look of the button ("#attachmentBtn"), for the pages' style sheets.
    static QString styleRules();

private:
    std::shared_ptr<QMenu> m_menu;
};
