// Video backends: where the virtual screen is shown and where input comes from. One folder per backend,
// each exporting one bootstrap entry; the registry in VideoBackends.cpp lists them, headless last as the
// fallback. A backend holds no framework state: it shows frames, reports input and shows alerts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Input.h"
#include "platform/Messages.h"

namespace platform {

class Display;

// What the program's top-level windows ask of the real window that shows them.
enum class WindowHints : uint32_t {
    kNone = 0,
    kTopmost = 1u << 0,       // a topmost window is shown: keep the real window above the others
    kCoversScreen = 1u << 1,  // a window covers the whole virtual screen (the backdrop): cover the monitor
};
constexpr WindowHints operator|(WindowHints a, WindowHints b) {
    return WindowHints(uint32_t(a) | uint32_t(b));
}
constexpr bool HasHint(WindowHints set, WindowHints hint) {
    return (uint32_t(set) & uint32_t(hint)) != 0;
}

struct VideoOptions {
    bool virtualTime = false;  // headless only: the clock advances instead of sleeping
};

class VideoBackend {
  public:
    // Closes whatever the backend opened (its real window, its library).
    virtual ~VideoBackend() = default;
    // Called after the virtual screen's pixels or mode changed: show the frame, of which only `changed`
    // (never empty, inside the screen) differs from the previous call's. A new mode comes with the whole
    // screen changed. The first call may open the real window.
    virtual void Present(const Display& display, const ScreenRect& changed) = 0;
    // Called by the message loop when it has nothing to do: appends the input that arrived, waiting up to
    // timeoutMs for the first event (0 only polls). Must return within about timeoutMs.
    virtual void WaitInput(std::vector<InputEvent>& out, uint32_t timeoutMs) = 0;
    // Called for an alert: show a modal box and return true once it was dismissed, or return false when
    // this backend has no way to show one (the caller then prints the alert).
    virtual bool ShowMessageBox(const char* caption, const char* text, int kind) = 0;
    // Called when the program's windows come, go, move or change band, with what they now ask of the real
    // window. kNone withdraws every earlier request (the real window is then an ordinary window).
    virtual void SetWindowHints(WindowHints) {}
    // Called when a window handle names none of the program's windows: whether it names a window of the
    // host's window system (the preview area another program gave us), with that window's client size.
    // Opens nothing, so nothing to undo.
    virtual bool QueryForeignWindow(WindowHandle, int32_t& width, int32_t& height) {
        width = height = 0;
        return false;
    }
    // Called when the program's window is created inside a foreign window: the real window opens there at
    // rect (the foreign window's client coordinates, which are also where that window lies on the virtual
    // screen) and from then on shows that part of the virtual screen, unscaled. Once the foreign window is
    // gone the backend reports InputKind::ParentGone. Undone by the destructor.
    virtual bool OpenInside(WindowHandle, const ScreenRect&) { return false; }
    // Called to see what the real window shows (bars included), as 0x00RRGGBB words, top row first. False
    // when there is no real window or it cannot be read back. Leaves nothing to undo.
    virtual bool ReadWindow(std::vector<uint32_t>&, int32_t& width, int32_t& height) {
        width = height = 0;
        return false;
    }
};

struct VideoBootstrap {
    const char* name;
    const char* description;
    // Returns null, with the reason in error, when the backend cannot run here.
    std::unique_ptr<VideoBackend> (*create)(const VideoOptions& options, std::string& error);
};

// The registered backends, in order of preference; the list ends with a null entry.
const VideoBootstrap* const* GetVideoBootstraps();

// Creates the named backend, or with no name the first that can run here.
std::unique_ptr<VideoBackend> CreateVideoBackend(const char* name, const VideoOptions& options,
                                                 std::string& error);

// The backend in use; null while none is installed (alerts then go to stderr and frames nowhere).
VideoBackend* GetVideoBackend();
void SetVideoBackend(VideoBackend* backend);

}  // namespace platform
