#pragma once

// Start-up timing for whoever works on the program's launch time. With TARVEX_STARTUP_TRACE=1 in
// the environment, every step of the start writes one line to standard error:
//   tarvex start-up: <step> <ms since the process began> ms (+<ms since the previous line>)
// The first line also gives the time spent before main (mostly the dynamic loader), measured
// from the kernel's start time of the process, so it is coarse (one clock tick, 10 ms).
// Without the variable a call costs one test of a flag.
void StartupPhase(const char *step);
