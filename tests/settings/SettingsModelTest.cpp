// The settings the program runs with: what reaches the file and when the windows hear of it.
#include "settings/SettingsModel.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

#include "common/DataPaths.h"
#include "common/Errors.h"
#include "settings/Services.h"
#include "support/FullDisk.h"
#include "support/TestSupport.h"

namespace {

class SettingsModel : public ::testing::Test {
  protected:
    void TearDown() override { SetServiceSettings({}); }

    ScopedHome home_;
    TSettingsModel model_;
    QSignalSpy changed_{&model_, &TSettingsModel::Changed};
    QSignalSpy loaded_{&model_, &TSettingsModel::Loaded};
};

TEST_F(SettingsModel, TheFirstStartWritesTheStandardSetOnce) {
    model_.CreateFileWhenMissing();
    const QByteArray written = ReadBytes(SettingsFilePath());
    EXPECT_TRUE(written.startsWith("[PING SYSTEM SETTINGS]\nTime Out=4000\n")) << written.data();
    EXPECT_EQ(model_.Values(), StandardSettings(TSettingsValues()));
    EXPECT_EQ(changed_.count(), 1);

    // With the file there, nothing is written or changed; the user's own file stays.
    WriteBytes(SettingsFilePath(), "[PING SYSTEM SETTINGS]\nTime Out=2500\n");
    model_.CreateFileWhenMissing();
    EXPECT_EQ(ReadBytes(SettingsFilePath()), "[PING SYSTEM SETTINGS]\nTime Out=2500\n");
    EXPECT_EQ(changed_.count(), 1);
    EXPECT_EQ(loaded_.count(), 0);
}

TEST_F(SettingsModel, ALoadTellsChangedOnlyWhenItBringsOtherValues) {
    EXPECT_FALSE(model_.Load());  // no file: nothing changes, nobody is told
    EXPECT_EQ(model_.Values(), TSettingsValues());
    EXPECT_EQ(changed_.count() + loaded_.count(), 0);

    ASSERT_TRUE(QDir().mkpath(SystemFolder()));
    WriteBytes(SettingsFilePath(),
               "[PING SYSTEM SETTINGS]\nRetries No=7\n[GOOGLE MAPS ID]\nGoogle Maps Key=k\n"
               "[SERVICES]\nWhois Server=127.0.0.1:4343\n");
    ASSERT_TRUE(model_.Load());
    EXPECT_EQ(model_.Values().PingRetriesNoValue, 7);
    EXPECT_EQ(model_.Engine().Retries, 7);
    EXPECT_EQ(model_.MapKey(), QStringLiteral("k"));
    EXPECT_EQ(ServiceSetting(QStringLiteral("Whois Server"), QString()),
              QStringLiteral("127.0.0.1:4343"));
    EXPECT_EQ(changed_.count(), 1);
    EXPECT_EQ(loaded_.count(), 1);

    // The same file again: read, but nothing new.
    ASSERT_TRUE(model_.Load());
    EXPECT_EQ(changed_.count(), 1);
    EXPECT_EQ(loaded_.count(), 2);

    // Removed while the program runs: the values stay.
    ASSERT_TRUE(QFile::remove(SettingsFilePath()));
    EXPECT_FALSE(model_.Load());
    EXPECT_EQ(model_.Values().PingRetriesNoValue, 7);
    EXPECT_EQ(loaded_.count(), 2);
}

TEST_F(SettingsModel, ApplyWritesAndHoldsTheConfirmedValuesWithTheHeldKey) {
    model_.CreateFileWhenMissing();
    model_.SetMapKey(QStringLiteral("held"));
    TSettingsValues confirmed = model_.Values();
    confirmed.PingTTLValue = 64;
    confirmed.GoogleKey = QStringLiteral("an old copy's key");
    model_.Apply(confirmed);
    EXPECT_EQ(model_.Values().PingTTLValue, 64);
    EXPECT_EQ(model_.MapKey(), QStringLiteral("held"));
    const QByteArray written = ReadBytes(SettingsFilePath());
    EXPECT_TRUE(written.contains("\nTTL=64\n")) << written.data();
    EXPECT_TRUE(written.contains("\nGoogle Maps Key=held\n")) << written.data();
    EXPECT_EQ(changed_.count(), 2);

    // Confirmed again unchanged: the windows apply it again.
    model_.Apply(model_.Values());
    EXPECT_EQ(changed_.count(), 3);

    // A file where the folder should be: nothing is written, held or told.
    ASSERT_TRUE(QDir(SystemFolder()).removeRecursively());
    WriteBytes(QDir::cleanPath(SystemFolder()), "in the way");
    confirmed.PingTTLValue = 128;
    try {
        model_.Apply(confirmed);
        ADD_FAILURE() << "the write did not fail";
    } catch (const TxError &error) {
        EXPECT_TRUE(
            error.Message().startsWith(QStringLiteral("Unable to write to ") + SettingsFilePath()))
            << error.Message().toStdString();
    }
    EXPECT_EQ(model_.Values().PingTTLValue, 64);
    EXPECT_EQ(changed_.count(), 3);
}

TEST_F(SettingsModel, AKeyFromTheMapWindowIsSavedWithTheHeldValuesAndNoNotice) {
    model_.CreateFileWhenMissing();
    const int told = changed_.count();
    model_.SetMapKey(QStringLiteral("MY-KEY"));
    model_.Save();
    EXPECT_EQ(changed_.count(), told);
    TSettingsValues stored;
    ASSERT_TRUE(LoadSettingsFile(SettingsFilePath(), &stored));
    EXPECT_EQ(stored.GoogleKey, QStringLiteral("MY-KEY"));
    EXPECT_EQ(stored, model_.Values());
}

// Two programs on one settings file: each writes the entries it changed into the file as it is
// then, so neither loses the other's change.
TEST_F(SettingsModel, TwoProgramsOnOneFileKeepEachOthersChanges) {
    model_.CreateFileWhenMissing();
    TSettingsModel other;
    ASSERT_TRUE(other.Load());
    ASSERT_TRUE(model_.Load());

    TSettingsValues first = model_.Values();
    first.PingRetriesNoValue = 5;
    model_.Apply(first);
    TSettingsValues second = other.Values();
    second.PingTimeOutValue = 4100;
    second.InfoColor = clWhite;
    other.Apply(second);
    other.SetMapKey(QStringLiteral("KEY-OF-B"));
    other.Save();
    first.WatchDownAfterValue = 6;
    model_.Apply(first);

    TSettingsValues stored;
    ASSERT_TRUE(LoadSettingsFile(SettingsFilePath(), &stored));
    EXPECT_EQ(stored.PingRetriesNoValue, 5);
    EXPECT_EQ(stored.PingTimeOutValue, 4100);
    EXPECT_EQ(stored.InfoColor, clWhite);
    EXPECT_EQ(stored.GoogleKey, QStringLiteral("KEY-OF-B"));
    EXPECT_EQ(stored.WatchDownAfterValue, 6);

    // An entry removed by hand is written again with the next confirmation.
    QByteArray text = ReadBytes(SettingsFilePath());
    text.replace("TTL=128\n", "");
    WriteBytes(SettingsFilePath(), text);
    model_.Apply(model_.Values());
    EXPECT_TRUE(ReadBytes(SettingsFilePath()).contains("\nTTL=128\n"));
}

// The settings folder on a full disk: the confirmation fails with the reason, the file keeps every
// entry, and the program keeps the values it had.
TEST_F(SettingsModel, AFullDiskKeepsTheFileAndSaysWhy) {
    TFullDisk disk;
    if (!disk.Problem().isEmpty()) {
        GTEST_SKIP() << disk.Problem().toStdString();
    }
    const QString system = QDir::cleanPath(SystemFolder());
    ASSERT_TRUE(QDir().mkpath(QFileInfo(system).path()));
    ASSERT_TRUE(QFile::link(disk.Path(), system));
    const QByteArray good =
        "[PING SYSTEM SETTINGS]\nTime Out=4000\nRetries No=4\n[GOOGLE MAPS ID]\n"
        "Google Maps Key=secret\n[SERVICES]\nMail Password=p\n";
    WriteBytes(SettingsFilePath(), good);
    ASSERT_TRUE(model_.Load());
    disk.Fill();

    TSettingsValues confirmed = model_.Values();
    confirmed.PingRetriesNoValue = 9;
    try {
        model_.Apply(confirmed);
        ADD_FAILURE() << "the write did not fail";
    } catch (const TxError &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Unable to write to ") + SettingsFilePath() +
                                       QStringLiteral(": No space left on device"));
    }
    EXPECT_EQ(ReadBytes(SettingsFilePath()), good);
    EXPECT_EQ(model_.Values().PingRetriesNoValue, 4);
}

}  // namespace
