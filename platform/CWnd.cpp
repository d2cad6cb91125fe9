#include "platform/CWnd.h"

#include <algorithm>
#include <memory>

#include "platform/CWinApp.h"
#include "platform/Display.h"
#include "platform/MessageQueue.h"
#include "platform/VideoBackend.h"

using platform::LParam;
using platform::LResult;
using platform::ScreenRect;
using platform::WindowHandle;
using platform::WParam;

namespace {

// Every live window, bottom of the stacking order first. Windows are few; linear walks are fine.
std::vector<CWnd*> gWindows;
constexpr WindowHandle kFirstHandle = 0x100;
WindowHandle gNextHandle = kFirstHandle;
// Foreign windows adopted by FromHandle; they live until the host destroys them or the program ends.
std::vector<std::unique_ptr<CWnd>> gForeign;
CWnd* gFocus = nullptr;
CWnd* gCapture = nullptr;
CWnd* gActive = nullptr;

// Tells the video backend what the windows now ask of the real window, when that changed.
void UpdateWindowHints() {
    static platform::VideoBackend* told = nullptr;
    static platform::WindowHints last = platform::WindowHints::kNone;
    platform::WindowHints hints = platform::WindowHints::kNone;
    ScreenRect screen = platform::Display::Get().GetRect();
    for (CWnd* w : gWindows) {
        if (w->GetParent() != nullptr || w->IsForeign() || !w->IsWindowVisible()) {
            continue;
        }
        if (w->IsTopmost()) {
            hints = hints | platform::WindowHints::kTopmost;
        }
        ScreenRect r = w->GetWindowRect();
        if (r.left <= screen.left && r.top <= screen.top && r.right >= screen.right &&
            r.bottom >= screen.bottom) {
            hints = hints | platform::WindowHints::kCoversScreen;
        }
    }
    platform::VideoBackend* backend = platform::GetVideoBackend();
    if (backend != nullptr && (backend != told || hints != last)) {
        backend->SetWindowHints(hints);
    }
    told = backend;
    last = hints;
}

void Forget(CWnd* window) {
    gWindows.erase(std::remove(gWindows.begin(), gWindows.end(), window), gWindows.end());
    if (gFocus == window) {
        gFocus = nullptr;
    }
    if (gCapture == window) {
        gCapture = nullptr;
    }
    if (gActive == window) {
        gActive = nullptr;
    }
}

}  // namespace

CWnd::~CWnd() {
    DestroyWindow();
}

bool CWnd::CreateEx(uint32_t, const char* title, uint32_t style, const ScreenRect& rect, WindowHandle parent,
                    uint32_t id) {
    if (handle_ != 0 || (parent != 0 && !IsWindow(parent))) {
        return false;
    }
    handle_ = gNextHandle++;
    parent_ = (style & kStyleChild) != 0 ? parent : 0;
    rect_ = rect;
    style_ = style;
    id_ = id;
    title_ = title != nullptr ? title : "";
    shown_ = (style & kStyleVisible) != 0;
    minimized_ = false;
    enabled_ = (style & kStyleDisabled) == 0;
    topmost_ = false;
    update_ = ScreenRect{};
    gWindows.push_back(this);
    BringWindowToTop();
    CWnd* parentWindow = GetParent();
    if (parentWindow != nullptr && parentWindow->foreign_) {
        platform::VideoBackend* backend = platform::GetVideoBackend();
        if (backend == nullptr || !backend->OpenInside(parent, rect)) {
            Forget(this);
            handle_ = 0;
            parent_ = 0;
            return false;
        }
    }
    if (shown_) {
        InvalidateRect(nullptr);
    }
    UpdateWindowHints();
    return true;
}

bool CWnd::DestroyWindow() {
    if (handle_ == 0) {
        return false;
    }
    // Children go first, as their parent's window takes them along.
    for (CWnd* other : GetAllWindows()) {
        if (other->parent_ == handle_) {
            other->DestroyWindow();
        }
    }
    SendMessage(platform::kMsgDestroy);
    Forget(this);
    handle_ = 0;
    parent_ = 0;
    CWinApp* app = CWinApp::GetCurrent();
    if (app != nullptr && app->m_pMainWnd == this) {
        platform::PostQuitMessage(0);
    }
    UpdateWindowHints();
    PostNcDestroy();
    return true;
}

