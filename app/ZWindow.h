// A platform window joined to the framework: a member of the global window list and the panel owner at
// the root of the graphic tree drawn in it. Mouse and key messages become framework events for its
// panels; paint messages draw them, through the back buffer when the window has one.
#pragma once

#include <cstdint>
#include <memory>

#include "controls/ZPanelHost.h"
#include "controls/ZPanelOwner.h"
#include "core/ZFlags.h"
#include "core/ZLinkedList.h"
#include "core/ZRect.h"
#include "core/ZTLink.h"
#include "platform/CWnd.h"

class ZColorTable;
class ZOffscreen;

// How a window is made and how it behaves; combine with |.
enum class ZWindowFlags : uint32_t {
    kNone = 0,
    kCreate = 1u << 0,             // create the platform window at once
    kTopmost = 1u << 1,            // keep a top-level window above the others
    kFollowsActivation = 1u << 2,  // hide and show the window as the application loses and regains activation
};
template <>
inline constexpr bool kIsFlagSet<ZWindowFlags> = true;

class ZWindow : public CWnd, public ZListElement, public ZPanelOwner, public ZPanelHost {
  public:
    // Type codes kept by each window class as its panel owner's class id.
    enum : int32_t {
        kTypeWindow = 1792,
        kTypeMainWindow = 1793,
        kTypeBackWindow = 1794,
        kTypeProjectWindow = 1795
    };
    // Buttons pressed within this many milliseconds of the last release count as one more click.
    static constexpr uint32_t kDoubleClickTime = 500;

    // With kCreate, the platform window is created at once (clamped to the screen, titled with the
    // application title when title is null). The window joins the global window list in every case.
    ZWindow(int32_t panelOwnerId, uint32_t windowId, const ZRect& rect, ZWindowFlags flags,
            const char* title);
    // Closes the panels first, while the window can still answer them, then the platform window.
    ~ZWindow() override;

    // Windows of the preview mode are created as children of this platform window (0: top-level windows).
    static void SetPreviewParent(platform::WindowHandle parent);
    static platform::WindowHandle GetPreviewParent();

    // With check set, false when the window is hidden or already on top; otherwise raises and activates it.
    virtual bool BringToTop(bool check);
    // Deletes the window unless it is being destroyed already.
    virtual void Close();
    // Asks for the rectangle (null: everything) to be drawn again.
    virtual void Redraw(const ZRect* rect);

    // Moves the platform window to rect (screen coordinates for top-level windows); with resizeBuffers the
    // back buffers take the new size.
    void Move(const ZRect& rect, bool resizeBuffers = false);
    // Replaces the back buffers: count (at most one is made) platform-bitmap offscreens of depth (0: the
    // screen's) and of rect's size (null: the window's). A buffer without pixels is not kept.
    void SetBackBuffers(int32_t depth, const ZRect* rect, int32_t count);
    int32_t GetBackBufferCount() const { return bufferCount_; }
    ZOffscreen* GetBackBuffer() const {
        return bufferCount_ > 0 ? backBuffers_[currentBuffer_].get() : nullptr;
    }
    // Gives table to the back buffers of every window (without converting their pixels) and clears the
    // palette-changed flag.
    static void PropagateColorTable(ZColorTable* table);
    // Shows or hides every window that follows application activation.
    static void ShowAllForActivation(bool active);

    int32_t GetType() const { return GetClassId(); }
    bool IsBeingDestroyed() const { return beingDestroyed_; }
    bool FollowsActivation() const { return followsActivation_; }
    // The clicks counted by the last mouse message with a button held (1 for a single click).
    int32_t GetClickCount() const { return clickCount_; }

    // The graphic tree's side: the window answers for itself, shows and enables its platform window
    // along with the tree, and fills what no panel covers with the background colour.
    ZPanelHost* GetWindow() override { return this; }
    void Show(bool visible, ZRedraw redraw) override;
    bool SetEnabled(bool enabled) override;
    void DrawContent(ZGraphicDevice& device, const ZRect& rect) override;

    // The host's side, for the objects of the tree.
    void InvalidateRect(const ZRect& rect) override;
    void ValidateRect(const ZRect& rect) override;
    ZHostDevice MakeDevice() override;
    void PresentBackBuffer(const ZRect& rect) override;
    void DrawOverlays(ZGraphicDevice& device, const ZRect& clip) override;
    void AdoptChangedPalette() override;
    void SetCursor(int32_t id) override;
    void CaptureMouse() override;
    void ReleaseMouse() override;

    bool OnWndMsg(uint32_t message, platform::WParam wParam, platform::LParam lParam,
                  platform::LResult* result) override;

    // The platform's names stay usable beside the tree's.
    using CWnd::GetParent;
    using CWnd::InvalidateRect;
    using CWnd::SetFocus;
    using CWnd::ValidateRect;
    using ZGraphicObject::SetFocus;

  protected:
    bool Create(uint32_t windowId, const ZRect& rect, bool clamp, const char* title, uint32_t style);
    // Draws the update rectangle of the tree.
    virtual void Paint(const platform::ScreenRect& update);

  private:
    // Drawing needs both the tree and the platform window to be showing.
    bool IsShowing() const { return IsVisible() && IsWindowVisible(); }
    ZMouseEvent MakeMouseEvent(platform::WParam wParam, platform::LParam lParam);
    bool OnMouseMessage(uint32_t message, platform::WParam wParam, platform::LParam lParam);
    bool OnKeyMessage(uint32_t message, platform::WParam wParam, platform::LParam lParam);

    static constexpr int32_t kMaxBackBuffers = 3;
    std::unique_ptr<ZOffscreen> backBuffers_[kMaxBackBuffers];
    int32_t bufferCount_ = 0;
    int32_t currentBuffer_ = 0;
    bool topmost_;
    bool followsActivation_;
    bool beingDestroyed_ = false;
    int32_t clickCount_ = 0;
    bool buttonHeld_ = false;
    uint32_t releaseTime_ = 0;
};
