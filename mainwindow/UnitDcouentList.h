#pragma once

#include "trayicon.h"

#include <QString>
#include <QWidget>

#include "datagrid.h"

class QAction;
class QLabel;
class QLineEdit;
class QSplitter;
class QToolButton;
class QTreeWidgetItem;
class DocumentQuery;
class SearchIndexer;
namespace mv {
class ChangeEvents;
}
class StatementSearch;
class TmvlabDm;

namespace mv {
class FlatMenu;
class FrameShape;
class GradientPanel;
class TreeView;
} // namespace mv

// Set only by the tray menu's exit command; lets the main window really close.
extern bool ExitRequested;

// The main window: category tree on the left, document list on the right,
// the search box in the category bar, and the notification-area icon.
class TfmDocumentList : public QWidget
{
    Q_OBJECT
public:
    // When the category tree is loaded: while the window is built, or once
    // it has been painted for the first time (the program's start-up: the
    // window shows at once and the tree follows).
    enum class TreeLoading { WhileBuilding, AfterFirstPaint };
    explicit TfmDocumentList(TmvlabDm *dm, QWidget *parent = nullptr,
                             TreeLoading loading = TreeLoading::WhileBuilding);
    ~TfmDocumentList() override;

    // Empties the tree and builds it again from the database; afterwards no
    // node is selected and SelectedTypeId keeps its value.
    void ReloadTree();
    // The tree's selected node, or none.
    QTreeWidgetItem *SelectedNode() const;
    // The data module the window and the windows it opens work on.
    TmvlabDm &dataModule() const { return *dm_; }
    // The current row of the document list (empty when there is none).
    QString CurrentDocumentId() const;

    // Whether the window may close now; when not, it goes to the tray (or is
    // minimised where there is no tray). Requests the balloon either way.
    bool FormCloseQuery();
    void HideToTray();
    void RestoreFromTray();
    // Whether closing hides to the notification area (else it minimises).
    static bool TrayAvailable();

    // The id of the category last pressed with the right mouse button.
    QString SelectedTypeId;

    mv::GradientPanel *RzPanel1;
    QLabel *Image1;
    mv::GradientPanel *RzPanel2;
    QToolButton *SpeedButton1;
    QLineEdit *EdFind;
    QToolButton *SpeedButton2;
    mv::GradientPanel *RzPanel3;
    QWidget *RzPanel4;
    mv::FrameShape *Shape1;
    mv::TreeView *RzTreeView1;
    QSplitter *Splitter1;
    QWidget *RzPanel5;
    mv::FrameShape *Shape2;
    mv::DataGrid *DBGridEh1;
    DocumentQuery *IBQueryDocument;
    // Keeps the documents' contents indexed for the search box.
    SearchIndexer *SearchIndexer1;
    // Runs the searches the index cannot answer yet, off the window's thread.
    StatementSearch *StatementSearch1;
    // Hears of what other programs (other machines) commit.
    mv::ChangeEvents *ChangeEvents1;

    // Others changed the categories: the tree is built again, with the
    // nodes that were open open again and the selection kept where they
    // still exist.
    void FollowCategoryChanges();
    // Others changed documents (commits of them, or ChangeEvents::Unknown):
    // the list shows again what it showed, and the search index follows.
    void FollowDocumentChanges(int commits);

    mv::FlatMenu *PopupMenu1;
    QAction *N1;
    QAction *N2;
    QAction *N3;
    QAction *N4;
    QAction *N7;

    mv::TrayIcon *TrayIcon1;
    mv::FlatMenu *PopupMenu3;
    QAction *ShowWindow1;
    QAction *HideWindow1;
    QAction *MenuItem1;
    QAction *N8;
    QAction *BalloonHint1;
    QAction *MenuItem2;
    QAction *Exit1;
    // Keeps exit reachable on desktops without a notification area.
    QAction *ExitKey;

signals:
    // The window really closed: the run ends.
    void closed();
    // A command passed its checks and now opens its window; argument is what
    // that window is given: for N1/N2 the category dialog's mode string, for
    // N3 the node's caption, for N7 and DBGridEh1 the editor's mode string,
    // for N8 nothing.
    void commandRequested(const QString &item, const QString &argument);
    // The window's content (the category tree) has been loaded, or failed
    // to load and was reported: what the program sets up after start-up may
    // begin.
    void created();

public slots:
    void RzTreeView1MouseDown(Qt::MouseButton button, const QPoint &pos);
    void RzTreeView1Click();
    void N1Click();
    void N2Click();
    void N3Click();
    void N7Click();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void EdFindChange();
    void DBGridEh1DblClick();

    void ShowWindow1Click();
    void HideWindow1Click();
    void N8Click();
    void BalloonHint1Click();
    void TrayIcon1BalloonHintClick();
    void Exit1Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void DBGridEh1DrawColumnCell(QPainter *p, mv::DataGrid::Cell &cell, const QModelIndex &index);
    void buildLayout();
    void buildMenus();

    TmvlabDm *dm_;
    bool waitingForFirstPaint_ = false;
};

extern TfmDocumentList *fmDocumentList;
