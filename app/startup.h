#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace mv {

// The program's entry sequence after the application object exists: the
// single-instance lock, the title, the windows, the event loop, the end.
struct StartUp {
    // Creates the data module and the main window and shows it; returns the
    // object whose closed() ends the run (connected by the caller).
    std::function<void()> createWindows;
    // Destroys the main window, then the data module.
    std::function<void()> destroyWindows;
    // Runs once the lock is held and the title is set, before the windows
    // (the choice of the database, which may ask or refuse); a value ends
    // the run with that exit code before any window exists.
    std::function<std::optional<int>()> beforeWindows = {};
    // The program's own exit (the tray's); SIGINT and SIGTERM run it too.
    // Without it they end the event loop.
    std::function<void()> exitCommand = {};
};

inline constexpr const char *InstanceLockName = "ProjectMvDocument";

// The database engine keeps its lock files in the folder named by this
// variable; its default, /tmp/firebird, is shared by every user, and
// another user who makes it first can keep the database from opening.
inline constexpr const char *EngineLockVariable = "FIREBIRD_LOCK";

// Points the engine at a private folder inside privateDir (made when
// missing), unless the variable is set already. Must run before the first
// database is opened. False, with the folder and the reason in failure,
// when that folder is not private.
bool useEngineLockFolder(const QString &privateDir, QString *failure);

// Returns the process's exit code (0 also for the two refusals of the lock).
int runStartUp(const StartUp &steps);

} // namespace mv
