// The screensaver application: reads the screensaver command line, picks its mode, opens the media
// container and creates the main window full screen, inside the preview window, inside a display hack's
// host window, or not at all.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/ZApplication.h"
#include "app/ZExceptionFilter.h"
#include "app/ZInstanceChecker.h"

class CProjectApplication : public ZApplication {
  public:
    enum class Mode { None, Configure, Preview, Saver, ChangePassword, Hack };

    // The application title: the name under which the screensaver is listed and the alerts' caption.
    static constexpr const char* kTitle = "KestApp";

    CProjectApplication();
    ~CProjectApplication() override;

    bool InitInstance() override;
    bool Initialize() override;
    ZMainWindow* CreateMainWindow(const ZRect& screen) override;
    const char* GetUsage() const override;

    // Reads the mode letter and the window handle. False (no mode) for a letter other than a, c, p, s. A
    // handle above INT32_MAX saturates to INT32_MAX, so that no number reads as a negative handle.
    // The display-hack conventions come first: "-window-id ID" (decimal or 0x hex) or "-root" select the
    // hack mode, as hostEnv (the value of XSCREENSAVER_WINDOW) does when the line names no mode; with
    // hostEnv set, "-root" means that window, the daemon's virtual root; the
    // hack flags the daemon may add (-install, -noinstall, -visual X, -fps, -no-fps, -mono) are ignored.
    // False for a hack window id that is not a number.
    bool ParseCommandLine(const char* text, const char* hostEnv = nullptr);
    Mode GetMode() const { return mode_; }
    uint32_t GetHostWindow() const { return hostWindow_; }
    bool IsSaverMode() const { return mode_ == Mode::Saver; }
    int32_t GetWindowHandle() const { return windowHandle_; }
    // The single-instance lock's name: the saver (and the dialogs) hold the application's own, a preview
    // or a hack one for the window it shows in, so that a preview started while the saver runs is not
    // refused, while two shows never draw into one window.
    std::string LockTitle() const;

    // The window rectangle of the preview: the 800x600 scene at the size it would have on the real
    // screen, centred in the parent's client area.
    static ZRect PreviewRect(const ZRect& client, const ZRect& screen);
    // The 800x600 rectangle centred on the screen.
    static ZRect SaverRect(const ZRect& screen);

  protected:
    // Opens the media container: the one the command line names (--media), else the profile file's
    // "MediaFile", else the one appended to the program, else "KestApp.MSF" in the directory that the
    // profile file names. False when none opens, or when the one the command line names does not.
    virtual bool OpenMediaContainer();
    // The separate container's path from the profile file: "MediaPath" of section "Paths", trimmed,
    // followed by "KestApp.MSF".
    ZString SeparateContainerPath() const;
    // A setting of section "Paths" of the profile file, trimmed (empty when missing).
    static ZString ProfileSetting(const char* key);

  private:
    std::unique_ptr<ZExceptionFilter> exceptionFilter_;
    Mode mode_ = Mode::None;
    int32_t windowHandle_ = 0;
    uint32_t hostWindow_ = 0;      // the hack's host window, platform::kRootWindow for -root
    ZInstanceChecker windowLock_;  // held by a preview or a hack for its window
};
