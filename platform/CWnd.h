// Platform windows. A window is a rectangle on the virtual screen (or inside its parent's client area)
// with a handle, a place in the stacking order, visibility, an update region and a window procedure.
// Messages for a window arrive through the message queue and reach WindowProc.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/CObject.h"
#include "platform/Messages.h"

// Window styles the framework uses.
enum : uint32_t {
    kStylePopup = 0x80000000u,
    kStyleChild = 0x40000000u,
    kStyleMinimize = 0x20000000u,
    kStyleVisible = 0x10000000u,
    kStyleDisabled = 0x08000000u,
    kStyleClipChildren = 0x02000000u,
    kStyleMaximize = 0x01000000u,
    kStyleSysMenu = 0x00080000u,
};

// Show commands.
enum : int {
    kShowHide = 0,
    kShowNormal = 1,
    kShowMaximized = 3,
    kShowShow = 5,
    kShowMinimize = 6,
    kShowRestore = 9,
};

class CWnd : public CObject {
  public:
    CWnd() = default;
    // Destroys the platform window if it still exists.
    ~CWnd() override;

    // Creates the platform window. rect is in screen coordinates for a top-level window and in the
    // parent's client coordinates for a child (kStyleChild with a parent handle). False when the parent
    // does not exist or this object already has a window.
    bool CreateEx(uint32_t exStyle, const char* title, uint32_t style, const platform::ScreenRect& rect,
                  platform::WindowHandle parent, uint32_t id);
    // Destroys the platform window and its children's windows; the objects stay. Destroying the
    // application's main window posts the quit message.
    bool DestroyWindow();

    platform::WindowHandle GetSafeHwnd() const { return handle_; }
    // The window a handle names. A handle that names none of ours may name a window of the host's window
    // system (a preview area): the video backend is asked, and such a window is adopted as a visible
    // top-level window at the top left of the virtual screen, so that ours can be created inside it.
    static CWnd* FromHandle(platform::WindowHandle handle);
    bool IsForeign() const { return foreign_; }
    // The host destroyed a foreign window: it and the windows inside it are destroyed, as a parent's
    // destruction takes its children (and the main window's ends the message loop).
    static void ForeignWindowGone(platform::WindowHandle handle);
    static bool IsWindow(platform::WindowHandle handle) { return FromHandle(handle) != nullptr; }

    // Every message for this window comes through here: OnWndMsg first, DefWindowProc when it declines.
    virtual platform::LResult WindowProc(uint32_t message, platform::WParam wParam, platform::LParam lParam);
    // Handles a message and stores the answer in result; false lets the default handling run.
    virtual bool OnWndMsg(uint32_t message, platform::WParam wParam, platform::LParam lParam,
                          platform::LResult* result);
    virtual platform::LResult DefWindowProc(uint32_t message, platform::WParam wParam,
                                            platform::LParam lParam);
    // Synchronous delivery, bypassing the queue.
    platform::LResult SendMessage(uint32_t message, platform::WParam wParam = 0, platform::LParam lParam = 0);
    void PostMessage(uint32_t message, platform::WParam wParam = 0, platform::LParam lParam = 0) const;

    bool ShowWindow(int command);
    bool IsWindowVisible() const;  // this window and every parent shown
    bool IsIconic() const { return minimized_; }
    bool IsZoomed() const { return (style_ & kStyleMaximize) != 0; }
    bool EnableWindow(bool enable);  // returns whether it was disabled before
    bool IsWindowEnabled() const { return enabled_; }
    uint32_t GetStyle() const { return style_; }
    uint32_t GetDlgCtrlID() const { return id_; }
    CWnd* GetParent() const;

    // rect in the same coordinates as CreateEx.
    void MoveWindow(const platform::ScreenRect& rect, bool repaint = true);
    void SetTopmost(bool topmost);
    bool IsTopmost() const { return topmost_; }
    // Raises the window to the top of its band (topmost windows stay above the others).
    void BringWindowToTop();
    bool IsOnTop() const;
    platform::ScreenRect GetWindowRect() const;  // screen coordinates
    platform::ScreenRect GetClientRect() const;  // 0, 0, width, height
    void SetWindowText(const char* text) { title_ = text != nullptr ? text : ""; }
    const std::string& GetWindowText() const { return title_; }

    // The update region is kept as one bounding rectangle; null means the whole client area.
    void InvalidateRect(const platform::ScreenRect* rect);
    void ValidateRect(const platform::ScreenRect* rect);
    bool GetUpdateRect(platform::ScreenRect& rect) const;
    // Returns the update rectangle and validates it.
    platform::ScreenRect BeginPaint();
    void EndPaint() {}

    CWnd* SetFocus();  // returns the window that had the focus
    static CWnd* GetFocus();
    CWnd* SetCapture();
    static void ReleaseCapture();
    static CWnd* GetCapture();
    CWnd* SetActiveWindow();
    static CWnd* GetActiveWindow();
    bool SetForegroundWindow() { return SetActiveWindow(), true; }
    CWnd* GetLastActivePopup() { return this; }

    // The visible, enabled window at a screen point, children before parents, top before bottom.
    static CWnd* WindowFromPoint(int32_t x, int32_t y);
    // A window that has an update region waiting, or null.
    static CWnd* FindWindowToPaint();
    // All windows in stacking order, bottom first.
    static std::vector<CWnd*> GetAllWindows();

  protected:
    // Called after the platform window has gone.
    virtual void PostNcDestroy() {}

  private:
    static CWnd* AdoptForeign(platform::WindowHandle handle, int32_t width, int32_t height);

    platform::WindowHandle handle_ = 0;
    platform::WindowHandle parent_ = 0;
    platform::ScreenRect rect_;  // in CreateEx coordinates
    platform::ScreenRect update_;
    std::string title_;
    uint32_t style_ = 0;
    uint32_t id_ = 0;
    bool shown_ = false;
    bool minimized_ = false;
    bool enabled_ = true;
    bool topmost_ = false;
    bool foreign_ = false;
};
