#include "app/ZBackWindow.h"

#include "app/ZApplication.h"
#include "graphics/ZFader.h"
#include "platform/Display.h"

namespace {

constexpr int32_t kFadeMilliseconds = 600;

}  // namespace

ZBackWindow::ZBackWindow(int32_t panelOwnerId, uint32_t windowId, bool fade, ZWindowFlags flags)
    : ZWindow(panelOwnerId, windowId, ZRect{},
              ZWindowFlags(uint32_t(flags) & ~uint32_t(ZWindowFlags::kCreate)), nullptr) {
    SetClassId(kTypeBackWindow);
    if (ZApplication* app = ZApplication::GetApplication()) {
        app->SetBackWindow(this);
    }
    static const uint8_t kBlack[3] = {0, 0, 0};
    ZFader fader;
    if (fade) {
        fader.Fade(100, 0, kFadeMilliseconds, nullptr, kBlack, 0);
    }
    platform::ScreenRect screen = platform::Display::Get().GetRect();
    Create(windowId, ZRect{screen.top, screen.left, screen.bottom, screen.right}, false, nullptr, 0);
    if (fade) {
        fader.ApplyLevel(100, 100, kBlack);
    }
    SetEnabled(false);
}

ZBackWindow::~ZBackWindow() {
    ZApplication* app = ZApplication::GetApplication();
    if (app != nullptr && app->GetBackWindow() == this) {
        app->SetBackWindow(nullptr);
    }
}
