// Ctrl-C. The first one asks the running denoise to stop at its next progress
// report; a second one ends the program at once. SIGTERM and SIGHUP end it
// at once. Whatever ends it at once first removes a half-written output.
#pragma once

namespace calvane::app {

void InstallInterruptHandlers();

// True once the user has pressed Ctrl-C.
bool InterruptRequested();

// A temporary file to remove if the program is ended at once; null for none.
// The text is copied.
void SetAbortCleanupPath(const char* path);

}  // namespace calvane::app
