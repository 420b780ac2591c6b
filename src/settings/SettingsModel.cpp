#include "settings/SettingsModel.h"

#include <QFileInfo>

#include "common/DataPaths.h"
#include "common/TX_File.h"
#include "settings/Services.h"

TSettingsModel::TSettingsModel(QObject *parent) : QObject(parent) {
    setObjectName(QStringLiteral("SettingsModel"));
}

void TSettingsModel::CreateFileWhenMissing() {
    if (QFileInfo::exists(SettingsFilePath())) {
        return;
    }
    if (!QFileInfo(SystemFolder()).isDir()) {
        CreateNewFolder(SystemFolder());
    }
    values_ = StandardSettings(values_);
    emit Changed();
    Save();
}

bool TSettingsModel::Load() {
    TSettingsValues loaded = values_;
    QHash<QString, QString> services;
    if (!LoadSettingsFile(SettingsFilePath(), &loaded, &services)) {
        return false;
    }
    SetServiceSettings(services);
    const bool changed = !(loaded == values_);
    values_ = loaded;
    stored_ = loaded;
    hasStored_ = true;
    if (changed) {
        emit Changed();
    }
    emit Loaded();
    return true;
}

void TSettingsModel::Save() {
    SaveSettingsFile(SettingsFilePath(), values_, hasStored_ ? &stored_ : nullptr);
    stored_ = values_;
    hasStored_ = true;
}

void TSettingsModel::Apply(const TSettingsValues &values) {
    TSettingsValues applied = values;
    applied.GoogleKey = values_.GoogleKey;
    SaveSettingsFile(SettingsFilePath(), applied, hasStored_ ? &stored_ : nullptr);
    stored_ = applied;
    hasStored_ = true;
    values_ = applied;
    emit Changed();
}

void TSettingsModel::SetMapKey(const QString &key) {
    values_.GoogleKey = key;
}
