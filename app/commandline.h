#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <optional>

namespace mv {

// The program's command line. Every option is declared in the constructor
// and read back through a function of its own.
class CommandLine
{
public:
    CommandLine();

    // --help and --version, read from the arguments as the process got them,
    // before the application object exists, so that they need no display:
    // prints the help or the version and gives 0; nullopt when neither was
    // asked for.
    std::optional<int> answerInformation(const QStringList &rawArguments);

    // Reads the arguments the application object left (it takes its own,
    // such as -platform and -style). nullopt: start the program; otherwise
    // the run ends with that exit code, what was wrong already printed (2).
    std::optional<int> parse(const QStringList &arguments);

    // --database PATH as given; empty when not given.
    QString database() const;
    // --restore FILE as given; empty when not given.
    QString restore() const;
    // --user NAME and --password-file FILE for a database on a server.
    QString user() const;
    QString passwordFile() const;

    QString helpText() const;
    // The settings file that may give the server's login (see ServerLogin).
    static QString settingsFile();
    static QString versionText();

    static QStringList arguments(int argc, char **argv);

private:
    std::optional<int> printInformation() const;

    QCommandLineParser parser_;
    QCommandLineOption help_;
    QCommandLineOption version_;
    QCommandLineOption database_;
    QCommandLineOption restore_;
    QCommandLineOption user_;
    QCommandLineOption passwordFile_;
};

} // namespace mv
