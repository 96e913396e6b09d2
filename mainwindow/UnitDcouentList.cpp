#include "UnitDcouentList.h"

#include "UnitAbort.h"
#include "UnitDM.h"
#include "categorymodel.h"
#include "changeevents.h"
#include "treestate.h"
#include "dialogs.h"
#include "documentquery.h"
#include "searchindexer.h"
#include "statementsearch.h"
#include "flatmenu.h"
#include "modality.h"
#include "bannerpanel.h"
#include "gradientpanel.h"
#include "pictures.h"
#include "treeview.h"
#include "windowframe.h"
#include "mvapplication.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QSessionManager>
#include <QSplitter>
#include <QToolButton>
#include <QTimer>
#include <QVBoxLayout>

bool ExitRequested = false;
TfmDocumentList *fmDocumentList = nullptr;

namespace {
// Lets the start-up paint the window before the index build competes for
// the processor.
constexpr int IndexDelayMs = 300;
// The window's stated outer size, and the client area it gives.
constexpr QSize ClientSize = mv::clientSizeForOuter(QSize(781, 568));
const QColor LabelColor(0x21, 0x5A, 0x89);
const QColor PanelBackground(0xF2, 0xF8, 0xFB);
const QColor FrameColor(0x88, 0xB5, 0xE1);

QString balloonText()
{
    return QStringLiteral("TellbyMorvane软件工作室.") + QChar(13)
           + QStringLiteral("我们将竭力为用户提供廉价或免费的应用软件或为您定制专用软件!.");
}
} // namespace

TfmDocumentList::TfmDocumentList(TmvlabDm *dm, QWidget *parent, TreeLoading loading) : QWidget(parent), dm_(dm)
{
    setObjectName(QStringLiteral("fmDocumentList"));
    setWindowTitle(QStringLiteral("文档中心 TellbyMorvane软件工作室"));
    setWindowIcon(mv::pictures::programIcon());
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    buildLayout();
    buildMenus();

    resize(ClientSize);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    // The desktop asks before logging off or shutting down: unless exit was
    // chosen, the window goes to the tray and the request is refused.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &manager) {
        if (!FormCloseQuery())
            manager.cancel();
    });

    if (loading == TreeLoading::AfterFirstPaint) {
        waitingForFirstPaint_ = true;
        qApp->installEventFilter(this);
    } else {
        FormCreate();
    }
    // The index is made ready once the window is up (opened from its file,
    // or built), on a thread and a connection of its own; the search asks
    // the database until then.
    QTimer::singleShot(IndexDelayMs, SearchIndexer1, &SearchIndexer::start);
}

TfmDocumentList::~TfmDocumentList()
{
    if (fmDocumentList == this)
        fmDocumentList = nullptr;
}

