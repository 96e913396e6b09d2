#pragma once

#include <QString>

namespace mv {

// Where the run's database file is, and whether a file someone names can be
// one. A database beside the program (a build folder, a portable copy) is
// used where there is one; an installed program keeps its database in the
// user's data folder instead, made on the first start. No windows here: the
// start-up shows what these answers say.
class DatabaseLocation
{
public:
    enum class Source {
        BesideProgram, // the file beside the program exists
        UserData,      // the user's data folder (the file may not exist yet)
        Requested,     // named on the command line (may not exist either)
        Server         // a database on a server, named on the command line
    };
    struct Choice {
        QString path;
        Source source;
    };

    // requested wins when given (a server's name as it stands, a file made
    // absolute against the working folder, without "." and ".." parts); then an existing file beside the program;
    // then the user's data folder.
    static Choice choose(const QString &programDir, const QString &userDataDir, const QString &requested = {});

    enum class State {
        Usable,          // a database of this program's schema
        Missing,         // nothing there; its folder takes a new file
        FolderMissing,   // the folder it would be in does not exist
        FolderReadOnly,  // nothing there, and its folder takes no new file
        NotAFile,        // a folder or some other thing that is no plain file
        FileReadOnly,    // a file this user cannot both read and write
        NotADatabase,    // the engine does not open it as a database
        OtherSchema,     // a database without this program's two tables
        ServerRefused    // a database on a server that cannot be reached or used
    };
    struct Check {
        State state = State::Usable;
        // For NotADatabase the engine's text; for OtherSchema what is missing.
        QString detail;
    };

    // Looks at path. A missing file, a folder and a file the engine cannot
    // open are left exactly as they were; to see a database's tables the
    // engine has to attach to it, and it records that in the file's header.
    static Check inspect(const QString &path);

    // The one message the user is shown for a path that cannot be used
    // (empty for Usable and Missing). Ends with "!" so that the error box
    // adds no full stop of its own.
    static QString refusal(const QString &path, const Check &check);

    // Makes a new database with the schema and its first category at path,
    // and the folder it is in when that is missing. Refuses an existing file.
    // Throws db::DbError.
    static void create(const QString &path);
};

} // namespace mv
