#pragma once

// Driving the document editor as a user would: its document's script
// context, what was typed into the body, picture files to insert, and the
// boxes its record buttons show.

#include <QString>
#include <QVariant>

class QFileDialog;
class TfmTemp;

namespace mvtest {

// Runs script in the editor's document and returns its result.
QVariant js(TfmTemp &ed, const QString &script);
QString bodyHtml(TfmTemp &ed);
// What the user typed: the body's content replaced, as typing would.
void typeBody(TfmTemp &ed, const QString &html);
// Selects the content of the element with that id.
void selectElement(TfmTemp &ed, const QString &id);
// The five record buttons as 1/0 (add, edit, cancel, delete, save), a
// blank, and "R" for a read-only document or "W" for an editable one.
QString recordState(TfmTemp &ed);
// A small red picture (24 x 16) in BMP form at path.
bool writeBitmap(const QString &path);
// Types path into the picture dialog's name field and accepts it.
void choosePicture(QFileDialog *d, const QString &path);

// The boxes of a successful save and delete, and the delete question.
extern const QString Added;
extern const QString Changed;
extern const QString Deleted;
extern const QString DeleteQuestion;
// The question closing an editor with unsaved changes asks.
extern const QString SaveQuestion;

} // namespace mvtest
