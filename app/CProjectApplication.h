// The screensaver application: reads the screensaver command line, picks its mode, opens the media
// container and creates the main window full screen, inside the preview window, or not at all.
#pragma once

#include <cstdint>
#include <memory>

#include "app/ZApplication.h"
#include "app/ZExceptionFilter.h"

class CProjectApplication : public ZApplication {
  public:
    enum class Mode { None, Configure, Preview, Saver, ChangePassword };

    // The application title: the name under which the screensaver is listed and the alerts' caption.
    static constexpr const char* kTitle = "KestApp";

    CProjectApplication();
    ~CProjectApplication() override;

    bool Initialize() override;
    ZMainWindow* CreateMainWindow(const ZRect& screen) override;
    const char* GetUsage() const override;

    // Reads the mode letter and the window handle. False (no mode) for a letter other than a, c, p, s. A
    // handle above INT32_MAX saturates to INT32_MAX, so that no number reads as a negative handle.
    bool ParseCommandLine(const char* text);
    Mode GetMode() const { return mode_; }
    bool IsSaverMode() const { return mode_ == Mode::Saver; }
    int32_t GetWindowHandle() const { return windowHandle_; }

    // The window rectangle of the preview: the 800x600 scene at the size it would have on the real
    // screen, centred in the parent's client area.
    static ZRect PreviewRect(const ZRect& client, const ZRect& screen);
    // The 800x600 rectangle centred on the screen.
    static ZRect SaverRect(const ZRect& screen);

  protected:
    // Opens the media container: the one appended to the program, else "KestApp.MSF" in the directory
    // that the profile file names. False when neither opens.
    virtual bool OpenMediaContainer();
    // The separate container's path from the profile file: "MediaPath" of section "Paths", trimmed,
    // followed by "KestApp.MSF".
    ZString SeparateContainerPath() const;

  private:
    std::unique_ptr<ZExceptionFilter> exceptionFilter_;
    Mode mode_ = Mode::None;
    int32_t windowHandle_ = 0;
};
