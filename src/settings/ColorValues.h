#pragma once

#include <QColor>
#include <QString>
#include <QtGlobal>

// A colour as the settings file stores it: 0x00BBGGRR for RGB colours (red in the lowest byte),
// 0xFF000000 plus an index for system colours, and the two special values below.
using TColor = quint32;

constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
constexpr TColor clGray = 0x808080;

// Returns the screen colour of a colour value; system colours map to the application palette.
QColor ToQColor(TColor color);

// Returns the colour value of a screen colour (always an RGB value).
TColor FromQColor(const QColor &color);
