#pragma once

#include <QString>

namespace mv {

// Settles the run's database before any window exists: the file the
// command line names, else the one beside the program, else the user's own
// in their data folder, made on the first start. A named file that does not
// exist is made only after the user agrees; one that cannot be used is
// refused with one message, and nothing is made or changed for it.
struct DatabaseChoiceResult {
    QString path;     // empty: the run ends
    int exitCode = 0; // when it ends: 0 when the user declined, 1 when refused
};

DatabaseChoiceResult chooseDatabase(const QString &programDir, const QString &userDataDir,
                                    const QString &requested);

} // namespace mv
