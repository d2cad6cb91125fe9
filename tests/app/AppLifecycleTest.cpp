// The application's life: start-up by mode, the idle pass, and an orderly shutdown.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/CMainPanel.h"
#include "app/CMainWindow.h"
#include "app/CProjectApplication.h"
#include "app/ZSettingsFile.h"
#include "audio/ZAudioDevice.h"
#include "core/LinkEvents.h"
#include "core/ZFactory.h"
#include "graphics/ZColorTable.h"
#include "graphics/ZOffscreen.h"
#include "platform/Clock.h"
#include "platform/Display.h"
#include "platform/MessageQueue.h"
#include "platform/headless/HeadlessVideo.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> gLog;

// A screensaver whose container "opens" on request, for the paths beyond the container.
class TestApplication : public CProjectApplication {
  public:
    bool containerOpens = true;
    using CProjectApplication::SeparateContainerPath;

  protected:
    bool OpenMediaContainer() override { return containerOpens; }
};

class LoggingTask : public ZTask {
  public:
    LoggingTask(ZTaskManager* manager)
        : ZTask(0, ZTaskFlags::kActive | ZTaskFlags::kOwnedByManager | ZTaskFlags::kDeleteWhenFinished,
                manager) {}
    ~LoggingTask() override { gLog.push_back("task deleted"); }
    bool Run(uint32_t count) override {
        gLog.push_back("run " + std::to_string(count));
        return true;
    }
};

class TickRecorder : public ZEventHandler {
  public:
    bool HandleEvent(int kind, intptr_t data, intptr_t) override {
        gLog.push_back("event " + std::to_string(kind) + " " + std::to_string(data));
        return false;
    }
};

class PanelLoggingWindow : public ZMainWindow {
  public:
    PanelLoggingWindow() : ZMainWindow(1, 1, ZRect{0, 0, 600, 800}, ZWindowFlags::kNone) {}
    void ClosePanels() override { gLog.push_back("panels closed"); }
};

class AppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gLog.clear();
        platform::ClearMessages();
        runtime_ = fs::temp_directory_path() / ("kest-app-" + std::to_string(getpid()));
        fs::create_directories(runtime_);
        setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        video_ = std::make_unique<platform::HeadlessVideo>(true);
        platform::SetVideoBackend(video_.get());
        platform::Display::Get().SetMode(platform::ScreenMode{1280, 1024, 32});
    }
    void TearDown() override {
        platform::SetVideoBackend(nullptr);
        video_.reset();
        platform::ClearMessages();
        fs::remove_all(runtime_);
    }
    const std::vector<std::string>& Alerts() { return video_->GetAlerts(); }

    fs::path runtime_;
    std::unique_ptr<platform::HeadlessVideo> video_;
};

}  // namespace

TEST_F(AppTest, OneIdlePassIsOneTaskPassPlusOneTick) {
    TestApplication app;
    new LoggingTask(&app.GetRootTaskManager());
    PanelLoggingWindow* window = new PanelLoggingWindow;
    TickRecorder recorder;
    recorder.AttachAsFirstChild(static_cast<ZEventHandler*>(window));
    ASSERT_EQ(app.GetMainWindow(), window);

    uint32_t now = platform::TickCount();
    EXPECT_TRUE(app.OnIdle(0));
    EXPECT_EQ(gLog, (std::vector<std::string>{"run 1", "event 2 " + std::to_string(now)}));
    EXPECT_EQ(app.GetIdleCount(), 1u);

    // Before each dispatched message the tasks run once more, without a tick.
    gLog.clear();
    platform::Message m;
    EXPECT_FALSE(app.PreTranslateMessage(m));
    EXPECT_EQ(gLog, (std::vector<std::string>{"run 2"}));
    recorder.Detach();
}

