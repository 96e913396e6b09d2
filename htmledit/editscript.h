#pragma once

#include <QString>

namespace mv::htmledit {

// The surface's own script for one page, defining the object mvEdit in the
// program's script world (never the document's). Its operations:
//
//  - write(text), close(), newDocument(template): the document as a write
//    stream. A write while the stream is open is appended to the body; a
//    write after close() starts a new document. newDocument closes the
//    stream and writes the template. Text is parsed where nothing loads or
//    runs before it goes in.
//  - html(), text(): the body as the document stores it (picture addresses
//    given back as they were written) and as plain text.
//  - state(readOnly, charSet): editing on or off, the declared encoding.
//
// Pasted and dropped markup is cleaned before it goes in: no script, frame,
// object, style sheet, form, event attribute, or address that runs script
// or reads local files; pictures of the page's own scheme stay linked as
// the document links them.
//
// site is the page's address ("mvdoc://name/"), fileLinkPrefix the start of
// the addresses its stored "file:" picture links are shown by.
QString editScript(const QString &site, const QString &fileLinkPrefix);

} // namespace mv::htmledit
