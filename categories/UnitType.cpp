#include "UnitType.h"

#include "UnitDM.h"
#include "bytelimit.h"
#include "categorymodel.h"
#include "documentstore.h"
#include "dialogs.h"
#include "bannerpanel.h"
#include "gradientpanel.h"
#include "modality.h"
#include "mvapplication.h"
#include "okbutton.h"
#include "pictures.h"
#include "schema.h"
#include "storagefailure.h"
#include "windowframe.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

QString TypeEditMode;

namespace {
const QColor LabelColour(0x21, 0x5A, 0x89);
}

TfmTypeEdit::TfmTypeEdit(QWidget *owner, const QString &mode) : QDialog(owner)
{
    setObjectName(QStringLiteral("fmTypeEdit"));
    setWindowTitle(QStringLiteral("下载文档管理  TellbyMorvane软件工作室 "));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    resize(mv::clientSizeForOuter(QSize(357, 296)));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xF7, 0xFA, 0xFD));
    setPalette(pal);

    // The two bands follow the window's width; the fields below keep their
    // places.
    auto *bands = new QVBoxLayout(this);
    bands->setContentsMargins(0, 0, 0, 0);
    bands->setSpacing(0);
    RzPanel1 = mv::createBannerPanel(this, &Image1);
    bands->addWidget(RzPanel1);

    RzPanel2 = new mv::GradientPanel(this);
    RzPanel2->setObjectName(QStringLiteral("RzPanel2"));
    RzPanel2->setCaption(QStringLiteral("    文档类别"));
    RzPanel2->setFixedHeight(24);
    bands->addWidget(RzPanel2);
    bands->addStretch(1);

    Label1 = new QLabel(QStringLiteral("上级类别 &1        "), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(56, 113);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(129, 112, 156, 21);
    Edit1->setFocusPolicy(Qt::ClickFocus); // not a tab stop
    Edit1->setToolTip(QStringLiteral("如果为0则为顶级类别!"));
    Label1->setBuddy(Edit1);

    Label2 = new QLabel(QStringLiteral("类别名称 &2        "), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->move(57, 148);
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(128, 144, 154, 21);
    mv::limitStoredBytes(Edit2, mv::TypeNameBytes);
    Label2->setBuddy(Edit2);
    for (QLabel *l : {Label1, Label2}) {
        QPalette lp = l->palette();
        lp.setColor(QPalette::WindowText, LabelColour);
        l->setPalette(lp);
        l->adjustSize();
    }

    Button1 = new QPushButton(QStringLiteral("确定"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(209, 192, 75, 25);
    Button1->setAutoDefault(false);
    Button1->setDefault(false);
    mv::connectOkButton(this, Button1, mv::reported(this, &TfmTypeEdit::Button1Click));

    TypeEditMode = mode;
    const QStringList pieces = SplitString(TypeEditMode, QLatin1Char('-'));
    Edit1->setText(pieces.value(1));
    if (pieces.value(0) == QLatin1String("Edit"))
        Edit2->setText(NameInModeString(TypeEditMode));
    Edit2->setFocus();

    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
}

QString TfmTypeEdit::NameInModeString(const QString &mode)
{
    // The caption is everything after the second "-", and the name
    // everything after the caption's first blank: a name keeps its own
    // blanks and dashes, at its ends too.
    const qsizetype firstDash = mode.indexOf(QLatin1Char('-'));
    const qsizetype secondDash = firstDash < 0 ? -1 : mode.indexOf(QLatin1Char('-'), firstDash + 1);
    if (secondDash < 0)
        return {};
    const QString caption = mode.mid(secondDash + 1);
    const qsizetype blank = caption.indexOf(QLatin1Char(' '));
    return blank < 0 ? QString() : caption.mid(blank + 1);
}

void TfmTypeEdit::Button1Click()
{
    const QString name = Edit2->text();
    if (name.isEmpty())
        return;
    const QString word = SplitString(TypeEditMode, QLatin1Char('-')).value(0);
    if (word == QLatin1String("Add")) {
        QString id;
        try {
            id = mvlabDm->store().nextCategoryId();
        } catch (const mv::db::DbError &e) {
            mv::Dialogs::error(e.message());
            return;
        }
        try {
            mvlabDm->store().insertCategory(id, Edit1->text(), name);
        } catch (const mv::db::DbError &e) {
            mv::Dialogs::info(QStringLiteral("数据添加出现问题") + mv::db::failedChangeText(e));
        } catch (const mv::InputError &e) {
            mv::Dialogs::info(QStringLiteral("数据添加出现问题") + e.message());
        }
    }
    if (word == QLatin1String("Edit")) {
        try {
            mvlabDm->store().renameCategory(Edit1->text(), name);
        } catch (const mv::db::DbError &e) {
            mv::Dialogs::info(QStringLiteral("数据修改出现问题!") + mv::db::failedChangeText(e));
        } catch (const mv::InputError &e) {
            mv::Dialogs::info(QStringLiteral("数据修改出现问题!") + e.message());
        }
    }
}

void ShowTypeEditDialog(QWidget *owner, const QString &mode)
{
    TfmTypeEdit *dialog = TfmTypeEdit::CreateWithMode(owner, mode);
    mv::execModal(dialog);
    dialog->hide();
    delete dialog;
}
