// The platform's application object and its message loop. The loop dispatches queued messages, paints
// windows whose update region is waiting, and between messages runs idle passes; after each idle pass it
// waits for input for at most a few milliseconds, so an idle program costs little CPU while its ticks stay
// far finer than any animation interval.
#pragma once

#include <cstdint>
#include <string>

#include "platform/CObject.h"
#include "platform/Messages.h"

class CWnd;

class CWinApp : public CObject {
  public:
    // How long the loop waits for input after an idle pass that asked for more: the pace of animation
    // ticks. 10 ms keeps a 25-frames-a-second animation within a tenth of its interval while waking the
    // program 100 times a second instead of 250.
    static constexpr uint32_t kIdlePaceMs = 10;
    // How long it waits per turn once idle processing is done.
    static constexpr uint32_t kIdleWaitMs = 50;

    explicit CWinApp(const char* appName);
    ~CWinApp() override;

    // The application object of the process (the last one constructed and not yet destroyed).
    static CWinApp* GetCurrent();

    virtual bool InitInstance() { return true; }
    // Runs the message loop until the quit message, then returns ExitInstance's result. Ends at once when
    // there is no main window.
    virtual int Run();
    // Gives the application a look at each message before it is dispatched; true swallows it.
    virtual bool PreTranslateMessage(platform::Message& message);
    // Called while no message waits; return true to be called again before the loop waits.
    virtual bool OnIdle(uint32_t count);
    virtual int ExitInstance() { return exitCode_; }
    // The application's own command line described for --help (one or more lines).
    virtual const char* GetUsage() const { return ""; }

    // Ends the loop after this many milliseconds of clock time (0: no limit).
    void SetRunLimit(uint32_t ms) { runLimitMs_ = ms; }
    // Writes the virtual screen to this PNG file when the loop ends (empty: no snapshot).
    void SetSnapshotPath(const std::string& path) { snapshotPath_ = path; }
    // The media container the user named on the command line (empty: none named); the application
    // decides what it means.
    void SetMediaFile(const std::string& path) { mediaFile_ = path; }
    const std::string& GetMediaFile() const { return mediaFile_; }
    // One turn of the loop: takes in input, then dispatches one message or runs one idle pass (and waits
    // briefly). Returns false once the quit message was taken. Run is a loop of these; tests call it.
    bool PumpOnce();

    CWnd* m_pMainWnd = nullptr;
    std::string m_pszAppName;
    std::string m_lpCmdLine;  // the command-line text after the program name

  protected:
    int exitCode_ = 0;

  private:
    void Dispatch(const platform::Message& message);
    void TakeInput(uint32_t timeoutMs);
    bool NextMessage(platform::Message& message);

    uint32_t runLimitMs_ = 0;
    uint32_t runStart_ = 0;
    uint32_t idleCount_ = 0;
    bool idlePending_ = true;
    std::string snapshotPath_;
    std::string mediaFile_;
};
