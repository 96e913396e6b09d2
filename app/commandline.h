#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <optional>

namespace mv {

// The program's command line. Every option is declared in the constructor
// and read back through a function of its own; it is read before the
// application object exists, so that --help and --version work without a
// display.
class CommandLine
{
public:
    CommandLine();

    // Reads the arguments (the program first). nullopt: start the program;
    // otherwise the run ends with that exit code, the help, the version or
    // what was wrong already printed (0 for --help and --version, 2 for a
    // mistake in the arguments).
    std::optional<int> parse(const QStringList &arguments);

    // --database PATH as given; empty when not given.
    QString database() const;

    QString helpText() const;
    static QString versionText();

    static QStringList arguments(int argc, char **argv);

private:
    QCommandLineParser parser_;
    QCommandLineOption help_;
    QCommandLineOption version_;
    QCommandLineOption database_;
};

} // namespace mv