TEST_F(AppTest, TerminateClosesThePanelsBeforeTheTasksAndRunsOnce) {
    auto app = std::make_unique<TestApplication>();
    new LoggingTask(&app->GetRootTaskManager());
    new PanelLoggingWindow;
    app->Terminate();
    EXPECT_EQ(gLog, (std::vector<std::string>{"panels closed", "task deleted"}));
    EXPECT_EQ(app->GetMainWindow(), nullptr);
    EXPECT_EQ(app->m_pMainWnd, nullptr);
    EXPECT_EQ(app->GetRootTaskManager().GetTaskCount(), 0);
    EXPECT_FALSE(app->IsInitialized());
    gLog.clear();
    app->Terminate();
    app.reset();  // the destructor's Terminate does nothing more
    EXPECT_TRUE(gLog.empty());
}

// A program with sound opens audio on the null output; leaving the foreground pauses output, and
// Terminate closes it all (the mixer's thread joined, no device left).
TEST_F(AppTest, AudioFollowsActivationAndEndsWithTerminate) {
    auto app = std::make_unique<TestApplication>();
    AudioOptions().outputName = "null";
    ASSERT_TRUE(app->OpenAudio(ZAudioEncodingFormat(ZAudioFormat(1, 22050, 16)), 0, 0));
    ASSERT_NE(app->GetAudioMixer(), nullptr);
    EXPECT_NE(ZAudioDevice::GetCurrent(), nullptr);
    EXPECT_TRUE(IsAudioOutputRunning());
    app->Activate(false);
    EXPECT_FALSE(IsAudioOutputRunning());
    app->Activate(true);
    EXPECT_TRUE(IsAudioOutputRunning());
    app->Terminate();
    EXPECT_EQ(app->GetAudioMixer(), nullptr);
    EXPECT_EQ(ZAudioDevice::GetCurrent(), nullptr);
    EXPECT_FALSE(IsAudioOutputRunning());
    AudioOptions().outputName.clear();
}

TEST_F(AppTest, WithoutAMainWindowQuitPostsNothingAndRestoreDisplayIsSafe) {
    TestApplication app;
    app.Quit();
    EXPECT_FALSE(platform::HasMessage());
    app.RestoreDisplay();
    app.RestoreDisplay();
    EXPECT_EQ(app.Run(), 0);  // no main window: the loop ends at once
}

TEST_F(AppTest, ConfigureModeWarnsAndEndsNormally) {
    TestApplication app;
    app.m_lpCmdLine = "/c";
    ASSERT_TRUE(app.InitInstance());
    ASSERT_EQ(Alerts().size(), 1u);
    EXPECT_EQ(Alerts()[0], "KestApp: This screensaver has no settings.");
    EXPECT_EQ(app.GetMainWindow(), nullptr);
    EXPECT_FALSE(platform::HasMessage());
    EXPECT_EQ(app.Run(), 0);
}

TEST_F(AppTest, WithoutContainerOnlySaverModeSpeaksAndStartUpFails) {
    const char* lines[] = {"/s", "/c", "/p 1234", "/a", "/x"};
    for (const char* line : lines) {
        TestApplication app;
        app.containerOpens = false;
        app.m_lpCmdLine = line;
        size_t before = Alerts().size();
        EXPECT_FALSE(app.InitInstance()) << line;
        size_t expected = std::string(line) == "/s" ? 1 : 0;
        ASSERT_EQ(Alerts().size() - before, expected) << line;
        if (expected == 1) {
            EXPECT_EQ(Alerts().back(), "KestApp: Unable to open media file.");
        }
    }
}

