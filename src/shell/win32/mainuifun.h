// The window program's run: single instance, the main window, the staged start on its timer,
// the 100 ms tick and the shutdown.
#pragma once
#include <windows.h>

namespace tvd::win {

// The program's entry: the process's exit code.
int RunTarvikdornMain(HINSTANCE instance);

// The main window's timer (the staged start once, then the tick).
void OnMainTimer();
// The window's first activation starts the staged start (once).
void StartStagedStart();
// The close handler's work: the timer goes, then the kernel.
void Shutdown();

} // namespace tvd::win
