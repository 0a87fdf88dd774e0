#pragma once
// The About box: the program's icon, name, version, a rights line naming the
// maker, and "More Info" for the product's web page when there is one.

#include <QDialog>

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};
