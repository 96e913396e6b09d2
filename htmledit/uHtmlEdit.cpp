#include "uHtmlEdit.h"

#include "editpage.h"
#include "picturefiles.h"
#include "uMD5.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPointer>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>

namespace {

// Where pictures go until the control is told otherwise.
QString defaultImageFolder()
{
    return QDir::toNativeSeparators(QDir::tempPath() + QLatin1Char('/'));
}

// The page the next control takes, made ahead: a new page costs the engine
// tens of milliseconds before its first document can be written, and its
// first text laid out costs more than later ones. Never a page that held a
// document: a control always starts from an empty one.
bool keepSpare = false;
QPointer<TEditPage> sparePage;
// Long enough that the page of a control just opened is written and laid
// out first.
constexpr int SpareDelayMs = 300;

void deleteSparePage()
{
    delete sparePage.data();
}

// Lays out a little text of the kinds documents hold (Chinese, Latin, bold,
// italic, digits, punctuation) and takes it out again: the page's document
// is the empty one before and after.
const char *const WarmUpScript = R"(
(function() {
    var d = document.createElement('div');
    d.innerHTML = '<p>资料系统 <b>粗体</b> <i>斜体</i> <u>下划线</u> <font color="#ff0000">彩色</font> '
        + 'The quick brown fox 12345 “引号”，。</p><table border=1><tr><td>表格</td></tr></table>';
    document.body.appendChild(d);
    d.getBoundingClientRect();
    d.remove();
})();
)";

TEditPage *takeSparePage()
{
    TEditPage *page = sparePage.data();
    sparePage = nullptr;
    if (page && page->isGone()) {
        delete page;
        return nullptr;
    }
    return page;
}

// Printing is left to the engine; this only bounds the wait for its answer.
constexpr int PrintTimeoutMs = 120000;

QString jsBool(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }

} // namespace

// ---------------------------------------------------------------------------
// TEditCommander

TEditCommander::TEditCommander(THtmlDocument *Document) : m_document(Document) {}

void TEditCommander::Exec(const QString &Name, const QString &jsValue)
{
    m_document->Evaluate(QStringLiteral("document.execCommand(%1, true, %2);")
                             .arg(THtmlDocument::quote(Name), jsValue));
    FocusDocument();
}

void TEditCommander::ExecCommand(const QString &Name) { Exec(Name, QStringLiteral("true")); }

void TEditCommander::Bold() { ExecCommand(QStringLiteral("Bold")); }
void TEditCommander::Italic() { ExecCommand(QStringLiteral("Italic")); }
void TEditCommander::Underline() { ExecCommand(QStringLiteral("Underline")); }
void TEditCommander::JustifyLeft() { ExecCommand(QStringLiteral("JustifyLeft")); }
void TEditCommander::JustifyCenter() { ExecCommand(QStringLiteral("JustifyCenter")); }
void TEditCommander::JustifyRight() { ExecCommand(QStringLiteral("JustifyRight")); }
void TEditCommander::JustifyFull() { ExecCommand(QStringLiteral("JustifyFull")); }
void TEditCommander::InsertOrderedList() { ExecCommand(QStringLiteral("InsertOrderedList")); }

