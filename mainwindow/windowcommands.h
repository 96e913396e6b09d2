#pragma once

class TfmDocumentList;

class QString;

// Runs one of the main window's commands (its commandRequested): the
// category name dialog, the subtree deletion, the editor or the lookup
// window.
void RunWindowCommand(TfmDocumentList *window, const QString &item, const QString &argument);

// True for the commands that open the document editor (N7 and DBGridEh1).
bool OpensDocumentEditor(const QString &item);

// Connects the main window's commands to RunWindowCommand.
void ConnectWindowCommands(TfmDocumentList *window);

// The category menu's "删除该级" on the selected node: two questions, the
// deletion of the subtree (with its documents when the second answer is OK),
// the success message and the node's removal from the tree.
void DeleteSelectedCategory(TfmDocumentList *window);
