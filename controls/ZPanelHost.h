// What a window does for the graphic objects it hosts. Controls know windows only through this
// interface, so that the control library does not depend on the application; the window class
// implements it and answers itself from GetWindow.
#pragma once

#include <cstdint>
#include <memory>

#include "core/ZRect.h"
#include "graphics/ZGraphicDevice.h"

// A device to draw a tree into, made by the host for one drawing pass.
struct ZHostDevice {
    std::unique_ptr<ZGraphicDevice> device;  // null when the host cannot draw now
    ZRect area;                              // what the device covers, in window coordinates
    bool backBuffer = false;                 // true: PresentBackBuffer must show what was drawn
};

class ZPanelHost {
  public:
    virtual ~ZPanelHost() = default;

    // Asks for rect (window coordinates) to be painted again, without erasing it first.
    virtual void InvalidateRect(const ZRect& rect) = 0;
    // Marks rect as painted, so that no paint request for it follows.
    virtual void ValidateRect(const ZRect& rect) = 0;
    // A device on the current back buffer, or on the window itself when there is none.
    virtual ZHostDevice MakeDevice() = 0;
    // Called after a pass that drew into a back buffer, once its device is gone: copies rect of the
    // buffer to the window and moves on to the next buffer.
    virtual void PresentBackBuffer(const ZRect& rect) = 0;
    // Called once per drawing pass, after the tree and before the buffer is shown: whatever is drawn
    // above every object (the overlay pass).
    virtual void DrawOverlays(ZGraphicDevice& device, const ZRect& clip) = 0;
    // Called before drawing when the shared palette changed since the last pass: the back buffers
    // take on the new palette.
    virtual void AdoptChangedPalette() = 0;
    // Shows cursor id: up to 31999 one of the program's own cursors, above that a platform cursor.
    // Never 0; the caller resolves the default first.
    virtual void SetCursor(int32_t id) = 0;
    // Takes the platform mouse capture for the window while an object holds the framework's capture,
    // and gives it back when the button is released.
    virtual void CaptureMouse() = 0;
    virtual void ReleaseMouse() = 0;
};
