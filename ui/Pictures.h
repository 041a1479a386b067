// The pictures of the tool bar buttons and the application icon, drawn in code.
#pragma once

#include <QIcon>
#include <QPixmap>

// The six 16 x 16 tool bar pictures, in colour, with transparency:
// 0 tray with papers, 1 diskette, 2 remove arrow, 3 process arrow,
// 4 exit arrow, 5 prohibition sign.
// They are drawn at ratio device pixels a pixel (0: the screen's), so that
// they stay sharp at any scale.
inline constexpr int kPictureCount = 6;
QPixmap ToolPicture(int index, qreal ratio = 0);

// The same picture in grey, for a disabled button.
QPixmap GreyPicture(const QPixmap& picture);

// The 32 x 32 application icon, in the 16 standard colours.
QIcon ApplicationIcon();
