#include "windowcommands.h"

#include "UnitDM.h"
#include "UnitDcouentList.h"
#include "UnitType.h"
#include "categorymodel.h"
#include "documentstore.h"
#include "dialogs.h"
#include "mvapplication.h"
#include "webwindows.h"

#include <QTreeWidgetItem>

void DeleteSelectedCategory(TfmDocumentList *window)
{
    QTreeWidgetItem *node = window->SelectedNode();
    if (!node)
        return;
    if (!mv::Dialogs::question(QStringLiteral("确定要删除该项吗?"), QStringLiteral("删除提示")))
        return;
    const bool withDocuments =
        mv::Dialogs::question(QStringLiteral("确定要删除该级下所属文章吗?"), QStringLiteral("删除提示"));
    const QString id = SplitString(node->text(0), QLatin1Char(' ')).value(0);
    try {
        window->dataModule().store().deleteCategorySubtree(id, withDocuments);
    } catch (const mv::db::DbError &e) {
        mv::Dialogs::error(e.message());
        return;
    } catch (const mv::InputError &e) {
        mv::Dialogs::error(e.message());
        return;
    }
    mv::Dialogs::info(QStringLiteral("已经成功删除所选类别!"));
    delete node;
}

bool OpensDocumentEditor(const QString &item)
{
    return item == QLatin1String("N7") || item == QLatin1String("DBGridEh1");
}

void RunWindowCommand(TfmDocumentList *window, const QString &item, const QString &argument,
                      const WebWindowsSource &web)
{
    if (item == QLatin1String("N1") || item == QLatin1String("N2")) {
        ShowTypeEditDialog(window, argument);
        // Rebuilt whatever happened in the dialog.
        try {
            window->ReloadTree();
        } catch (...) {
            mv::Application::reportCurrentException();
        }
    } else if (item == QLatin1String("N3")) {
        DeleteSelectedCategory(window);
    } else if (OpensDocumentEditor(item)) {
        if (mv::WebWindows *windows = web())
            windows->openEditor(window, window->dataModule(), argument);
    } else if (item == QLatin1String("N8")) {
        if (mv::WebWindows *windows = web())
            windows->openLookup(window);
    }
}

void ConnectWindowCommands(TfmDocumentList *window, WebWindowsSource web)
{
    QObject::connect(window, &TfmDocumentList::commandRequested, window,
                     mv::reported([window, web = std::move(web)](const QString &item, const QString &argument) {
                         RunWindowCommand(window, item, argument, web);
                     }));
}