void TfmDocumentList::buildLayout()
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    RzPanel1 = mv::createBannerPanel(this, &Image1);
    outer->addWidget(RzPanel1);

    RzPanel2 = new mv::GradientPanel(this);
    RzPanel2->setObjectName(QStringLiteral("RzPanel2"));
    RzPanel2->setFixedHeight(26);
    RzPanel2->setCaption(QStringLiteral("    文档类别"));
    RzPanel2->installEventFilter(this);
    SpeedButton1 = new QToolButton(RzPanel2);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setIcon(QIcon(mv::pictures::searchGlyph()));
    SpeedButton1->setToolTip(QStringLiteral("查询,这里是区分大小写!"));
    SpeedButton1->setGeometry(82, 2, 23, 22);
    EdFind = new QLineEdit(RzPanel2);
    EdFind->setObjectName(QStringLiteral("EdFind"));
    EdFind->setGeometry(111, 3, 191, 19);
    EdFind->setToolTip(QStringLiteral("此处是区分大小写的!"));
    EdFind->setStyleSheet(QStringLiteral("QLineEdit#EdFind { color: red; background: %1; border: 1px solid #7F9DB9; }")
                              .arg(RzPanel2->panelColor().name()));
    EdFind->hide();
    SpeedButton2 = new QToolButton(RzPanel2);
    SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    SpeedButton2->setAutoRaise(true);
    SpeedButton2->setIcon(QIcon(mv::pictures::aboutGlyph()));
    SpeedButton2->resize(23, 22);
    outer->addWidget(RzPanel2);

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(5);
    Splitter1->setOpaqueResize(false);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->setStyleSheet(QStringLiteral("QSplitter::handle { background: #DAEFF5; }"));

    RzPanel4 = new QWidget(Splitter1);
    RzPanel4->setObjectName(QStringLiteral("RzPanel4"));
    auto *treeLayout = new QVBoxLayout(RzPanel4);
    treeLayout->setContentsMargins(0, 0, 0, 0);
    Shape1 = new mv::FrameShape(FrameColor, RzPanel4);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    treeLayout->addWidget(Shape1);
    auto *shape1Layout = new QVBoxLayout(Shape1);
    shape1Layout->setContentsMargins(1, 1, 1, 1);
    RzTreeView1 = new mv::TreeView(Shape1);
    RzTreeView1->setObjectName(QStringLiteral("RzTreeView1"));
    RzTreeView1->setFrameShape(QFrame::NoFrame);
    RzTreeView1->setIndentation(19);
    RzTreeView1->setStyleSheet(QStringLiteral("QTreeWidget { background: #F2F8FB; border: none; }"));
    shape1Layout->addWidget(RzTreeView1);

    RzPanel5 = new QWidget(Splitter1);
    RzPanel5->setObjectName(QStringLiteral("RzPanel5"));
    RzPanel5->setAutoFillBackground(true);
    QPalette pal = RzPanel5->palette();
    pal.setColor(QPalette::Window, PanelBackground);
    RzPanel5->setPalette(pal);
    auto *listLayout = new QVBoxLayout(RzPanel5);
    listLayout->setContentsMargins(0, 0, 0, 0);
    Shape2 = new mv::FrameShape(FrameColor, RzPanel5);
    Shape2->setObjectName(QStringLiteral("Shape2"));
    listLayout->addWidget(Shape2);
    auto *shape2Layout = new QVBoxLayout(Shape2);
    shape2Layout->setContentsMargins(7, 10, 7, 7);

    IBQueryDocument = new DocumentQuery(this);
    IBQueryDocument->setObjectName(QStringLiteral("IBQueryDocument"));
    SearchIndexer1 = new SearchIndexer(*dm_, this);
    SearchIndexer1->setObjectName(QStringLiteral("SearchIndexer1"));
    IBQueryDocument->setIndexer(SearchIndexer1);
    StatementSearch1 = new StatementSearch(dm_->IBDatabaseMV.databaseName(), this);
    StatementSearch1->setObjectName(QStringLiteral("StatementSearch1"));
    ChangeEvents1 = new mv::ChangeEvents(dm_->IBDatabaseMV.databaseName(), this);
    ChangeEvents1->setObjectName(QStringLiteral("ChangeEvents1"));
    connect(ChangeEvents1, &mv::ChangeEvents::categoriesChanged, this, &TfmDocumentList::FollowCategoryChanges);
    connect(ChangeEvents1, &mv::ChangeEvents::documentsChanged, this, &TfmDocumentList::FollowDocumentChanges);
    IBQueryDocument->setStatementSearch(StatementSearch1);
    // A search still waiting for its statement when the index comes is
    // answered from the index at once.
    connect(SearchIndexer1, &SearchIndexer::ready, this, [this] {
        if (IBQueryDocument->searching())
            EdFindChange();
    });
    DBGridEh1 = new mv::DataGrid(Shape2);
    DBGridEh1->setObjectName(QStringLiteral("DBGridEh1"));
    DBGridEh1->setFrameShape(QFrame::NoFrame);
    DBGridEh1->setModel(IBQueryDocument);
    DBGridEh1->setRowColors(QColor(0xEF, 0xF8, 0xF3), Qt::white);
    DBGridEh1->verticalHeader()->setMinimumSectionSize(1);
    DBGridEh1->verticalHeader()->setDefaultSectionSize(19);
    QHeaderView *titles = DBGridEh1->horizontalHeader();
    QFont titleFont(QStringLiteral("MS Sans Serif"), 8);
    titleFont.setBold(true);
    titles->setFont(titleFont);
    titles->setFixedHeight(18);
    titles->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    titles->setStyleSheet(QStringLiteral("QHeaderView::section { background: #FDF9F2; color: #215A89; "
                                         "font-weight: bold; border: none; border-right: 1px solid #E3E3D0; "
                                         "border-bottom: 1px solid #E3E3D0; padding-left: 3px; }"));
    DBGridEh1->setColumnWidthHint(DocumentQuery::Title, 460);
    DBGridEh1->setColumnWidthHint(DocumentQuery::Id, 30);
    DBGridEh1->setColumnWidthHint(DocumentQuery::Date, 80);
    DBGridEh1->setColumnHidden(DocumentQuery::Id, true);
    DBGridEh1->setColumnHidden(DocumentQuery::TypeId, true);
    QPalette gridPal = DBGridEh1->palette();
    gridPal.setColor(QPalette::Inactive, QPalette::Highlight, gridPal.color(QPalette::Active, QPalette::Highlight));
    DBGridEh1->setPalette(gridPal);
    DBGridEh1->setDrawColumnCell([this](QPainter *p, mv::DataGrid::Cell &cell, const QModelIndex &index) {
        DBGridEh1DrawColumnCell(p, cell, index);
    });
    shape2Layout->addWidget(DBGridEh1);

    Splitter1->addWidget(RzPanel4);
    Splitter1->addWidget(RzPanel5);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({185, ClientSize.width() - 185 - 5});
    outer->addWidget(Splitter1, 1);

    RzPanel3 = new mv::GradientPanel(this);
    RzPanel3->setObjectName(QStringLiteral("RzPanel3"));
    RzPanel3->setFixedHeight(26);
    outer->addWidget(RzPanel3);

    connect(RzTreeView1, &mv::TreeView::mouseDown, this, mv::reported(this, &TfmDocumentList::RzTreeView1MouseDown));
    connect(RzTreeView1, &mv::TreeView::leftClicked, this, mv::reported(this, &TfmDocumentList::RzTreeView1Click));
    connect(SpeedButton1, &QToolButton::clicked, this, mv::reported(this, &TfmDocumentList::SpeedButton1Click));
    connect(SpeedButton2, &QToolButton::clicked, this, mv::reported(this, &TfmDocumentList::SpeedButton2Click));
    connect(EdFind, &QLineEdit::textChanged, this, mv::reported(this, &TfmDocumentList::EdFindChange));
    connect(DBGridEh1, &QAbstractItemView::doubleClicked, this, mv::reported(this, &TfmDocumentList::DBGridEh1DblClick));
    connect(IBQueryDocument, &DocumentQuery::searchFailed, this, [](const QString &message) {
        mv::Dialogs::error(message);
    });
    connect(IBQueryDocument, &QAbstractItemModel::modelReset, this, [this] {
        if (IBQueryDocument->rowCount() > 0)
            DBGridEh1->selectRow(0);
    });
}

