#pragma once

#include <QString>

namespace mv {

// A folder only this user may use: a real folder (no symbolic link), owned
// by this user, with no rights for anyone else (mode 0700). Another local
// user who made it, or who may write into it, could otherwise hold or
// replace what the program keeps there.
class PrivateFolder
{
public:
    // True when path is such a folder; otherwise false, and why says what
    // is wrong with it.
    static bool check(const QString &path, QString *why = nullptr);
    // Makes the folder (mode 0700) when it is missing, then checks it.
    static bool ensure(const QString &path, QString *why = nullptr);
};

} // namespace mv
