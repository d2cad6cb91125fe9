// The framework's application object: single-instance check, argument vector, the root task manager
// and the idle loop that drives it, display set-up and its undoing, activation, orderly shutdown.
// A program derives its own application from it and supplies Initialize and CreateMainWindow.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/ZInstanceChecker.h"
#include "audio/ZAudio.h"
#include "core/ZRect.h"
#include "core/ZString.h"
#include "core/ZTask.h"
#include "media/ZFileSpec.h"
#include "platform/CWinApp.h"

class ZLookupTableManager;
class ZMainWindow;
class ZWindow;

// What SetUpDisplay is asked to arrange.
struct ZDisplaySetUp {
    bool keepStaticColors = false;
    bool replaceSystemColors = false;
    int32_t colorTableId = 0;       // 0: the default table
    int32_t bufferCount = 1;        // back buffers of the main window, at most 3
    bool createBackWindow = false;  // a black backdrop over the whole screen behind the main window
    int32_t bufferDepth = 0;        // 0: the screen's depth
    int32_t displayWidth = 0;       // 0 x 0 with depth 0: no display mode change
    int32_t displayHeight = 0;
    int32_t displayDepth = 0;
};

class ZApplication : public CWinApp {
  public:
    // Alert kinds for ShowAlert.
    enum : int { kAlertError = 1, kAlertWarning = 2, kAlertInfo = 3 };

    explicit ZApplication(const char* title);
    ~ZApplication() override;

    // The application object of the process, or null.
    static ZApplication* GetApplication();

    bool InitInstance() override;
    int Run() override;
    bool PreTranslateMessage(platform::Message& message) override;
    bool OnIdle(uint32_t count) override;
    int ExitInstance() override;

    // Posts the quit message to the main window; without one nothing is posted.
    virtual void Quit();
    virtual bool Initialize() { return true; }
    // Restores the display, shuts down the tasks and closes audio; runs once, whoever calls it first.
    virtual void Terminate();
    // One pass of the root task manager.
    virtual void RunTasks();
    virtual void Activate(bool active);
    virtual void SetUpDisplay(const ZDisplaySetUp& setUp);
    // Closes the panels, deletes the main and back windows; safe when there is no main window.
    virtual void RestoreDisplay();
    virtual ZMainWindow* CreateMainWindow(const ZRect& screen) = 0;
    // The cache of clip and multiply tables shared by the pixel routines.
    virtual void CreateLookupTableManager();
    virtual void DeleteLookupTableManager();
    // Opens the program's audio: a device for format (blockBytes 0: the block rule) and its mixer with
    // levels. False when audio is disabled or no device could be made. Programs without sound never call it.
    virtual bool OpenAudio(const ZAudioEncodingFormat& format, int32_t blockBytes, int32_t levels);
    // Stops output and deletes the mixer, then the device; harmless when audio is not open.
    virtual void CloseAudio();
    // The mixer of the open audio, or null.
    ZAudioMixer* GetAudioMixer() const { return audio_.mixer.get(); }

    // Called by the main window's constructor and destructor.
    void SetMainWindow(ZMainWindow* window);
    ZMainWindow* GetMainWindow() const { return mainWindow_; }
    void SetBackWindow(ZWindow* window) { backWindow_ = window; }
    ZWindow* GetBackWindow() const { return backWindow_; }

    // A modal alert with the application title as caption and one OK button.
    int ShowAlert(const char* text, int kind) const;
    int ErrorAlert(const char* text) const { return ShowAlert(text, kAlertError); }
    int WarningAlert(const char* text) const { return ShowAlert(text, kAlertWarning); }

    // Builds the argument vector from the command-line text (done by InitInstance).
    void BuildArguments(const char* commandLine);
    int GetArgumentCount() const { return argc_; }
    // Element 0 is the program's file name; element count is null.
    char* const* GetArguments() const { return argv_.data(); }

    ZTaskManager& GetRootTaskManager() { return rootTaskManager_; }
    uint32_t GetIdleCount() const { return idleCount_; }
    bool IsInitialized() const { return initialized_; }
    const ZString& GetTitle() const { return title_; }
    ZFileSpec& GetOwnFile() { return ownFile_; }
    const ZString& GetCommandLine() const { return commandLine_; }
    const ZString& GetProgramFileName() const { return programFileName_; }
    void SetAllowSeveralInstances(bool allow) { allowSeveralInstances_ = allow; }

  private:
    // Makes the colour table item id (0: the built-in default) the current palette; an item that is
    // missing or has no entries gives the built-in default too.
    void InstallColorTable(int32_t id);
    // Asks for the display mode, falling back to the size alone, then the depth alone; re-centres the
    // main window.
    void SwitchDisplayMode(const ZDisplaySetUp& setUp);

    ZMainWindow* mainWindow_ = nullptr;
    ZWindow* backWindow_ = nullptr;
    bool initialized_ = false;
    uint32_t idleCount_ = 0;  // wraps: a busy loop passes 2^31 within days
    ZString title_;
    ZFileSpec ownFile_;  // the program's own path
    bool allowSeveralInstances_ = false;
    ZString commandLine_;
    ZString programFileName_;
    std::vector<char> argumentText_;
    std::vector<char*> argv_;
    int argc_ = 0;
    ZTaskManager rootTaskManager_;
    std::unique_ptr<ZLookupTableManager> lookupTableManager_;
    ZAudio audio_;
    ZInstanceChecker instanceChecker_;
};
