#include "sorrel/views/PstListModel.h"

#include "sorrel/items/PstItemKeys.h"
#include "sorrel/items/PstItemKinds.h"
#include "sorrel/items/PstMailItem.h"
#include "sorrel/items/PstTextDecoding.h"

using namespace PstListRoles;

void PstListModel::setItems(const QList<std::shared_ptr<PstItem>>& items)
{
    beginResetModel();
    m_items = items;
    endResetModel();
}

std::shared_ptr<PstItem> PstListModel::itemAt(int row) const
{
    return row >= 0 && row < m_items.size() ? m_items.at(row) : nullptr;
}

int PstListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant PstListModel::data(const QModelIndex& index, int role) const
{
    const PstItem* item = index.isValid() ? itemAt(index.row()).get() : nullptr;
    if (!item)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole: return item->title();
    case Qt::DecorationRole: return item->iconPath();
    case KindRole: return int(item->kind());
    case SubjectRole: return item->subject();
    case MailDateRole: {
        const qint64 sent = item->date(PstKey::SentDate);
        return sent ? dateText(sent, kListDateFormat) : PstMailItem::tr("No sent date");
    }
    case HasAttachmentsRole: {
        const auto* mail = item->kind() == PstItemKind::Mail ? static_cast<const PstMailItem*>(item) : nullptr;
        return mail && mail->hasAttachments();
    }
    case DurationRole: return item->durationText();
    case StartDateRole: return dateText(item->date(PstKey::StartDate), kDetailDateFormat);
    case NoteDateRole:
        // Journal entries have no creation date; their card shows the start.
        return dateText(item->date(item->kind() == PstItemKind::Journal ? PstKey::StartTime : PstKey::CreateDate),
                        kDetailDateFormat);
    case TaskCompleteRole:
        return item->kind() == PstItemKind::Task && static_cast<const PstTaskItem*>(item)->complete();
    case MatchedFieldsRole: return QStringList();
    case SearchTermsRole: return QStringList();
    case SnippetRole: return QString();
    case SortTimeRole: return quint64(item->sortTime());
    default: return QVariant();
    }
}
