#pragma once
// One clickable card of the all-modules edition's home page: the module's
// icon, title, description and an optional badge.

#include <QFrame>
#include <QPixmap>

#include <functional>

class HomeModuleCard : public QFrame {
    Q_OBJECT
public:
    // The accent colour is accepted for the family's card API and not used.
    HomeModuleCard(const QString& moduleId, const QString& title, const QString& description,
                   const QColor& accentColor, const QString& badge, QWidget* parent = nullptr);

    void setClickHandler(std::function<void()> handler) { onClick = std::move(handler); }
    QString moduleId() const { return id; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString id;
    QString title;
    QString description;
    QString badge;
    QPixmap icon;
    bool hovered = false;
    std::function<void()> onClick;
};
