#include "app/CProjectApplication.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "app/CMainPanel.h"
#include "app/CMainWindow.h"
#include "app/ZSettingsFile.h"
#include "media/ZMediaServer.h"
#include "platform/CWnd.h"
#include "platform/Main.h"
#include "platform/VideoBackend.h"

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

// A window id of the display-hack conventions: decimal, or hex after 0x. Never 0, never the root's mark.
bool ParseWindowId(const std::string& text, uint32_t& id) {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] | 0x20) == 'x';
    const char* digits = text.c_str() + (hex ? 2 : 0);
    if (!(hex ? std::isxdigit(static_cast<unsigned char>(*digits)) : IsDigit(*digits))) {
        return false;
    }
    char* end = nullptr;
    unsigned long long value = std::strtoull(digits, &end, hex ? 16 : 10);
    if (*end != 0 || value == 0 || value >= platform::kRootWindow) {
        return false;
    }
    id = static_cast<uint32_t>(value);
    return true;
}

// Hack flags the screensaver daemon may pass that change nothing here.
bool IsIgnoredHackFlag(const std::string& word) {
    for (const char* flag : {"-install", "-noinstall", "-fps", "-no-fps", "-mono"}) {
        if (word == flag) {
            return true;
        }
    }
    return false;
}

bool HasAsciiLetter(const std::string& text) {
    for (unsigned char c : text) {
        if (IsAsciiLetter(c)) {
            return true;
        }
    }
    return false;
}

// The window a display hack is to fill comes from the daemon's environment when the line names none.
constexpr const char* kHostEnvironment = "XSCREENSAVER_WINDOW";

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
           "As a display hack of the screensaver daemon, the show plays inside another window, filling it\n"
           "(centred on black, scaled down when the window is smaller than 800x600), until that window goes\n"
           "or the program gets SIGTERM:\n"
           "  -window-id ID  play inside the window ID (decimal or 0x hex)\n"
           "  -root          play on the root window (the desktop), or in $XSCREENSAVER_WINDOW when set\n"
           "  with neither, and no mode letter, the window named by $XSCREENSAVER_WINDOW; the daemon's\n"
           "  -install, -noinstall, -visual X, -fps, -no-fps and -mono are ignored.\n"
           "\n"
           "The media container is the one named by --media=FILE, else the file named by MediaFile in\n"
           "section [Paths] of kestapp.ini (looked up beside the program, then in $XDG_CONFIG_HOME or\n"
           "~/.config, then in the current directory), else the one appended to the program, else\n"
           "KestApp.MSF in the directory named by MediaPath in that section.\n";
}

