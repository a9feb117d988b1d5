// The program's own icon: a phone whose screen shows a four-grey landscape.
#pragma once

#include <QIcon>
#include <QImage>

// The icon drawn at size x size pixels.
QImage AppIconImage(int size);

// The icon at the sizes window systems ask for.
QIcon AppIcon();
