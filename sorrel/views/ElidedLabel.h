#pragma once
// Label that elides its full text to its width and hides itself while empty.

#include <QLabel>

class ElidedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setElideMode(Qt::TextElideMode mode);
    Qt::TextElideMode elideMode() const { return m_mode; }
    // Stores text, shows the label when text is non-empty and hides it otherwise.
    void setFullText(const QString& text);
    QString fullText() const { return m_fullText; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateElided();

    QString m_fullText;
    Qt::TextElideMode m_mode = Qt::ElideRight;
};
