#pragma once
// A rotating wait image shown while files open: 30 degrees every 50 ms
// while visible, and hidden no earlier than a minimum time after showing,
// so a quick open does not merely flash it.

#include <QElapsedTimer>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

class SpinnerWidget : public QWidget {
    Q_OBJECT
public:
    SpinnerWidget(QWidget* parent, int side);

    int angle() const { return m_angle; }
    // Shows the spinner (it keeps turning when already shown) and cancels a
    // hide still pending from an earlier hideAfterMinimum.
    void showSpinning();
    // Hides now when shown for at least ms, else once ms have passed since
    // showing. A later show cancels a pending hide.
    void hideAfterMinimum(int ms);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer m_timer;
    QTimer m_hideTimer;
    QElapsedTimer m_shownClock;
    QPixmap m_image;  // the wait image at the widget's size; null when it cannot load
    int m_angle = 0;
    int m_side = 0;
};