bool CProjectApplication::ParseCommandLine(const char* text, const char* hostEnv) {
    mode_ = Mode::None;
    windowHandle_ = 0;
    hostWindow_ = 0;
    // The hack's flags are words of their own; the rest keeps the first-letter rule.
    std::istringstream words(text != nullptr ? text : "");
    std::string word;
    std::string rest;
    while (words >> word) {
        if (word == "-window-id") {
            if (!(words >> word) || !ParseWindowId(word, hostWindow_)) {
                return false;
            }
        } else if (word == "-root") {
            // Under the daemon the "root" is its own window, named by the environment (a virtual root).
            if (hostEnv == nullptr || hostEnv[0] == 0) {
                hostWindow_ = platform::kRootWindow;
            } else if (!ParseWindowId(hostEnv, hostWindow_)) {
                return false;
            }
        } else if (word == "-visual") {
            words >> word;  // the daemon's choice of visual: ours is the window's
        } else if (!IsIgnoredHackFlag(word)) {
            rest += word + ' ';
        }
    }
    if (hostWindow_ == 0 && !HasAsciiLetter(rest) && hostEnv != nullptr && hostEnv[0] != 0 &&
        !ParseWindowId(hostEnv, hostWindow_)) {
        return false;
    }
    if (hostWindow_ != 0) {
        mode_ = Mode::Hack;
        return true;
    }
    const unsigned char* p = reinterpret_cast<const unsigned char*>(rest.c_str());
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

std::string CProjectApplication::LockTitle() const {
    std::string title = kTitle;
    if (mode_ == Mode::Hack) {
        return title + "-window-" +
               (hostWindow_ == platform::kRootWindow ? "root" : std::to_string(hostWindow_));
    }
    return mode_ == Mode::Preview ? title + "-window-" + std::to_string(windowHandle_) : title;
}

bool CProjectApplication::InitInstance() {
    // The lock to take depends on the mode: a show inside another window takes that window's instead of
    // the application's (which the base class takes unless told otherwise).
    if (ParseCommandLine(m_lpCmdLine.c_str(), std::getenv(kHostEnvironment)) &&
        (mode_ == Mode::Preview || mode_ == Mode::Hack)) {
        SetAllowSeveralInstances(true);
        if (!windowLock_.Check(LockTitle().c_str())) {
            std::fprintf(stderr, "%s: another instance already shows in this window\n", kTitle);
            return false;
        }
    }
    return ZApplication::InitInstance();
}

bool CProjectApplication::Initialize() {
    if (!ParseCommandLine(m_lpCmdLine.c_str(), std::getenv(kHostEnvironment)) ||
        !ZApplication::Initialize()) {
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
    // The user's choice comes before the container the program carries: the one named on the command
    // line, which must open, then the profile's MediaFile, which falls back to the built-in one.
    if (!GetMediaFile().empty()) {
        ZFileSpec chosen(GetMediaFile().c_str());
        if (gMediaServer->OpenContainer(chosen, false)) {
            return true;
        }
        std::fprintf(stderr, "%s: cannot open the media container %s\n", kTitle, GetMediaFile().c_str());
        return false;
    }
    ZString profileFile = ProfileSetting("MediaFile");
    if (profileFile.GetLength() > 0) {
        ZFileSpec chosen(profileFile);
        if (gMediaServer->OpenContainer(chosen, false)) {
            return true;
        }
        std::fprintf(
            stderr, "%s: cannot open the media container %s named in kestapp.ini; showing the built-in one\n",
            kTitle, profileFile.GetText());
    }
    if (gMediaServer->OpenContainer(GetOwnFile(), true)) {
        return true;
    }
    ZFileSpec separate(SeparateContainerPath());
    return gMediaServer->OpenContainer(separate, false);
}

ZString CProjectApplication::ProfileSetting(const char* key) {
    ZString value;
    ZSettingsFile settings(kTitle);
    settings.Read("Paths", key, value, "");
    value.Trim();
    return value;
}

ZString CProjectApplication::SeparateContainerPath() const {
    ZString path = ProfileSetting("MediaPath");
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
                std::fprintf(stderr, "%s: there is no window 0x%x to show the preview in\n", kTitle,
                             static_cast<unsigned>(windowHandle_));
                Quit();
                return nullptr;
            }
            platform::ScreenRect c = parent->GetClientRect();
            ZRect rect = PreviewRect(ZRect{c.top, c.left, c.bottom, c.right}, screen);
            return new CMainWindow(kMainWindowId, kMainWindowId, rect, kMainWindowFlags);
        }
        case Mode::Hack: {
            // A window that is not there at the start is a bad command line (the backend says which);
            // one that goes later ends the show normally.
            int32_t hostWidth = 0, hostHeight = 0;
            platform::VideoBackend* backend = platform::GetVideoBackend();
            if (hostWindow_ != platform::kRootWindow &&
                (backend == nullptr || !backend->QueryForeignWindow(hostWindow_, hostWidth, hostHeight))) {
                std::fprintf(stderr, "%s: there is no window 0x%x to show in\n", kTitle, hostWindow_);
                exitCode_ = 1;  // with no main window the loop never runs
                return nullptr;
            }
            // The show at its place on the screen, as the saver's; the backend fills the host window with
            // that part. It neither floats above nor hides with the activation: the daemon owns the desktop.
            ZRect rect = SaverRect(screen);
            platform::SetHostWindow(platform::HostWindow{
                hostWindow_, platform::ScreenRect{rect.left, rect.top, rect.right, rect.bottom}});
            return new CMainWindow(kMainWindowId, kMainWindowId, rect, ZWindowFlags::kNone);
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
