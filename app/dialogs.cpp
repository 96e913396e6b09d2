#include "dialogs.h"

#include "modality.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

namespace mv {

namespace {
QString &titleStore()
{
    static QString title;
    return title;
}

Dialogs::Handler &handlerStore()
{
    static Dialogs::Handler handler;
    return handler;
}

int run(const Dialogs::Box &box)
{
    if (handlerStore())
        return handlerStore()(box);
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QWidget *owner = QApplication::activeWindow();
    switch (box.kind) {
    case Dialogs::Kind::Info:
        break;
    case Dialogs::Kind::Error:
        icon = QMessageBox::Critical;
        break;
    case Dialogs::Kind::Question:
        icon = QMessageBox::Question;
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case Dialogs::Kind::Notice:
        icon = QMessageBox::Information;
        owner = nullptr;
        break;
    case Dialogs::Kind::SaveQuestion:
        icon = QMessageBox::Question;
        buttons = QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel;
        break;
    case Dialogs::Kind::ConflictQuestion:
        icon = QMessageBox::Warning;
        buttons = QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel;
        break;
    }
    QMessageBox mb(icon, box.caption, box.text, buttons, owner);
    if (box.kind == Dialogs::Kind::Question)
        mb.setDefaultButton(QMessageBox::Ok);
    if (box.kind == Dialogs::Kind::SaveQuestion || box.kind == Dialogs::Kind::ConflictQuestion) {
        const bool save = box.kind == Dialogs::Kind::SaveQuestion;
        mb.button(QMessageBox::Save)->setText(save ? QStringLiteral("保存") : QStringLiteral("重新载入"));
        mb.button(QMessageBox::Discard)->setText(save ? QStringLiteral("不保存") : QStringLiteral("另存为新文档"));
        mb.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
        mb.setDefaultButton(save ? QMessageBox::Save : QMessageBox::Cancel);
        mb.setEscapeButton(QMessageBox::Cancel);
        const int r = execModal(&mb);
        return r == QMessageBox::Save ? Dialogs::Ok : r == QMessageBox::Discard ? Dialogs::Discard : Dialogs::Cancel;
    }
    return execModal(&mb) == QMessageBox::Ok ? Dialogs::Ok : Dialogs::Cancel;
}
} // namespace

QString applicationTitle()
{
    return titleStore();
}

void setApplicationTitle(const QString &title)
{
    titleStore() = title;
}

void Dialogs::info(const QString &text)
{
    run({Kind::Info, applicationTitle(), text});
}

void Dialogs::error(const QString &text)
{
    run({Kind::Error, applicationTitle(), errorText(text)});
}

bool Dialogs::question(const QString &text, const QString &caption)
{
    return run({Kind::Question, caption, text}) == Ok;
}

Dialogs::Answer Dialogs::saveQuestion(const QString &text, const QString &caption)
{
    const int r = run({Kind::SaveQuestion, caption, text});
    return r == Ok || r == Discard ? Answer(r) : Cancel;
}

Dialogs::Answer Dialogs::conflictQuestion(const QString &text, const QString &caption)
{
    const int r = run({Kind::ConflictQuestion, caption, text});
    return r == Ok || r == Discard ? Answer(r) : Cancel;
}

void Dialogs::notice(const QString &text, const QString &caption)
{
    run({Kind::Notice, caption, text});
}

QString Dialogs::errorText(const QString &text)
{
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

Dialogs::Handler Dialogs::setHandler(Handler handler)
{
    Handler previous = std::move(handlerStore());
    handlerStore() = std::move(handler);
    return previous;
}

DialogRecorder::DialogRecorder()
{
    previous_ = Dialogs::setHandler([this](const Dialogs::Box &box) {
        boxes_.append(box);
        return answers_.isEmpty() ? int(Dialogs::Ok) : answers_.takeFirst();
    });
}

DialogRecorder::~DialogRecorder()
{
    Dialogs::setHandler(std::move(previous_));
}

QStringList DialogRecorder::lines() const
{
    static const char *const names[] = {"info", "error", "question", "notice", "savequestion",
                                                "conflictquestion"};
    QStringList out;
    for (const Dialogs::Box &b : boxes_)
        out.append(QString::fromLatin1(names[int(b.kind)]) + QLatin1Char('|') + b.caption + QLatin1Char('|')
                   + b.text);
    return out;
}

} // namespace mv
