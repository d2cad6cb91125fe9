// Shared pieces of the control tests: a window that records what its objects ask of it, objects that
// record what reaches them, and a fixture that puts the controls' process-wide state back.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/ZControl.h"
#include "controls/ZControlState.h"
#include "controls/ZPanel.h"
#include "controls/ZPanelHost.h"
#include "controls/ZPanelOwner.h"
#include "graphics/ZGraphicDevice.h"
#include "graphics/ZOffscreen.h"

namespace controlstest {

// What happened, in order: "draw A", "down B", "visible C", "start P", ...
inline std::vector<std::string>& Log() {
    static std::vector<std::string> log;
    return log;
}

inline std::string Join(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        out += (out.empty() ? "" : " ") + item;
    }
    return out;
}

// The entries of the log that start with prefix, without it, joined by spaces.
inline std::string Logged(const std::string& prefix) {
    std::vector<std::string> picked;
    for (const std::string& entry : Log()) {
        if (entry.rfind(prefix, 0) == 0) {
            picked.push_back(entry.substr(prefix.size()));
        }
    }
    return Join(picked);
}

// A window of 640 x 480 that draws into one back buffer and counts what it is asked.
class TestWindow : public ZPanelOwner, public ZPanelHost {
  public:
    TestWindow() : ZPanelOwner(1792, 1), buffer_(ZRect::FromSize(640, 480), 32, nullptr, kKindMemory) {
        SetFrame(ZRect::FromSize(640, 480));
    }

    ZPanelHost* GetWindow() override { return this; }
    void DrawContent(ZGraphicDevice&, const ZRect&) override { Log().push_back("draw window"); }

    void InvalidateRect(const ZRect& rect) override { invalidated.push_back(rect); }
    void ValidateRect(const ZRect& rect) override { validated.push_back(rect); }
    ZHostDevice MakeDevice() override {
        ++devices;
        return ZHostDevice{std::make_unique<ZGraphicDevice>(buffer_), ZRect::FromSize(640, 480), true};
    }
    void PresentBackBuffer(const ZRect& rect) override { presented.push_back(rect); }
    void DrawOverlays(ZGraphicDevice&, const ZRect&) override { ++overlayPasses; }
    void AdoptChangedPalette() override {}
    void SetCursor(int32_t id) override { cursors.push_back(id); }
    void CaptureMouse() override { ++captures; }
    void ReleaseMouse() override { ++releases; }
    const ZOffscreen& Buffer() const { return buffer_; }

    std::vector<ZRect> invalidated;
    std::vector<ZRect> validated;
    std::vector<ZRect> presented;
    std::vector<int32_t> cursors;
    int devices = 0;
    int overlayPasses = 0;
    int captures = 0;
    int releases = 0;

  private:
    ZOffscreen buffer_;
};

// A control that logs what reaches it under its name. It uses mouse-downs unless told to let them
// through.
class Probe : public ZControl {
  public:
    Probe(std::string name, int32_t x, int32_t y, int32_t layer, int32_t width, int32_t height,
          ZPanel* panel = BuildingPanel(), int32_t id = 0)
        : ZControl(1, id, x, y, layer, width, height, panel), name_(std::move(name)) {}
    ~Probe() override { Log().push_back("gone " + name_); }

    void DrawContent(ZGraphicDevice&, const ZRect& rect) override {
        Log().push_back("draw " + name_);
        drawn.push_back(rect);
    }
    bool MouseDown(const ZMouseEvent& event) override {
        if (IsDraggable()) {
            return ZControl::MouseDown(event);
        }
        Log().push_back("down " + name_);
        return usesMouse;
    }
    bool KeyDown(const ZKeyEvent&) override {
        Log().push_back("key " + name_);
        return false;
    }
    void VisibilityChanged() override { Log().push_back("visible " + name_); }
    void SetFocus(bool focus) override {
        Log().push_back((focus ? "focus " : "blur ") + name_);
        ZControl::SetFocus(focus);
    }
    bool HandleEvent(int kind, intptr_t data, intptr_t extra) override {
        Log().push_back("event " + name_ + " " + std::to_string(kind) + " " + std::to_string(data));
        lastExtra = extra;
        return consumesEvents;
    }

    const std::string& Name() const { return name_; }

    bool usesMouse = true;
    bool consumesEvents = true;
    intptr_t lastExtra = 0;
    std::vector<ZRect> drawn;

  private:
    std::string name_;
};

class ControlsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetControlState();
        Log().clear();
    }
    void TearDown() override {
        ResetControlState();
        Log().clear();
    }
};

inline ZMouseEvent Mouse(int32_t x, int32_t y) {
    ZMouseEvent event;
    event.x = x;
    event.y = y;
    event.buttons = kButtonLeft;
    return event;
}

}  // namespace controlstest
