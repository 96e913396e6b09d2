#pragma once

// Writing categories: add, rename, delete a subtree. Names travel as bound
// parameters, ids only after they are checked to be 32-bit integers, so no
// typed text can change what a statement does.

#include <QString>

#include <stdexcept>

class TmvlabDm;

namespace mv {

// Input that is refused before anything reaches the database.
class InputError : public std::runtime_error
{
public:
    explicit InputError(const QString &message) : std::runtime_error(message.toStdString()), message_(message) {}
    QString message() const { return message_; }

private:
    QString message_;
};

// The id as a canonical decimal text, or an InputError naming the field.
QString checkedId(const QString &text, const QString &what);

// "select max(id) from type" plus one; "1" on an empty table.
QString nextCategoryId(TmvlabDm &dm);

// Inserts a category with the given new id under parentId (checked), with
// the name exactly as given. Committed at once.
void insertCategory(TmvlabDm &dm, const QString &id, const QString &parentIdText, const QString &name);
// nextCategoryId, then insertCategory; returns the new id.
QString addCategory(TmvlabDm &dm, const QString &parentIdText, const QString &name);

// Renames the category idText (checked). An id without a row changes nothing.
void renameCategory(TmvlabDm &dm, const QString &idText, const QString &name);

// Deletes the category and every category below it, and with them their
// documents when asked; both deletions commit together or not at all.
// Returns the id list that was deleted ("4,5,9,6").
QString deleteCategorySubtree(TmvlabDm &dm, const QString &id, bool withDocuments);

} // namespace mv
