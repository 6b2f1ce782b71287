#include "ui/run_window.h"

#include <QApplication>

#include "protocol/state.h"
#include "ui/form2.h"
#include "ui/handover_pump.h"

namespace melvorin::ui {

void RunMainWindow(IBoxes& boxes, const std::function<void(TForm2&)>& created, const bool* stopRequested) {
    {
        // Hand-overs from the listeners run on this thread, in the main loop
        // and in every modal box. The pump outlives the window, whose endpoint
        // is closed (its listeners ended) before the window goes.
        THandOverPump pump;
        TForm2 form(boxes, pump.HandOver());
        if (created) created(form);
        // The first scan: its error is shown at once, and the window opens
        // anyway. Replies wait in their listeners until the loop runs.
        form.FormCreate();
        if (stopRequested == nullptr || !*stopRequested) {
            form.ShowCentred();
            QApplication::exec();
        }
        form.hide();
        form.CloseEndpoint();
    }
    ReleaseState();
}

}  // namespace melvorin::ui
