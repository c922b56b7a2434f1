#include "TAboutBox.h"

#include "common/Product.h"

#include "DialogGeometry.h"

#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

namespace norvane {

namespace {
constexpr QSize ClientSize(265, 153);
constexpr int CentreX = 132;
constexpr int IconSize = 32;
const QColor NameColour(128, 0, 128);
constexpr int NamePointSize = 10;
constexpr const char* ProgramIconResource = ":/images/norvane.svg";
} // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About Norvane"));
    setFixedSize(ClientSize);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel"));
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel->setGeometry(8, 8, 249, 106);

    ProgramIcon = new QLabel(this);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(18, 18, IconSize, IconSize);

    lblName = new QLabel(QString::fromLatin1(ApplicationTitle), this);
    lblName->setObjectName(QStringLiteral("lblName"));
    QFont nameFont = lblName->font();
    nameFont.setPointSize(NamePointSize);
    nameFont.setBold(true);
    nameFont.setUnderline(true);
    lblName->setFont(nameFont);
    QPalette namePalette = lblName->palette();
    namePalette.setColor(QPalette::WindowText, NameColour);
    lblName->setPalette(namePalette);

    lblVersion = new QLabel(QStringLiteral("Version 2.1"), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblAuthor = new QLabel(QStringLiteral("Halvorix Software"), this);
    lblAuthor->setObjectName(QStringLiteral("lblAuthor"));
    lblCopyright = new QLabel(QStringLiteral("Copyright (c) 2026 Halvorix"), this);
    lblCopyright->setObjectName(QStringLiteral("lblCopyright"));
    placeCentred(lblName, CentreX, 15);
    placeCentred(lblVersion, CentreX, 40);
    placeCentred(lblAuthor, CentreX, 64);
    placeCentred(lblCopyright, CentreX, 89);

    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setGeometry(95, 122, 75, 25);
    btnOk->setDefault(true);
    btnOk->setFocus();
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);

    FormCreate();
}

void TAboutBox::FormCreate() {
    QIcon icon = QGuiApplication::windowIcon();
    if (icon.isNull())
        icon = QIcon(QString::fromLatin1(ProgramIconResource));
    // Without the resource the box simply shows no picture.
    ProgramIcon->setPixmap(icon.pixmap(IconSize, IconSize));
}

} // namespace norvane
