#include "UnitAbort.h"

#include "pictures.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

TAboutBox::TAboutBox(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("关于"));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    setFixedSize(298, 213);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(8, 8, 281, 161);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(1);
    // The raised inner bevel inside the sunken outer one.
    auto *inner = new QFrame(Panel1);
    inner->setFrameStyle(QFrame::Panel | QFrame::Raised);
    inner->setGeometry(1, 1, 279, 159);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(8, 8, 65, 57);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(mv::pictures::programPicture(32));

    ProductName = new QLabel(QStringLiteral("Morvane资料系统"), Panel1);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    ProductName->move(88, 16);

    Version = new QLabel(QStringLiteral("版本 1.0  "), Panel1);
    Version->setObjectName(QStringLiteral("Version"));
    Version->move(88, 40);

    Copyright = new QLabel(QStringLiteral("版权所有 (C) TellbyMorvane软件工作室"), Panel1);
    Copyright->setObjectName(QStringLiteral("Copyright"));
    Copyright->move(56, 88);

    Label1 = new QLabel(QStringLiteral("承接软件定制, 欢迎来电洽谈业务"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(56, 120);
    Label1->setStyleSheet(QStringLiteral("color: #215A89;"));

    for (QLabel *l : {ProductName, Version, Copyright, Label1})
        l->adjustSize();

    OKButton = new QPushButton(QStringLiteral("确定"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(111, 180, 75, 25);
    OKButton->setDefault(true);
    OKButton->setAutoDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}
