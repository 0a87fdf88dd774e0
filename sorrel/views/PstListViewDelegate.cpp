#include "sorrel/views/PstListViewDelegate.h"

#include "sorrel/search/PstSearchText.h"
#include "sorrel/views/PstListRoles.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QPixmapCache>

using namespace PstListRoles;

namespace {

const QColor kSelectedFill(0x2a, 0x65, 0xd9);
const QColor kDateColor(55, 124, 246);
const QColor kMatchColor(110, 110, 110);

// Kinds as PstItemKind numbers them.
enum { KindMail = 0, KindCalendar = 1, KindContact = 2, KindJournal = 3, KindTask = 4, KindNote = 5 };

bool loadPixmap(const QString& path, QPixmap* out)
{
    if (path.isEmpty())
        return false;
    if (QPixmapCache::find(path, out))
        return !out->isNull();
    QPixmap pm(path);
    QPixmapCache::insert(path, pm);
    *out = pm;
    return !pm.isNull();
}

bool drawIcon(QPainter* p, const QRect& box, const QString& path)
{
    QPixmap pm;
    if (!loadPixmap(path, &pm))
        return false;
    QSize sz = pm.size().scaled(box.size(), Qt::KeepAspectRatio);
    QRect target(QPoint(0, 0), sz);
    target.moveCenter(box.center());
    p->drawPixmap(target, pm);
    return true;
}

QString oneLine(QString text)
{
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    return text;
}

} // namespace

struct PstListViewDelegate::Geometry {
    QRect content, leftColumn, icon, title, second, right;
};

PstListViewDelegate::PstListViewDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

QSize PstListViewDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const
{
    const auto* view = qobject_cast<const QAbstractItemView*>(parent());
    const int width = view ? view->viewport()->width() - 20 : 200;
    const bool matched = !index.data(MatchedFieldsRole).toStringList().isEmpty();
    return QSize(width, matched ? 76 : 60);
}

void PstListViewDelegate::drawText(QPainter* p, const QRect& r, const QString& text, int align) const
{
    const QString elided = p->fontMetrics().elidedText(text, Qt::ElideRight, r.width());
    p->drawText(r, align | Qt::AlignVCenter, elided);
}

void PstListViewDelegate::drawHighlighted(QPainter* p, const QRect& r, const QString& text,
                                          const QStringList& terms) const
{
    const QString elided = p->fontMetrics().elidedText(text, Qt::ElideRight, r.width());
    const auto ranges = searchHighlightRanges(elided, terms);
    if (!ranges.isEmpty()) {
        const QFontMetrics fm = p->fontMetrics();
        const int top = (r.height() - fm.height()) / 2 > 0 ? r.top() + (r.height() - fm.height()) / 2 : r.top();
        p->save();
        p->setPen(Qt::NoPen);
        p->setBrush(m_selected ? QColor(255, 210, 80, 150) : QColor(255, 224, 92, 190));
        for (const auto& [start, len] : ranges) {
            const int x = r.left() + fm.horizontalAdvance(elided.left(start));
            p->drawRoundedRect(QRect(x, top, fm.horizontalAdvance(elided.mid(start, len)), fm.height()), 2, 2);
        }
        p->restore();
    }
    p->drawText(r, Qt::AlignLeft | Qt::AlignVCenter, elided);
}

void PstListViewDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const
{
    if (!index.isValid())
        return;
    painter->setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    m_selected = option.state.testFlag(QStyle::State_Selected);

    painter->save();
    painter->setPen(Qt::NoPen);
    painter->setBrush(m_selected ? kSelectedFill : option.palette.color(QPalette::Base));
    painter->drawRect(option.rect);
    painter->restore();

    Geometry g;
    g.content = option.rect.adjusted(kMargin, kMargin, -kMargin, -4);
    g.leftColumn = g.content;
    g.leftColumn.setWidth(int(g.content.width() * 0.7));
    g.icon = QRect(g.leftColumn.left(), g.leftColumn.top() + kIconTop, kIconSize, kIconSize);
    g.title = g.content;
    g.title.setLeft(g.icon.left() + kIconSize + kSpacing);
    g.title.setTop(g.leftColumn.top());
    g.title.setHeight(20);
    g.second = g.title;
    g.second.moveTop(g.title.top() + g.title.height() + kSpacing);
    g.right = g.content;
    g.right.setLeft(g.leftColumn.left() + g.leftColumn.width() + kSpacing);
    g.right.setWidth(g.content.width() - g.leftColumn.width() - 4);
    g.right.setHeight(20);

    QFont font = option.font;
    font.setPixelSize(12);
    painter->save();
    painter->setFont(font);
    painter->setPen(m_selected ? QColor(Qt::white) : option.palette.color(QPalette::Text));
    switch (index.data(KindRole).toInt()) {
    case KindMail: paintMail(painter, option, index, g); break;
    case KindCalendar: paintCalendar(painter, option, index, g); break;
    case KindContact: paintContact(painter, option, index, g); break;
    case KindTask: paintTask(painter, option, index, g); break;
    case KindJournal:
    case KindNote: paintPlain(painter, option, index, g); break;
    default: break;
    }
    painter->restore();

    paintMatchLine(painter, option, index);
}

namespace {
void setBold(QPainter* p, bool bold)
{
    QFont f = p->font();
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    p->setFont(f);
}
} // namespace

