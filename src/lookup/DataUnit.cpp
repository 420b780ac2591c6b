#include "lookup/DataUnit.h"

TPingDataModule *PingDataModule = nullptr;

TPingDataModule::TPingDataModule(QObject *parent) : QObject(parent) {
    setObjectName(QStringLiteral("PingDataModule"));
}

void TPingDataModule::CreateWhoIsServerList() {}
