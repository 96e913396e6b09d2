#pragma once

#include <QString>

// Which files the editing surface may show as pictures, and how a document
// links them. Every name and every file here is untrusted: a document or a
// picked file may name anything.
//
// Links are relative to the folder above the image folder (the database's
// folder, whose "images" folder holds the pictures), so that a document still
// shows its pictures after that folder has been moved or copied elsewhere.
namespace mv::htmledit {

// The MIME type of a picture the surface shows, judged by the file's content
// ("image/png", "image/jpeg", ...), or empty for anything else: no such file,
// not a regular file, or content of another kind whatever its name says.
QString pictureType(const QString &path);

// The extension, with its dot, for a copy of the picture fileName of that
// type: the file's own when it names the type (spelt as it is), otherwise
// the type's usual one.
QString pictureExtension(const QString &fileName, const QString &type);

// The folder that links are relative to: the one holding imageFolder (the
// file system's root holds itself).
QString linkBase(const QString &imageFolder);

// The address a document links the picture fileName in imageFolder by,
// percent-encoded: "images/NAME.EXT" for a folder named images.
QString pictureLink(const QString &imageFolder, const QString &fileName);

// The file a request path names (decoded, relative to linkBase), when it
// is a picture inside imageFolder once links and ".." are resolved; empty
// otherwise.
QString pictureForPath(const QString &imageFolder, const QString &path);

// The file an absolute "file:" address of an older document names, when it
// is a picture anywhere (the document linked it itself); for a picture that
// is gone from there, one of the same name inside imageFolder (the folder
// was moved). Empty otherwise. Older versions wrote the path unescaped after
// "file://", so a "#" or "%" in it is taken as it stands first.
QString pictureForFileLink(const QString &imageFolder, const QString &link);

} // namespace mv::htmledit
