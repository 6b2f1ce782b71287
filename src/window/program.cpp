#include "window/program.h"

#include "protocol/cp936.h"
#include "window/rules.h"

namespace melvorin::window {

void StartUp(const TStartUp& startUp) {
    SetTranslator(startUp.translator);
    SetPreferredReading(ReadingForLocale(startUp.locale));
    SetApplicationTitle(MakeApplicationTitle(startUp.programPath, startUp.lower));
}

void RunWindow(IMainWindow& window, const bool* stopRequested) {
    window.Logic().FormCreate();
    if (stopRequested == nullptr || !*stopRequested) {
        window.ShowCentred();
        window.RunEventLoop();
    }
    window.Hide();
    window.Logic().CloseEndpoint();
}

}  // namespace melvorin::window
