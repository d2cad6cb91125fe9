// Video backends: where the virtual screen is shown and where input comes from. One folder per backend,
// each exporting one bootstrap entry; the registry in VideoBackends.cpp lists them, headless last as the
// fallback. A backend holds no framework state: it shows frames, reports input and shows alerts.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Input.h"
#include "platform/Messages.h"

namespace platform {

class Display;

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
