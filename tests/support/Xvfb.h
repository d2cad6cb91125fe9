// An Xvfb server for one test. Display numbers are tried from one derived from the process id, so that
// parallel runs rarely meet; a number in use makes the server exit at once, and the next is tried. The
// server must not reset when our probing connection closes, or the next connection may find it away.
#pragma once

#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace testsupport {

class Xvfb {
  public:
    // screen: Xvfb's WxHxD for its one screen.
    explicit Xvfb(const std::string& screen = "640x480x24") {
        int first = 100 + int(getpid() % 800);
        for (int number = first; number < first + 5 && name_.empty() && !missing_; ++number) {
            Start(number, screen);
        }
    }
    ~Xvfb() { Stop(); }
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    // The display name (":123"), empty when no server runs.
    const std::string& Name() const { return name_; }
    // Why no server runs, for a test's skip message.
    std::string Problem() const {
        return missing_ ? "Xvfb is not installed" : "Xvfb did not start on any of five display numbers";
    }

  private:
    void Start(int number, const std::string& screen) {
        std::string name = ":" + std::to_string(number);
        if (access(("/tmp/.X" + std::to_string(number) + "-lock").c_str(), F_OK) == 0) {
            return;  // another server holds it: never talk to that one by mistake
        }
        pid_ = fork();
        if (pid_ == 0) {
            execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                   "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        // Up to ten seconds for the server to take connections.
        for (int i = 0; i < 200 && pid_ > 0; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                missing_ = WIFEXITED(status) && WEXITSTATUS(status) == 127;
                pid_ = -1;  // not installed, or the number is taken
                return;
            }
            if (::Display* x = XOpenDisplay(name.c_str())) {
                XCloseDisplay(x);
                name_ = name;
                return;
            }
            usleep(50000);
        }
        Stop();
    }
    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

    pid_t pid_ = -1;
    bool missing_ = false;
    std::string name_;
};

}  // namespace testsupport
