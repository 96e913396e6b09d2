#pragma once

#include "uHtmlDocument.h"

#include <QString>
#include <QWebEngineView>

#include <functional>

class QPrinter;
class TEditPage;
class THtmlEdit;

// The command layer of the editing surface: the engine's named editing
// commands on the current selection, HTML fragments and pictures inserted at
// the selection. Every operation ends by giving the focus back to the
// document, so that typing can go on after a toolbar click. It keeps no
// formatting state and asks the engine for none.
class TEditCommander
{
public:
    explicit TEditCommander(THtmlDocument *Document);

    THtmlDocument *Document() const { return m_document; }
    // Folder for inserted pictures, ending in a path separator. Changed only
    // through THtmlEdit::setImageFolder.
    QString ImageFolder() const { return m_imageFolder; }

    void Bold();
    void Italic();
    void Underline();
    void JustifyLeft();
    void JustifyCenter();
    void JustifyRight();
    void JustifyFull();
    void InsertOrderedList();
    // Color in the 0x00BBGGRR layout: red in the lowest byte.
    void ForeColor(qint32 Color);
    void BackColor(qint32 Color);
    void FontName(const QString &Name);
    // HTML font size 1..7; any other number means 3.
    void FontSize(int Size);
    void ExecCommand(const QString &Name);

    // Replaces the selection with the fragment, or inserts it at the caret.
    void InsertHTML(const QString &Html);

    // What InsertImage did; only Inserted changed the document.
    enum class ImageResult { Inserted, NoFile, NoFolder, NotAPicture, CopyFailed };
    // Copies the picture into ImageFolder under a digest name, with the
    // extension of the picture's type as its content shows it, and inserts
    // an IMG tag for the copy. A missing file or folder, a file that is no
    // picture, or a failed copy, ends it without a message and without
    // touching the document; the caller reports it. For a failed copy,
    // reason gets the file system's text.
    ImageResult InsertImage(const QString &FileName, QString *reason = nullptr);
    void FocusDocument();

    // "yyyyMMddHHmmss" local time followed by the millisecond tick count.
    static QByteArray ImageStamp();
    // <img src="LINK" >: LINK is the picture's address relative to the
    // folder above Folder (the database's, for its images folder), encoded
    // as an address and escaped for the markup.
    static QString PictureMarkup(const QString &Folder, const QString &Name, const QString &Ext);
    // 0x00BBGGRR to "#rrggbb".
    static QString ColorText(qint32 Color);

private:
    friend class THtmlEdit;
    void setImageFolder(const QString &Folder) { m_imageFolder = Folder; }
    ImageResult copyAndInsertImage(const QString &FileName, QString *reason);
    void Exec(const QString &Name, const QString &jsValue);

    THtmlDocument *m_document;
    QString m_imageFolder;
};

// WYSIWYG HTML editing surface: a web view whose document is switched into
// design mode, read and written as one HTML string.
//
// A document is data, never code: its page runs no script of the document,
// reaches no network and no local file but the pictures it may show (see
// editpage.h), and the control's own scripts run in a script world the
// document cannot reach.
//
// The engine's document is the only copy of the content; every value read is
// taken from it at the time of the call. The content exchanged through HTML
// is the BODY element only, never the document's head.
class THtmlEdit : public QWebEngineView
{
    Q_OBJECT
    Q_PROPERTY(QString CharSet READ CharSet WRITE setCharSet)
    Q_PROPERTY(QString HTML READ HTML WRITE setHTML)
    Q_PROPERTY(QString ImageFolder READ ImageFolder WRITE setImageFolder)
    Q_PROPERTY(QString Text READ Text)
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE setReadOnly)

public:
    explicit THtmlEdit(QWidget *parent = nullptr);
    ~THtmlEdit() override;

    // The text NewDocument writes: an empty body with a small head.
    static QString DocumentTemplate();

    // With on, a page is always kept ready for the next control (made now,
    // and again a little after a control took it), so that opening a
    // document does not wait for a new page. Off drops the one kept.
    static void KeepSparePage(bool on);
    static void PrepareSparePage();
    // The page kept for the next control, null when there is none.
    static QWebEnginePage *SparePage();

    TEditCommander *Commander() const { return m_commander; }
    THtmlDocument *Document() const { return m_document; }

    // The BODY element's outer HTML, with picture addresses as the document
    // stores them.
    QString HTML() const;
    // The same without waiting: done gets it once the page answers (see
    // THtmlDocument::EvaluateLater). False when the page cannot take it now.
    bool RequestHTML(QObject *context, std::function<void(const QString &)> done) const;
    // Feeds HTML source to the document: appended while the document's write
    // stream is open (after NewDocument or an earlier write), otherwise it
    // starts a new document in place of the completed one. Pictures linked
    // relative to the folder above ImageFolder show, and so do those an
    // older document links by absolute "file:" addresses.
    void setHTML(const QString &Value);
    // The body's text.
    QString Text() const;

    QString CharSet() const { return m_charSet; }
    void setCharSet(const QString &Value);
    QString ImageFolder() const { return m_imageFolder; }
    void setImageFolder(const QString &Value);
    bool ReadOnly() const { return m_readOnly; }
    void setReadOnly(bool Value);

    // Closes any open write stream and starts a new document holding the
    // template, leaving the stream open for later writes.
    void NewDocument();
    void Clear();
    void Cut();
    void Copy();
    void Paste();
    void Undo();
    void Redo();
    void SelectAll();
    // The print dialog, or the print preview window when Preview is true.
    void Print(bool Preview);
    void PrintPreview();
    // Prints the document on an already set-up printer and waits until the
    // engine is done with it. Used by Print and PrintPreview.
    void PrintTo(QPrinter *printer);
    // A new, empty page in place of the current one (whose renderer died),
    // with the control's editing mode and character set; HTML written now
    // waits until it has loaded.
    void RecreatePage();

    // Focus to this control, then keystrokes to the document's window.
    void SetFocus();
    // False when not on a window, or when this control or a parent below
    // the window is disabled. Visibility does not count.
    bool CanFocus() const;

signals:
    // The renderer process of the page died: the document is gone, the view
    // is blank and every call fails until RecreatePage().
    void EngineGone();

private:
    QString editingStateScript() const;
    void applyEditingState();

    TEditPage *m_page = nullptr;
    THtmlDocument *m_document = nullptr;
    TEditCommander *m_commander = nullptr;
    QString m_imageFolder;
    bool m_readOnly = false;
    QString m_charSet;
};
