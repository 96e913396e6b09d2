#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class QTreeWidgetItem;

namespace mv {
class FrameShape;
class GradientPanel;
class TreeView;
}

// The modal dialog in which the user picks a document's category from the
// whole category tree.
//
// Use from the editor:
//
//     TfmTypeSelect *dialog = TfmTypeSelect::CreateSelecting(this, id + " " + name);
//     dialog->exec();
//     const QString caption = dialog->selectedCaption();
//     dialog->hide();
//     delete dialog;
//     if (!caption.isEmpty())
//         ... take the id and the name from caption ...
//
// or simply `ShowTypeSelectDialog(this, id + " " + name)`.
//
// The only way out is the OK button, so the modal result is always Accepted
// and says nothing. The result is the selected node, which may be none: no
// preselection matched and the user picked nothing. Then selectedCaption()
// is empty and the caller keeps the category it had.
class TfmTypeSelect : public QDialog
{
    Q_OBJECT
public:
    // preselect: a node caption ("3 Books"); empty for no preselection.
    TfmTypeSelect(QWidget *owner, const QString &preselect);
    static TfmTypeSelect *CreateSelecting(QWidget *owner, const QString &preselect)
    {
        return new TfmTypeSelect(owner, preselect);
    }

    // The selected node, or none.
    QTreeWidgetItem *selectedNode() const;
    // The caption of the selected node ("id name"), or an empty text when no
    // node is selected. A node caption always holds a blank, so it is never
    // empty itself.
    QString selectedCaption() const;

    QString PreselectCaption;

    mv::GradientPanel *RzPanel1;
    QLabel *Image1;
    mv::GradientPanel *RzPanel2;
    mv::FrameShape *Shape1;
    mv::TreeView *RzTreeView1;
    QPushButton *Button1;

public slots:
    void Button1Click();
    // Rejecting (Escape, a close request from the window manager) is not a
    // way out of this dialog.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();
    void FormShow();
};

// Opens the picker modally with a caption to preselect, frees it, and returns
// the caption of the node selected when it closed (empty when none was).
QString ShowTypeSelectDialog(QWidget *owner, const QString &preselect);
