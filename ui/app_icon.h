#pragma once

#include <QIcon>
#include <QImage>

// The application icon: a white "Z" over a yellow bar on a blue rounded square. The same figure
// is kept as resources/zok-compressor.svg; this draws it at any size.
QImage DrawAppIcon(int size);

// The icon with its common sizes, for windows and the about box.
QIcon AppIcon();
