// The user-interface thread's message queue. Posting is safe from any thread; a signal handler may only
// call RequestQuit, which the message loop turns into the quit message at its next turn.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Messages.h"

namespace platform {

void PostMessage(WindowHandle window, uint32_t message, WParam wParam, LParam lParam);
void PostQuitMessage(int exitCode);
// Takes the oldest posted message; false when none waits.
bool TakeMessage(Message& out);
bool HasMessage();
size_t MessageCount();
// Drops every posted message and any quit request (between runs, in tests).
void ClearMessages();

// The time at which the message being handled was posted; the loop records it as it dispatches each one.
// Intervals between input messages (double clicks) are measured with it, not with the time of handling.
uint32_t GetMessageTime();
void SetMessageTime(uint32_t time);

// Async-signal-safe: asks the loop to end as if the quit message had been posted. False when a request
// was already waiting.
bool RequestQuit();
// True once after RequestQuit was called.
bool TakeQuitRequest();

}  // namespace platform
