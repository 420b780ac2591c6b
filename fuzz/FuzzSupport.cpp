#include "FuzzSupport.h"

#include <QGuiApplication>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // The harness needs no display and must not pick up the user's platform plug-in.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QGuiApplication application(argc, argv);
    return 0;
}