void TfmDocumentList::buildMenus()
{
    PopupMenu1 = new mv::FlatMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N1 = PopupMenu1->addItem(QStringLiteral("N1"), QStringLiteral("添加下级"));
    N2 = PopupMenu1->addItem(QStringLiteral("N2"), QStringLiteral("修改名称"));
    N3 = PopupMenu1->addItem(QStringLiteral("N3"), QStringLiteral("删除该级"));
    N4 = PopupMenu1->addSeparatorItem(QStringLiteral("N4"));
    N7 = PopupMenu1->addItem(QStringLiteral("N7"), QStringLiteral("增加该类文章"));
    connect(N1, &QAction::triggered, this, mv::reported(this, &TfmDocumentList::N1Click));
    connect(N2, &QAction::triggered, this, mv::reported(this, &TfmDocumentList::N2Click));
    connect(N3, &QAction::triggered, this, mv::reported(this, &TfmDocumentList::N3Click));
    connect(N7, &QAction::triggered, this, mv::reported(this, &TfmDocumentList::N7Click));
    RzTreeView1->setPopupMenu(PopupMenu1);

    PopupMenu3 = new mv::FlatMenu(this);
    PopupMenu3->setObjectName(QStringLiteral("PopupMenu3"));
    ShowWindow1 = PopupMenu3->addItem(QStringLiteral("ShowWindow1"), QStringLiteral("显示主窗口"));
    HideWindow1 = PopupMenu3->addItem(QStringLiteral("HideWindow1"), QStringLiteral("隐藏主窗口 &"));
    MenuItem1 = PopupMenu3->addSeparatorItem(QStringLiteral("MenuItem1"));
    N8 = PopupMenu3->addItem(QStringLiteral("N8"), QStringLiteral("便民查询"));
    BalloonHint1 = PopupMenu3->addItem(QStringLiteral("BalloonHint1"), QStringLiteral("显示气球提示 "));
    MenuItem2 = PopupMenu3->addSeparatorItem(QStringLiteral("MenuItem2"));
    Exit1 = PopupMenu3->addItem(QStringLiteral("Exit1"), QStringLiteral("退出 &X"));
    PopupMenu3->setDefaultAction(ShowWindow1);
    connect(ShowWindow1, &QAction::triggered, this, mv::reported(this, &TfmDocumentList::ShowWindow1Click));
    connect(HideWindow1, &QAction::triggered, this, mv::reported(this, &TfmDocumentList::HideWindow1Click));
    connect(N8, &QAction::triggered, this, mv::reported(this, &TfmDocumentList::N8Click));
    connect(BalloonHint1, &QAction::triggered, this, mv::reported(this, &TfmDocumentList::BalloonHint1Click));
    connect(Exit1, &QAction::triggered, this, mv::reported(this, &TfmDocumentList::Exit1Click));

    TrayIcon1 = new mv::TrayIcon(this);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->setIcon(mv::pictures::programIcon());
    TrayIcon1->setHint(QStringLiteral("Morvane资料管理系统"));
    TrayIcon1->setPopupMenu(PopupMenu3);
    TrayIcon1->setIconVisible(true);
    connect(TrayIcon1, &mv::TrayIcon::doubleClicked, this, mv::reported(this, &TfmDocumentList::ShowWindow1Click));
    connect(TrayIcon1, &mv::TrayIcon::balloonClicked, this, mv::reported(this, &TfmDocumentList::TrayIcon1BalloonHintClick));

    ExitKey = new QAction(this);
    ExitKey->setObjectName(QStringLiteral("ExitKey"));
    ExitKey->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    ExitKey->setShortcutContext(Qt::WindowShortcut);
    addAction(ExitKey);
    connect(ExitKey, &QAction::triggered, this, mv::reported(this, &TfmDocumentList::Exit1Click));
}

