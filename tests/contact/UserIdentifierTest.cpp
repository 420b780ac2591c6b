#include <gtest/gtest.h>

#include <sys/statvfs.h>

#include <QRegularExpression>

#include "contact/UserIdentifier.h"

namespace {

quint32 Signature(quint32 model, quint32 family, quint32 type, quint32 extendedModel) {
    return (extendedModel << 16) | (type << 12) | (family << 8) | (model << 4);
}

quint32 Features(quint32 brand, quint32 chunks, quint32 count, quint32 apic) {
    return (apic << 24) | (count << 16) | (chunks << 8) | brand;
}

TEST(UserIdentifier, ComposesFromFixedValues) {
    struct Case {
        const char *name;
        quint32 serial;
        quint32 signature;
        quint32 features;
        const char *expected;
    };
    const Case cases[] = {
        {"example values", 0x1A2B3C4D, Signature(0xE, 6, 0, 9), Features(0, 8, 16, 0),
         "1A2B3C4D - E609 - 08160"},
        {"serial keeps leading zeros", 0x0000ABCD, Signature(0xA, 6, 0, 1), Features(0, 8, 2, 3),
         "0000ABCD - A601 - 0823"},
        {"widest fields", 0xFFFFFFFF, Signature(0xF, 15, 3, 15), Features(255, 255, 255, 255),
         "FFFFFFFF - F15315 - 255255255255"},
        {"stepping and reserved bits are cut off", 0x80000001,
         Signature(0x5, 6, 0, 0xA) | 0x0000000F | 0xFFF00000, Features(1, 2, 3, 4),
         "80000001 - 56010 - 1234"},
        {"all zero", 0, 0, 0, "00000000 - 0000 - 0000"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TUserIdentifier id;
        id.SetDriveSerial(c.serial);
        id.SetCpuWords(c.signature, c.features);
        id.ComposeSerialID();
        EXPECT_EQ(id.SerialID, QString::fromLatin1(c.expected));
    }
}

TEST(UserIdentifier, NamesEachField) {
    TUserIdentifier id;
    id.SetCpuWords(Signature(0xC, 6, 2, 9), Features(7, 8, 16, 42));
    EXPECT_EQ(id.CpuModelNumber, QStringLiteral("C"));
    EXPECT_EQ(id.CpuFamilyCode, QStringLiteral("6"));
    EXPECT_EQ(id.CpuProcessorType, QStringLiteral("2"));
    EXPECT_EQ(id.CPUExtendedModel, QStringLiteral("9"));
    EXPECT_EQ(id.CpuBrandID, QStringLiteral("7"));
    EXPECT_EQ(id.CpuChunks, QStringLiteral("8"));
    EXPECT_EQ(id.CpuCount, QStringLiteral("16"));
    EXPECT_EQ(id.CpuApicID, QStringLiteral("42"));
}

TEST(UserIdentifier, ThisMachine) {
    TUserIdentifier id;
    id.CreateSerialID();
    static const QRegularExpression form(
        QStringLiteral("^[0-9A-F]{8} - [0-9A-F][0-9]{3,6} - [0-9]{4,12}$"));
    EXPECT_TRUE(form.match(id.SerialID).hasMatch()) << id.SerialID.toStdString();

    struct statvfs info {};
    ASSERT_EQ(statvfs("/", &info), 0);
    EXPECT_EQ(id.DriveSerialNo,
              QStringLiteral("%1")
                  .arg(static_cast<quint32>(info.f_fsid & 0xFFFFFFFFu), 8, 16, QLatin1Char('0'))
                  .toUpper());
    EXPECT_TRUE(id.SerialID.startsWith(id.DriveSerialNo + QStringLiteral(" - ") +
                                       id.CpuModelNumber + id.CpuFamilyCode));
}

}  // namespace
