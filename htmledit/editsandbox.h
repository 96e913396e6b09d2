#pragma once

class QWebEngineProfile;

// Where the editing surface's pages run: a profile of their own that keeps
// nothing on disk, serves the pages' scheme (pagescheme.h) and lets no
// request of another scheme leave a page, with page script, plug-ins, local
// file access, prefetching and the rest of what a document could reach out
// with switched off for every page made on it.
namespace mv::htmledit {

// Made on first use; freed when the application ends, after the last page.
QWebEngineProfile *editingProfile();

} // namespace mv::htmledit
