#include "UnitBianMing.h"

#include "bannerpanel.h"
#include "gradientpanel.h"
#include "modality.h"
#include "pictures.h"
#include "windowframe.h"

#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSplitter>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

const QColor LabelColour(0x21, 0x5A, 0x89);
const QColor HoverColour(0xFF, 0x00, 0x00);

// The list's outline: the shared frame shape drawn with a two-pixel pen.
class ListOutline : public mv::FrameShape
{
public:
    ListOutline(const QColor &outline, QWidget *parent) : mv::FrameShape(outline, parent), colour_(outline) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setPen(QPen(colour_, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }

private:
    QColor colour_;
};

void setTextColour(QLabel *label, const QColor &colour)
{
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
}

} // namespace

TfmBianMing::TfmBianMing(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                         | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("fmBianMing"));
    setWindowTitle(QStringLiteral("便民查询  TellbyMorvane软件工作室"));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    setSizeGripEnabled(false);
    resize(mv::clientSizeForOuter(QSize(732, 534)));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    RzPanel1 = mv::createBannerPanel(this, &Image1);
    outer->addWidget(RzPanel1);

    RzPanel2 = new mv::GradientPanel(this);
    RzPanel2->setObjectName(QStringLiteral("RzPanel2"));
    RzPanel2->setCaption(QStringLiteral("    便民查询"));
    RzPanel2->setFixedHeight(24);
    outer->addWidget(RzPanel2);

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->setStyleSheet(QStringLiteral("QSplitter::handle { background: #EFF8F3; }"));
    outer->addWidget(Splitter1, 1);

    // The list: an outline following the panel's size, and the labels on it.
    RzPanel4 = new QWidget(Splitter1);
    RzPanel4->setObjectName(QStringLiteral("RzPanel4"));
    auto *listLayout = new QVBoxLayout(RzPanel4);
    listLayout->setContentsMargins(3, 4, 3, 4);
    Shape1 = new ListOutline(QColor(0xD7, 0xE9, 0xF7), RzPanel4);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    listLayout->addWidget(Shape1);

    Label1 = addLabel("Label1", QStringLiteral("电话号码归属地查询          "), 28);
    Label2 = addLabel("Label2", QStringLiteral("ip地址所在地查询          "), 53);
    Label12 = addLabel("Label12", QStringLiteral("车辆交通违章查询          "), 79);
    Label3 = addLabel("Label3", QStringLiteral("国内列车时刻表查询          "), 105);
    Label4 = addLabel("Label4", QStringLiteral("天气预报-预报五天            "), 131);
    Label5 = addLabel("Label5", QStringLiteral("国内国际机票查询            "), 157);
    Label6 = addLabel("Label6", QStringLiteral("在线翻译            "), 183);
    Label7 = addLabel("Label7", QStringLiteral("货币汇率兑换         "), 208);
    Label8 = addLabel("Label8", QStringLiteral("阴阳转换万年历             "), 234);
    Label9 = addLabel("Label9", QStringLiteral("邮编查询区号查询         "), 260);
    Label10 = addLabel("Label10", QStringLiteral("身份证号码查询验证          "), 286);
    Label11 = addLabel("Label11", QStringLiteral("EMS邮政速递查询          "), 312);
    Label13 = addLabel("Label13", QStringLiteral("各地车牌查询表          "), 338);
    Label14 = addLabel("Label14", QStringLiteral("车辆交通违章查询        "), 364);

    labelEvents_ = {
        {Label1, &TfmBianMing::Label1MouseEnter, &TfmBianMing::Label1DblClick},
        {Label2, &TfmBianMing::Label1MouseLeave, &TfmBianMing::Label2DblClick},
        {Label12, &TfmBianMing::Label1MouseEnter, &TfmBianMing::Label12DblClick},
        {Label3, &TfmBianMing::Label1MouseEnter, &TfmBianMing::Label3DblClick},
        {Label4, &TfmBianMing::Label1MouseEnter, &TfmBianMing::Label4DblClick},
        {Label5, &TfmBianMing::Label1MouseEnter, nullptr},
        {Label6, &TfmBianMing::Label1MouseEnter, &TfmBianMing::Label6DblClick},
        {Label7, &TfmBianMing::Label1MouseEnter, &TfmBianMing::Label7DblClick},
        {Label8, &TfmBianMing::Label1MouseEnter, &TfmBianMing::Label8DblClick},
        {Label9, &TfmBianMing::Label1MouseEnter, &TfmBianMing::Label9DblClick},
        {Label10, &TfmBianMing::Label1MouseEnter, &TfmBianMing::Label10DblClick},
        {Label11, &TfmBianMing::Label1MouseEnter, &TfmBianMing::Label11DblClick},
        {Label13, &TfmBianMing::Label1MouseEnter, &TfmBianMing::Label13DblClick},
        {Label14, &TfmBianMing::Label1MouseEnter, &TfmBianMing::Label14DblClick},
    };
    for (const LabelEvents &e : labelEvents_)
        e.label->installEventFilter(this);

    // The browser, in a rounded frame with a shadow line, filling the rest.
    RzPanel5 = new QWidget(Splitter1);
    RzPanel5->setObjectName(QStringLiteral("RzPanel5"));
    auto *browserLayout = new QVBoxLayout(RzPanel5);
    browserLayout->setContentsMargins(4, 4, 4, 4);
    RzPanel6 = new QFrame(RzPanel5);
    RzPanel6->setObjectName(QStringLiteral("RzPanel6"));
    RzPanel6->setStyleSheet(QStringLiteral("QFrame#RzPanel6 { border: 1px solid #A9C8E6; border-radius: 3px;"
                                           " border-right: 2px solid #5B8FC4; border-bottom: 2px solid #5B8FC4; }"));
    browserLayout->addWidget(RzPanel6);
    auto *frameLayout = new QVBoxLayout(RzPanel6);
    frameLayout->setContentsMargins(1, 1, 2, 2);
    WebBrowser1 = new QWebEngineView(RzPanel6);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    frameLayout->addWidget(WebBrowser1);
    // The browser is on the engine's default profile, which keeps nothing
    // on disk; its pages cannot reach local files, a download nobody takes
    // is cancelled, and a new window nobody makes is not opened. What a
    // page asks permission for (location, camera, notifications...) it is
    // refused at once.
    QWebEnginePage *page = WebBrowser1->page();
    connect(page, &QWebEnginePage::featurePermissionRequested, page,
            [page](const QUrl &origin, QWebEnginePage::Feature feature) {
                page->setFeaturePermission(origin, feature, QWebEnginePage::PermissionDeniedByUser);
            });

    Splitter1->addWidget(RzPanel4);
    Splitter1->addWidget(RzPanel5);
    // Only the browser grows with the window; the list keeps its width.
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({185, width() - 185 - Splitter1->handleWidth()});

    RzPanel3 = new mv::GradientPanel(this);
    RzPanel3->setObjectName(QStringLiteral("RzPanel3"));
    RzPanel3->setFixedHeight(25);
    outer->addWidget(RzPanel3);

    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
}

