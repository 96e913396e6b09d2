#pragma once

#include <functional>

class TfmDocumentList;

class QString;

namespace mv {
class WebWindows;
}

// The windows on the web engine when a command needs them, or null (the
// reason already reported) when they cannot be had.
using WebWindowsSource = std::function<mv::WebWindows *()>;

// Runs one of the main window's commands (its commandRequested): the
// category name dialog and the subtree deletion here, the editor and the
// lookup window through web.
void RunWindowCommand(TfmDocumentList *window, const QString &item, const QString &argument,
                      const WebWindowsSource &web);

// True for the commands that open the document editor (N7 and DBGridEh1).
bool OpensDocumentEditor(const QString &item);

// Connects the main window's commands to RunWindowCommand.
void ConnectWindowCommands(TfmDocumentList *window, WebWindowsSource web);

// The category menu's "删除该级" on the selected node: two questions, the
// deletion of the subtree (with its documents when the second answer is OK),
// the success message and the node's removal from the tree.
void DeleteSelectedCategory(TfmDocumentList *window);
