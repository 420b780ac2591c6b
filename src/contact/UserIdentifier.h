#pragma once

#include <QChar>
#include <QString>
#include <QtGlobal>

// The user identifier that the contact mail carries: the system volume's serial number and the
// processor's identification data (CPUID leaf 1), e.g. "1A2B3C4D - E609 - 08160".
struct TUserIdentifier {
    QString DriveSerialNo;     // eight upper-case hexadecimal digits
    QString CpuModelNumber;    // EAX bits 4-7, one upper-case hexadecimal digit
    QString CpuFamilyCode;     // EAX bits 8-11, decimal
    QString CpuProcessorType;  // EAX bits 12-15, decimal
    QString CPUExtendedModel;  // EAX bits 16-19, decimal
    QString CpuBrandID;        // EBX bits 0-7, decimal
    QString CpuChunks;         // EBX bits 8-15, decimal
    QString CpuCount;          // EBX bits 16-23, decimal
    QString CpuApicID;         // EBX bits 24-31, decimal
    QString SerialID;          // the identifier

    // Builds SerialID and every field it is made of afresh from this machine.
    void CreateSerialID();

    // Fills DriveSerialNo. There are no drive letters here: "C" and every other letter stand for
    // the root file system, whose id (low 32 bits) is the volume serial number. When it cannot
    // be read, the serial is "00000000".
    void GetHardDiskSerial(QChar DriveLetter);

    // Fills the processor fields from CPUID leaf 1; on a processor without that instruction
    // every field is "0".
    void GetCpuVendorNo();

    // The parts of the work above that do not ask the machine, for fixed values.
    void SetDriveSerial(quint32 serial);
    void SetCpuWords(quint32 signature, quint32 features);
    // SerialID := DriveSerialNo " - " model family type extended-model " - " brand chunks count
    // APIC id, the numbers of each group run together.
    void ComposeSerialID();
};
