#pragma once

#include <QUrl>

// Opens a file or address in the desktop's associated application. Tests switch this off so
// that exported files and downloaded installers are not handed to the desktop.
bool OpenInDesktop(const QUrl &url);

// Turns OpenInDesktop on or off for the whole process; returns the previous state.
bool SetDesktopOpenEnabled(bool enabled);

// The URLs that OpenInDesktop was asked to open while it was switched off, oldest first.
QList<QUrl> SuppressedDesktopOpens();
