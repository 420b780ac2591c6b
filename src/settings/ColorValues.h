#pragma once

#include <QColor>
#include <QString>
#include <QVector>
#include <QtGlobal>

// A colour as the settings file stores it: 0x00BBGGRR for RGB colours (red in the lowest byte),
// 0xFF000000 plus an index for system colours, and the two special values below.
using TColor = quint32;

constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
constexpr TColor clSystemColor = 0xFF000000;
constexpr TColor clBlack = 0x000000;
constexpr TColor clGray = 0x808080;
constexpr TColor clWhite = 0xFFFFFF;

// One entry of the colour-name table.
struct TColorName {
    TColor value;
    const char *name;  // "clGray"
};

// The 52 named colours, in table order: the twenty fixed colours, clNone and clDefault, then the
// thirty system colours.
const QVector<TColorName> &ColorNameTable();

// The twenty fixed (RGB) colours of the table, in table order.
QVector<TColorName> FixedColorNames();

// Returns the colour's table name ("clGray"), or "$" and eight upper-case hexadecimal digits
// ("$00108ABE") for a colour without a name.
QString ColorToString(TColor color);

// Converts a colour text: a table name (any letter case), or a number, decimal or hexadecimal
// with "$" or "0x". Returns false, leaving *color untouched, for any other text.
bool StringToColor(const QString &text, TColor *color);

// Returns the screen colour of a colour value: RGB values as they are, system colours from the
// application palette, clNone as transparent, clDefault as the palette's text colour.
QColor ToQColor(TColor color);

// Returns the colour value of a screen colour (always an RGB value; alpha is dropped).
TColor FromQColor(const QColor &color);
