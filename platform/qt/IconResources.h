// The program's two icons (128 no new mail, 131 new mail), loaded from the .ico files that are
// built into the program, by resource id and image size.
#ifndef KELVOR_PLATFORM_QT_ICONRESOURCES_H
#define KELVOR_PLATFORM_QT_ICONRESOURCES_H

#include <QIcon>
#include <QPixmap>

// Every image of the icon, for window icons. A null icon for an unknown id.
QIcon IconResource(int iconResource);

// The icon's own image of exactly size x size pixels when the file holds one (the tray takes
// the 16 x 16 image in the file's own colours); otherwise its nearest image scaled to size.
QPixmap IconImage(int iconResource, int size);

#endif