QLabel *TfmBianMing::addLabel(const char *name, const QString &caption, int top)
{
    auto *label = new QLabel(caption, RzPanel4);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    setTextColour(label, LabelColour);
    // Sized to the caption with its trailing blanks, which widen the area
    // that reacts to the pointer.
    const QFontMetrics fm(label->font());
    label->setGeometry(15, top, fm.horizontalAdvance(caption), fm.height());
    label->raise();
    return label;
}

bool TfmBianMing::eventFilter(QObject *watched, QEvent *event)
{
    for (const LabelEvents &e : labelEvents_) {
        if (e.label != watched)
            continue;
        switch (event->type()) {
        case QEvent::Enter:
            (this->*e.mouseEnter)(e.label);
            break;
        case QEvent::Leave:
            Label1MouseLeave(e.label);
            break;
        case QEvent::MouseButtonDblClick:
            if (e.dblClick && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
                (this->*e.dblClick)();
            break;
        default:
            break;
        }
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void TfmBianMing::keyPressEvent(QKeyEvent *event)
{
    // Only the title bar's close button ends this window; Escape does not.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfmBianMing::Label1MouseEnter(QLabel *sender)
{
    setTextColour(sender, HoverColour);
}

void TfmBianMing::Label1MouseLeave(QLabel *sender)
{
    setTextColour(sender, LabelColour);
}

void TfmBianMing::navigate(const char *host, const char *path)
{
    // Pages that cannot be reached show the browser's own error page.
    WebBrowser1->load(QUrl(QStringLiteral("http://") + QLatin1String(host) + QLatin1String(path)));
}

void TfmBianMing::Label1DblClick() { navigate(LookupMainHost, "/sj/index.htm"); }
void TfmBianMing::Label2DblClick() { navigate(LookupMainHost, "/ips8.asp"); }
void TfmBianMing::Label12DblClick() { navigate(LookupMainHost, "/weizhang.htm"); }
void TfmBianMing::Label3DblClick() { navigate(LookupSecondHost, "/train/"); }
void TfmBianMing::Label4DblClick() { navigate(LookupSecondHost, "/weather/"); }
void TfmBianMing::Label6DblClick() { navigate(LookupMainHost, "/jb.htm"); }
void TfmBianMing::Label7DblClick() { navigate(LookupSecondHost, "/hl.asp"); }
void TfmBianMing::Label8DblClick() { navigate(LookupSecondHost, "/day/"); }
void TfmBianMing::Label9DblClick() { navigate(LookupMainHost, "/post/"); }
void TfmBianMing::Label10DblClick() { navigate(LookupSecondHost, "/idsearch/"); }
void TfmBianMing::Label11DblClick() { navigate(LookupMainHost, "/ems"); }
void TfmBianMing::Label13DblClick() { navigate(LookupMainHost, "/carlist.htm"); }
void TfmBianMing::Label14DblClick() { navigate(LookupMainHost, "/weizhang.htm"); }

void ShowLookupWindow(QWidget *owner)
{
    auto *window = new TfmBianMing(owner);
    mv::execModal(window);
    window->hide();
    delete window;
}
