#include "sorrel/views/PstAttachmentButton.h"

#include "sorrel/items/PstItem.h"
#include "sorrel/views/PstAttachmentActions.h"

#include <QMenu>

namespace {
struct Tr {
    Q_DECLARE_TR_FUNCTIONS(PstMailView)
};
} // namespace

PstAttachmentButton::PstAttachmentButton(QWidget* parent) : QPushButton(Tr::tr("Attachments"), parent)
{
    setObjectName(QStringLiteral("attachmentBtn"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(this, &QPushButton::clicked, this, [this] {
        if (m_menu)
            m_menu->popup(mapToGlobal(QPoint(0, height())));
    });
}

void PstAttachmentButton::setItem(const std::shared_ptr<PstItem>& item, const QString& tempDir)
{
    if (!item || !item->hasAttachments()) {
        m_menu.reset();
        hide();
        return;
    }
    m_menu = PstAttachmentActions::attachmentMenu(item, tempDir);
    setText(Tr::tr("Attachments (%1)").arg(item->attachments().size()));
    show();
}

QString PstAttachmentButton::styleRules()
{
    return QStringLiteral(
        "#attachmentBtn { padding: 4px 6px; background: rgb(255, 255, 255); border: 1px solid rgb(230,230,230);"
        " border-radius: 5px; }\n"
        "#attachmentBtn::menu-indicator { image: url(:/img/icons8-down-48.png); subcontrol-position: right center;"
        " subcontrol-origin: padding; width: 20px; height: 20px; padding: 0px; margin: 0px; margin-left: -6px; }\n");
}
