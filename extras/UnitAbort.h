#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

// The about box: the program's picture, name, version, the maker's lines
// and an OK button. Fixed size, no logic of its own.
class TAboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr);

    QFrame *Panel1;
    QLabel *ProgramIcon;
    QLabel *ProductName;
    QLabel *Version;
    QLabel *Copyright;
    QLabel *Label1;
    QPushButton *OKButton;
};