void TfmDocumentList::FormCreate()
{
    // A database that cannot be read leaves the tree empty; the window
    // still opens.
    try {
        ReloadTree();
    } catch (...) {
        mv::Application::reportCurrentException();
    }
    emit created();
}

void TfmDocumentList::ReloadTree()
{
    RzTreeView1->clear();
    TArr arr;
    LoadCategories(*dm_, arr);
    BuildCategoryTree(RzTreeView1, arr);
}

void TfmDocumentList::FollowCategoryChanges()
{
    const mv::TreeState state = mv::captureTreeState(RzTreeView1);
    try {
        ReloadTree();
    } catch (const mv::db::DbError &) {
        // The next action says what is wrong; the tree tries again at the
        // next announcement.
        return;
    }
    mv::restoreTreeState(RzTreeView1, state);
}

void TfmDocumentList::FollowDocumentChanges(int commits)
{
    if (commits != mv::ChangeEvents::Unknown && dm_->store().othersOf(commits) == 0)
        return; // only this program's own, already followed
    SearchIndexer1->othersChangedDocuments();
    const QString current = CurrentDocumentId();
    try {
        IBQueryDocument->reopen(*dm_);
    } catch (const mv::db::DbError &) {
        return;
    }
    for (int r = 0; r < IBQueryDocument->rowCount(); ++r) {
        if (IBQueryDocument->fieldByName(r, QStringLiteral("id")) == current) {
            DBGridEh1->setCurrentIndex(IBQueryDocument->index(r, 0));
            break;
        }
    }
}

