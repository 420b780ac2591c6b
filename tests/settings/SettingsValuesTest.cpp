#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPalette>
#include <QSet>

#include "settings/ColorValues.h"
#include "settings/NumberText.h"

namespace {

TEST(IntegerText, DecimalDollarAndHexRules) {
    constexpr qint32 kDefault = 4000;
    const struct {
        const char *text;
        qint32 expected;
    } cases[] = {
        {"4000", 4000},
        {" 2500 ", 2500},
        {"00012", 12},
        {"-12", -12},
        {"+7", 7},
        {"$1F4", 500},
        {"$1f4", 500},
        {"0x1F4", 500},
        {"0X1f4", 500},
        {"-$10", -16},
        {"2147483647", 2147483647},
        {"-2147483648", qint32(-2147483647 - 1)},
        {"$FFFFFFFF", -1},
        {"$7FFFFFFF", 2147483647},
        // error rows: the default comes back
        {"", kDefault},
        {"   ", kDefault},
        {"abc", kDefault},
        {"12abc", kDefault},
        {"1.5", kDefault},
        {"1 2", kDefault},
        {"$", kDefault},
        {"0x", kDefault},
        {"0x1G", kDefault},
        {"$100000000", kDefault},
        {"2147483648", kDefault},
        {"-2147483649", kDefault},
        {"--1", kDefault},
        {"x1F4", kDefault},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(ReadIntegerText(QString::fromLatin1(c.text), kDefault), c.expected) << c.text;
    }
}

TEST(ColorTable, FiftyTwoUniqueNamesAndValues) {
    const QVector<TColorName> &table = ColorNameTable();
    ASSERT_EQ(table.size(), 52);
    QSet<QString> names;
    QSet<TColor> values;
    for (const TColorName &entry : table) {
        names.insert(QString::fromLatin1(entry.name).toLower());
        values.insert(entry.value);
    }
    EXPECT_EQ(names.size(), 52);
    EXPECT_EQ(values.size(), 52);
    EXPECT_EQ(FixedColorNames().size(), 20);
    EXPECT_STREQ(FixedColorNames().last().name, "clMedGray");
}

TEST(ColorText, WrittenByNameOrAsEightHexDigits) {
    const struct {
        TColor color;
        const char *text;
    } cases[] = {
        {0x808080, "clGray"},      {0x000000, "clBlack"},      {0x0000FF, "clRed"},
        {0xFF0000, "clBlue"},      {0xC0DCC0, "clMoneyGreen"}, {0xA4A0A0, "clMedGray"},
        {0x1FFFFFFF, "clNone"},    {0x20000000, "clDefault"},  {0xFF000000, "clScrollBar"},
        {0xFF00000F, "clBtnFace"}, {0xFF000018, "clInfoBk"},   {0xFF00001A, "clHotLight"},
        {0xFF00001E, "clMenuBar"}, {0x108ABE, "$00108ABE"},    {0xFFD680, "$00FFD680"},
        {0x000001, "$00000001"},   {0xFF000019, "$FF000019"},  // system index 25 has no name
    };
    for (const auto &c : cases) {
        EXPECT_EQ(ColorToString(c.color), QString::fromLatin1(c.text)) << c.text;
        TColor back = 0xDEADBEEF;
        EXPECT_TRUE(StringToColor(QString::fromLatin1(c.text), &back)) << c.text;
        EXPECT_EQ(back, c.color) << c.text;
    }
    for (const TColorName &entry : ColorNameTable()) {
        TColor back = 0;
        ASSERT_TRUE(StringToColor(ColorToString(entry.value), &back)) << entry.name;
        EXPECT_EQ(back, entry.value) << entry.name;
    }
}

TEST(ColorText, ReadingOtherForms) {
    const struct {
        const char *text;
        bool ok;
        TColor expected;
    } cases[] = {
        {"CLGRAY", true, 0x808080},
        {" clRed ", true, 0x0000FF},
        {"1084094", true, 0x108ABE},
        {"0x108ABE", true, 0x108ABE},
        {"-16777201", true, 0xFF00000F},
        {"clNoSuchColour", false, 0},
        {"Gray", false, 0},
        {"", false, 0},
        {"$GG", false, 0},
    };
    for (const auto &c : cases) {
        TColor color = 0x12345678;
        EXPECT_EQ(StringToColor(QString::fromLatin1(c.text), &color), c.ok) << c.text;
        EXPECT_EQ(color, c.ok ? c.expected : 0x12345678u) << c.text;
    }
}

TEST(ColorScreen, RgbByteOrderAndSystemColoursFromThePalette) {
    EXPECT_EQ(ToQColor(0x0000FF), QColor(255, 0, 0));
    EXPECT_EQ(ToQColor(0xFF0000), QColor(0, 0, 255));
    EXPECT_EQ(ToQColor(0x108ABE), QColor(0xBE, 0x8A, 0x10));
    EXPECT_EQ(FromQColor(QColor(0xBE, 0x8A, 0x10)), 0x108ABEu);
    EXPECT_EQ(FromQColor(QColor(0xBE, 0x8A, 0x10, 40)), 0x108ABEu);

    QPalette palette = QGuiApplication::palette();
    palette.setColor(QPalette::Active, QPalette::Button, QColor(1, 2, 3));
    palette.setColor(QPalette::Active, QPalette::Highlight, QColor(4, 5, 6));
    palette.setColor(QPalette::Active, QPalette::Text, QColor(7, 8, 9));
    const QPalette previous = QGuiApplication::palette();
    QGuiApplication::setPalette(palette);
    EXPECT_EQ(ToQColor(0xFF00000F), QColor(1, 2, 3));  // clBtnFace
    EXPECT_EQ(ToQColor(0xFF00000D), QColor(4, 5, 6));  // clHighlight
    EXPECT_EQ(ToQColor(0xFF000008), QColor(7, 8, 9));  // clWindowText
    EXPECT_EQ(ToQColor(clDefault), QColor(7, 8, 9));
    EXPECT_EQ(ToQColor(clNone).alpha(), 0);
    QGuiApplication::setPalette(previous);
}

}  // namespace
