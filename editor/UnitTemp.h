#pragma once

#include <QColor>
#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <stdexcept>

class QColorDialog;
class QComboBox;
class QDateEdit;
class QFileDialog;
class QLabel;
class QLineEdit;
class QTimer;
class QToolButton;
class THtmlEdit;

namespace mv {
class GradientPanel;
}

// Raised when a document cannot be opened for a reason of its own (no such
// row, a date that does not convert); database failures stay mv::db::DbError.
class EEditorError : public std::runtime_error
{
public:
    explicit EEditorError(const QString &message);
    QString message() const { return message_; }

private:
    QString message_;
};

// The document editor: one document's title, category and HTML body, the
// five record buttons that add, change, delete and save it, and the
// formatting toolbar over the editing surface.
//
// The mode string names what to open: "<category id>-Add-<category name>"
// starts a new document in that category, "<document id>-Edit-none" opens a
// stored one. Opening a stored document that cannot be read (database error,
// no such row, a date that does not convert) throws from the constructor and
// no window is left.
//
// The window never closes itself. Closing it (close box, reject(), done())
// while its title, category or body differ from what was last loaded or
// saved asks first: save (closing only when that succeeded), discard, or
// stay open.
//
// The editing surface runs in a process of the engine's own. The window
// reads the document's body now and then while it is open, and keeps the
// last body it read: when that process dies, the surface is made again
// showing that body, and the user is told; when the surface stops
// answering, Save offers to store that body instead.
class TmvlabDm;

class TfmTemp : public QDialog
{
    Q_OBJECT
public:
    // Works on dm, or on the program's data module when none is given.
    TfmTemp(QWidget *owner, const QString &mode, TmvlabDm *dm = nullptr);
    ~TfmTemp() override;
    static TfmTemp *CreateWithMode(QWidget *owner, const QString &mode, TmvlabDm *dm = nullptr)
    {
        return new TfmTemp(owner, mode, dm);
    }

    // The caption the window carries.
    static QString Caption();
    // The filter of the picture dialog, as the program states it
    // ("name|patterns"), and the same in the form the file dialog takes.
    static QString ImageFilter();
    static QString ImageFilterForDialog();
    // The items of the font-size box, smallest size first.
    static QStringList FontSizeItems();
    // Font families to list: the given ones, in their order, without the
    // vertical-writing variants whose names begin with "@".
    static QStringList FontNamesFrom(const QStringList &families);
    // The folder for inserted pictures beside a database file, with a
    // trailing separator.
    static QString ImageFolderFor(const QString &databasePath);

    // Category name from TYPE, empty when there is no such category.
    static QString GetTypeName(const QString &Id);

    // Ends the window as cancelled: nothing is saved, no question is asked.
    void EndAsCancelled();
    // Title, category or body differ from what was last loaded or saved.
    bool HasUnsavedChanges() const;
    void done(int result) override;

    // The body as last read from the editing surface, or as opened.
    QString LastReadBody() const { return m_lastBody; }

    // What the next Save does: "Add" inserts, "Edit" updates DocumentId.
    QString SaveMode;
    // The stored document Save (in edit mode) and Delete act on; empty until
    // an add-mode window has inserted its document.
    QString DocumentId;

    mv::GradientPanel *RzPanel1;
    QLabel *Image1;
    QWidget *RzPanel2;
    QWidget *ToolBar2;
    QToolButton *sbAdd;
    QToolButton *sbEdit;
    QToolButton *sbCancel;
    QToolButton *sbDel;
    QToolButton *sbSave;
    QWidget *RzPanel4;
    QLabel *Label1;
    QLineEdit *Edit2;
    QLineEdit *edType;
    QToolButton *sbFindType;
    QLabel *Label2;
    QLineEdit *Edit1;
    QLabel *Label3;
    QDateEdit *DateTimePicker1;
    QWidget *ToolBar1;
    QToolButton *ToolButtons[21];
    QWidget *PageScroller2;
    QComboBox *cbbFontName;
    QComboBox *cbFontSize;
    QWidget *RzPanel5;
    QWidget *RzPanel6;
    THtmlEdit *HtmlEdit1;
    mv::GradientPanel *RzPanel3;
    QColorDialog *dlgColor1;
    QFileDialog *dlgOpenImage;

public slots:
    void sbAddClick();
    void sbEditClick();
    void sbCancelClick();
    void sbSaveClick();
    void sbDelClick();
    void sbFindTypeClick();

    void ToolButton1Click();
    void ToolButton2Click();
    void ToolButton3Click();
    void ToolButton4Click();
    void ToolButton5Click();
    void ToolButton6Click();
    void ToolButton7Click();
    void ToolButton8Click();
    void ToolButton9Click();
    void ToolButton10Click();
    void ToolButton11Click();
    void ToolButton12Click();
    void ToolButton13Click();
    void ToolButton14Click();
    void ToolButton15Click();
    void ToolButton16Click();
    void ToolButton17Click();
    void ToolButton18Click();
    void ToolButton19Click();
    void ToolButton20Click();
    void ToolButton21Click();
    void cbbFontNameChange();
    void cbFontSizeChange();
    // The surface's process died: a new surface with the last body read.
    void HtmlEdit1EngineGone();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildWindow();
    void buildRecordBand();
    void buildFieldBand();
    void buildFormatBar();
    void FormCreate();
    void openDocument();
    void setBrowseState();
    void setEntryState();
    // Makes the picture folder when it is missing; false when it cannot be made.
    bool ensureImageFolder();
    void reportFolderNotMade();
    // Runs the colour dialog from the last colour chosen with OK; false when cancelled.
    bool chooseColor(qint32 &color);
    // What Save does; false when nothing was stored (the user was told why).
    bool saveDocument();
    // What is shown now counts as loaded or saved.
    void markSaved();
    void insertDocument(const QString &title, const QString &typeId, const QString &content);
    // False when nothing was stored over the document: it had changed since
    // it was loaded, and the user chose to reload it or to stay.
    bool updateDocument(const QString &title, const QString &typeId, const QString &content);
    // Stores what is shown; false when nothing was stored (the user was
    // told why).
    bool storeDocument();
    // The handler as a command: a surface that failed it is reported in
    // words of the window's own, anything else in the error box.
    std::function<void()> command(void (TfmTemp::*handler)());
    // Asks the surface for its body, without waiting; the answer becomes
    // the last body read.
    void readBodyLater();

    QColor m_lastColor = Qt::black;
    QString savedTitle_;
    QString savedTypeId_;
    bool askBeforeClosing_ = true;
    QString m_lastBody;
    // What the stored document held when loaded or last saved here (see
    // mv::documentVersion); a save over anything else is refused.
    QByteArray loadedVersion_;
    QTimer *m_readTimer = nullptr;
    bool m_readPending = false;
    // Counts the surfaces lost; an answer or failure from before a loss
    // belongs to a surface that is gone.
    int m_surfaceLosses = 0;
    TmvlabDm &m_dm;
};

// Opens the editor modally with a mode string and frees it when it closes.
// When a stored document cannot be opened, the error box is shown and no
// window opens.
void OpenDocumentEditor(QWidget *owner, const QString &mode, TmvlabDm &dm);