CWnd* CWnd::FromHandle(WindowHandle handle) {
    if (handle == 0) {
        return nullptr;
    }
    for (CWnd* window : gWindows) {
        if (window->handle_ == handle) {
            return window;
        }
    }
    // Handles we gave out and took back name nothing; only the others may name a host's window.
    if (handle >= kFirstHandle && handle < gNextHandle) {
        return nullptr;
    }
    platform::VideoBackend* backend = platform::GetVideoBackend();
    int32_t width = 0;
    int32_t height = 0;
    if (backend == nullptr || !backend->QueryForeignWindow(handle, width, height)) {
        return nullptr;
    }
    return AdoptForeign(handle, width, height);
}

CWnd* CWnd::AdoptForeign(WindowHandle handle, int32_t width, int32_t height) {
    auto window = std::make_unique<CWnd>();
    window->handle_ = handle;
    window->rect_ = ScreenRect{0, 0, width, height};
    window->style_ = kStyleVisible;
    window->shown_ = true;
    window->foreign_ = true;
    // Below all of ours: it is the desktop of the preview, not a window that takes clicks over ours.
    gWindows.insert(gWindows.begin(), window.get());
    gForeign.push_back(std::move(window));
    return gForeign.back().get();
}

void CWnd::ForeignWindowGone(WindowHandle handle) {
    for (auto it = gForeign.begin(); it != gForeign.end(); ++it) {
        if ((*it)->handle_ == handle) {
            std::unique_ptr<CWnd> gone = std::move(*it);
            gForeign.erase(it);
            gone->DestroyWindow();
            return;
        }
    }
}

LResult CWnd::WindowProc(uint32_t message, WParam wParam, LParam lParam) {
    LResult result = 0;
    if (OnWndMsg(message, wParam, lParam, &result)) {
        return result;
    }
    return DefWindowProc(message, wParam, lParam);
}

bool CWnd::OnWndMsg(uint32_t, WParam, LParam, LResult*) {
    return false;
}

LResult CWnd::DefWindowProc(uint32_t message, WParam, LParam) {
    switch (message) {
        case platform::kMsgPaint:
            BeginPaint();  // nothing to draw: just stop asking
            return 0;
        case platform::kMsgClose:
            DestroyWindow();
            return 0;
        default:
            return 0;
    }
}

LResult CWnd::SendMessage(uint32_t message, WParam wParam, LParam lParam) {
    return handle_ != 0 ? WindowProc(message, wParam, lParam) : 0;
}

void CWnd::PostMessage(uint32_t message, WParam wParam, LParam lParam) const {
    if (handle_ != 0) {
        platform::PostMessage(handle_, message, wParam, lParam);
    }
}

bool CWnd::ShowWindow(int command) {
    if (handle_ == 0) {
        return false;
    }
    bool wasVisible = shown_;
    switch (command) {
        case kShowHide:
            shown_ = false;
            break;
        case kShowMinimize:
            minimized_ = true;
            break;
        case kShowRestore:
        case kShowNormal:
            minimized_ = false;
            shown_ = true;
            break;
        case kShowMaximized:
            style_ |= kStyleMaximize;
            minimized_ = false;
            shown_ = true;
            break;
        default:
            shown_ = true;
            break;
    }
    if (shown_ && !minimized_) {
        InvalidateRect(nullptr);
    }
    UpdateWindowHints();
    return wasVisible;
}

bool CWnd::IsWindowVisible() const {
    if (handle_ == 0 || !shown_) {
        return false;
    }
    CWnd* parent = GetParent();
    return parent == nullptr || parent->IsWindowVisible();
}

bool CWnd::EnableWindow(bool enable) {
    bool wasDisabled = !enabled_;
    enabled_ = enable;
    return wasDisabled;
}

CWnd* CWnd::GetParent() const {
    return FromHandle(parent_);
}

void CWnd::MoveWindow(const ScreenRect& rect, bool repaint) {
    rect_ = rect;
    if (repaint) {
        InvalidateRect(nullptr);
    }
    UpdateWindowHints();
}

