#pragma once

class TfmDocumentList;

// Connects the main window's commands to the windows and operations they
// open: the category name dialog, the subtree deletion, the editor and the
// lookup window.
void ConnectWindowCommands(TfmDocumentList *window);

// The category menu's "删除该级" on the selected node: two questions, the
// deletion of the subtree (with its documents when the second answer is OK),
// the success message and the node's removal from the tree.
void DeleteSelectedCategory(TfmDocumentList *window);
