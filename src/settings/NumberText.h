#pragma once

#include <QString>
#include <QtGlobal>

// Converts the text of an integer setting: optional blanks around it, an optional sign, then
// decimal digits, or hexadecimal digits after "$" or "0x" (any letter case). Decimal values must
// fit 32 signed bits; hexadecimal values may use all 32 bits ("$FFFFFFFF" is -1). Returns false,
// leaving *value untouched, for any other text, the empty text included.
bool ParseIntegerText(const QString &text, qint32 *value);

// Returns the value of an integer setting's text, or defaultValue when it does not convert.
qint32 ReadIntegerText(const QString &text, qint32 defaultValue);
