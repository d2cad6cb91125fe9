// A platform window joined to the framework: a member of the global window list and the owner of the
// panels drawn in it. Mouse and key messages become framework events for those panels; paint messages
// draw them.
#pragma once

#include <cstdint>
#include <memory>

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

class ZWindow : public CWnd, public ZListElement {
  public:
    // Type codes kept by each window class.
    enum : int32_t {
        kTypeWindow = 1792,
        kTypeMainWindow = 1793,
        kTypeBackWindow = 1794,
        kTypeProjectWindow = 1795
    };

    // With kCreate, the platform window is created at once (clamped to the screen, titled with the
    // application title when title is null). The window joins the global window list in every case.
    ZWindow(int32_t panelOwnerId, uint32_t windowId, const ZRect& rect, ZWindowFlags flags,
            const char* title);
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
    // Closes and deletes every panel of the window.
    virtual void ClosePanels();

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

    int32_t GetType() const { return type_; }
    int32_t GetPanelOwnerId() const { return panelOwnerId_; }
    bool IsBeingDestroyed() const { return beingDestroyed_; }
    bool FollowsActivation() const { return followsActivation_; }
    // The root of the window's notification tree: ticks and input reach the panels through it.
    ZEventHandler& GetEventHandler() { return eventHandler_; }

    bool OnWndMsg(uint32_t message, platform::WParam wParam, platform::LParam lParam,
                  platform::LResult* result) override;

  protected:
    bool Create(uint32_t windowId, const ZRect& rect, bool clamp, const char* title, uint32_t style);
    // Clears the update rectangle to black in the back buffer (or on the window when it has none) and
    // copies it to the screen.
    virtual void Paint(const platform::ScreenRect& update);

    int32_t type_ = kTypeWindow;

  private:
    static constexpr int32_t kMaxBackBuffers = 3;
    std::unique_ptr<ZOffscreen> backBuffers_[kMaxBackBuffers];
    int32_t bufferCount_ = 0;
    int32_t currentBuffer_ = 0;
    int32_t panelOwnerId_;
    ZEventHandler eventHandler_;
    bool topmost_;
    bool followsActivation_;
    bool beingDestroyed_ = false;
};