TEST_F(AppTest, SaverModeOpensTheCentredWindowAndTheStartMessageChecksTheDisplay) {
    TestApplication app;
    app.m_lpCmdLine = "/s";
    ASSERT_TRUE(app.InitInstance());
    ZMainWindow* window = app.GetMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->GetType(), ZWindow::kTypeProjectWindow);
    // Made centred on the 1280x1024 screen (not maximised: shorter than it), then the screen switched to
    // 800x600 and the window was centred again.
    EXPECT_FALSE(window->IsZoomed());
    EXPECT_EQ(platform::Display::Get().GetMode(), (platform::ScreenMode{800, 600, 32}));
    platform::ScreenRect r = window->GetWindowRect();
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.Width(), 800);
    EXPECT_EQ(r.Height(), 600);
    platform::Message m;
    ASSERT_TRUE(platform::TakeMessage(m));
    EXPECT_EQ(m.message, platform::kMsgStart);
    EXPECT_EQ(m.window, window->GetSafeHwnd());
    {
        // Without a scene class the start fails clearly.
        ZFactory empty;
        ZFactory* previous = ZFactory::SetFactory(&empty);
        window->WindowProc(m.message, m.wParam, m.lParam);
        ZFactory::SetFactory(previous);
        ASSERT_EQ(Alerts().size(), 1u);
        EXPECT_EQ(Alerts()[0], "KestApp: Unable to create the scene.");
        ASSERT_TRUE(platform::TakeMessage(m));
        EXPECT_EQ(m.message, platform::kMsgQuit);
    }
    // With the scene installed as the program installs it, the show goes on, even without its media.
    ZFactory factory;
    ZFactory* previous = ZFactory::SetFactory(&factory);
    CMainPanel::Install(&factory);
    window->SendMessage(platform::kMsgStart);
    ZFactory::SetFactory(previous);
    EXPECT_EQ(Alerts().size(), 1u);
    EXPECT_FALSE(platform::HasMessage());  // display large enough: the show goes on
    EXPECT_NE(dynamic_cast<CMainPanel*>(window->FindPanel(CMainWindow::kScenePanelId)), nullptr);

    // The system's request to start a screensaver is dropped while the window exists.
    EXPECT_EQ(window->SendMessage(platform::kMsgSysCommand, platform::kSysCommandScreenSave), 0);
    // Closing the window quits.
    window->SendMessage(platform::kMsgClose);
    ASSERT_TRUE(platform::TakeMessage(m));
    EXPECT_EQ(m.message, platform::kMsgQuit);
}

TEST_F(AppTest, ADisplayTooSmallEndsTheShowWithAMessageInSaverModeOnly) {
    platform::Display::Get().SetMode(platform::ScreenMode{640, 480, 32});
    CWnd host;  // the preview's parent window
    ASSERT_TRUE(
        host.CreateEx(0, "host", kStylePopup | kStyleVisible, platform::ScreenRect{0, 0, 160, 120}, 0, 0));
    const std::string lines[] = {"/s", "/p " + std::to_string(host.GetSafeHwnd())};
    for (const std::string& line : lines) {
        TestApplication app;
        app.m_lpCmdLine = line;
        size_t before = Alerts().size();
        ASSERT_TRUE(app.InitInstance()) << line;
        ASSERT_NE(app.GetMainWindow(), nullptr) << line;
        // The show switched the screen to 800x600; something made it smaller again before the start.
        platform::Display::Get().SetMode(platform::ScreenMode{640, 480, 32});
        app.GetMainWindow()->SendMessage(platform::kMsgStart);
        if (app.IsSaverMode()) {
            ASSERT_EQ(Alerts().size(), before + 1);
            EXPECT_EQ(Alerts().back(),
                      "KestApp: This program requires a display resolution of at least 800x600.");
        } else {
            EXPECT_EQ(Alerts().size(), before);
        }
        platform::Message m;
        bool quit = false;
        while (platform::TakeMessage(m)) {
            quit = quit || m.message == platform::kMsgQuit;
        }
        EXPECT_TRUE(quit) << line;
        app.Terminate();
        ZWindow::SetPreviewParent(0);
    }
}

TEST_F(AppTest, PreviewModeNeedsAnExistingParentAndCentresTheSceneInIt) {
    platform::Display::Get().SetMode(platform::ScreenMode{1024, 768, 32});
    {
        TestApplication app;
        app.m_lpCmdLine = "/p 1234";  // names no window
        ASSERT_TRUE(app.InitInstance());
        EXPECT_EQ(app.GetMainWindow(), nullptr);
        EXPECT_EQ(app.Run(), 0);
        ZWindow::SetPreviewParent(0);
    }
    CWnd parent;
    ASSERT_TRUE(parent.CreateEx(0, "host", kStylePopup | kStyleVisible,
                                platform::ScreenRect{300, 200, 452, 312}, 0, 0));
    TestApplication app;
    app.m_lpCmdLine = "/p " + std::to_string(parent.GetSafeHwnd());
    ASSERT_TRUE(app.InitInstance());
    ZMainWindow* window = app.GetMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->GetParent(), &parent);
    platform::ScreenRect r = window->GetWindowRect();
    EXPECT_EQ(r.left, 300 + 17);
    EXPECT_EQ(r.top, 200 + 12);
    EXPECT_EQ(r.Width(), 118);
    EXPECT_EQ(r.Height(), 87);
    // The host closing the preview's parent takes the window along and ends the loop.
    parent.DestroyWindow();
    EXPECT_EQ(app.Run(), 0);
    ZWindow::SetPreviewParent(0);
}

