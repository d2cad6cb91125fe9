// A window of the framework through the real SDL backend, on SDL's dummy driver (no display needed, the
// window still renders into memory): a picture control drawn through the back buffer reaches the real
// window, and a click made as SDL reports it reaches the control and its panel.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/ZWindow.h"
#include "controls/ZControlState.h"
#include "controls/ZPanel.h"
#include "controls/ZPictureControl.h"
#include "graphics/ZPicture.h"
#include "platform/Display.h"
#include "platform/Input.h"
#include "platform/MessageQueue.h"
#include "platform/VideoBackend.h"

namespace {

// A panel that keeps the notifications its controls send.
class ListeningPanel : public ZPanel {
  public:
    bool HandleEvent(int kind, intptr_t data, intptr_t) override {
        heard.push_back(std::to_string(kind) + ":" + std::to_string(data));
        return true;
    }
    std::vector<std::string> heard;
};

void PushMouse(uint32_t type, int32_t x, int32_t y) {
    SDL_Event e{};
    e.type = type;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.button.x = x;
    e.button.y = y;
    SDL_PushEvent(&e);
}

}  // namespace

TEST(WindowSdl, APictureControlReachesTheRealWindowAndHearsAClick) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_RENDER_DRIVER", "software", 1);
    std::string error;
    std::unique_ptr<platform::VideoBackend> sdl = platform::CreateVideoBackend("sdl", {}, error);
    if (sdl == nullptr) {
        GTEST_SKIP() << "SDL's dummy driver is not available: " << error;
    }
    platform::SetVideoBackend(sdl.get());
    platform::Display& display = platform::Display::Get();
    display.Reset(platform::ScreenMode{320, 240, 32});
    ResetControlState();
    platform::ClearMessages();
    platform::ResetInputState();
    {
        // Short of the whole screen, so that the real window shows the screen unscaled; at (10, 20), so
        // that client and screen coordinates differ.
        ZWindow window(1, 1, ZRect::FromSize(300, 200).Offset(10, 20), ZWindowFlags::kCreate, "smoke");
        window.Show(true, ZRedraw::kNo);
        window.SetBackBuffers(0, nullptr, 1);
        auto* panel = new ListeningPanel;
        panel->Open(&window, false);
        window.ActivatePanel(panel->GetId(), false);

        // A 40 x 30 picture: red on the left half, blue on the right.
        auto* picture = new ZPicture(ZRect::FromSize(40, 30), 32, nullptr);
        const uint8_t red[3] = {255, 0, 0};
        const uint8_t blue[3] = {0, 0, 255};
        ZRect left = ZRect::FromSize(20, 30);
        ZRect right = left.Offset(20, 0);
        picture->GetFirstOffscreen()->Fill(&left, red);
        picture->GetFirstOffscreen()->Fill(&right, blue);
        new ZPictureControl(5, picture, 100, 80, 0, 0, 0, panel);
        picture->Release();

        window.Redraw(nullptr);
        window.SendMessage(platform::kMsgPaint);
        display.Present();
        std::vector<uint32_t> pixels;
        int32_t w = 0, h = 0;
        ASSERT_TRUE(sdl->ReadWindow(pixels, w, h));
        ASSERT_EQ(w, 320);
        ASSERT_EQ(h, 240);
        auto at = [&](int32_t x, int32_t y) { return pixels[size_t(y) * size_t(w) + size_t(x)] & 0xFFFFFF; };
        // The control at (100, 80) of the client area is at (110, 100) of the screen.
        EXPECT_EQ(at(110, 100), 0xFF0000u);
        EXPECT_EQ(at(129, 129), 0xFF0000u);
        EXPECT_EQ(at(130, 100), 0x0000FFu);
        EXPECT_EQ(at(149, 129), 0x0000FFu);
        EXPECT_EQ(at(109, 100), 0u);
        EXPECT_EQ(at(150, 100), 0u);
        EXPECT_EQ(at(110, 130), 0u);

        // A click on the picture, as SDL reports it: pressed (17), then clicked (18), from control 5.
        std::vector<platform::InputEvent> drain;
        sdl->WaitInput(drain, 0);
        PushMouse(SDL_MOUSEBUTTONDOWN, 120, 110);
        PushMouse(SDL_MOUSEBUTTONUP, 121, 111);
        std::vector<platform::InputEvent> events;
        sdl->WaitInput(events, 0);
        for (const platform::InputEvent& in : events) {
            platform::DeliverInput(in);
        }
        platform::Message m;
        while (platform::TakeMessage(m)) {
            if (CWnd* target = CWnd::FromHandle(m.window)) {
                target->WindowProc(m.message, m.wParam, m.lParam);
            }
        }
        EXPECT_EQ(panel->heard, (std::vector<std::string>{"17:5", "18:5"}));
    }
    platform::SetVideoBackend(nullptr);
    sdl.reset();
    display.Reset(platform::ScreenMode{});
    platform::ClearMessages();
    ResetControlState();
    unsetenv("SDL_VIDEODRIVER");
    unsetenv("SDL_RENDER_DRIVER");
}
