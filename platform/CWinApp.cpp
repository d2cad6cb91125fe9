#include "platform/CWinApp.h"

#include <cstdio>
#include <vector>

#include "platform/CWnd.h"
#include "platform/Clock.h"
#include "platform/Display.h"
#include "platform/Input.h"
#include "platform/MessageQueue.h"
#include "platform/Snapshot.h"
#include "platform/VideoBackend.h"

namespace {
CWinApp* gCurrentApp = nullptr;
}

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName != nullptr ? appName : "") {
    gCurrentApp = this;
}

CWinApp::~CWinApp() {
    if (gCurrentApp == this) {
        gCurrentApp = nullptr;
    }
}

CWinApp* CWinApp::GetCurrent() {
    return gCurrentApp;
}

bool CWinApp::PreTranslateMessage(platform::Message&) {
    return false;
}

bool CWinApp::OnIdle(uint32_t) {
    return false;
}

void CWinApp::Dispatch(const platform::Message& message) {
    platform::SetMessageTime(message.time);
    if (CWnd* window = CWnd::FromHandle(message.window)) {
        window->WindowProc(message.message, message.wParam, message.lParam);
    }
}

void CWinApp::TakeInput(uint32_t timeoutMs) {
    platform::VideoBackend* backend = platform::GetVideoBackend();
    if (backend == nullptr) {
        if (timeoutMs > 0) {
            platform::Sleep(timeoutMs);
        }
        return;
    }
    std::vector<platform::InputEvent> events;
    backend->WaitInput(events, timeoutMs);
    for (const platform::InputEvent& event : events) {
        platform::DeliverInput(event);
    }
}

bool CWinApp::NextMessage(platform::Message& message) {
    if (platform::TakeMessage(message)) {
        return true;
    }
    // Paint requests come after posted messages, as they do on every windowing system.
    if (CWnd* window = CWnd::FindWindowToPaint()) {
        message = platform::Message{window->GetSafeHwnd(), platform::kMsgPaint, 0, 0, platform::TickCount()};
        return true;
    }
    return false;
}

bool CWinApp::PumpOnce() {
    if (platform::TakeQuitRequest()) {
        platform::PostQuitMessage(0);
    }
    if (runLimitMs_ != 0 && platform::TickCount() - runStart_ >= runLimitMs_) {
        runLimitMs_ = 0;
        platform::PostQuitMessage(0);
    }
    TakeInput(0);
    platform::Message message;
    if (NextMessage(message)) {
        if (message.message == platform::kMsgQuit) {
            exitCode_ = static_cast<int>(message.wParam);
            return false;
        }
        if (!PreTranslateMessage(message)) {
            Dispatch(message);
        }
        idlePending_ = true;
        idleCount_ = 0;
        return true;
    }
    if (idlePending_) {
        idlePending_ = OnIdle(idleCount_++);
        TakeInput(kIdlePaceMs);
    } else {
        TakeInput(kIdleWaitMs);
    }
    return true;
}

int CWinApp::Run() {
    runStart_ = platform::TickCount();
    if (m_pMainWnd != nullptr) {
        while (PumpOnce()) {
        }
    }
    if (!snapshotPath_.empty()) {
        std::string error;
        if (!platform::WritePngSnapshot(platform::Display::Get(), snapshotPath_, error)) {
            std::fprintf(stderr, "%s: %s\n", m_pszAppName.c_str(), error.c_str());
        }
    }
    return ExitInstance();
}
