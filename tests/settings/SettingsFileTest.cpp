#include "settings/SettingsFile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <limits>

#include "common/Errors.h"
#include "support/TestSupport.h"

// Readable failure output (found by argument-dependent lookup, so outside the anonymous namespace).
static void PrintTo(const TSettingsValues &v, std::ostream *os) {
    *os << v.PingTimeOutValue << "/" << v.PingBufferSizeValue << "/" << v.PingTTLValue << "/"
        << v.PingRetriesNoValue << "/" << v.PingNBSautValue << "/" << v.PingIntervalValue << "/"
        << v.PingNoValue << " colours " << std::hex << v.GraphColor << "/" << v.ResultsColor << "/"
        << v.DebugColor << "/" << v.InfoColor << std::dec << " key '" << v.GoogleKey.toStdString()
        << "'";
}

namespace {

// What a load gives for a file that holds nothing of its own.
TSettingsValues ReadDefaults() {
    TSettingsValues v;
    v.PingTimeOutValue = 4000;
    v.PingBufferSizeValue = 32;
    v.PingTTLValue = 128;
    v.PingRetriesNoValue = 4;
    v.PingNBSautValue = 30;
    v.PingIntervalValue = 300;
    v.PingNoValue = 100;
    v.PingRateValue = 2000;
    v.GraphColor = 0xFFD680;
    v.ResultsColor = clGray;
    v.DebugColor = clGray;
    v.InfoColor = clGray;
    v.WatchDownAfterValue = 3;
    v.WatchNotificationsValue = 1;
    return v;
}

class SettingsFile : public ::testing::Test {
  protected:
    QString Path() const { return dir_.filePath(QStringLiteral("Tarvex.ini")); }
    TSettingsValues Load() {
        TSettingsValues values;
        EXPECT_TRUE(LoadSettingsFile(Path(), &values));
        return values;
    }
    QTemporaryDir dir_;
};

TEST_F(SettingsFile, LoadCases) {
    const struct {
        const char *name;
        QByteArray content;
        std::function<void(TSettingsValues &)> change;  // from ReadDefaults()
    } cases[] = {
        {"empty file", "", [](TSettingsValues &) {}},
        {"only the time-out", "[PING SYSTEM SETTINGS]\nTime Out=2500\n",
         [](TSettingsValues &v) { v.PingTimeOutValue = 2500; }},
        {"0x", "[PING SYSTEM SETTINGS]\nTime Out=0x1F4\n",
         [](TSettingsValues &v) { v.PingTimeOutValue = 500; }},
        {"$", "[PING SYSTEM SETTINGS]\nTime Out=$1F4\n",
         [](TSettingsValues &v) { v.PingTimeOutValue = 500; }},
        {"not a number", "[PING SYSTEM SETTINGS]\nTime Out=abc\n", [](TSettingsValues &) {}},
        {"empty value", "[PING SYSTEM SETTINGS]\nTime Out=\n", [](TSettingsValues &) {}},
        {"other letter case", "[ping system settings]\ntime out=2500\nping no=7\n",
         [](TSettingsValues &v) {
             v.PingTimeOutValue = 2500;
             v.PingNoValue = 7;
         }},
        {"blanks and blank lines",
         "\n[PING SYSTEM SETTINGS]\n Time Out = 3000 \n\nTTL = 64\n\n[PING FONT SETTINGS]\n"
         "Info Color = clRed\n",
         [](TSettingsValues &v) {
             v.PingTimeOutValue = 3000;
             v.PingTTLValue = 64;
             v.InfoColor = 0x0000FF;
         }},
        {"colours by name, $, decimal",
         "[PING GRAPH SETTINGS]\nProcess Graph Color=$00108ABE\n[PING FONT SETTINGS]\n"
         "Result Color=clBtnFace\nDebug Color=255\nInfo Color=clgray\n",
         [](TSettingsValues &v) {
             v.GraphColor = 0x108ABE;
             v.ResultsColor = 0xFF00000F;
             v.DebugColor = 0x0000FF;
         }},
        {"unknown colour text falls back to its default",
         "[PING GRAPH SETTINGS]\nProcess Graph Color=pink\n[PING FONT SETTINGS]\n"
         "Result Color=clRed\n",
         [](TSettingsValues &v) { v.ResultsColor = 0x0000FF; }},
        {"map key", "[GOOGLE MAPS ID]\nGoogle Maps Key= AIza-key \n",
         [](TSettingsValues &v) { v.GoogleKey = QStringLiteral("AIza-key"); }},
        {"rate", "[PING SYSTEM SETTINGS]\nRate=0\n",
         [](TSettingsValues &v) { v.PingRateValue = 0; }},
        {"watch", "[WATCH]\nDown After=5\nNotifications=0\n",
         [](TSettingsValues &v) {
             v.WatchDownAfterValue = 5;
             v.WatchNotificationsValue = 0;
         }},
    };
    for (const auto &c : cases) {
        WriteBytes(Path(), c.content);
        TSettingsValues expected = ReadDefaults();
        c.change(expected);
        EXPECT_EQ(Load(), expected) << c.name;
    }
}

TEST_F(SettingsFile, MissingFileChangesNothing) {
    TSettingsValues values = StandardSettings(TSettingsValues());
    values.GoogleKey = QStringLiteral("kept");
    const TSettingsValues before = values;
    QHash<QString, QString> services{{QStringLiteral("Mail To"), QStringLiteral("kept")}};
    EXPECT_FALSE(LoadSettingsFile(Path(), &values, &services));
    EXPECT_EQ(values, before);
    EXPECT_EQ(services.value(QStringLiteral("Mail To")), QStringLiteral("kept"));
}

TEST_F(SettingsFile, SaveRoundTripKeepsEveryOtherLine) {
    WriteBytes(Path(),
               "; my notes\n[SERVICES]\nWhois Server=127.0.0.1:4343\nMail To=me@example.test\n\n"
               "[ping system settings]\ntime out = 2500\n");
    TSettingsValues values = ReadDefaults();
    values.PingTimeOutValue = 700;
    values.PingNoValue = -3;
    values.GraphColor = 0x010203;
    values.ResultsColor = 0x0000FF;
    values.DebugColor = 0xFF00000F;
    values.InfoColor = clNone;
    values.GoogleKey = QStringLiteral("a=b;c [x]");
    values.WatchDownAfterValue = 7;
    SaveSettingsFile(Path(), values);

    EXPECT_EQ(ReadBytes(Path()),
              QByteArray("; my notes\n[SERVICES]\nWhois Server=127.0.0.1:4343\n"
                         "Mail To=me@example.test\n\n"
                         "[ping system settings]\ntime out = 700\nBuffer Size=32\nTTL=128\n"
                         "Retries No=4\nNBSaut=30\nInterval=300\nPing No=-3\n\n"
                         "[PING GRAPH SETTINGS]\nProcess Graph Color=$00010203\n\n"
                         "[PING FONT SETTINGS]\nResult Color=clRed\nDebug Color=clBtnFace\n"
                         "Info Color=clNone\n\n[GOOGLE MAPS ID]\nGoogle Maps Key=a=b;c [x]\n"
                         "\n[WATCH]\nDown After=7\n"));

    TSettingsValues back;
    QHash<QString, QString> services;
    ASSERT_TRUE(LoadSettingsFile(Path(), &back, &services));
    EXPECT_EQ(back, values);
    EXPECT_EQ(services.size(), 2);
    EXPECT_EQ(services.value(QStringLiteral("Whois Server")), QStringLiteral("127.0.0.1:4343"));
}

// "Rate" came later: a file is given the line only once the rate differs from the standard (or
// the file has it), so that the file of the first start keeps its exact lines.
TEST_F(SettingsFile, RateIsWrittenOnlyOnceItDiffers) {
    const QByteArray systemLines =
        "[PING SYSTEM SETTINGS]\nTime Out=4000\nBuffer Size=32\nTTL=128\n"
        "Retries No=4\nNBSaut=30\nInterval=300\nPing No=100\n";
    TSettingsValues values = ReadDefaults();
    SaveSettingsFile(Path(), values);
    EXPECT_TRUE(ReadBytes(Path()).startsWith(systemLines + "\n[PING GRAPH SETTINGS]"));
    values.PingRateValue = 500;
    SaveSettingsFile(Path(), values);
    EXPECT_TRUE(ReadBytes(Path()).startsWith(systemLines + "Rate=500\n\n[PING GRAPH SETTINGS]"))
        << ReadBytes(Path()).toStdString();
    // Back at the standard, the line the file has now is kept up to date.
    values.PingRateValue = 2000;
    SaveSettingsFile(Path(), values);
    EXPECT_TRUE(ReadBytes(Path()).contains("Rate=2000\n"));
    TSettingsValues back;
    ASSERT_TRUE(LoadSettingsFile(Path(), &back));
    EXPECT_EQ(back, values);
}

TEST_F(SettingsFile, FailedSaveNamesTheFileAndTheCauseAndKeepsIt) {
    const QString path = dir_.filePath(QStringLiteral("System/Tarvex.ini"));
    try {
        SaveSettingsFile(path, ReadDefaults());
        FAIL() << "no error";
    } catch (const TxError &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Unable to write to ") + path +
                                       QStringLiteral(": No such file or directory"));
    }

