#include "UnitDM.h"

#include <QCoreApplication>
#include <QDir>

TmvlabDm *mvlabDm = nullptr;

TmvlabDm::TmvlabDm() : TmvlabDm(defaultDatabasePath())
{
}

TmvlabDm::TmvlabDm(const QString &databasePath)
    : IBDatabaseMV(QString(), UserName, Password), IBQueryTemp(IBDatabaseMV)
{
    DataModuleCreate(databasePath);
}

TmvlabDm::~TmvlabDm()
{
    IBQueryTemp.close();
    try {
        IBDatabaseMV.close();
    } catch (...) {
        // Every change was committed when it was made; nothing is left to lose.
    }
}

QString TmvlabDm::defaultDatabasePath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromLatin1(DatabaseFileName));
}

void TmvlabDm::DataModuleCreate(const QString &path)
{
    // Only the path is fixed here; the connection opens on first use.
    IBDatabaseMV.setDatabaseName(path);
}
