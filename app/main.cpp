#include "UnitDM.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    mvlabDm = new TmvlabDm();
    QLabel w;
    try {
        mvlabDm->IBQueryTemp.setSql(QStringLiteral("select count(*) from TYPE"));
        mvlabDm->IBQueryTemp.open();
        w.setText(QStringLiteral("%1 categories").arg(mvlabDm->IBQueryTemp.field(0)));
    } catch (const mv::db::DbError &e) {
        w.setText(e.message());
    }
    w.show();
    const int rc = app.exec();
    delete mvlabDm;
    return rc;
}
