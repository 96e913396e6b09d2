#include "UnitTemp.h"

#include "UnitDM.h"
#include "UnitTypeSelect.h"
#include "bytelimit.h"
#include "categorymodel.h"
#include "dialogs.h"
#include "documentstore.h"
#include "editorpictures.h"
#include "gradientpanel.h"
#include "modality.h"
#include "mvapplication.h"
#include "pictures.h"
#include "schema.h"
#include "storagefailure.h"
#include "uHtmlDocument.h"
#include "uHtmlEdit.h"
#include "windowframe.h"

#include <QAbstractItemView>
#include <QColorDialog>
#include <QComboBox>
#include <QCompleter>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QColor LabelColour(0x21, 0x5A, 0x89);
const QColor BannerStart(0x23, 0x5E, 0x8D);
const QColor BannerStop(0x62, 0xA4, 0xD9);

const QString ModeAdd = QStringLiteral("Add");
const QString ModeEdit = QStringLiteral("Edit");

// The formatting toolbar: picture index of each button, left to right.
constexpr int ButtonPictures[21] = {25, 26, 27, 4, 5, 6, 7, 9, 10, 11, 12, 16, 17, 18, 19, 20, 21, 22, 23, 24, 15};
constexpr int FormatButtonWidth = 27;
constexpr int FormatButtonHeight = 26;

// How often the open document's body is read, at the least; a body that
// takes long to read is read less often, so that reading never takes more
// than a tenth of the time.
constexpr int BodyReadIntervalMs = 3000;
constexpr int BodyReadShare = 10;

const QString SurfaceGoneText = QStringLiteral(
    "编辑区的显示进程意外结束了。\n已经重新打开编辑区，里面是最后一次读到的正文，可以继续编辑和保存；"
    "在那以后输入的内容可能没有保留下来。");
const QString SurfaceNotAnsweringText =
    QStringLiteral("编辑区没有及时响应，这个操作没有完成。\n最后一次读到的正文仍然保留，保存时可以存入。");
const QString ChangedElsewhereText = QStringLiteral(
    "这篇文档在你打开之后已经在别处修改并保存过，你的修改没有保存，别处的修改也没有被覆盖。\n"
    "重新载入：放弃你的修改，显示现在保存的内容；\n"
    "另存为新文档：把你的内容保存成一篇新文档；\n"
    "取消：回到本窗口，你输入的内容保留。");
const QString SaveLastBodyQuestion = QStringLiteral(
    "编辑区没有及时响应，读不到正在编辑的正文。\n要保存最后一次读到的正文吗？在那以后的修改不在其中。");

bool isDecimalId(const QString &s)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,18}$"));
    return digits.match(s).hasMatch();
}

// The file dialog completes a typed name once it has read the folder, which
// may be after the dialog has closed; the completion list would then open
// on its own, over whatever window is in front. Its completers are kept from
// the name field while the dialog is hidden.
class CompletionOnlyWhileShown : public QObject
{
public:
    explicit CompletionOnlyWhileShown(QDialog *dialog) : QObject(dialog)
    {
        for (QCompleter *c : dialog->findChildren<QCompleter *>())
            fields_.append({c, c->widget()});
        dialog->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide) {
            const bool shown = event->type() == QEvent::Show;
            for (const Field &f : std::as_const(fields_)) {
                if (!f.completer)
                    continue;
                if (!shown && f.completer->popup())
                    f.completer->popup()->hide();
                f.completer->setWidget(shown ? f.field.data() : nullptr);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    struct Field {
        QPointer<QCompleter> completer;
        QPointer<QWidget> field;
    };
    QList<Field> fields_;
};

void colourLabel(QLabel *l)
{
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, LabelColour);
    l->setPalette(p);
}

} // namespace

EEditorError::EEditorError(const QString &message)
    : std::runtime_error(message.toStdString()), message_(message)
{
}

// ---------------------------------------------------------------------------
// Construction

