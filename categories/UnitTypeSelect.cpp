#include "UnitTypeSelect.h"

#include "UnitDM.h"
#include "categorymodel.h"
#include "dialogs.h"
#include "bannerpanel.h"
#include "gradientpanel.h"
#include "modality.h"
#include "mvapplication.h"
#include "okbutton.h"
#include "pictures.h"
#include "treeview.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTreeWidgetItemIterator>

TfmTypeSelect::TfmTypeSelect(QWidget *owner, const QString &preselect)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint),
      PreselectCaption(preselect)
{
    setObjectName(QStringLiteral("fmTypeSelect"));
    setWindowTitle(QStringLiteral("文档类别选择  TellbyMorvane软件工作室"));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    setFixedSize(356, 342);

    RzPanel1 = mv::createBannerPanel(this, &Image1);
    RzPanel1->setGeometry(0, 0, width(), 57);

    RzPanel2 = new mv::GradientPanel(this);
    RzPanel2->setObjectName(QStringLiteral("RzPanel2"));
    RzPanel2->setCaption(QStringLiteral("    文档类别"));
    RzPanel2->setGeometry(0, 57, width(), 24);

    // The outline is created first so that the tree lies above it.
    Shape1 = new mv::FrameShape(QColor(0x88, 0xB5, 0xE1), this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(4, 85, 345, 217);

    RzTreeView1 = new mv::TreeView(this);
    RzTreeView1->setObjectName(QStringLiteral("RzTreeView1"));
    RzTreeView1->setGeometry(9, 88, 335, 211);
    RzTreeView1->setIndentation(19);
    RzTreeView1->setFrameStyle(QFrame::Box | QFrame::Sunken); // grooved
    RzTreeView1->setLineWidth(1);
    QPalette tp = RzTreeView1->palette();
    tp.setColor(QPalette::Base, QColor(0xF2, 0xF8, 0xFB));
    RzTreeView1->setPalette(tp);

    Button1 = new QPushButton(QStringLiteral("确定 &E"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(259, 310, 75, 25);
    Button1->setAutoDefault(false);
    Button1->setDefault(false);
    mv::connectOkButton(this, Button1, mv::reported(this, &TfmTypeSelect::Button1Click));

    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());

    FormCreate();
}

void TfmTypeSelect::FormCreate()
{
    // A database that cannot be read is reported; the dialog still opens,
    // with an empty tree.
    try {
        if (!mvlabDm)
            throw mv::db::DbError(QStringLiteral("数据库没有打开"));
        TArr arr;
        LoadCategories(*mvlabDm, arr);
        BuildCategoryTree(RzTreeView1, arr);
    } catch (...) {
        mv::Application::reportCurrentException();
    }
}

void TfmTypeSelect::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfmTypeSelect::FormShow()
{
    if (PreselectCaption.isEmpty())
        return;
    // Tree order: each node before its children, top to bottom.
    for (QTreeWidgetItemIterator it(RzTreeView1); *it; ++it) {
        if ((*it)->text(0) == PreselectCaption) {
            RzTreeView1->setCurrentItem(*it);
            (*it)->setSelected(true);
            RzTreeView1->scrollToItem(*it);
            return;
        }
    }
}

void TfmTypeSelect::Button1Click()
{
}

void TfmTypeSelect::reject()
{
}

QTreeWidgetItem *TfmTypeSelect::selectedNode() const
{
    return RzTreeView1->selectedNode();
}

QString TfmTypeSelect::selectedCaption() const
{
    const QTreeWidgetItem *node = selectedNode();
    return node ? node->text(0) : QString();
}

QString ShowTypeSelectDialog(QWidget *owner, const QString &preselect)
{
    TfmTypeSelect *dialog = TfmTypeSelect::CreateSelecting(owner, preselect);
    mv::execModal(dialog);
    const QString caption = dialog->selectedCaption();
    dialog->hide();
    delete dialog;
    return caption;
}
