#include "contact/UserIdentifier.h"

#include <sys/statvfs.h>

#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

QString Bits(quint32 word, int shift, int width, int base = 10) {
    const quint32 value = (word >> shift) & ((1u << width) - 1u);
    return QString::number(value, base).toUpper();
}

}  // namespace

void TUserIdentifier::SetDriveSerial(quint32 serial) {
    DriveSerialNo = QStringLiteral("%1").arg(serial, 8, 16, QLatin1Char('0')).toUpper();
}

void TUserIdentifier::SetCpuWords(quint32 signature, quint32 features) {
    CpuModelNumber = Bits(signature, 4, 4, 16);
    CpuFamilyCode = Bits(signature, 8, 4);
    CpuProcessorType = Bits(signature, 12, 4);
    CPUExtendedModel = Bits(signature, 16, 4);
    CpuBrandID = Bits(features, 0, 8);
    CpuChunks = Bits(features, 8, 8);
    CpuCount = Bits(features, 16, 8);
    CpuApicID = Bits(features, 24, 8);
}

void TUserIdentifier::ComposeSerialID() {
    SerialID = DriveSerialNo + QStringLiteral(" - ") + CpuModelNumber + CpuFamilyCode +
               CpuProcessorType + CPUExtendedModel + QStringLiteral(" - ") + CpuBrandID +
               CpuChunks + CpuCount + CpuApicID;
}

void TUserIdentifier::GetHardDiskSerial(QChar DriveLetter) {
    Q_UNUSED(DriveLetter);
    struct statvfs info;
    std::memset(&info, 0, sizeof info);
    quint32 serial = 0;
    if (statvfs("/", &info) == 0) {
        serial = static_cast<quint32>(info.f_fsid & 0xFFFFFFFFu);
    }
    SetDriveSerial(serial);
}

void TUserIdentifier::GetCpuVendorNo() {
    unsigned int eax = 0;
    unsigned int ebx = 0;
#if defined(__i386__) || defined(__x86_64__)
    unsigned int ecx = 0;
    unsigned int edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
        eax = 0;
        ebx = 0;
    }
#endif
    SetCpuWords(eax, ebx);
}

void TUserIdentifier::CreateSerialID() {
    GetHardDiskSerial(QLatin1Char('C'));
    GetCpuVendorNo();
    ComposeSerialID();
}