TfmTemp::TfmTemp(QWidget *owner, const QString &mode, TmvlabDm *dm)
    : QDialog(owner), m_dm(dm ? *dm : *mvlabDm)
{
    buildWindow();

    const QStringList pieces = SplitString(mode, QLatin1Char('-'));
    SaveMode = pieces.value(1);
    if (SaveMode == ModeAdd) {
        edType->setText(pieces.value(0));
        Edit2->setText(pieces.value(2));
        sbAddClick();
    } else if (SaveMode == ModeEdit) {
        DocumentId = pieces.value(0);
        HtmlEdit1->setReadOnly(true);
        setBrowseState();
        openDocument();
    }

    FormCreate();

    connect(HtmlEdit1, &THtmlEdit::EngineGone, this, command(&TfmTemp::HtmlEdit1EngineGone), Qt::QueuedConnection);
    m_readTimer = new QTimer(this);
    m_readTimer->setSingleShot(true);
    connect(m_readTimer, &QTimer::timeout, this, &TfmTemp::readBodyLater);
    m_readTimer->start(BodyReadIntervalMs);
}

TfmTemp::~TfmTemp() = default;

QString TfmTemp::Caption()
{
    return QStringLiteral("添加修改文档  TellbyMorvane软件工作室  Email: morvane@tellby.example");
}

QString TfmTemp::ImageFilter() { return QStringLiteral("图像文件|*.jpg; *.gif; *.bmp"); }

