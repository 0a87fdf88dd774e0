#include "host/window/AboutDialog.h"

#include "common/ProductProfile.h"

#include <QApplication>
#include <QDate>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("About"));
    setStyleSheet(QStringLiteral(
        "QLabel#lab_product{font-size:13px}"
        "QPushButton#btnMoreInfo{background:white;border:1px solid rgb(200,200,200);border-radius:4px;padding:4px 14px;}"
        "QPushButton#btnMoreInfo:hover{border-color:rgb(120,120,120);}"));

    auto* iconLabel = new QLabel(this);
    iconLabel->setObjectName(QStringLiteral("iconLabel"));
    const qreal ratio = devicePixelRatioF();
    QPixmap icon = QApplication::windowIcon().pixmap(QSize(75, 75), ratio);
    icon.setDevicePixelRatio(ratio);
    iconLabel->setPixmap(icon);
    iconLabel->setFixedSize(75, 75);

    auto* product = new QLabel(QString::fromLatin1(ProductProfile::kApplicationName), this);
    product->setObjectName(QStringLiteral("lab_product"));
    product->setStyleSheet(QStringLiteral("font-size: 15px; font-weight: bold;"));
    auto* version = new QLabel(tr("Version %1").arg(QLatin1String(ProductProfile::kVersion)), this);
    version->setObjectName(QStringLiteral("lab_version"));
    version->setStyleSheet(QStringLiteral("font-size: 13px;"));
    auto* rights = new QLabel(tr("Copyright © %1 %2. All rights reserved.")
                                  .arg(QDate::currentDate().year())
                                  .arg(QLatin1String(ProductProfile::kOrganizationName)),
                              this);
    rights->setObjectName(QStringLiteral("lab_copyright"));
    rights->setStyleSheet(QStringLiteral("font-size: 11px;"));

    auto* moreInfo = new QPushButton(tr("More Info"), this);
    moreInfo->setObjectName(QStringLiteral("btnMoreInfo"));
    moreInfo->setAutoDefault(false);
    const QUrl website(QString::fromUtf8(ProductProfile::kWebsiteUrl));
    moreInfo->setVisible(!website.isEmpty());
    connect(moreInfo, &QPushButton::clicked, this, [website] { QDesktopServices::openUrl(website); });

    auto* texts = new QVBoxLayout;
    texts->addWidget(product);
    texts->addWidget(version);
    texts->addWidget(rights);
    texts->addStretch();
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(moreInfo);
    texts->addLayout(row);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(16);
    layout->addWidget(iconLabel, 0, Qt::AlignTop);
    layout->addLayout(texts);
}
