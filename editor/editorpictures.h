#pragma once

#include <QIcon>
#include <QPixmap>

// The editor's own pictures, drawn at run time.
namespace mv::editorpictures {

// The five record buttons, each a white symbol on a blue disc; the disabled
// look is the same symbol on a grey disc.
enum class Record { Add, Edit, Cancel, Delete, Save };
QIcon recordIcon(Record which);
QPixmap recordPicture(Record which, bool enabled);

// The formatting toolbar's image list: 20 x 20 pictures by their index.
// Indexes used by the toolbar: 4-7, 9-12 and 15-27; any other index gives
// an empty picture.
QPixmap formatPicture(int index);

} // namespace mv::editorpictures