    // A file that cannot be read back would lose its other lines: nothing is written.
    const QByteArray before("[GOOGLE MAPS ID]\nGoogle Maps Key=old\n");
    WriteBytes(Path(), before);
    QFile::setPermissions(Path(), QFileDevice::WriteOwner);
    if (QFile(Path()).open(QIODevice::ReadOnly)) {
        GTEST_LOG_(INFO) << "running with rights to read any file: unreadable case skipped";
    } else {
        try {
            SaveSettingsFile(Path(), ReadDefaults());
            ADD_FAILURE() << "no error";
        } catch (const TxError &error) {
            EXPECT_TRUE(error.Message().startsWith(QStringLiteral("Unable to write to ") + Path() +
                                                   QStringLiteral(": ")));
        }
    }
    QFile::setPermissions(Path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(ReadBytes(Path()), before);
}

TEST_F(SettingsFile, LineBreaksInTheMapKeyNeverBlockASave) {
    // A CR inside a value of a file with LF line ends, as a hand edit can leave it.
    WriteBytes(Path(), "[GOOGLE MAPS ID]\nGoogle Maps Key=ab\rcd\n");
    TSettingsValues values = Load();
    EXPECT_EQ(values.GoogleKey, QStringLiteral("ab cd"));
    SaveSettingsFile(Path(), values);
    EXPECT_EQ(Load(), values);
    EXPECT_TRUE(ReadBytes(Path()).contains("\nGoogle Maps Key=ab cd\n"));

    // A key that would add lines of its own is written on its one line; nothing else changes.
    values.GoogleKey = QStringLiteral("new\n[PING SYSTEM SETTINGS]\r\nTime Out=1");
    SaveSettingsFile(Path(), values);
    const TSettingsValues back = Load();
    EXPECT_EQ(back.GoogleKey, QStringLiteral("new [PING SYSTEM SETTINGS] Time Out=1"));
    EXPECT_EQ(back.PingTimeOutValue, values.PingTimeOutValue);
}

TEST_F(SettingsFile, QuotedValuesReadAsTheTextInside) {
    WriteBytes(Path(),
               "[PING SYSTEM SETTINGS]\nTime Out=\"2500\"\nTTL = '64' \n"
               "[PING FONT SETTINGS]\nInfo Color=\"clRed\"\n"
               "[GOOGLE MAPS ID]\nGoogle Maps Key=\" k \"\n");
    TSettingsValues expected = ReadDefaults();
    expected.PingTimeOutValue = 2500;
    expected.PingTTLValue = 64;
    expected.InfoColor = 0x0000FF;
    expected.GoogleKey = QStringLiteral(" k ");
    EXPECT_EQ(Load(), expected);
}

TEST(StandardSet, KeepsPingNoAndTheMapKey) {
    TSettingsValues values;
    values.PingNoValue = 77;
    values.PingTimeOutValue = 5;
    values.InfoColor = 0x0000FF;
    values.GoogleKey = QStringLiteral("key");
    TSettingsValues expected = ReadDefaults();
    expected.PingNoValue = 77;
    expected.GraphColor = 0x108ABE;
    expected.GoogleKey = QStringLiteral("key");
    EXPECT_EQ(StandardSettings(values), expected);
}

TEST(SpinStep, ClampsWithoutOverflow) {
    constexpr qint32 kMax = std::numeric_limits<qint32>::max();
    constexpr qint32 kMin = std::numeric_limits<qint32>::min();
    EXPECT_EQ(SpinStepUp(kMax - 1, 10000, 100), 10000);
    EXPECT_EQ(SpinStepDown(kMin + 1, 100, 100), 100);
    EXPECT_EQ(SpinStepUp(kMax, kMax, 1), kMax);
    EXPECT_EQ(SpinStepDown(kMin, kMin, 1), kMin);
    EXPECT_EQ(SpinStepDown(50, 100, 100), 100);
    EXPECT_EQ(SpinStepUp(50, 10000, 100), 150);
}

TEST(PreviewCurve, ThirtyOnePointsEveryTwoUnitsWithinEightToThirtyOne) {
    QRandomGenerator generator(20261209);
    int lowest = 100;
    int highest = -1;
    for (int round = 0; round < 20; ++round) {
        const QVector<QPointF> points = PreviewCurvePoints(&generator);
        ASSERT_EQ(points.size(), 31);
        for (int i = 0; i < points.size(); ++i) {
            EXPECT_EQ(points[i].x(), 2 * i);
            const int y = int(points[i].y());
            EXPECT_EQ(points[i].y(), y);
            lowest = qMin(lowest, y);
            highest = qMax(highest, y);
        }
    }
    EXPECT_EQ(lowest, 8);
    EXPECT_EQ(highest, 31);
}

// The map choice and the geolocation service switch: read in any letter case, a hand-edited
// value read as the default, and written only once they differ from what a file without them
// reads as (or once the file has them), so that an older file keeps its exact lines.
TEST_F(SettingsFile, MapChoiceAndServiceSwitchRoundTrip) {
    const struct {
        const char *content;
        TMapChoice choice;
        bool ask;
    } reads[] = {
        {"", TMapChoice::GoogleMaps, true},
        {"[MAP SETTINGS]\nMap Provider=OpenStreetMap\nAsk Geolocation Service=0\n",
         TMapChoice::OpenStreetMap, false},
        {"[map settings]\nmap provider = openstreetmap \n", TMapChoice::OpenStreetMap, true},
        {"[MAP SETTINGS]\nMap Provider=Bing\nAsk Geolocation Service=abc\n", TMapChoice::GoogleMaps,
         true},
        {"[MAP SETTINGS]\nMap Provider=Google Maps\nAsk Geolocation Service=1\n",
         TMapChoice::GoogleMaps, true},
    };
    for (const auto &read : reads) {
        WriteBytes(Path(), read.content);
        const TSettingsValues values = Load();
        EXPECT_EQ(values.MapChoice, read.choice) << read.content;
        EXPECT_EQ(values.AskGeolocationService, read.ask) << read.content;
    }

    QFile::remove(Path());
    TSettingsValues values = ReadDefaults();
    SaveSettingsFile(Path(), values);
    EXPECT_FALSE(ReadBytes(Path()).contains("MAP SETTINGS"));

    values.MapChoice = TMapChoice::OpenStreetMap;
    values.AskGeolocationService = false;
    SaveSettingsFile(Path(), values);
    EXPECT_TRUE(ReadBytes(Path()).endsWith(
        "[MAP SETTINGS]\nMap Provider=OpenStreetMap\nAsk Geolocation Service=0\n"));
    EXPECT_EQ(Load(), values);

    // Back to the defaults: the lines stay, with the values the user chose.
    values.MapChoice = TMapChoice::GoogleMaps;
    values.AskGeolocationService = true;
    SaveSettingsFile(Path(), values);
    EXPECT_TRUE(ReadBytes(Path()).endsWith(
        "[MAP SETTINGS]\nMap Provider=Google Maps\nAsk Geolocation Service=1\n"));
    EXPECT_EQ(Load(), values);
    // The standard set leaves both as the user chose them.
    values.AskGeolocationService = false;
    EXPECT_FALSE(StandardSettings(values).AskGeolocationService);
}

}  // namespace
