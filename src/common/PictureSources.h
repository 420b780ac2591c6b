#pragma once

#include <QString>
#include <QStringList>

// Where the first start finds the marker pictures (Marker.png, Flag.png) that it copies into the
// data folder. The start folder comes first, as it always has; an installed program finds them
// in share/tarvex beside its bin folder, and a program started from its build folder in the
// source tree's resources/images.

// The folders searched, in order, each without a trailing separator. The start folder is the
// current working directory; the installed folder is taken relative to the program's folder so
// that an installation under any prefix finds its own pictures.
QStringList PictureSourceFolders();

// Full path of FileName in the first of PictureSourceFolders() that holds it; when none does,
// the path in the start folder (so that the copy fails as it did before, and is tried again on
// the next start).
QString PictureSource(const QString &FileName);
