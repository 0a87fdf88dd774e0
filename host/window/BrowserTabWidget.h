#pragma once
// The document tabs of the reader and attachment pages: one module widget per
// open document, an "add" button right after the last tab, and the files the
// tabs show.

#include <QTabBar>
#include <QTabWidget>

class BrowserTabBar : public QTabBar {
    Q_OBJECT
public:
    explicit BrowserTabBar(QWidget* parent = nullptr);

    // The square "add" button beside the last tab (or at the start of an
    // empty bar).
    QRect addButtonRect() const;
    // The base hint, its width shared out so that every tab and the add
    // button fit the bar: at most 180, at least 18 pixels.
    QSize tabSizeHint(int index) const override;

signals:
    void addTabRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    bool addHovered = false;
};

class BrowserTabWidget : public QTabWidget {
    Q_OBJECT
public:
    explicit BrowserTabWidget(QWidget* parent = nullptr);

    // Records the absolute path of a new tab, once.
    void registerFile(const QString& path);
    // The tab whose widget shows path (its "sourceFilePath"), or -1.
    int indexOfFile(const QString& path) const;
    QStringList files() const { return fileList; }

    // Removes the tab, deletes its widget and forgets its file.
    void closeTab(int index);

signals:
    void allTabClosed();
    void addFileClicked();

private:
    QStringList fileList;
};
