// What the batch command needs of the console it runs in: whether a stream is
// a terminal, and a stop request from the keyboard.
#pragma once

namespace platform {

// True when standard error is a terminal (a console), where a progress bar can
// be redrawn in place.
bool StdErrIsTerminal();

// The first interrupt from the keyboard (Ctrl-C) sets the stop request and is
// otherwise ignored; a second one ends the program as interrupts usually do.
void InstallStopOnInterrupt();
bool InterruptRequested();

}  // namespace platform
