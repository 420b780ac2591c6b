#pragma once

#include <QString>

// The data folder tree below the documents folder. Every path is the data root followed by a
// literal, joined without inserting or removing separators; folders end with "/".
QString DataRoot();                 // documents folder, no trailing separator
QString SystemFolder();             // .../Haldrin/Tarvex/System/
QString SettingsFilePath();         // .../Haldrin/Tarvex/System/Tarvex.ini
QString ImagesFolder();             // .../Haldrin/Tarvex/Images/
QString MarkerImagePath();          // .../Haldrin/Tarvex/Images/Marker.png
QString FlagImagePath();            // .../Haldrin/Tarvex/Images/Flag.png
QString DownloadFolder();           // .../Haldrin/Tarvex/Download/
QString DownloadedInstallerPath();  // .../Haldrin/Tarvex/Download/Update.exe

// Where the file window opens before the user has chosen a folder: address lists and texts are
// loaded from Lists/, results saved to Results/, reports exported to and loaded from Reports/.
QString DataFolder();     // .../Haldrin/Tarvex/
QString ListsFolder();    // .../Haldrin/Tarvex/Lists/
QString ResultsFolder();  // .../Haldrin/Tarvex/Results/
QString ReportsFolder();  // .../Haldrin/Tarvex/Reports/