QTreeWidgetItem *TfmDocumentList::SelectedNode() const
{
    return RzTreeView1->selectedNode();
}

QString TfmDocumentList::CurrentDocumentId() const
{
    const QModelIndex cur = DBGridEh1->currentIndex();
    if (!cur.isValid() || cur.row() >= IBQueryDocument->rowCount())
        return {};
    return IBQueryDocument->fieldByName(cur.row(), QStringLiteral("id"));
}

bool TfmDocumentList::eventFilter(QObject *watched, QEvent *event)
{
    if (waitingForFirstPaint_ && event->type() == QEvent::Paint) {
        // Any widget of the window: a window covered by its children gets
        // no paint event of its own.
        auto *w = qobject_cast<QWidget *>(watched);
        if (w && w->window() == this) {
            waitingForFirstPaint_ = false;
            qApp->removeEventFilter(this);
            QTimer::singleShot(0, this, &TfmDocumentList::FormCreate);
        }
    }
    if (watched == RzPanel2 && event->type() == QEvent::Resize)
        SpeedButton2->move(RzPanel2->width() - 5 - SpeedButton2->width(), 2);
    return QWidget::eventFilter(watched, event);
}

// ---- category tree and its menu ----

void TfmDocumentList::RzTreeView1MouseDown(Qt::MouseButton button, const QPoint &pos)
{
    if (button != Qt::RightButton)
        return;
    QTreeWidgetItem *node = RzTreeView1->itemAt(pos);
    if (!node)
        return;
    RzTreeView1->setCurrentItem(node);
    node->setSelected(true);
    SelectedTypeId = SplitString(node->text(0), QLatin1Char(' ')).value(0);
}

void TfmDocumentList::N1Click()
{
    QTreeWidgetItem *node = SelectedNode();
    if (!node)
        return;
    // Add a sub-category: the id comes from the last right-button press,
    // the caption from the selected node.
    emit commandRequested(QStringLiteral("N1"), QStringLiteral("Add-") + SelectedTypeId + QLatin1Char('-') + node->text(0));
}

void TfmDocumentList::N2Click()
{
    QTreeWidgetItem *node = SelectedNode();
    if (!node)
        return;
    emit commandRequested(QStringLiteral("N2"), QStringLiteral("Edit-") + SelectedTypeId + QLatin1Char('-') + node->text(0));
}

void TfmDocumentList::N3Click()
{
    QTreeWidgetItem *node = SelectedNode();
    if (!node)
        return;
    // Delete the selected node's category and everything below it.
    emit commandRequested(QStringLiteral("N3"), node->text(0));
}