void CWnd::SetTopmost(bool topmost) {
    topmost_ = topmost;
    BringWindowToTop();
    UpdateWindowHints();
}

void CWnd::BringWindowToTop() {
    auto self = std::find(gWindows.begin(), gWindows.end(), this);
    if (self == gWindows.end()) {
        return;
    }
    gWindows.erase(self);
    // A plain window goes below the lowest topmost window; a topmost one to the very top.
    auto place = gWindows.end();
    if (!topmost_) {
        place = std::find_if(gWindows.begin(), gWindows.end(), [](CWnd* w) { return w->topmost_; });
    }
    gWindows.insert(place, this);
}

bool CWnd::IsOnTop() const {
    for (auto it = gWindows.rbegin(); it != gWindows.rend(); ++it) {
        if ((*it)->parent_ == 0 && (*it)->IsWindowVisible()) {
            return *it == this;
        }
    }
    return false;
}

ScreenRect CWnd::GetWindowRect() const {
    ScreenRect r = rect_;
    if (CWnd* parent = GetParent()) {
        ScreenRect origin = parent->GetWindowRect();
        r.left += origin.left;
        r.right += origin.left;
        r.top += origin.top;
        r.bottom += origin.top;
    }
    return r;
}

ScreenRect CWnd::GetClientRect() const {
    return ScreenRect{0, 0, rect_.Width(), rect_.Height()};
}

void CWnd::InvalidateRect(const ScreenRect* rect) {
    if (handle_ == 0) {
        return;
    }
    ScreenRect area = GetClientRect();
    update_ = update_.Union(rect != nullptr ? rect->Intersect(area) : area);
}

void CWnd::ValidateRect(const ScreenRect* rect) {
    if (rect == nullptr) {
        update_ = ScreenRect{};
        return;
    }
    // With one bounding rectangle, validating a part that covers the region clears it.
    if (rect->left <= update_.left && rect->top <= update_.top && rect->right >= update_.right &&
        rect->bottom >= update_.bottom) {
        update_ = ScreenRect{};
    }
}

bool CWnd::GetUpdateRect(ScreenRect& rect) const {
    rect = update_;
    return !update_.IsEmpty();
}

ScreenRect CWnd::BeginPaint() {
    ScreenRect r = update_;
    update_ = ScreenRect{};
    return r;
}

CWnd* CWnd::SetFocus() {
    CWnd* previous = gFocus;
    if (handle_ != 0) {
        gFocus = this;
    }
    return previous;
}

CWnd* CWnd::GetFocus() {
    return gFocus;
}

CWnd* CWnd::SetCapture() {
    CWnd* previous = gCapture;
    if (handle_ != 0) {
        gCapture = this;
    }
    return previous;
}

void CWnd::ReleaseCapture() {
    gCapture = nullptr;
}

CWnd* CWnd::GetCapture() {
    return gCapture;
}

CWnd* CWnd::SetActiveWindow() {
    CWnd* previous = gActive;
    if (handle_ != 0) {
        gActive = this;
        BringWindowToTop();
    }
    return previous;
}

CWnd* CWnd::GetActiveWindow() {
    return gActive;
}

CWnd* CWnd::WindowFromPoint(int32_t x, int32_t y) {
    // Top-level windows from the top of the stack; within a hit window, its children the same way.
    WindowHandle parent = 0;
    CWnd* hit = nullptr;
    for (bool descended = true; descended;) {
        descended = false;
        for (auto it = gWindows.rbegin(); it != gWindows.rend(); ++it) {
            CWnd* w = *it;
            if (w->parent_ == parent && w->IsWindowVisible() && !w->minimized_ && w->enabled_ &&
                w->GetWindowRect().Contains(x, y)) {
                hit = w;
                parent = w->handle_;
                descended = true;
                break;
            }
        }
    }
    return hit;
}

CWnd* CWnd::FindWindowToPaint() {
    for (CWnd* w : gWindows) {
        if (!w->update_.IsEmpty() && w->IsWindowVisible()) {
            return w;
        }
    }
    return nullptr;
}

std::vector<CWnd*> CWnd::GetAllWindows() {
    return gWindows;
}
