#pragma once

#include "UnitDM.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace mvtest {

// Rows of a query on the database at path, on a connection of its own:
// columns joined by '|', "<null>" for null.
QStringList rowsOf(const QString &path, const QString &sql);

// Runs statements on the database named, on a connection of its own (as
// another program would), and commits them.
void execOn(const QString &name, const QStringList &statements);

// A fresh database file with the program's schema in its own temporary
// folder; removed with the fixture.
class TestDb
{
public:
    // withFirstCategory=false empties TYPE after creation.
    explicit TestDb(bool withFirstCategory = true);
    QString path() const { return path_; }
    QString dir() const { return dir_.path(); }

    // Runs statements on a connection of its own and commits them.
    void exec(const QStringList &statements);
    // Rows of a query as text, columns joined by '|'.
    QStringList rows(const QString &sql);

private:
    QTemporaryDir dir_;
    QString path_;
};

// What a folder holds, each entry's name with a digest of its bytes: two
// equal snapshots prove nothing was made, removed or changed in it.
QStringList folderSnapshot(const QString &folder);

} // namespace mvtest
