#include "app/CMainWindow.h"

#include <cstdio>

#include "app/CProjectApplication.h"
#include "platform/Display.h"

namespace {

// The scene is made for a screen of this size at least.
constexpr int32_t kSceneWidth = 800;
constexpr int32_t kSceneHeight = 600;

}  // namespace

CMainWindow::CMainWindow(int32_t panelOwnerId, uint32_t windowId, const ZRect& rect, ZWindowFlags flags)
    : ZMainWindow(panelOwnerId, windowId, rect, flags) {
    SetClassId(kTypeProjectWindow);
}

void CMainWindow::StartHook() {
    auto* app = static_cast<CProjectApplication*>(ZApplication::GetApplication());
    if (app == nullptr) {
        return;
    }
    const platform::ScreenMode& mode = platform::Display::Get().GetMode();
    if (mode.depth < 8) {
        if (app->IsSaverMode()) {
            app->ErrorAlert("This program requires a display with at least 256 colors.");
        }
        app->Quit();
    } else if (mode.width >= kSceneWidth && mode.height >= kSceneHeight) {
        if (OpenPanel(kScenePanelClass, kScenePanelId, false) == nullptr) {
            // A program built without its scene has nothing to show.
            if (app->IsSaverMode()) {
                app->ErrorAlert("Unable to create the scene.");
            } else {
                std::fprintf(stderr, "%s: Unable to create the scene.\n", app->m_pszAppName.c_str());
            }
            app->Quit();
            return;
        }
        Show(true, ZRedraw::kYes);
    } else {
        if (app->IsSaverMode()) {
            app->ErrorAlert("This program requires a display resolution of at least 800x600.");
        }
        app->Quit();
    }
}
