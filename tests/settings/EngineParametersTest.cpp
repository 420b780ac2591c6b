#include <gtest/gtest.h>

#include <QDir>

#include "common/DataPaths.h"
#include "settings/EngineParameters.h"
#include "settings/SettingsModel.h"
#include "support/TestSupport.h"

namespace {

// Prints a row's parameters when a case fails.
std::string Show(const TEngineParameters &p) {
    return "time-out " + std::to_string(p.TimeOut) + ", buffer " + std::to_string(p.BufferSize) +
           ", retries " + std::to_string(p.Retries) + ", interval " + std::to_string(p.Interval) +
           ", TTL " + std::to_string(p.TTL);
}

// The five texts of the settings file that the engine takes, in the order time-out, buffer
// size, retries, interval, TTL.
struct EngineTexts {
    const char *TimeOut;
    const char *BufferSize;
    const char *Retries;
    const char *Interval;
    const char *TTL;
};

TEST(EngineParameters, FromTheSettingsFileTexts) {
    const struct {
        const char *name;
        EngineTexts texts;
        TEngineParameters expected;
    } cases[] = {
        {"standard values", {"4000", "32", "4", "300", "128"}, {4000, 32, 4, 300, 128}},
        {"the spin limits", {"10000", "256", "10", "60000", "64"}, {10000, 256, 10, 60000, 64}},
        {"blanks around the digits",
         {" 2500 ", "\t64 ", " 3", " 1000 ", "64 "},
         {2500, 64, 3, 1000, 64}},
        {"signs and hexadecimal",
         {"+1500", "$20", "0x5", "+$12C", "0X80"},
         {1500, 32, 5, 300, 128}},
        // error rows: each field falls back on its own, independent of the others, to the
        // file's read default
        {"all empty", {"", "", "", "", ""}, {4000, 32, 4, 300, 128}},
        {"only blanks", {"  ", " ", "\t", "   ", " "}, {4000, 32, 4, 300, 128}},
        {"words", {"abc", "big", "many", "soon", "hops"}, {4000, 32, 4, 300, 128}},
        {"numbers with rest", {"12abc", "1.5", "1 2", "300ms", "$"}, {4000, 32, 4, 300, 128}},
        {"past 32 bits",
         {"2147483648", "-2147483649", "$100000000", "99999999999", "0x"},
         {4000, 32, 4, 300, 128}},
        {"one bad field among good ones", {"2000", "x", "6", "500", "64"}, {2000, 32, 6, 500, 64}},
        // the 16-bit fields keep the low 16 bits; the interval is held in its range
        {"past 16 bits", {"70000", "65536", "65537", "70000", "131200"}, {4464, 0, 1, 60000, 128}},
        {"negative values",
         {"-1", "-32", "-65535", "-5", "$FFFFFFFF"},
         {65535, 65504, 1, 100, 65535}},
        {"interval below its range", {"4000", "32", "4", "99", "128"}, {4000, 32, 4, 100, 128}},
        {"interval above its range",
         {"4000", "32", "4", "60001", "128"},
         {4000, 32, 4, 60000, 128}},
        {"zero everywhere", {"0", "0", "0", "0", "0"}, {0, 0, 0, 100, 0}},
    };
    ScopedHome home;
    ASSERT_TRUE(QDir().mkpath(SystemFolder()));
    TSettingsModel model;
    for (const auto &c : cases) {
        const EngineTexts &t = c.texts;
        WriteBytes(SettingsFilePath(), QByteArray("[PING SYSTEM SETTINGS]\nTime Out=") + t.TimeOut +
                                           "\nBuffer Size=" + t.BufferSize +
                                           "\nRetries No=" + t.Retries +
                                           "\nInterval=" + t.Interval + "\nTTL=" + t.TTL + "\n");
        ASSERT_TRUE(model.Load()) << c.name;
        const TEngineParameters got = model.Engine();
        EXPECT_EQ(got, c.expected)
            << c.name << ": got " << Show(got) << ", expected " << Show(c.expected);
    }
}

// "Rate" comes later than the others and is missing from older files: it reads as the standard
// then; a hand-edited value below 0 is not taken for "no limit".
TEST(EngineParameters, RateFromTheSettingsFile) {
    const struct {
        const char *name;
        const char *line;  // the file's "Rate" line, or none
        qint32 expected;
    } cases[] = {
        {"a file without it", "", 2000},
        {"no limit", "Rate=0\n", 0},
        {"a rate of its own", "Rate=750\n", 750},
        {"above the range", "Rate=250000\n", 100000},
        // error rows
        {"below 0", "Rate=-5\n", 2000},
        {"a word", "Rate=fast\n", 2000},
        {"empty", "Rate=\n", 2000},
    };
    ScopedHome home;
    ASSERT_TRUE(QDir().mkpath(SystemFolder()));
    TSettingsModel model;
    for (const auto &c : cases) {
        WriteBytes(SettingsFilePath(),
                   QByteArray("[PING SYSTEM SETTINGS]\nTime Out=4000\n") + c.line);
        ASSERT_TRUE(model.Load()) << c.name;
        EXPECT_EQ(model.Engine().Rate, c.expected) << c.name;
    }
}

}  // namespace
