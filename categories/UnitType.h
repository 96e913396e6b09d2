#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace mv {
class GradientPanel;
}

// The mode string of the open category name dialog ("Add-12-12 Name" or
// "Edit-12-12 Name"), kept from construction until OK is handled.
extern QString TypeEditMode;

// The small dialog that adds a sub-category or renames one.
class TfmTypeEdit : public QDialog
{
    Q_OBJECT
public:
    TfmTypeEdit(QWidget *owner, const QString &mode);
    static TfmTypeEdit *CreateWithMode(QWidget *owner, const QString &mode) { return new TfmTypeEdit(owner, mode); }

    // The category name a rename starts with: the whole name in the
    // caption the mode string carries ("Edit-12-12 My notes-2024" gives
    // "My notes-2024"); empty when there is no caption.
    static QString NameInModeString(const QString &mode);

    mv::GradientPanel *RzPanel1;
    QLabel *Image1;
    mv::GradientPanel *RzPanel2;
    QLabel *Label1;
    QLineEdit *Edit1;
    QLabel *Label2;
    QLineEdit *Edit2;
    QPushButton *Button1;

public slots:
    void Button1Click();
};

// Opens the dialog modally with the mode string and frees it when it closes;
// the caller reloads its tree afterwards in every case.
void ShowTypeEditDialog(QWidget *owner, const QString &mode);