QString TEditCommander::ColorText(qint32 Color)
{
    const quint32 c = static_cast<quint32>(Color);
    return QStringLiteral("#%1%2%3")
        .arg(c & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((c >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((c >> 16) & 0xFF, 2, 16, QLatin1Char('0'));
}

// The engine takes colours as CSS text, not as the integer.
void TEditCommander::ForeColor(qint32 Color)
{
    Exec(QStringLiteral("ForeColor"), THtmlDocument::quote(ColorText(Color)));
}

void TEditCommander::BackColor(qint32 Color)
{
    Exec(QStringLiteral("BackColor"), THtmlDocument::quote(ColorText(Color)));
}

void TEditCommander::FontName(const QString &Name)
{
    Exec(QStringLiteral("FontName"), THtmlDocument::quote(QLatin1Char('"') + Name + QLatin1Char('"')));
}

void TEditCommander::FontSize(int Size)
{
    if (Size < 1 || Size > 7)
        Size = 3;
    Exec(QStringLiteral("FontSize"), QString::number(Size));
}

void TEditCommander::InsertHTML(const QString &Html)
{
    // A selected range (text or a picture) is deleted first and the fragment
    // goes in at the caret that is left. A document that has never had a
    // caret gets one at the end of its body.
    m_document->Evaluate(QStringLiteral(R"(
var s = window.getSelection();
if (s.rangeCount === 0 && document.body) {
    var r = document.createRange();
    r.selectNodeContents(document.body);
    r.collapse(false);
    s.addRange(r);
}
if (s.type === 'Range')
    document.execCommand('delete', false, null);
document.execCommand('insertHTML', false, %1);
)")
                             .arg(THtmlDocument::quote(Html)));
    FocusDocument();
}

QByteArray TEditCommander::ImageStamp()
{
    // The monotonic clock counts from system start, as a 32-bit tick count.
    QElapsedTimer clock;
    clock.start();
    const quint32 ticks = static_cast<quint32>(clock.msecsSinceReference());
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1()
           + QByteArray::number(ticks);
}

QString TEditCommander::PictureMarkup(const QString &Folder, const QString &Name, const QString &Ext)
{
    return QStringLiteral("<img src=\"") + mv::htmledit::pictureLink(Folder, Name + Ext).toHtmlEscaped()
           + QStringLiteral("\" >");
}

TEditCommander::ImageResult TEditCommander::InsertImage(const QString &FileName, QString *reason)
{
    const ImageResult result = copyAndInsertImage(FileName, reason);
    if (result != ImageResult::Inserted)
        FocusDocument();
    return result;
}

TEditCommander::ImageResult TEditCommander::copyAndInsertImage(const QString &FileName, QString *reason)
{
    if (!QFileInfo(FileName).isFile())
        return ImageResult::NoFile;
    if (!QFileInfo(m_imageFolder).isDir())
        return ImageResult::NoFolder;
    // The content decides: a name ending in .jpg says nothing.
    const QString type = mv::htmledit::pictureType(FileName);
    if (type.isEmpty())
        return ImageResult::NotAPicture;
    const QString name = MD5Hex(ImageStamp());
    const QString ext = mv::htmledit::pictureExtension(FileName, type);
    const QString target = m_imageFolder + name + ext;
    // The copy overwrites a file of the same name.
    if (QFileInfo::exists(target))
        QFile::remove(target);
    QFile source(FileName);
    if (!source.copy(target)) {
        // The file may have gone after the first look.
        if (!source.exists())
            return ImageResult::NoFile;
        if (reason)
            *reason = source.errorString();
        return ImageResult::CopyFailed;
    }
    InsertHTML(PictureMarkup(m_imageFolder, name, ext));
    return ImageResult::Inserted;
}

void TEditCommander::FocusDocument() { m_document->Focus(); }

// ---------------------------------------------------------------------------
// THtmlEdit

QString THtmlEdit::DocumentTemplate()
{
    return QStringLiteral("<HTML>\r\n"
                          "<HEAD>\r\n"
                          "<META NAME=\"GENERATOR\" CONTENT=\"KT HTML-WRITER\">\r\n"
                          "<TITLE>NewDocument</TITLE>\r\n"
                          "</HEAD>\r\n"
                          "<BODY>\r\n"
                          "</BODY>\r\n"
                          "</HTML>\r\n");
}

THtmlEdit::THtmlEdit(QWidget *parent) : QWebEngineView(parent)
{
    TEditPage *page = takeSparePage();
    if (page)
        page->setParent(this);
    else
        page = new TEditPage(this);
    setPage(page);
    m_page = page;
    m_document = new THtmlDocument(page, this);
    if (page->isLoaded())
        m_document->pageLoaded(page->loadOk());
    connect(m_document, &THtmlDocument::rendererGone, this, &THtmlEdit::EngineGone);
    if (keepSpare)
        QTimer::singleShot(SpareDelayMs, qApp, &THtmlEdit::PrepareSparePage);

    m_imageFolder = defaultImageFolder();

    m_commander = new TEditCommander(m_document);
    setImageFolder(m_imageFolder);
    setReadOnly(false);
    setCharSet(QStringLiteral("gb2312"));
}

void THtmlEdit::KeepSparePage(bool on)
{
    keepSpare = on;
    if (on)
        PrepareSparePage();
    else
        deleteSparePage();
}

void THtmlEdit::PrepareSparePage()
{
    if (!keepSpare || sparePage)
        return;
    static bool cleanupAdded = false;
    TEditPage *page = new TEditPage(nullptr);
    if (!cleanupAdded) {
        // Before the engine's own clean-up, which was added before it (the
        // routines run last added first).
        qAddPostRoutine(deleteSparePage);
        cleanupAdded = true;
    }
    QObject::connect(
        page, &QWebEnginePage::loadFinished, page,
        [page](bool ok) {
            if (ok)
                page->runJavaScript(QString::fromUtf8(WarmUpScript), QWebEngineScript::ApplicationWorld);
        },
        Qt::SingleShotConnection);
    sparePage = page;
}

QWebEnginePage *THtmlEdit::SparePage()
{
    return sparePage.data();
}

THtmlEdit::~THtmlEdit()
{
    delete m_commander;
    m_commander = nullptr;
}

// The body as it is stored. The engine nests a block (a list, most often)
// inside a P when a centred paragraph is made a list; written out as it
// stands, that P would be closed before the block when read back, and the
// block would lose the P's alignment. In the copy that is written out, such
// a P becomes a DIV with the same attributes; the document itself stays.
static QString bodyHtmlScript()
{
    return QStringLiteral("return mvEdit.html();");
}

QString THtmlEdit::HTML() const
{
    return m_document->Evaluate(bodyHtmlScript()).toString();
}

bool THtmlEdit::RequestHTML(QObject *context, std::function<void(const QString &)> done) const
{
    return m_document->EvaluateLater(bodyHtmlScript(), context,
                                     [done = std::move(done)](const QVariant &v) { done(v.toString()); });
}

QString THtmlEdit::Text() const
{
    return m_document->Evaluate(QStringLiteral("return mvEdit.text();")).toString();
}

// Writing may have replaced the document; the new one gets the control's
// editing mode and declared character set.
QString THtmlEdit::editingStateScript() const
{
    return QStringLiteral("mvEdit.state(%1, %2);").arg(jsBool(m_readOnly), THtmlDocument::quote(m_charSet));
}

void THtmlEdit::applyEditingState()
{
    m_document->Execute(editingStateScript());
}

void THtmlEdit::setHTML(const QString &Value)
{
    m_document->Execute(QStringLiteral("mvEdit.write(%1);\n").arg(THtmlDocument::quote(Value)) + editingStateScript());
}

// The engine's declared encoding is the document's meta charset; the content
// itself travels as UTF-16 and is never decoded with it.
void THtmlEdit::setCharSet(const QString &Value)
{
    m_charSet = Value;
    applyEditingState();
}

void THtmlEdit::setImageFolder(const QString &Value)
{
    m_imageFolder = Value;
    m_commander->setImageFolder(Value);
    m_page->setImageFolder(Value);
}

void THtmlEdit::setReadOnly(bool Value)
{
    m_readOnly = Value;
    applyEditingState();
}

void THtmlEdit::NewDocument()
{
    m_document->Execute(QStringLiteral("mvEdit.newDocument(%1);\n").arg(THtmlDocument::quote(DocumentTemplate()))
                        + editingStateScript());
}

void THtmlEdit::Clear() { NewDocument(); }

void THtmlEdit::Cut() { triggerPageAction(QWebEnginePage::Cut); }
void THtmlEdit::Copy() { triggerPageAction(QWebEnginePage::Copy); }
void THtmlEdit::Paste() { triggerPageAction(QWebEnginePage::Paste); }
void THtmlEdit::Undo() { triggerPageAction(QWebEnginePage::Undo); }
void THtmlEdit::Redo() { triggerPageAction(QWebEnginePage::Redo); }
void THtmlEdit::SelectAll() { triggerPageAction(QWebEnginePage::SelectAll); }

void THtmlEdit::PrintTo(QPrinter *printer)
{
    m_document->waitUntilReady();
    bool finished = false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto c = connect(this, &QWebEngineView::printFinished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    print(printer);
    if (!finished) {
        timer.start(PrintTimeoutMs);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    disconnect(c);
    if (!finished)
        throw EHtmlEngineError("The HTML engine did not finish printing in time.");
}

void THtmlEdit::Print(bool Preview)
{
    if (Preview) {
        PrintPreview();
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    // Modal to this window only, like the program's other dialogs.
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() == QDialog::Accepted)
        PrintTo(&printer);
}

void THtmlEdit::PrintPreview()
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintPreviewDialog dialog(&printer, this);
    dialog.setWindowModality(Qt::WindowModal);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, &THtmlEdit::PrintTo);
    dialog.exec();
}

void THtmlEdit::RecreatePage()
{
    QWebEnginePage *old = page();
    auto *fresh = new TEditPage(this);
    fresh->setImageFolder(m_imageFolder);
    m_document->setPage(fresh);
    setPage(fresh);
    m_page = fresh;
    if (old && old->parent() == this)
        old->deleteLater();
    applyEditingState();
}

void THtmlEdit::SetFocus()
{
    setFocus(Qt::OtherFocusReason);
    m_document->Focus();
}

bool THtmlEdit::CanFocus() const
{
    if (!parentWidget())
        return false;
    const QWidget *form = window();
    // Each control's own switch counts, not what it inherits from the window.
    for (const QWidget *w = this; w && w != form; w = w->parentWidget()) {
        if (w->testAttribute(Qt::WA_ForceDisabled))
            return false;
    }
    return true;
}