TEST_F(AppTest, ASecondInstanceEndsAtOnce) {
    TestApplication first;
    first.m_lpCmdLine = "/s";
    ASSERT_TRUE(first.InitInstance());
    platform::ClearMessages();
    {
        // Both application objects live in one process here; a later start in another process meets the
        // same lock (see the program test).
        ZInstanceChecker second;
        EXPECT_FALSE(second.Check("KestApp"));
    }
    first.Terminate();
}

TEST_F(AppTest, SettingsFileNameAndContainerPath) {
    EXPECT_STREQ(ZSettingsFile("KestApp").GetFileName().GetText(), "kestapp.ini");
    EXPECT_STREQ(ZSettingsFile("Dir.X/KestApp.EXE").GetFileName().GetText(), "dir.x/kestapp.ini");

    fs::path config = runtime_ / "config";
    fs::create_directories(config);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    TestApplication app;
    EXPECT_STREQ(app.SeparateContainerPath().GetText(), "KestApp.MSF");  // no profile: current directory
    std::ofstream(config / "kestapp.ini") << "[Paths]\nMediaPath=   /srv/kest/media/  \n";
    EXPECT_STREQ(app.SeparateContainerPath().GetText(), "/srv/kest/media/KestApp.MSF");
    unsetenv("XDG_CONFIG_HOME");
}

TEST_F(AppTest, TheShowSetsUpTheDisplayAtEveryDepthAndPutsItBack) {
    for (int32_t depth : {8, 15, 16, 24, 32}) {
        const platform::ScreenMode start{1024, 768, depth};
        platform::Display& display = platform::Display::Get();
        display.Reset(start);
        SetCurrentColorTable(nullptr);  // so that a table left by the last run cannot stand in for one
        const std::vector<uint32_t> colorsBefore(display.GetSystemColors(), display.GetSystemColors() + 25);
        {
            TestApplication app;
            app.m_lpCmdLine = "/s";
            ASSERT_TRUE(app.InitInstance()) << depth;
            EXPECT_EQ(display.GetMode(), (platform::ScreenMode{800, 600, depth}));
            EXPECT_EQ(display.GetPaletteUse(), platform::kPaletteUseNoStatic);
            ZMainWindow* window = app.GetMainWindow();
            ASSERT_NE(window, nullptr);
            ASSERT_EQ(window->GetBackBufferCount(), 1);
            EXPECT_EQ(window->GetBackBuffer()->GetDepth(), depth == 16 ? 15 : depth);
            // The container has no colour table item here, yet the screen gets a palette of colours to
            // draw with: the default table, whose entry 1 is dark red.
            ZColorTable* table = GetCurrentColorTable();
            ASSERT_NE(table, nullptr) << depth;
            EXPECT_EQ(table->GetCount(), 256) << depth;
            table->Release();
            EXPECT_EQ(std::vector<uint8_t>(display.GetPalette() + 3, display.GetPalette() + 6),
                      (std::vector<uint8_t>{128, 0, 0}));
            // A paint reaches the screen through the back buffer.
            uint32_t presents = display.GetPresentCount();
            window->InvalidateRect(nullptr);
            for (int i = 0; i < 4; ++i) {
                app.PumpOnce();
            }
            EXPECT_GT(display.GetPresentCount(), presents);
            app.Terminate();
        }
        EXPECT_EQ(display.GetMode(), start) << depth;
        EXPECT_EQ(display.GetPaletteUse(), platform::kPaletteUseStatic);
        EXPECT_EQ(std::vector<uint32_t>(display.GetSystemColors(), display.GetSystemColors() + 25),
                  colorsBefore);
        platform::ClearMessages();
    }
}
