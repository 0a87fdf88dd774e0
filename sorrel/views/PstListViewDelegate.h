#pragma once
// Paints the item list's rows as cards: icon, bold title, second line and a
// right-hand date or duration, plus a match line for search rows.

#include <QStyledItemDelegate>

class PstListViewDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static constexpr int kMargin = 8;
    static constexpr int kIconTop = 4;
    static constexpr int kSpacing = 6;
    static constexpr int kIconSize = 32;

    explicit PstListViewDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    struct Geometry;
    void paintMail(QPainter* p, const QStyleOptionViewItem& opt, const QModelIndex& idx, const Geometry& g) const;
    void paintCalendar(QPainter* p, const QStyleOptionViewItem& opt, const QModelIndex& idx, const Geometry& g) const;
    void paintContact(QPainter* p, const QStyleOptionViewItem& opt, const QModelIndex& idx, const Geometry& g) const;
    void paintTask(QPainter* p, const QStyleOptionViewItem& opt, const QModelIndex& idx, const Geometry& g) const;
    void paintDated(QPainter* p, const QModelIndex& idx, const Geometry& g, const QString& icon) const;
    void paintPlain(QPainter* p, const QStyleOptionViewItem& opt, const QModelIndex& idx, const Geometry& g) const;
    void paintMatchLine(QPainter* p, const QStyleOptionViewItem& opt, const QModelIndex& idx) const;
    void drawText(QPainter* p, const QRect& r, const QString& text, int align = Qt::AlignLeft) const;
    void drawHighlighted(QPainter* p, const QRect& r, const QString& text, const QStringList& terms) const;

    mutable bool m_selected = false;
};
