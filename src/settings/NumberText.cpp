#include "settings/NumberText.h"

bool ParseIntegerText(const QString &text, qint32 *value) {
    const QString trimmed = text.trimmed();
    int pos = 0;
    bool negative = false;
    if (pos < trimmed.size() &&
        (trimmed[pos] == QLatin1Char('-') || trimmed[pos] == QLatin1Char('+'))) {
        negative = trimmed[pos] == QLatin1Char('-');
        ++pos;
    }
    bool hex = false;
    if (pos < trimmed.size() && trimmed[pos] == QLatin1Char('$')) {
        hex = true;
        ++pos;
    } else if (trimmed.size() - pos > 2 && trimmed[pos] == QLatin1Char('0') &&
               (trimmed[pos + 1] == QLatin1Char('x') || trimmed[pos + 1] == QLatin1Char('X'))) {
        // "0x" counts as a hexadecimal prefix only with digits after it.
        hex = true;
        pos += 2;
    }
    if (pos >= trimmed.size()) {
        return false;
    }
    quint64 magnitude = 0;
    const quint64 limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    for (; pos < trimmed.size(); ++pos) {
        const char16_t ch = trimmed[pos].unicode();
        int digit;
        if (ch >= u'0' && ch <= u'9') {
            digit = ch - u'0';
        } else if (hex && ch >= u'a' && ch <= u'f') {
            digit = ch - u'a' + 10;
        } else if (hex && ch >= u'A' && ch <= u'F') {
            digit = ch - u'A' + 10;
        } else {
            return false;
        }
        magnitude = magnitude * (hex ? 16 : 10) + quint64(digit);
        if (magnitude > limit) {
            return false;
        }
    }
    // Hexadecimal texts name the 32 bits themselves (colour values such as $FF00000F), so
    // they wrap into the signed range instead of being rejected.
    quint32 bits = quint32(magnitude);
    if (negative) {
        bits = quint32(0u - bits);
    }
    *value = qint32(bits);
    return true;
}

qint32 ReadIntegerText(const QString &text, qint32 defaultValue) {
    qint32 value = defaultValue;
    return ParseIntegerText(text, &value) ? value : defaultValue;
}
