#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QSplitter;
class QWebEngineView;

namespace mv {
class FrameShape;
class GradientPanel;
}

// The lookup pages live on two hosts of one public lookup site; every
// address is "http://" + host + path.
inline constexpr char LookupMainHost[] = "www.ip138.com";
inline constexpr char LookupSecondHost[] = "qq.ip138.com";

// A list of everyday lookups (phone-number region, IP address location,
// timetables, weather...); a double click on an entry opens its page in the
// browser beside the list. Keeps no data of its own.
class TfmBianMing : public QDialog
{
    Q_OBJECT
public:
    explicit TfmBianMing(QWidget *owner);

    mv::GradientPanel *RzPanel1;
    QLabel *Image1;
    mv::GradientPanel *RzPanel2;
    mv::GradientPanel *RzPanel3;
    QSplitter *Splitter1;
    QWidget *RzPanel4;
    mv::FrameShape *Shape1;
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label12;
    QLabel *Label3;
    QLabel *Label4;
    QLabel *Label5;
    QLabel *Label6;
    QLabel *Label7;
    QLabel *Label8;
    QLabel *Label9;
    QLabel *Label10;
    QLabel *Label11;
    QLabel *Label13;
    QLabel *Label14;
    QWidget *RzPanel5;
    QFrame *RzPanel6;
    QWebEngineView *WebBrowser1;

public slots:
    // Hover: every label but Label2 turns red under the pointer; leaving a
    // label, or entering Label2, sets it back to the label colour.
    void Label1MouseEnter(QLabel *sender);
    void Label1MouseLeave(QLabel *sender);

    void Label1DblClick();
    void Label2DblClick();
    void Label3DblClick();
    void Label4DblClick();
    void Label6DblClick();
    void Label7DblClick();
    void Label8DblClick();
    void Label9DblClick();
    void Label10DblClick();
    void Label11DblClick();
    void Label12DblClick();
    void Label13DblClick();
    void Label14DblClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct LabelEvents {
        QLabel *label;
        void (TfmBianMing::*mouseEnter)(QLabel *);
        void (TfmBianMing::*dblClick)(); // none for a label without a page
    };
    QLabel *addLabel(const char *name, const QString &caption, int top);
    void navigate(const char *host, const char *path);

    QList<LabelEvents> labelEvents_;
};

// The tray menu's "便民查询": opens the window modally over owner (the main
// window), then hides and frees it. Every opening starts with an empty browser.
void ShowLookupWindow(QWidget *owner);
