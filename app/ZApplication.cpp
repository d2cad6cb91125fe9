#include "app/ZApplication.h"

#include <algorithm>

#include "app/ZBackWindow.h"
#include "app/ZMainWindow.h"
#include "core/LinkEvents.h"
#include "graphics/ZColorTable.h"
#include "graphics/ZDisplayMode.h"
#include "graphics/ZLookupTable.h"
#include "graphics/ZScreenPalette.h"
#include "imaging/ZImageReader.h"
#include "platform/Clock.h"
#include "platform/Display.h"
#include "platform/Host.h"
#include "platform/MessageQueue.h"

namespace {

ZApplication* gApplication = nullptr;

// Paths this long are still kept whole; only the program's own path is recorded here.
constexpr int32_t kMaxPathLength = 4096;

}  // namespace

ZApplication::ZApplication(const char* title)
    : CWinApp(title), rootTaskManager_(0, ZTaskFlags::kNone, nullptr) {
    SetRootTaskManager(&rootTaskManager_);
    // Pictures reach the image readers through the table graphics keeps.
    InstallImageReaders();
    platform::SetCursor(platform::kCursorWait);
    ownFile_.SetPath(ZString(platform::ProgramPath().c_str(), kMaxPathLength), nullptr);
    ownFile_.CheckExists();
    initialized_ = true;
    gApplication = this;
}

ZApplication::~ZApplication() {
    Terminate();
    if (gApplication == this) {
        gApplication = nullptr;
    }
}

ZApplication* ZApplication::GetApplication() {
    return gApplication;
}

bool ZApplication::InitInstance() {
    if (!allowSeveralInstances_ && !instanceChecker_.Check(m_pszAppName.c_str())) {
        return false;
    }
    title_.Assign(m_pszAppName.c_str());
    commandLine_.Assign(m_lpCmdLine.c_str());
    BuildArguments(m_lpCmdLine.c_str());
    if (!Initialize()) {
        return false;
    }
    if (mainWindow_ != nullptr) {
        mainWindow_->PostMessage(platform::kMsgStart, 0, 0);
    }
    return true;
}

int ZApplication::Run() {
    platform::SetCursor(0);
    return CWinApp::Run();
}

bool ZApplication::PreTranslateMessage(platform::Message& message) {
    RunTasks();
    return CWinApp::PreTranslateMessage(message);
}

bool ZApplication::OnIdle(uint32_t) {
    RunTasks();
    if (mainWindow_ != nullptr) {
        ZEventHandler& root = *mainWindow_;
        root.BroadcastReverse(kLinkTick, static_cast<intptr_t>(platform::TickCount()), 0);
    }
    // What this pass drew reaches the real screen once, however many objects drew.
    platform::Display::Get().Present();
    return true;
}

int ZApplication::ExitInstance() {
    argv_.clear();
    argumentText_.clear();
    argc_ = 0;
    Terminate();
    return CWinApp::ExitInstance();
}

void ZApplication::Quit() {
    if (mainWindow_ != nullptr) {
        mainWindow_->PostMessage(platform::kMsgQuit, 0, 0);
    }
}

void ZApplication::Terminate() {
    if (!initialized_) {
        return;
    }
    // The panels go before the tasks: a panel may itself be a task of the root manager, and closing it
    // first lets it take itself out of the manager in its own way.
    RestoreDisplay();
    rootTaskManager_.ShutDownAll();
    CloseAudio();
    DeleteLookupTableManager();
    initialized_ = false;
}

void ZApplication::CreateLookupTableManager() {
    if (lookupTableManager_ == nullptr) {
        lookupTableManager_ = std::make_unique<ZLookupTableManager>();
        SetLookupTableManager(lookupTableManager_.get());
    }
}

void ZApplication::DeleteLookupTableManager() {
    if (lookupTableManager_ != nullptr && GetLookupTableManager() == lookupTableManager_.get()) {
        SetLookupTableManager(nullptr);
    }
    lookupTableManager_.reset();
}

void ZApplication::RunTasks() {
    ++idleCount_;
    rootTaskManager_.Run(idleCount_);
}

bool ZApplication::OpenAudio(const ZAudioEncodingFormat& format, int32_t blockBytes, int32_t levels) {
    return ::OpenAudio(audio_, format, blockBytes, levels);
}

void ZApplication::CloseAudio() {
    ::CloseAudio(audio_);
}

void ZApplication::Activate(bool active) {
    if (active) {
        ZScreenPalette::Get().OnActivate(true);
        ZDisplayMode::Get().OnActivate(true);
        if (audio_.device != nullptr) {
            StartAudioOutput();
        }
        ZWindow::ShowAllForActivation(true);
        if (mainWindow_ != nullptr) {
            mainWindow_->SetFocus();
        }
    } else {
        ZWindow::ShowAllForActivation(false);
        // Output pauses while another program is in front.
        if (audio_.device != nullptr) {
            StopAudioOutput();
        }
        ZDisplayMode::Get().OnActivate(false);
        ZScreenPalette::Get().OnActivate(false);
    }
}

