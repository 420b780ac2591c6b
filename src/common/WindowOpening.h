#pragma once

class QShowEvent;

// Whether a show event opens a window (the program showed it) rather than shows it again: the
// window system sends a show event of its own (a spontaneous one) when it restores a minimised
// window or returns from another desktop, and that is no new opening. Every window runs its
// opening code (resetting fields, starting lookups, loading its start page) only for openings,
// so a restored window is as the user left it.
bool IsWindowOpening(const QShowEvent *event);

class QDialog;

// Runs `window` modally (exec()) and, while it runs, lets no click, key or wheel input reach any
// other window. Windows that host the embedded browser need it: the browser's native parts take
// the window out of the toolkit's list of modal windows, and the main window would take clicks
// and keys while such a window is open. Returns exec()'s result.
int ExecBlockingOtherWindows(QDialog *window);

// Runs `window` modally (exec()) with the arrow cursor over it when a caller busy with a wait
// cursor has set one, and puts that cursor back afterwards. Returns exec()'s result.
int ExecWithArrowCursor(QDialog *window);
