#include "sorrel/views/ElidedLabel.h"

#include <QResizeEvent>

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void ElidedLabel::setElideMode(Qt::TextElideMode mode)
{
    m_mode = mode;
    updateElided();
}

void ElidedLabel::setFullText(const QString& text)
{
    m_fullText = text;
    setVisible(!text.isEmpty());
    updateElided();
}

void ElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    updateElided();
}

void ElidedLabel::updateElided()
{
    // Rich text and wrapped text cannot be elided by width; show them whole.
    if (wordWrap() || Qt::mightBeRichText(m_fullText) || width() <= 0) {
        setText(m_fullText);
        return;
    }
    setText(fontMetrics().elidedText(m_fullText, m_mode, width()));
}
