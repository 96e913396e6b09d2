#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace mv {

// Who the program is on a database server. From the command line
// (--user, --password-file) or else from a small settings file in the
// user's configuration folder, which may also name the database:
//
//     database=host:/srv/mvlab/mvlabnew.fdb
//     user=alice
//     password=...
//
// A file holding a password must be this user's and closed to everyone
// else (mode 600); any other is refused rather than read. The password is
// held in memory only and appears in no message.
struct ServerLogin {
    QString database; // from the settings file; empty when it names none
    QByteArray user;
    QByteArray password;

    // The settings file's name inside the configuration folder.
    static constexpr const char *SettingsFileName = "server.conf";

    // user and passwordFile as given on the command line (either may be
    // empty); settingsPath need not exist. nullopt, with the one message
    // for the user in failure, when a file is refused or unreadable.
    static std::optional<ServerLogin> resolve(const QString &user, const QString &passwordFile,
                                              const QString &settingsPath, QString *failure);

    // The file's first line; nullopt (and why) when the file is open to
    // others or cannot be read.
    static std::optional<QByteArray> readPasswordFile(const QString &path, QString *failure);
};

} // namespace mv
