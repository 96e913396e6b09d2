#pragma once

#include <functional>

namespace mv {

// The program's entry sequence after the application object exists: the
// single-instance lock, the title, the windows, the event loop, the end.
struct StartUp {
    // Creates the data module and the main window and shows it; returns the
    // object whose closed() ends the run (connected by the caller).
    std::function<void()> createWindows;
    // Destroys the main window, then the data module.
    std::function<void()> destroyWindows;
    // The program's own exit (the tray's); SIGINT and SIGTERM run it too.
    // Without it they end the event loop.
    std::function<void()> exitCommand = {};
};

inline constexpr const char *InstanceLockName = "ProjectMvDocument";

// Returns the process's exit code (0 also for the two refusals).
int runStartUp(const StartUp &steps);

} // namespace mv
