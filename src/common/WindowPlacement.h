#pragma once

class QWidget;

// Moves a window so that its frame is centred on the available area of its screen (the primary
// screen when it has none yet). Every secondary window opens this way.
void CenterOnScreen(QWidget *window);

// Makes every window that opens take the keyboard, and hands it back to the window underneath
// when one closes. A window manager normally does both; without one (a kiosk session, a bare X
// server) the keys would keep going to a window that a modal window blocks. Install once on the
// application object.
void InstallKeyboardHandOver();
