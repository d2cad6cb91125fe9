// Foreign windows under X11: the preview area another program hands us by its window id. Our real window
// opens as an X child of it; when its owner destroys it, X takes our window along, and the program must
// end instead of dying on the errors that SDL's later calls on the vanished window raise. Built without
// X11 (or on another window system) nothing here can open and preview mode has no window to show in.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/Messages.h"

struct SDL_Window;

namespace platform {

class ForeignWindows {
  public:
    // Connects to the X server named by DISPLAY and installs the process's X error handler, which records
    // errors instead of ending the program. Null when there is no X server or no X11 support.
    static std::unique_ptr<ForeignWindows> Open();
    // Closes the connection; the child window went with its parent, or goes now.
    ~ForeignWindows();

    // The root window of the display: the desktop a hack run with -root draws on.
    WindowHandle Root();
    // Whether handle names an existing window, with its size.
    bool Query(WindowHandle handle, int32_t& width, int32_t& height);
    // Creates a mapped child window of parent at rect and watches the parent; 0 on failure.
    uintptr_t CreateChild(WindowHandle parent, const ScreenRect& rect);
    // Whether the watched parent has been destroyed. Also takes note of the parent's size changes.
    bool ParentGone();
    // Whether the watched parent changed its size since the last call, with the new size.
    bool ParentResized(int32_t& width, int32_t& height);

  private:
    ForeignWindows() = default;
    struct State;
    std::unique_ptr<State> state_;
};

// Whether a window manager runs on the X display of window. A full-screen request is a message to the
// window manager: without one nobody answers it, and SDL waits about 100 ms for the answer. True when it
// cannot tell (another window system, a build without X11).
bool WindowManagerRunning(SDL_Window* window);

}  // namespace platform
