// Last-chance handling of fatal signals, and termination requests by signal (a Linux host ends its
// screensaver with SIGTERM).
#pragma once

namespace platform {

// Called from the handler of a fatal signal (segmentation fault, bus error, arithmetic error, illegal
// instruction, abort) with the signal number. The signal then takes its default course (the process
// ends and dumps core as usual). Only async-signal-safe work belongs here.
using CrashHandler = void (*)(int signal, void* context);

// Installs the handler for the fatal signals, keeping the previous actions; returns false if any
// installation failed.
bool InstallCrashHandler(CrashHandler handler, void* context);
// Puts the previous actions back.
void RemoveCrashHandler();

// SIGTERM and SIGINT ask the message loop to end as if the quit message had been posted.
void InstallTerminationHandlers();

}  // namespace platform