QString TfmTemp::ImageFilterForDialog()
{
    // "name|a; b" becomes "name (a b)"; the dialog shows only the name.
    const QStringList parts = ImageFilter().split(QLatin1Char('|'));
    QStringList patterns = parts.value(1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString &p : patterns)
        p = p.trimmed();
    return parts.value(0) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

QStringList TfmTemp::FontSizeItems()
{
    return {QStringLiteral("一号"), QStringLiteral("二号"), QStringLiteral("三号"), QStringLiteral("四号"),
            QStringLiteral("五号"), QStringLiteral("六号"), QStringLiteral("七号")};
}

QStringList TfmTemp::FontNamesFrom(const QStringList &families)
{
    QStringList names = families;
    for (qsizetype i = names.size() - 1; i >= 0; --i) {
        if (names.at(i).startsWith(QLatin1Char('@')))
            names.removeAt(i);
    }
    return names;
}

QString TfmTemp::ImageFolderFor(const QString &databasePath)
{
    // A database on a server has no folder here: its pictures stay in the
    // user's data folder on each machine.
    const QString dir = mv::db::isServerName(databasePath)
                            ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
                            : QFileInfo(databasePath).absolutePath();
    return QDir::toNativeSeparators(dir + QStringLiteral("/images/"));
}

void TfmTemp::buildWindow()
{
    setObjectName(QStringLiteral("fmTemp"));
    setWindowTitle(Caption());
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    setSizeGripEnabled(true);
    resize(mv::clientSizeForOuter(QSize(839, 623)));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    RzPanel1 = new mv::GradientPanel(this);
    RzPanel1->setObjectName(QStringLiteral("RzPanel1"));
    RzPanel1->setGradient(BannerStart, BannerStop);
    RzPanel1->setFixedHeight(53);
    Image1 = new QLabel(RzPanel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(mv::pictures::banner().scaled(283, 53, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    Image1->setGeometry(0, 0, 283, 53);
    layout->addWidget(RzPanel1);

    buildRecordBand();
    layout->addWidget(RzPanel2);
    buildFieldBand();
    layout->addWidget(RzPanel4);
    buildFormatBar();
    layout->addWidget(ToolBar1);

    RzPanel5 = new QWidget(this);
    RzPanel5->setObjectName(QStringLiteral("RzPanel5"));
    auto *l5 = new QVBoxLayout(RzPanel5);
    l5->setContentsMargins(0, 0, 0, 0);
    RzPanel6 = new QWidget(RzPanel5);
    RzPanel6->setObjectName(QStringLiteral("RzPanel6"));
    auto *l6 = new QVBoxLayout(RzPanel6);
    l6->setContentsMargins(0, 0, 0, 0);
    l5->addWidget(RzPanel6);
    HtmlEdit1 = new THtmlEdit(RzPanel6);
    HtmlEdit1->setObjectName(QStringLiteral("HtmlEdit1"));
    l6->addWidget(HtmlEdit1);
    layout->addWidget(RzPanel5, 1);

    RzPanel3 = new mv::GradientPanel(this);
    RzPanel3->setObjectName(QStringLiteral("RzPanel3"));
    RzPanel3->setGradient(BannerStart, BannerStop);
    RzPanel3->setFixedHeight(22);
    layout->addWidget(RzPanel3);

    // The surface as the form stores it: the document's character set, an
    // empty body, and pictures kept beside the database so that they outlive
    // the session.
    HtmlEdit1->setCharSet(QStringLiteral("gb2312"));
    HtmlEdit1->setHTML(QStringLiteral("\r\n<BODY></BODY>"));
    HtmlEdit1->setImageFolder(ImageFolderFor(m_dm.IBDatabaseMV.databaseName()));
    ensureImageFolder();

    dlgColor1 = nullptr;
    dlgOpenImage = nullptr;

    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
}

void TfmTemp::buildRecordBand()
{
    RzPanel2 = new QWidget(this);
    RzPanel2->setObjectName(QStringLiteral("RzPanel2"));
    RzPanel2->setFixedHeight(52);
    RzPanel2->setAutoFillBackground(true);
    QPalette pal = RzPanel2->palette();
    pal.setColor(QPalette::Window, QColor(0xD7, 0xE9, 0xF7));
    RzPanel2->setPalette(pal);
    auto *band = new QHBoxLayout(RzPanel2);
    band->setContentsMargins(0, 2, 0, 3);

    ToolBar2 = new QWidget(RzPanel2);
    ToolBar2->setObjectName(QStringLiteral("ToolBar2"));
    auto *bar = new QHBoxLayout(ToolBar2);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(0);
    bar->addSpacing(8);
    band->addWidget(ToolBar2);
    band->addStretch(1);

    using mv::editorpictures::Record;
    auto make = [&](const char *name, const QString &text, Record picture, void (TfmTemp::*handler)()) {
        auto *b = new QToolButton(ToolBar2);
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        b->setIcon(mv::editorpictures::recordIcon(picture));
        b->setIconSize(QSize(26, 26));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setAutoRaise(true);
        b->setFixedSize(40, 47);
        b->setEnabled(false);
        connect(b, &QToolButton::clicked, this, command(handler));
        bar->addWidget(b);
        return b;
    };
    sbAdd = make("sbAdd", QStringLiteral("新增"), Record::Add, &TfmTemp::sbAddClick);
    sbEdit = make("sbEdit", QStringLiteral("编辑"), Record::Edit, &TfmTemp::sbEditClick);
    sbCancel = make("sbCancel", QStringLiteral("取消"), Record::Cancel, &TfmTemp::sbCancelClick);
    sbDel = make("sbDel", QStringLiteral("删除"), Record::Delete, &TfmTemp::sbDelClick);
    sbSave = make("sbSave", QStringLiteral("保存"), Record::Save, &TfmTemp::sbSaveClick);
}

void TfmTemp::buildFieldBand()
{
    RzPanel4 = new QWidget(this);
    RzPanel4->setObjectName(QStringLiteral("RzPanel4"));
    RzPanel4->setFixedHeight(30);
    auto *band = new QHBoxLayout(RzPanel4);
    band->setContentsMargins(6, 3, 6, 3);
    band->setSpacing(4);

    Label1 = new QLabel(QStringLiteral("类别     "), RzPanel4);
    Label1->setObjectName(QStringLiteral("Label1"));
    colourLabel(Label1);
    band->addWidget(Label1);

    // The id field lies hidden under the name field.
    auto *typeBox = new QWidget(RzPanel4);
    typeBox->setFixedSize(103, 21);
    Edit2 = new QLineEdit(typeBox);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(0, 0, 103, 21);
    edType = new QLineEdit(typeBox);
    edType->setObjectName(QStringLiteral("edType"));
    edType->setGeometry(0, 0, 103, 21);
    edType->hide();
    band->addWidget(typeBox);

    sbFindType = new QToolButton(RzPanel4);
    sbFindType->setObjectName(QStringLiteral("sbFindType"));
    sbFindType->setText(QStringLiteral("..."));
    sbFindType->setAutoRaise(true);
    sbFindType->setFixedSize(23, 22);
    connect(sbFindType, &QToolButton::clicked, this, command(&TfmTemp::sbFindTypeClick));
    band->addWidget(sbFindType);
    band->addSpacing(8);

    Label2 = new QLabel(QStringLiteral("标题 &T    "), RzPanel4);
    Label2->setObjectName(QStringLiteral("Label2"));
    colourLabel(Label2);
    band->addWidget(Label2);
    Edit1 = new QLineEdit(RzPanel4);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMinimumWidth(406);
    mv::limitStoredBytes(Edit1, mv::TitleBytes);
    Label2->setBuddy(Edit1);
    band->addWidget(Edit1, 1);

    // The stored date is read into this hidden pair and not shown.
    Label3 = new QLabel(QStringLiteral("日期"), RzPanel4);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->hide();
    DateTimePicker1 = new QDateEdit(RzPanel4);
    DateTimePicker1->setObjectName(QStringLiteral("DateTimePicker1"));
    DateTimePicker1->hide();
}

void TfmTemp::buildFormatBar()
{
    ToolBar1 = new QWidget(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setFixedHeight(31);

    void (TfmTemp::*handlers[21])() = {
        &TfmTemp::ToolButton1Click,  &TfmTemp::ToolButton2Click,  &TfmTemp::ToolButton3Click,
        &TfmTemp::ToolButton4Click,  &TfmTemp::ToolButton5Click,  &TfmTemp::ToolButton6Click,
        &TfmTemp::ToolButton7Click,  &TfmTemp::ToolButton8Click,  &TfmTemp::ToolButton9Click,
        &TfmTemp::ToolButton10Click, &TfmTemp::ToolButton11Click, &TfmTemp::ToolButton12Click,
        &TfmTemp::ToolButton13Click, &TfmTemp::ToolButton14Click, &TfmTemp::ToolButton15Click,
        &TfmTemp::ToolButton16Click, &TfmTemp::ToolButton17Click, &TfmTemp::ToolButton18Click,
        &TfmTemp::ToolButton19Click, &TfmTemp::ToolButton20Click, &TfmTemp::ToolButton21Click};
    for (int i = 0; i < 21; ++i) {
        auto *b = new QToolButton(ToolBar1);
        b->setObjectName(QStringLiteral("ToolButton%1").arg(i + 1));
        b->setIcon(QIcon(mv::editorpictures::formatPicture(ButtonPictures[i])));
        b->setIconSize(QSize(20, 20));
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setGeometry(i * FormatButtonWidth, 2, FormatButtonWidth, FormatButtonHeight);
        connect(b, &QToolButton::clicked, this, command(handlers[i]));
        ToolButtons[i] = b;
    }

    PageScroller2 = new QWidget(ToolBar1);
    PageScroller2->setObjectName(QStringLiteral("PageScroller2"));
    PageScroller2->setGeometry(21 * FormatButtonWidth, 2, 179, FormatButtonHeight);

    cbbFontName = new QComboBox(PageScroller2);
    cbbFontName->setObjectName(QStringLiteral("cbbFontName"));
    cbbFontName->setEditable(true);
    cbbFontName->setInsertPolicy(QComboBox::NoInsert);
    cbbFontName->setGeometry(0, 2, 100, 22);

    cbFontSize = new QComboBox(PageScroller2);
    cbFontSize->setObjectName(QStringLiteral("cbFontSize"));
    cbFontSize->setEditable(true);
    cbFontSize->setInsertPolicy(QComboBox::NoInsert);
    cbFontSize->addItems(FontSizeItems());
    cbFontSize->setCurrentIndex(2);
    cbFontSize->setGeometry(105, 2, 57, 22);
}

void TfmTemp::FormCreate()
{
    // The font list, then the boxes start reacting; nothing is applied now.
    cbbFontName->addItems(FontNamesFrom(QFontDatabase::families()));
    cbbFontName->setCurrentIndex(-1);
    cbbFontName->setEditText(QString());
    connect(cbbFontName, &QComboBox::currentTextChanged, this, command(&TfmTemp::cbbFontNameChange));
    connect(cbFontSize, &QComboBox::currentTextChanged, this, command(&TfmTemp::cbFontSizeChange));
}

// ---------------------------------------------------------------------------
// Opening a stored document

QString TfmTemp::GetTypeName(const QString &Id)
{
    return mvlabDm->store().categoryName(Id);
}

void TfmTemp::openDocument()
{
    // The id goes into the statement text; only a decimal number may.
    if (!isDecimalId(DocumentId))
        throw EEditorError(QStringLiteral("无效的文档编号: %1").arg(DocumentId));

    const std::optional<mv::StoredDocument> stored = m_dm.store().document(DocumentId);
    if (!stored)
        throw EEditorError(QStringLiteral("编号为 %1 的文档不存在").arg(DocumentId));
    const QString typeId = stored->typeId;
    const QString title = stored->title;
    const QString date = stored->date;
    const QString content = stored->content;

    edType->setText(typeId);
    Edit2->setText(m_dm.store().categoryName(typeId));
    Edit1->setText(title);
    const QDate d = QDate::fromString(date, Qt::ISODate);
    if (!d.isValid())
        throw EEditorError(QStringLiteral("'%1' is not a valid date").arg(date));
    DateTimePicker1->setDate(d);
    HtmlEdit1->setHTML(content);
    m_lastBody = content;
    loadedVersion_ = mv::documentVersion(title, typeId, content);
    markSaved();
}

// ---------------------------------------------------------------------------
// Record buttons

void TfmTemp::setBrowseState()
{
    sbAdd->setEnabled(true);
    sbEdit->setEnabled(true);
    sbCancel->setEnabled(false);
    // Nothing to delete before the document has been stored.
    sbDel->setEnabled(!DocumentId.isEmpty());
    sbSave->setEnabled(false);
}

void TfmTemp::setEntryState()
{
    sbAdd->setEnabled(false);
    sbEdit->setEnabled(false);
    sbCancel->setEnabled(true);
    sbDel->setEnabled(false);
    sbSave->setEnabled(true);
}

void TfmTemp::sbAddClick()
{
    setEntryState();
    Edit1->clear();
    SaveMode = ModeAdd;
    HtmlEdit1->NewDocument();
    HtmlEdit1->setReadOnly(false);
    markSaved();
}

void TfmTemp::sbEditClick()
{
    setEntryState();
    // A document that was never stored can only be added; editing it goes on
    // with the add, so that what was typed can still be saved.
    SaveMode = DocumentId.isEmpty() ? ModeAdd : ModeEdit;
    HtmlEdit1->setReadOnly(false);
}

void TfmTemp::sbCancelClick()
{
    setBrowseState();
    HtmlEdit1->setReadOnly(true);
}

void TfmTemp::insertDocument(const QString &title, const QString &typeId, const QString &content)
{
    DocumentId = m_dm.store().insertDocument(title, typeId, content, &loadedVersion_);
    markSaved();
    setBrowseState();
    mv::Dialogs::info(QStringLiteral("数据已经成功添加!"));
}

bool TfmTemp::updateDocument(const QString &title, const QString &typeId, const QString &content)
{
    QByteArray version;
    switch (m_dm.store().updateLoadedDocument(DocumentId, loadedVersion_, title, typeId, content, &version)) {
    case mv::UpdateResult::Stored:
        loadedVersion_ = version;
        markSaved();
        mv::Dialogs::info(QStringLiteral("数据已经成功修改!"));
        return true;
    case mv::UpdateResult::Missing:
        // An update that met no row stored nothing; that is not a success.
        throw EEditorError(QStringLiteral("编号为 %1 的文档已经不存在，修改没有保存。").arg(DocumentId));
    case mv::UpdateResult::ChangedSinceLoaded:
        break;
    }
    switch (mv::Dialogs::conflictQuestion(ChangedElsewhereText, QStringLiteral("保存冲突"))) {
    case mv::Dialogs::Ok:
        openDocument();
        return false;
    case mv::Dialogs::Discard:
        insertDocument(title, typeId, content);
        return true;
    case mv::Dialogs::Cancel:
        break;
    }
    return false;
}

bool TfmTemp::saveDocument()
{
    setBrowseState();
    const bool stored = storeDocument();
    // Read-only again however the save went; a surface that did not answer
    // just now is not waited for a second time.
    if (!HtmlEdit1->Document()->isStalled()) {
        try {
            HtmlEdit1->setReadOnly(true);
        } catch (const EHtmlEngineError &) {
        }
    }
    return stored;
}

void TfmTemp::sbSaveClick()
{
    saveDocument();
}

bool TfmTemp::storeDocument()
{
    if (SaveMode != ModeAdd && SaveMode != ModeEdit)
        return false;
    if (SaveMode == ModeEdit && !isDecimalId(DocumentId)) {
        mv::Dialogs::info(QStringLiteral("这篇文档还没有保存过，不能修改。"));
        return false;
    }

    QString content;
    const int losses = m_surfaceLosses;
    try {
        content = HtmlEdit1->HTML();
        m_lastBody = content;
    } catch (const EHtmlEngineError &) {
        // A surface whose process died is made again with the last body
        // read and the user told so; Save then stores what it shows.
        if (HtmlEdit1->Document()->isRendererGone() || m_surfaceLosses != losses)
            return false;
        if (!mv::Dialogs::question(SaveLastBodyQuestion, QStringLiteral("保存提示")))
            return false;
        content = m_lastBody;
    }
    const QString title = Edit1->text();
    const QString typeId = edType->text();
    try {
        if (SaveMode == ModeAdd)
            insertDocument(title, typeId, content);
        else if (!updateDocument(title, typeId, content))
            return false;
    } catch (const mv::db::DbError &e) {
        mv::Dialogs::info(mv::db::failedChangeText(e));
        return false;
    } catch (const EEditorError &e) {
        mv::Dialogs::info(e.message());
        return false;
    }
    return true;
}

std::function<void()> TfmTemp::command(void (TfmTemp::*handler)())
{
    return [this, handler] {
        const int losses = m_surfaceLosses;
        try {
            (this->*handler)();
        } catch (const EHtmlEngineError &) {
            // A dead surface is reported once, where it is made again.
            if (HtmlEdit1->Document()->isRendererGone() || m_surfaceLosses != losses)
                return;
            mv::Dialogs::info(SurfaceNotAnsweringText);
        } catch (...) {
            mv::Application::reportCurrentException();
        }
    };
}

void TfmTemp::readBodyLater()
{
    if (m_readPending)
        return;
    const int losses = m_surfaceLosses;
    QElapsedTimer took;
    took.start();
    const bool asked = HtmlEdit1->RequestHTML(this, [this, losses, took](const QString &body) {
        if (losses != m_surfaceLosses)
            return;
        m_readPending = false;
        m_lastBody = body;
        m_readTimer->start(int(qMax<qint64>(BodyReadIntervalMs, took.elapsed() * BodyReadShare)));
    });
    // A surface that does not answer is asked nothing more until it does.
    m_readPending = asked;
    if (!asked)
        m_readTimer->start(BodyReadIntervalMs);
}

void TfmTemp::HtmlEdit1EngineGone()
{
    if (!HtmlEdit1->Document()->isRendererGone())
        return;
    ++m_surfaceLosses;
    m_readPending = false;
    HtmlEdit1->RecreatePage();
    HtmlEdit1->setHTML(m_lastBody);
    m_readTimer->start(BodyReadIntervalMs);
    mv::Dialogs::info(SurfaceGoneText);
}

void TfmTemp::sbDelClick()
{
    if (!isDecimalId(DocumentId)) {
        mv::Dialogs::info(QStringLiteral("这篇文档还没有保存过，不能删除。"));
        return;
    }
    if (!mv::Dialogs::question(QStringLiteral("您确定删除本记录吗?"), QStringLiteral("删除提示")))
        return;
    try {
        m_dm.store().deleteDocument(DocumentId);
    } catch (const mv::db::DbError &e) {
        mv::Dialogs::error(mv::db::failedChangeText(e));
        return;
    }
    mv::Dialogs::info(QStringLiteral("已经成功删除!"));
}

void TfmTemp::sbFindTypeClick()
{
    const QString caption = edType->text() + QLatin1Char(' ') + Edit2->text();
    std::unique_ptr<TfmTypeSelect> picker(TfmTypeSelect::CreateSelecting(this, caption));
    mv::execModal(picker.get());
    const QString selected = picker->selectedCaption();
    picker->hide();
    picker.reset();
    // Closed with no node selected: the category stays as it was.
    if (selected.isEmpty())
        return;
    const QStringList pieces = SplitString(selected, QLatin1Char(' '));
    edType->setText(pieces.value(0));
    Edit2->setText(pieces.value(1));
}

void TfmTemp::EndAsCancelled()
{
    askBeforeClosing_ = false;
    done(QDialog::Rejected);
    askBeforeClosing_ = true;
}

// ---------------------------------------------------------------------------
// Closing with unsaved changes

namespace {
// The body as last loaded or saved is kept in the page itself: the page
// compares, and only the answer travels.
const QString MarkBodyScript =
    QStringLiteral("window.mvSavedBody = document.body ? document.body.outerHTML : '';");
const QString BodyChangedScript =
    QStringLiteral("return (document.body ? document.body.outerHTML : '') !== window.mvSavedBody;");
} // namespace

void TfmTemp::markSaved()
{
    savedTitle_ = Edit1->text();
    savedTypeId_ = edType->text();
    // A surface that does not answer is not waited for again; its body then
    // counts as changed, so closing asks.
    if (HtmlEdit1->Document()->isStalled())
        return;
    try {
        HtmlEdit1->Document()->Execute(MarkBodyScript);
    } catch (const EHtmlEngineError &) {
    }
}

bool TfmTemp::HasUnsavedChanges() const
{
    if (Edit1->text() != savedTitle_ || edType->text() != savedTypeId_)
        return true;
    try {
        return HtmlEdit1->Document()->Evaluate(BodyChangedScript).toBool();
    } catch (const std::exception &) {
        // A page that does not answer may hold typed text: ask.
        return true;
    }
}

void TfmTemp::done(int result)
{
    if (askBeforeClosing_ && isVisible() && HasUnsavedChanges()) {
        switch (mv::Dialogs::saveQuestion(QStringLiteral("文档的标题、类别或内容已经修改，还没有保存。\n关闭之前要保存吗？"),
                                          QStringLiteral("保存提示"))) {
        case mv::Dialogs::Cancel:
            return;
        case mv::Dialogs::Ok:
            // Closes only once it is stored; a failed save has said why.
            if (!saveDocument())
                return;
            break;
        case mv::Dialogs::Discard:
            break;
        }
    }
    QDialog::done(result);
}

void TfmTemp::keyPressEvent(QKeyEvent *event)
{
    // Escape would close the window and throw away what was typed; the
    // window is closed with its close box only.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// ---------------------------------------------------------------------------
// Formatting toolbar

bool TfmTemp::ensureImageFolder()
{
    const QString folder = HtmlEdit1->ImageFolder();
    return QFileInfo(folder).isDir() || QDir().mkpath(folder);
}

void TfmTemp::reportFolderNotMade()
{
    mv::Dialogs::info(QStringLiteral("无法建立图片文件夹 %1，图片没有插入。").arg(HtmlEdit1->ImageFolder()));
}

bool TfmTemp::chooseColor(qint32 &color)
{
    if (!dlgColor1) {
        dlgColor1 = new QColorDialog(this);
        dlgColor1->setObjectName(QStringLiteral("dlgColor1"));
        dlgColor1->setOption(QColorDialog::DontUseNativeDialog);
    }
    dlgColor1->setCurrentColor(m_lastColor);
    if (mv::execModal(dlgColor1) != QDialog::Accepted)
        return false;
    m_lastColor = dlgColor1->selectedColor();
    color = qint32(m_lastColor.red() | (m_lastColor.green() << 8) | (m_lastColor.blue() << 16));
    return true;
}

void TfmTemp::ToolButton1Click() { HtmlEdit1->Print(false); }
void TfmTemp::ToolButton2Click() { HtmlEdit1->PrintPreview(); }

void TfmTemp::ToolButton3Click()
{
    // Checked before the dialog so that no file is chosen in vain, and again
    // after it, since the folder may have gone while the dialog was open.
    if (!ensureImageFolder()) {
        reportFolderNotMade();
        return;
    }
    if (!dlgOpenImage) {
        dlgOpenImage = new QFileDialog(this);
        dlgOpenImage->setObjectName(QStringLiteral("dlgOpenImage"));
        dlgOpenImage->setOption(QFileDialog::DontUseNativeDialog);
        dlgOpenImage->setOption(QFileDialog::HideNameFilterDetails);
        dlgOpenImage->setFileMode(QFileDialog::ExistingFile);
        dlgOpenImage->setAcceptMode(QFileDialog::AcceptOpen);
        dlgOpenImage->setNameFilter(ImageFilterForDialog());
        new CompletionOnlyWhileShown(dlgOpenImage);
    }
    if (mv::execModal(dlgOpenImage) != QDialog::Accepted)
        return;
    const QStringList files = dlgOpenImage->selectedFiles();
    if (files.isEmpty())
        return;
    if (!ensureImageFolder()) {
        reportFolderNotMade();
        return;
    }
    const QString picture = QFileInfo(files.first()).absoluteFilePath();
    QString reason;
    switch (HtmlEdit1->Commander()->InsertImage(picture, &reason)) {
    case TEditCommander::ImageResult::Inserted:
        break;
    case TEditCommander::ImageResult::NoFile:
        mv::Dialogs::info(QStringLiteral("图片文件 %1 已经不存在，图片没有插入。").arg(QDir::toNativeSeparators(picture)));
        break;
    case TEditCommander::ImageResult::NoFolder:
        reportFolderNotMade();
        break;
    case TEditCommander::ImageResult::NotAPicture:
        mv::Dialogs::info(QStringLiteral("文件 %1 不是图片，图片没有插入。").arg(QDir::toNativeSeparators(picture)));
        break;
    case TEditCommander::ImageResult::CopyFailed:
        mv::Dialogs::info(QStringLiteral("无法把图片复制到图片文件夹 %1（%2），图片没有插入。")
                              .arg(HtmlEdit1->ImageFolder(), reason));
        break;
    }
}

void TfmTemp::ToolButton4Click() { HtmlEdit1->Cut(); }
void TfmTemp::ToolButton5Click() { HtmlEdit1->Copy(); }
void TfmTemp::ToolButton6Click() { HtmlEdit1->Paste(); }
void TfmTemp::ToolButton7Click() { HtmlEdit1->Clear(); }
void TfmTemp::ToolButton8Click() { HtmlEdit1->Undo(); }
void TfmTemp::ToolButton9Click() { HtmlEdit1->Redo(); }
void TfmTemp::ToolButton10Click() { HtmlEdit1->SelectAll(); }
void TfmTemp::ToolButton11Click() {}
void TfmTemp::ToolButton12Click() { HtmlEdit1->Commander()->Bold(); }
void TfmTemp::ToolButton13Click() { HtmlEdit1->Commander()->Italic(); }
void TfmTemp::ToolButton14Click() { HtmlEdit1->Commander()->Underline(); }

void TfmTemp::ToolButton15Click()
{
    qint32 color;
    if (chooseColor(color))
        HtmlEdit1->Commander()->ForeColor(color);
}

void TfmTemp::ToolButton16Click()
{
    qint32 color;
    if (chooseColor(color))
        HtmlEdit1->Commander()->BackColor(color);
}

void TfmTemp::ToolButton17Click() { HtmlEdit1->Commander()->JustifyFull(); }
void TfmTemp::ToolButton18Click() { HtmlEdit1->Commander()->JustifyLeft(); }
void TfmTemp::ToolButton19Click() { HtmlEdit1->Commander()->JustifyCenter(); }
void TfmTemp::ToolButton20Click() { HtmlEdit1->Commander()->JustifyRight(); }
void TfmTemp::ToolButton21Click() { HtmlEdit1->Commander()->InsertOrderedList(); }

void TfmTemp::cbbFontNameChange() { HtmlEdit1->Commander()->FontName(cbbFontName->currentText()); }

void TfmTemp::cbFontSizeChange()
{
    // The item index (-1 for text that is no item) plus one.
    const int index = cbFontSize->findText(cbFontSize->currentText(), Qt::MatchExactly);
    HtmlEdit1->Commander()->FontSize(index + 1);
}

// ---------------------------------------------------------------------------

void OpenDocumentEditor(QWidget *owner, const QString &mode, TmvlabDm &dm)
{
    std::unique_ptr<TfmTemp> editor;
    try {
        editor.reset(TfmTemp::CreateWithMode(owner, mode, &dm));
    } catch (const EEditorError &e) {
        mv::Dialogs::error(e.message());
        return;
    } catch (...) {
        mv::Application::reportCurrentException();
        return;
    }
    mv::execModal(editor.get());
    editor->hide();
}