void ZApplication::InstallColorTable(int32_t id) {
    ZColorTable* table = id != 0 ? ZColorTable::CreateFromMedia(uint16_t(id)) : nullptr;
    if (table == nullptr || table->GetCount() == 0) {
        // Without a current table an 8-bit back buffer has no palette to draw into, and the whole show
        // stays black: an item the container lacks gives the default table instead.
        if (table != nullptr) {
            table->Release();
        }
        table = ZColorTable::CreateBuiltIn(0);
    }
    if (table == nullptr) {
        return;
    }
    SetCurrentColorTable(table);
    ZScreenPalette::Get().RealizeCurrent();
    table->Release();
}

void ZApplication::SwitchDisplayMode(const ZDisplaySetUp& setUp) {
    ZDisplayMode& display = ZDisplayMode::Get();
    int32_t w = setUp.displayWidth, h = setUp.displayHeight, d = setUp.displayDepth;
    if (!display.SetDisplayMode(w, h, d, true) && !display.SetDisplayMode(w, h, 0, true)) {
        display.SetDisplayMode(0, 0, d, true);
    }
    if (mainWindow_ != nullptr) {
        // Centre the window's frame on the screen as it is now.
        ZRect screen = display.GetScreenRect();
        platform::ScreenRect frame = mainWindow_->GetWindowRect();
        int32_t left = (screen.Width() - frame.Width()) >> 1;
        int32_t top = (screen.Height() - frame.Height()) >> 1;
        mainWindow_->Move(ZRect::FromSize(frame.Width(), frame.Height()).Offset(left, top));
    }
}

void ZApplication::SetUpDisplay(const ZDisplaySetUp& setUp) {
    ZSystemPaletteFlags palette = ZSystemPaletteFlags::kNone;
    if (setUp.keepStaticColors) {
        palette = palette | ZSystemPaletteFlags::kKeepStatic;
    }
    if (setUp.replaceSystemColors) {
        palette = palette | ZSystemPaletteFlags::kMonoSystemColors;
    }
    ZScreenPalette::Get().SetSystemPaletteMode(palette);
    InstallColorTable(setUp.colorTableId);
    if (setUp.createBackWindow && backWindow_ == nullptr) {
        constexpr int32_t kBackPanelOwnerId = 4097;
        constexpr uint32_t kBackWindowId = 8191;
        auto* back = new ZBackWindow(kBackPanelOwnerId, kBackWindowId, true,
                                     ZWindowFlags::kTopmost | ZWindowFlags::kFollowsActivation);
        back->ShowWindow(kShowShow);
    }
    CreateMainWindow(ZDisplayMode::Get().GetScreenRect());
    if ((int64_t(setUp.displayWidth) * setUp.displayHeight) != 0 || setUp.displayDepth != 0) {
        SwitchDisplayMode(setUp);
    }
    if (mainWindow_ != nullptr) {
        mainWindow_->SetBackBuffers(setUp.bufferDepth, nullptr, std::min(setUp.bufferCount, 3));
        mainWindow_->BringToTop(false);
        mainWindow_->ValidateRect(nullptr);
    }
}

void ZApplication::RestoreDisplay() {
    if (mainWindow_ != nullptr) {
        mainWindow_->ClosePanels();
    }
    ZDisplayMode::Get().RestoreSettings();
    if (mainWindow_ != nullptr) {
        delete mainWindow_;  // its destructor clears mainWindow_
        mainWindow_ = nullptr;
    }
    // A fresh default table replaces whatever the show installed.
    InstallColorTable(0);
    if (backWindow_ != nullptr) {
        ZWindow* back = backWindow_;
        backWindow_ = nullptr;
        delete back;
    }
    ZScreenPalette::Get().RestoreSystemPalette();
}

void ZApplication::SetMainWindow(ZMainWindow* window) {
    mainWindow_ = window;
    m_pMainWnd = window;
    if (window != nullptr) {
        instanceChecker_.SetMainWindow(window->GetSafeHwnd());
    }
}

int ZApplication::ShowAlert(const char* text, int kind) const {
    return platform::ShowAlert(m_pszAppName.c_str(), text != nullptr ? text : "", kind);
}

void ZApplication::BuildArguments(const char* commandLine) {
    // Separators outside double quotes become NULs; quotes stay part of the arguments.
    std::string text = commandLine != nullptr ? commandLine : "";
    argumentText_.assign(text.begin(), text.end());
    argumentText_.push_back(0);
    bool inQuotes = false;
    for (char& c : argumentText_) {
        if (c == '"') {
            inQuotes = !inQuotes;
        } else if (!inQuotes && static_cast<unsigned char>(c) < 0x21) {
            c = 0;
        }
    }
    ownFile_.GetPath().GetFileName(programFileName_);
    argv_.clear();
    argv_.push_back(programFileName_.GetText() != nullptr ? const_cast<char*>(programFileName_.GetText())
                                                          : argumentText_.data() + text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (argumentText_[i] != 0 && (i == 0 || argumentText_[i - 1] == 0)) {
            argv_.push_back(argumentText_.data() + i);
        }
    }
    argc_ = static_cast<int>(argv_.size());
    argv_.push_back(nullptr);
}
