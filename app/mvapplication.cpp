#include "mvapplication.h"

#include "dialogs.h"
#include "fbsql.h"

#include <QFont>

#include <exception>

namespace mv {

Application::Application(int &argc, char **argv) : QApplication(argc, argv)
{
    installFontSubstitutes();
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportCurrentException();
        return false;
    }
}

void Application::reportCurrentException()
{
    try {
        throw;
    } catch (const db::DbError &e) {
        Dialogs::error(e.message());
    } catch (const std::exception &e) {
        Dialogs::error(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        Dialogs::error(QStringLiteral("发生了未知错误"));
    }
}

void installFontSubstitutes()
{
    const QStringList sans{QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK SC")};
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sans);
    QFont::insertSubstitutions(QStringLiteral("Tahoma"), sans);
}

} // namespace mv