void TfmDocumentList::N7Click()
{
    QTreeWidgetItem *node = SelectedNode();
    if (!node)
        return;
    // Add a document to the selected node's category: id, "-Add-", first
    // word of the name.
    const QStringList parts = SplitString(node->text(0), QLatin1Char(' '));
    emit commandRequested(QStringLiteral("N7"), parts.value(0) + QStringLiteral("-Add-") + parts.value(1));
}

// ---- document list and search ----

void TfmDocumentList::RzTreeView1Click()
{
    QTreeWidgetItem *node = SelectedNode();
    if (!node)
        return;
    IBQueryDocument->openCategory(*dm_, SplitString(node->text(0), QLatin1Char(' ')).value(0));
}

void TfmDocumentList::DBGridEh1DrawColumnCell(QPainter *p, mv::DataGrid::Cell &cell, const QModelIndex &)
{
    if (cell.selected) {
        cell.background = QColor(0xC8, 0xF0, 0xB4);
        cell.textColor = Qt::black;
    }
    DBGridEh1->defaultDrawColumnCell(p, cell);
    p->save();
    p->setPen(QColor(0xE3, 0xE3, 0xD0));
    p->drawLine(cell.rect.bottomLeft(), cell.rect.bottomRight());
    p->drawLine(cell.rect.topRight(), cell.rect.bottomRight());
    p->restore();
}

void TfmDocumentList::SpeedButton1Click()
{
    if (EdFind->isVisible()) {
        EdFind->hide();
    } else {
        EdFind->show();
        EdFind->setFocus();
    }
}

void TfmDocumentList::EdFindChange()
{
    IBQueryDocument->openSearch(*dm_, EdFind->text());
}

void TfmDocumentList::DBGridEh1DblClick()
{
    const QString id = CurrentDocumentId();
    if (id.isEmpty())
        return;
    emit commandRequested(QStringLiteral("DBGridEh1"), id + QStringLiteral("-Edit-none"));
}

void TfmDocumentList::SpeedButton2Click()
{
    TAboutBox box(nullptr);
    mv::execModal(&box, this);
}

// ---- tray icon and closing ----

bool TfmDocumentList::TrayAvailable()
{
    return mv::TrayIcon::available();
}

void TfmDocumentList::HideToTray()
{
    hide();
}

void TfmDocumentList::RestoreFromTray()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TfmDocumentList::ShowWindow1Click()
{
    RestoreFromTray();
}

void TfmDocumentList::HideWindow1Click()
{
    showMinimized();
    // Without a notification area a hidden window could not come back.
    if (TrayAvailable())
        HideToTray();
}

void TfmDocumentList::N8Click()
{
    emit commandRequested(QStringLiteral("N8"), QString());
}

void TfmDocumentList::BalloonHint1Click()
{
    TrayIcon1->showBalloon(QStringLiteral("信息提示"), balloonText(), mv::TrayIcon::BalloonKind::Info, 10);
}

void TfmDocumentList::TrayIcon1BalloonHintClick()
{
    if (isVisible()) {
        raise();
        activateWindow();
    }
    mv::Dialogs::info(QStringLiteral("感谢你使用Morvane软件!"));
}

void TfmDocumentList::Exit1Click()
{
    ExitRequested = true;
    // A modal window still open ends as cancelled.
    for (int guard = 0; guard < 32; ++guard) {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == this)
            break;
        // done(), not reject(): some dialogs refuse reject() to guard against Escape.
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->done(QDialog::Rejected);
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal) {
            // It stayed open: asked about unsaved work, the user chose to
            // go on with it. The program goes on too.
            ExitRequested = false;
            return;
        }
    }
    close();
}

bool TfmDocumentList::FormCloseQuery()
{
    const bool canClose = ExitRequested;
    if (!canClose) {
        if (TrayAvailable()) {
            HideToTray();
            TrayIcon1->setIconVisible(true);
        } else {
            showMinimized();
        }
    }
    BalloonHint1Click();
    return canClose;
}

void TfmDocumentList::closeEvent(QCloseEvent *event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    emit closed();
}
