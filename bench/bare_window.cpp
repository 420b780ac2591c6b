// The least a Qt Widgets program with a menu does before its window is on screen: an application
// object, a main window of the main window's size with a menu bar of a few menus, nothing else.
// startup_ab.sh times the launch of Tarvex against it, so that the figure says what the program
// adds to what any window of the same toolkit costs.
#include <QApplication>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare Qt Window"));
    QMenu *file = window.menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Open ..."), QKeySequence::Open);
    file->addAction(QStringLiteral("&Save ..."), QKeySequence::Save);
    file->addSeparator();
    file->addAction(QStringLiteral("&Quit"), QKeySequence::Quit, &app, &QApplication::quit);
    QMenu *edit = window.menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->addAction(QStringLiteral("Cu&t"), QKeySequence::Cut);
    edit->addAction(QStringLiteral("&Copy"), QKeySequence::Copy);
    edit->addAction(QStringLiteral("&Paste"), QKeySequence::Paste);
    QMenu *help = window.menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&About"));
    // The client area of Tarvex's main window, below its menu.
    window.resize(914, 532 + window.menuBar()->sizeHint().height());
    window.show();
    return QApplication::exec();
}
