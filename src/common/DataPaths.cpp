#include "common/DataPaths.h"

#include "common/TX_File.h"

QString DataRoot() {
    return GetSpecialPath(CSIDL_COMMON_DOCUMENTS);
}
QString SystemFolder() {
    return DataRoot() + QStringLiteral("/Haldrin/Tarvex/System/");
}
QString SettingsFilePath() {
    return SystemFolder() + QStringLiteral("Tarvex.ini");
}
QString ImagesFolder() {
    return DataRoot() + QStringLiteral("/Haldrin/Tarvex/Images/");
}
QString MarkerImagePath() {
    return ImagesFolder() + QStringLiteral("Marker.png");
}
QString FlagImagePath() {
    return ImagesFolder() + QStringLiteral("Flag.png");
}
QString DownloadFolder() {
    return DataRoot() + QStringLiteral("/Haldrin/Tarvex/Download/");
}
QString DownloadedInstallerPath() {
    return DownloadFolder() + QStringLiteral("Update.exe");
}
QString DataFolder() {
    return DataRoot() + QStringLiteral("/Haldrin/Tarvex/");
}
QString ListsFolder() {
    return DataFolder() + QStringLiteral("Lists/");
}
QString ResultsFolder() {
    return DataFolder() + QStringLiteral("Results/");
}
QString ReportsFolder() {
    return DataFolder() + QStringLiteral("Reports/");
}
