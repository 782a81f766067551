#pragma once
// Ctrl-C (and SIGTERM on Linux, Ctrl-Break on Windows): the first one only raises a flag the
// host polls, so it can stop launching, stop and unload the module and print the summary; a
// second one ends the process at once.

void CatchInterrupts();
bool Interrupted();
