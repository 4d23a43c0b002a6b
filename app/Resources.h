// The window program's pictures by resource id: the transport button bitmaps and their mask
// (144-166), the start-up splash (167) and the program icon (128). Their sources are the SVG
// files of app/res, compiled in through vellox.qrc and drawn at the pixel density asked for, so
// they stay sharp on high-density screens. SVG is read through Qt's "svg" image-format plugin
// (Debian package libqt6svg6). Call from the user-interface thread, with a QGuiApplication.
#pragma once

#include <QIcon>
#include <QPixmap>

// The bitmap of a resource id at the highest device pixel ratio of the screens; a null pixmap
// when there is no such bitmap.
QPixmap LoadBitmapResource(int id);

// The bitmap of a resource id drawn for the given device pixel ratio: its device-independent
// size is the picture's own, its pixels that size times the ratio. Null when there is none.
QPixmap LoadBitmapResource(int id, qreal devicePixelRatio);

// The icon of a resource id in the usual desktop sizes; a null icon when there is none.
QIcon LoadIconResource(int id);
