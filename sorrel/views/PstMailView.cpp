#include "sorrel/views/PstMailView.h"

#include "common/ProductProfile.h"
#include "sorrel/items/PstMailItem.h"
#include "sorrel/items/PstTextDecoding.h"
#include "sorrel/views/ElidedLabel.h"
#include "sorrel/views/PstAttachmentButton.h"
#include "sorrel/views/WebEngineView.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>

namespace {

const char kStyleSheet[] =
    "QWidget { font-size: 12px; }\n"
    "QFrame#headFrame { padding: 0px; border: none; border-bottom: 1px solid rgb(213,213,213);"
    " background: rgb(224, 224, 224); }\n"
    "#to, #toLabel { qproperty-alignment: AlignVCenter; color: rgb(100,100,100); }\n"
    "#fromLabel, #ccLabel, #bccLabel { color: rgb(100,100,100); }\n"
    "#contentText { border: none; background: transparent; }\n";

template <class Label>
Label* makeLabel(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new Label(parent);
    label->setObjectName(QLatin1String(name));
    // Header texts are the sender's words; never interpret them as markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

} // namespace

PstMailView::PstMailView(QWidget* parent) : QWidget(parent), m_tempDir(ProductProfile::tempDirectory())
{
    setObjectName(QStringLiteral("PstMailView"));
    setWindowTitle(QStringLiteral("Form"));
    resize(433, 159);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setStyleSheet(QLatin1String(kStyleSheet) + PstAttachmentButton::styleRules());

    auto* verticalLayout_2 = new QVBoxLayout(this);
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    verticalLayout_2->setSpacing(0);
    verticalLayout_2->setContentsMargins(0, 0, 0, 0);

    headFrame = new QFrame(this);
    headFrame->setObjectName(QStringLiteral("headFrame"));
    headFrame->setFrameShape(QFrame::NoFrame);
    auto* verticalLayout = new QVBoxLayout(headFrame);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    QMargins m = verticalLayout->contentsMargins();
    m.setBottom(6);
    verticalLayout->setContentsMargins(m);

    auto* horizontalLayout = new QHBoxLayout;
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    from = makeLabel<QLabel>(headFrame, "from", QStringLiteral("From "));
    fromLabel = makeLabel<ElidedLabel>(headFrame, "fromLabel", QStringLiteral("addr"));
    fromLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    fromLabel->setWordWrap(false);
    fromLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    dateLabel = makeLabel<QLabel>(headFrame, "dateLabel", QStringLiteral("Date"));
    dateLabel->setMinimumSize(0, 0);
    dateLabel->setLayoutDirection(Qt::LeftToRight);
    dateLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    dateLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    horizontalLayout->addWidget(from);
    horizontalLayout->addWidget(fromLabel);
    horizontalLayout->addWidget(dateLabel);
    horizontalLayout->setStretch(1, 1);
    verticalLayout->addLayout(horizontalLayout);

    auto* horizontalLayout_2 = new QHBoxLayout;
    horizontalLayout_2->setObjectName(QStringLiteral("horizontalLayout_2"));
    QMargins m2 = horizontalLayout_2->contentsMargins();
    m2.setTop(2);
    m2.setBottom(0);
    horizontalLayout_2->setContentsMargins(m2);
    toLabel = makeLabel<QLabel>(headFrame, "toLabel", QStringLiteral("123444asddddddddddddddddddddddddddd"));
    toLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toLabel->setMinimumHeight(20);
    toLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    toLabel->setWordWrap(true);
    toLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    stateLabel = makeLabel<QLabel>(headFrame, "stateLabel", QString());
    stateLabel->setMinimumSize(0, 0);
    stateLabel->setLayoutDirection(Qt::LeftToRight);
    stateLabel->setWordWrap(false);
    horizontalLayout_2->addWidget(toLabel);
    horizontalLayout_2->addWidget(stateLabel);
    horizontalLayout_2->setStretch(0, 1);
    verticalLayout->addLayout(horizontalLayout_2);

    ccLabel = makeLabel<ElidedLabel>(headFrame, "ccLabel", QStringLiteral("Cc"));
    ccLabel->setWordWrap(true);
    ccLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    verticalLayout->addWidget(ccLabel);
    bccLabel = makeLabel<ElidedLabel>(headFrame, "bccLabel", QStringLiteral("Bcc"));
    bccLabel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    bccLabel->setWordWrap(true);
    bccLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    verticalLayout->addWidget(bccLabel);

    auto* horizontalLayout_3 = new QHBoxLayout;
    horizontalLayout_3->setObjectName(QStringLiteral("horizontalLayout_3"));
    subjectLabel = makeLabel<ElidedLabel>(headFrame, "subjectLabel", QStringLiteral("Subject"));
    subjectLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    subjectLabel->setWordWrap(true);
    subjectLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    attachmentBtn = new PstAttachmentButton(headFrame);
    horizontalLayout_3->addWidget(subjectLabel);
    horizontalLayout_3->addSpacerItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    horizontalLayout_3->addWidget(attachmentBtn);
    horizontalLayout_3->setStretch(0, 1);
    verticalLayout->addLayout(horizontalLayout_3);

    verticalLayout_2->addWidget(headFrame);

    fromLabel->setElideMode(Qt::ElideRight);
    subjectLabel->setElideMode(Qt::ElideRight);
    m_body = new WebEngineView(this);
    m_body->setZoomFactor(1);
    verticalLayout_2->addWidget(m_body, 1);
}

PstMailView::~PstMailView() = default;

QMenu* PstMailView::attachmentMenu() const
{
    return attachmentBtn->attachmentMenu();
}

void PstMailView::setItem(const std::shared_ptr<PstItem>& item)
{
    auto mail = std::dynamic_pointer_cast<PstMailItem>(item);
    if (!mail)
        return;
    from->setText(mail->title());
    // The address in angle brackets, as plain text.
    const QString addr = mail->senderAddr();
    fromLabel->setFullText(addr.isEmpty() ? QString() : QStringLiteral("<%1>").arg(addr));
    dateLabel->setText(mail->sentDateText(kDetailDateFormat));
    toLabel->setText(mail->toLine());
    ccLabel->setFullText(mail->ccLine());
    bccLabel->setFullText(mail->bccLine());
    subjectLabel->setFullText(mail->subject());
    toLabel->show();
    dateLabel->show();

    attachmentBtn->setItem(mail, m_tempDir);

    m_body->setZoomFactor(1);
    m_body->showLoading();
    m_body->updateHtml(mail->displayHtml());
}
