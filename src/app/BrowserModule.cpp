// The entry point of the browser module: the windows that hold the embedded browser, made for
// the program that loaded the module (see common/BrowserWindows.h). The module links the browser
// engine; everything else it uses comes from the program itself.
#include "common/BrowserWindows.h"
#include "geo/GeolocationUnit.h"
#include "help/HelpUnit.h"

namespace {

class TBrowserModule final : public TBrowserWindows {
  public:
    TMapWindow *NewMapWindow(QWidget *parent, TMapWindowState *state) override {
        return new TGeolocationForm(parent, state);
    }
    THelpWindow *NewHelpWindow(QWidget *parent) override { return new THelpForm(parent); }
};

}  // namespace

extern "C" Q_DECL_EXPORT TBrowserWindows *TarvexBrowserWindows() {
    static TBrowserModule module;
    return &module;
}
