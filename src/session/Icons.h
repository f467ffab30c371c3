#pragma once
// The program's own pictures, drawn at run time: toolbar images, the
// program icon and the login page picture. Drawing them costs far less at
// start-up than loading an icon theme.

#include "platform/Types.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>

// The 16 x 16 toolbar image of a command; a null icon for others.
QIcon MakeCommandIcon(UINT nID);
QIcon MakeProgramIcon();
// The program icon at any size, for the installed icon theme.
QImage RenderProgramImage(int nSize);
// The picture at the top left of the login pages.
QPixmap MakeLoginPicture();
// The status bar's padlock for a protected connection.
QPixmap MakeLockPicture();