void PstListViewDelegate::paintMail(QPainter* p, const QStyleOptionViewItem&, const QModelIndex& idx,
                                    const Geometry& g) const
{
    const QString icon = m_selected ? QStringLiteral(":/img/mail-white.png") : QStringLiteral(":/img/mail-gray.png");
    if (!drawIcon(p, g.icon, icon))
        p->drawText(g.icon, Qt::AlignCenter, QStringLiteral("\U0001F4E7"));

    const QStringList matched = idx.data(MatchedFieldsRole).toStringList();
    const QStringList terms = idx.data(SearchTermsRole).toStringList();
    const bool fromMatched = matched.contains(searchFieldName(int(PstSearchField::From)));
    const bool subjectMatched = matched.contains(searchFieldName(int(PstSearchField::Subject)));

    QRect title = g.title;
    title.setRight(g.leftColumn.left() + g.leftColumn.width() - 22);
    setBold(p, true);
    if (fromMatched)
        drawHighlighted(p, title, idx.data(Qt::DisplayRole).toString(), terms);
    else
        drawText(p, title, idx.data(Qt::DisplayRole).toString());
    setBold(p, false);

    if (idx.data(HasAttachmentsRole).toBool()) {
        const QRect clip(title.left() + title.width() + 6, title.top(), 20, title.height());
        drawIcon(p, clip, m_selected ? QStringLiteral(":/img/attachment-white.png")
                                     : QStringLiteral(":/img/attachment-gray.png"));
    }

    QRect second = g.second;
    second.setRight(g.content.right());
    const QString subject = oneLine(idx.data(SubjectRole).toString());
    if (subjectMatched)
        drawHighlighted(p, second, subject, terms);
    else
        drawText(p, second, subject);

    p->save();
    if (!m_selected)
        p->setPen(kDateColor);
    drawText(p, g.right, idx.data(MailDateRole).toString(), Qt::AlignRight);
    p->restore();
}

void PstListViewDelegate::paintCalendar(QPainter* p, const QStyleOptionViewItem&, const QModelIndex& idx,
                                        const Geometry& g) const
{
    paintDated(p, idx, g, idx.data(Qt::DecorationRole).toString());
}

// Icon, bold title, then the start date on the left and the duration on the right.
void PstListViewDelegate::paintDated(QPainter* p, const QModelIndex& idx, const Geometry& g, const QString& icon) const
{
    drawIcon(p, g.icon, icon);
    setBold(p, true);
    drawText(p, g.title, idx.data(Qt::DisplayRole).toString());
    setBold(p, false);
    QRect second = g.second;
    second.setRight(g.leftColumn.right());
    drawText(p, second, oneLine(idx.data(StartDateRole).toString()));
    QRect right = g.right;
    right.moveTop(g.second.top());
    drawText(p, right, idx.data(DurationRole).toString(), Qt::AlignRight);
}

void PstListViewDelegate::paintContact(QPainter* p, const QStyleOptionViewItem&, const QModelIndex& idx,
                                       const Geometry& g) const
{
    drawIcon(p, g.icon, m_selected ? QStringLiteral(":/img/contact-white.png") : QStringLiteral(":/img/contact-gray.png"));
    setBold(p, true);
    drawText(p, g.title, idx.data(Qt::DisplayRole).toString());
    setBold(p, false);
    drawText(p, g.second, oneLine(idx.data(SubjectRole).toString()));
}

void PstListViewDelegate::paintTask(QPainter* p, const QStyleOptionViewItem&, const QModelIndex& idx,
                                    const Geometry& g) const
{
    const bool done = idx.data(TaskCompleteRole).toBool();
    QString icon;
    if (done)
        icon = m_selected ? QStringLiteral(":/img/check-white.png") : QStringLiteral(":/img/check-gray.png");
    else
        icon = m_selected ? QStringLiteral(":/img/unchecked-white.png") : QStringLiteral(":/img/unchecked-gray.png");
    paintDated(p, idx, g, icon);
}

void PstListViewDelegate::paintPlain(QPainter* p, const QStyleOptionViewItem&, const QModelIndex& idx,
                                     const Geometry& g) const
{
    drawIcon(p, g.icon, idx.data(Qt::DecorationRole).toString());
    setBold(p, true);
    drawText(p, g.title, idx.data(Qt::DisplayRole).toString());
    setBold(p, false);
    drawText(p, g.second, oneLine(idx.data(NoteDateRole).toString()));
}

void PstListViewDelegate::paintMatchLine(QPainter* p, const QStyleOptionViewItem& option,
                                         const QModelIndex& idx) const
{
    const QStringList matched = idx.data(MatchedFieldsRole).toStringList();
    if (matched.isEmpty())
        return;
    p->save();
    QFont font = option.font;
    font.setPixelSize(10);
    p->setFont(font);
    p->setPen(m_selected ? option.palette.color(QPalette::HighlightedText) : kMatchColor);
    const QRect r = option.rect.adjusted(46, option.rect.height() - 18, -8, -2);
    const QString snippet = oneLine(idx.data(SnippetRole).toString());
    if (!snippet.isEmpty())
        drawHighlighted(p, r, snippet, idx.data(SearchTermsRole).toStringList());
    else
        drawText(p, r, tr("Matched: %1").arg(matched.join(QStringLiteral(", "))));
    p->restore();
}
