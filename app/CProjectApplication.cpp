#include "app/CProjectApplication.h"

#include <climits>

#include "app/CMainPanel.h"
#include "app/CMainWindow.h"
#include "app/ZSettingsFile.h"
#include "media/ZMediaServer.h"
#include "platform/CWnd.h"

namespace {

bool IsAsciiLetter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// Reads a run of decimal digits; a number too large for a handle saturates instead of overflowing.
int32_t ReadDecimal(const unsigned char* p) {
    int64_t value = 0;
    for (; IsDigit(*p); ++p) {
        value = value * 10 + (*p - '0');
        if (value > INT32_MAX) {
            return INT32_MAX;
        }
    }
    return static_cast<int32_t>(value);
}

constexpr int32_t kSceneWidth = 800;
constexpr int32_t kSceneHeight = 600;
constexpr int32_t kMainWindowId = 4096;
// The show stays above other windows and hides while another application is active.
constexpr ZWindowFlags kMainWindowFlags = ZWindowFlags::kTopmost | ZWindowFlags::kFollowsActivation;

}  // namespace

CProjectApplication::CProjectApplication()
    : ZApplication(kTitle), exceptionFilter_(std::make_unique<ZExceptionFilter>()) {}

CProjectApplication::~CProjectApplication() = default;

const char* CProjectApplication::GetUsage() const {
    return "Screensaver command line (the first letter counts, in any case, with any prefix):\n"
           "  /s           run the show full screen (saver mode)\n"
           "  /p HANDLE    show the preview inside the window HANDLE\n"
           "  /c           configure (this screensaver has no settings)\n"
           "  /a HANDLE    change the screensaver password\n"
           "  (nothing)    the same as /c\n"
           "\n"
           "The media container is the one appended to the program, else KestApp.MSF in the directory\n"
           "named by MediaPath in section [Paths] of kestapp.ini (looked up beside the program, then in\n"
           "$XDG_CONFIG_HOME or ~/.config, then in the current directory).\n";
}

bool CProjectApplication::ParseCommandLine(const char* text) {
    mode_ = Mode::None;
    windowHandle_ = 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text != nullptr ? text : "");
    while (*p != 0 && !IsAsciiLetter(*p)) {
        ++p;
    }
    if (*p == 0) {
        mode_ = Mode::Configure;
        return true;
    }
    switch (*p | 0x20) {
        case 'a':
            mode_ = Mode::ChangePassword;
            break;
        case 'c':
            mode_ = Mode::Configure;
            break;
        case 'p':
            mode_ = Mode::Preview;
            break;
        case 's':
            mode_ = Mode::Saver;
            break;
        default:
            return false;
    }
    while (*p != 0 && !IsDigit(*p)) {
        ++p;
    }
    windowHandle_ = ReadDecimal(p);
    return true;
}

bool CProjectApplication::Initialize() {
    if (!ParseCommandLine(m_lpCmdLine.c_str()) || !ZApplication::Initialize()) {
        return false;
    }
    if (!OpenMediaContainer()) {
        if (IsSaverMode()) {
            ErrorAlert("Unable to open media file.");
        }
        return false;
    }
    // The scene's class, for the main window to open; a factory that knows the class keeps its own.
    CMainPanel::Install();
    CreateLookupTableManager();
    ZDisplaySetUp setUp;
    setUp.colorTableId = 100;  // the container holds no such table, so none is installed
    setUp.bufferCount = 1;
    setUp.createBackWindow = IsSaverMode();
    setUp.displayWidth = IsSaverMode() ? kSceneWidth : 0;
    setUp.displayHeight = IsSaverMode() ? kSceneHeight : 0;
    SetUpDisplay(setUp);
    return true;
}

bool CProjectApplication::OpenMediaContainer() {
    if (gMediaServer == nullptr) {
        return false;
    }
    if (gMediaServer->OpenContainer(GetOwnFile(), true)) {
        return true;
    }
    ZFileSpec separate(SeparateContainerPath());
    return gMediaServer->OpenContainer(separate, false);
}

ZString CProjectApplication::SeparateContainerPath() const {
    ZString path;
    ZSettingsFile settings(kTitle);
    settings.Read("Paths", "MediaPath", path, "");
    path.Trim();
    path.Append("KestApp.MSF");
    return path;
}

ZRect CProjectApplication::PreviewRect(const ZRect& client, const ZRect& screen) {
    int64_t screenWidth = screen.right - screen.left;
    int64_t screenHeight = screen.bottom - screen.top;
    if (screenWidth <= 0 || screenHeight <= 0) {
        return ZRect{};
    }
    int64_t width = int64_t(client.right - client.left) * kSceneWidth / screenWidth;
    int64_t height = int64_t(client.bottom - client.top) * kSceneHeight / screenHeight;
    int32_t left = static_cast<int32_t>((int64_t(client.left) + client.right - width) >> 1);
    int32_t top = static_cast<int32_t>((int64_t(client.top) + client.bottom - height) >> 1);
    return ZRect{top, left, top + static_cast<int32_t>(height), left + static_cast<int32_t>(width)};
}

ZRect CProjectApplication::SaverRect(const ZRect& screen) {
    int32_t top = static_cast<int32_t>((int64_t(screen.top) + screen.bottom - kSceneHeight) >> 1);
    int32_t left = static_cast<int32_t>((int64_t(screen.left) + screen.right - kSceneWidth) >> 1);
    return ZRect::FromSize(kSceneWidth, kSceneHeight).Offset(left, top);
}

ZMainWindow* CProjectApplication::CreateMainWindow(const ZRect& screen) {
    switch (mode_) {
        case Mode::Preview: {
            auto parentHandle = static_cast<platform::WindowHandle>(windowHandle_);
            ZWindow::SetPreviewParent(parentHandle);
            CWnd* parent = CWnd::FromHandle(parentHandle);
            if (parent == nullptr) {
                Quit();
                return nullptr;
            }
            platform::ScreenRect c = parent->GetClientRect();
            ZRect rect = PreviewRect(ZRect{c.top, c.left, c.bottom, c.right}, screen);
            return new CMainWindow(kMainWindowId, kMainWindowId, rect, kMainWindowFlags);
        }
        case Mode::Saver:
            return new CMainWindow(kMainWindowId, kMainWindowId, SaverRect(screen), kMainWindowFlags);
        case Mode::ChangePassword:
            // The host has no system routine to change a screensaver password: nothing to call.
            Quit();
            return nullptr;
        default:
            WarningAlert("This screensaver has no settings.");
            Quit();
            return nullptr;
    }
}
