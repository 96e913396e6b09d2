#include "mvapplication.h"

#include "dialogs.h"
#include "fbsql.h"

#include <QFont>

#include <exception>

namespace mv {

namespace {

// The web engine, loaded later with the windows that need it, renders
// every page in a context that shares the application's: that one exists
// only when asked for before the application object is built.
int &withSharedContexts(int &argc)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return argc;
}

} // namespace

Application::Application(int &argc, char **argv) : QApplication(withSharedContexts(argc), argv)
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
