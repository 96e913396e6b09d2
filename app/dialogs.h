#pragma once

// Every message and question box of the program goes through here, so that
// tests can answer them without a person and see what would have been shown.

#include <QList>
#include <QString>

#include <functional>

namespace mv {

// The caption of the standard boxes and the name of the taskbar entry.
QString applicationTitle();
void setApplicationTitle(const QString &title);

class Dialogs
{
public:
    enum class Kind {
        Info,     // plain information box: application title, OK, no icon
        Error,    // standard error box: application title, error icon, OK
        Question, // own caption, OK and Cancel, question icon
        Notice,   // box without owner: own caption, information icon, OK
        SaveQuestion, // own caption, "保存", "不保存" and "取消", question icon
        ConflictQuestion // own caption, "重新载入", "另存为新文档" and "取消", warning icon
    };
    // The answer to a question: OK (for a save question: save), cancel, or
    // for a save question, go on without saving.
    enum Answer : int { Cancel = 0, Ok = 1, Discard = 2 };
    struct Box {
        Kind kind;
        QString caption;
        QString text; // as shown (the error box's "." already added)
    };
    // Answers a box instead of showing it; the result (an Answer, or true
    // for OK) answers a question and is ignored for the other kinds.
    using Handler = std::function<int(const Box &)>;

    static void info(const QString &text);
    static void error(const QString &text);
    // True only when the user chose OK.
    static bool question(const QString &text, const QString &caption);
    static void notice(const QString &text, const QString &caption);
    // Save, discard or cancel; Cancel also when the box is closed otherwise.
    static Answer saveQuestion(const QString &text, const QString &caption);
    // Reload (Ok), save as new (Discard) or cancel.
    static Answer conflictQuestion(const QString &text, const QString &caption);

    // The error box's text: a "." is added when the last character sorts
    // after ".".
    static QString errorText(const QString &text);

    // Installs a handler (an empty one restores real boxes); returns the
    // previous one.
    static Handler setHandler(Handler handler);
};

// Test aid: records every box while it lives and answers questions from a
// queue (OK when the queue is empty).
class DialogRecorder
{
public:
    DialogRecorder();
    ~DialogRecorder();
    DialogRecorder(const DialogRecorder &) = delete;
    DialogRecorder &operator=(const DialogRecorder &) = delete;

    void answerNext(bool ok) { answers_.append(ok ? Dialogs::Ok : Dialogs::Cancel); }
    void answerNext(Dialogs::Answer answer) { answers_.append(answer); }
    const QList<Dialogs::Box> &boxes() const { return boxes_; }
    void clear() { boxes_.clear(); }
    // "kind|caption|text" of every box, for compact comparisons.
    QStringList lines() const;

private:
    QList<Dialogs::Box> boxes_;
    QList<int> answers_;
    Dialogs::Handler previous_;
};

} // namespace mv
