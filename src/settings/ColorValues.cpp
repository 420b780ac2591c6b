#include "settings/ColorValues.h"

#include <QGuiApplication>
#include <QPalette>

#include "settings/NumberText.h"

namespace {

constexpr TColor System(TColor index) {
    return clSystemColor | index;
}

struct PaletteEntry {
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// The system colour indices as the application palette expresses them, so that a colour such
// as clBtnFace follows the program's own (dark) look rather than a fixed value.
// clang-format off
constexpr PaletteEntry kSystemPalette[] = {
    {QPalette::Active, QPalette::Button},            // 0 clScrollBar
    {QPalette::Active, QPalette::Dark},              // 1 clBackground
    {QPalette::Active, QPalette::Highlight},         // 2 clActiveCaption
    {QPalette::Inactive, QPalette::Mid},             // 3 clInactiveCaption
    {QPalette::Active, QPalette::Window},            // 4 clMenu
    {QPalette::Active, QPalette::Base},              // 5 clWindow
    {QPalette::Active, QPalette::Shadow},            // 6 clWindowFrame
    {QPalette::Active, QPalette::WindowText},        // 7 clMenuText
    {QPalette::Active, QPalette::Text},              // 8 clWindowText
    {QPalette::Active, QPalette::HighlightedText},   // 9 clCaptionText
    {QPalette::Active, QPalette::Window},            // 10 clActiveBorder
    {QPalette::Inactive, QPalette::Window},          // 11 clInactiveBorder
    {QPalette::Active, QPalette::Dark},              // 12 clAppWorkSpace
    {QPalette::Active, QPalette::Highlight},         // 13 clHighlight
    {QPalette::Active, QPalette::HighlightedText},   // 14 clHighlightText
    {QPalette::Active, QPalette::Button},            // 15 clBtnFace
    {QPalette::Active, QPalette::Dark},              // 16 clBtnShadow
    {QPalette::Disabled, QPalette::Text},            // 17 clGrayText
    {QPalette::Active, QPalette::ButtonText},        // 18 clBtnText
    {QPalette::Inactive, QPalette::WindowText},      // 19 clInactiveCaptionText
    {QPalette::Active, QPalette::Light},             // 20 clBtnHighlight
    {QPalette::Active, QPalette::Shadow},            // 21 cl3DDkShadow
    {QPalette::Active, QPalette::Midlight},          // 22 cl3DLight
    {QPalette::Active, QPalette::ToolTipText},       // 23 clInfoText
    {QPalette::Active, QPalette::ToolTipBase},       // 24 clInfoBk
    {QPalette::Active, QPalette::WindowText},        // 25 (no name)
    {QPalette::Active, QPalette::Link},              // 26 clHotLight
    {QPalette::Active, QPalette::Highlight},         // 27 clGradientActiveCaption
    {QPalette::Inactive, QPalette::Mid},             // 28 clGradientInactiveCaption
    {QPalette::Active, QPalette::Highlight},         // 29 clMenuHighlight
    {QPalette::Active, QPalette::Window},            // 30 clMenuBar
};
// clang-format on

PaletteEntry PaletteEntryOf(TColor index) {
    constexpr TColor count = sizeof(kSystemPalette) / sizeof(kSystemPalette[0]);
    return index < count ? kSystemPalette[index]
                         : PaletteEntry{QPalette::Active, QPalette::WindowText};
}

QPalette ApplicationPalette() {
    return qGuiApp != nullptr ? QGuiApplication::palette() : QPalette();
}

}  // namespace

const QVector<TColorName> &ColorNameTable() {
    static const QVector<TColorName> table = {
        {0x000000, "clBlack"},
        {0x000080, "clMaroon"},
        {0x008000, "clGreen"},
        {0x008080, "clOlive"},
        {0x800000, "clNavy"},
        {0x800080, "clPurple"},
        {0x808000, "clTeal"},
        {0x808080, "clGray"},
        {0xC0C0C0, "clSilver"},
        {0x0000FF, "clRed"},
        {0x00FF00, "clLime"},
        {0x00FFFF, "clYellow"},
        {0xFF0000, "clBlue"},
        {0xFF00FF, "clFuchsia"},
        {0xFFFF00, "clAqua"},
        {0xFFFFFF, "clWhite"},
        {0xC0DCC0, "clMoneyGreen"},
        {0xF0CAA6, "clSkyBlue"},
        {0xF0FBFF, "clCream"},
        {0xA4A0A0, "clMedGray"},
        {clNone, "clNone"},
        {clDefault, "clDefault"},
        {System(0), "clScrollBar"},
        {System(1), "clBackground"},
        {System(2), "clActiveCaption"},
        {System(3), "clInactiveCaption"},
        {System(4), "clMenu"},
        {System(5), "clWindow"},
        {System(6), "clWindowFrame"},
        {System(7), "clMenuText"},
        {System(8), "clWindowText"},
        {System(9), "clCaptionText"},
        {System(10), "clActiveBorder"},
        {System(11), "clInactiveBorder"},
        {System(12), "clAppWorkSpace"},
        {System(13), "clHighlight"},
        {System(14), "clHighlightText"},
        {System(15), "clBtnFace"},
        {System(16), "clBtnShadow"},
        {System(17), "clGrayText"},
        {System(18), "clBtnText"},
        {System(19), "clInactiveCaptionText"},
        {System(20), "clBtnHighlight"},
        {System(21), "cl3DDkShadow"},
        {System(22), "cl3DLight"},
        {System(23), "clInfoText"},
        {System(24), "clInfoBk"},
        {System(26), "clHotLight"},
        {System(27), "clGradientActiveCaption"},
        {System(28), "clGradientInactiveCaption"},
        {System(29), "clMenuHighlight"},
        {System(30), "clMenuBar"},
    };
    return table;
}

QVector<TColorName> FixedColorNames() {
    return ColorNameTable().mid(0, 20);
}

QString ColorToString(TColor color) {
    for (const TColorName &entry : ColorNameTable()) {
        if (entry.value == color) {
            return QString::fromLatin1(entry.name);
        }
    }
    return QStringLiteral("$%1").arg(color, 8, 16, QLatin1Char('0')).toUpper();
}

bool StringToColor(const QString &text, TColor *color) {
    const QString name = text.trimmed();
    for (const TColorName &entry : ColorNameTable()) {
        if (name.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0) {
            *color = entry.value;
            return true;
        }
    }
    qint32 value = 0;
    if (!ParseIntegerText(name, &value)) {
        return false;
    }
    *color = TColor(value);
    return true;
}

QColor ToQColor(TColor color) {
    if (color == clNone) {
        return QColor(Qt::transparent);
    }
    if (color == clDefault) {
        return ApplicationPalette().color(QPalette::Active, QPalette::Text);
    }
    if ((color & clSystemColor) == clSystemColor) {
        const PaletteEntry entry = PaletteEntryOf(color & 0xFF);
        return ApplicationPalette().color(entry.group, entry.role);
    }
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

TColor FromQColor(const QColor &color) {
    const QColor rgb = color.toRgb();
    return TColor(rgb.red()) | (TColor(rgb.green()) << 8) | (TColor(rgb.blue()) << 16);
}
