#pragma once

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
};

inline constexpr const char *InstanceLockName = "ProjectMvDocument";

// Returns the process's exit code (0 also for the two refusals of the lock).
int runStartUp(const StartUp &steps);

} // namespace mv
