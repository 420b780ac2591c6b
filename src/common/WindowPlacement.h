#pragma once

class QWidget;

// Moves a window so that its frame is centred on the available area of its screen (the primary
// screen when it has none yet). Every secondary window opens this way.
void CenterOnScreen(QWidget *window);
