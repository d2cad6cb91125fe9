// kestapp under the real screensaver daemon (xscreensaver), end to end: the daemon runs on an Xvfb server
// of the test's own with a scratch home whose ~/.xscreensaver lists the hack as the README says, and
// activating it puts the scene on the screen; deactivating it ends the hack cleanly. The daemon runs no
// hacks as root, so under root the daemon and its hack run as the unprivileged user "nobody".
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// After GoogleTest, for Xlib's macros.
#include "tests/support/XShow.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

constexpr uid_t kNobody = 65534;

bool OnPath(const char* program) {
    return std::system((std::string("command -v ") + program + " > /dev/null 2>&1").c_str()) == 0;
}

// Whether a process runs the program at path (its first argument).
bool ProcessRuns(const std::string& path) {
    bool found = false;
    if (DIR* proc = opendir("/proc")) {
        while (dirent* entry = readdir(proc)) {
            std::ifstream in(std::string("/proc/") + entry->d_name + "/cmdline");
            std::string first;
            std::getline(in, first, '\0');
            found = found || first == path;
        }
        closedir(proc);
    }
    return found;
}

class DaemonXvfb : public XvfbTest {
  protected:
    void SetUp() override {
        for (const char* program : {"xscreensaver", "xscreensaver-command", "setpriv"}) {
            if (!OnPath(program)) {
                GTEST_SKIP() << program << " is not installed (scripts/setup-debian.sh installs it)";
            }
        }
        Start("1024x768x24", "kest-daemon");
        if (IsSkipped()) {
            return;
        }
        // The hack, its photos and the daemon's settings live in the home, readable by the user they run
        // as. The hack's line is the README's with the Photos option of its settings (the demo's container
        // under another name) and the seed of the reference scene.
        program_ = home_ / "kestapp";
        fs::copy_file(KESTAPP_PATH, program_);
        fs::copy_file(KEST_DEMO_MEDIA, home_ / "photos.msf");
        std::ofstream(home_ / ".xscreensaver")
            << "mode: one\n"
               "selected: 0\n"
               "lock: False\n"
               "splash: False\n"
               "fade: False\n"
               "timeout: 0:30:00\n"
               "programs: "
            << program_.string() << " -root --media " << (home_ / "photos.msf").string() << " --seed=1 \\n\n";
        if (getuid() == 0) {
            for (const fs::path& p : {home_, program_, home_ / ".xscreensaver", home_ / "photos.msf"}) {
                ASSERT_EQ(chown(p.c_str(), kNobody, kNobody), 0) << p;
            }
            chmod(home_.c_str(), 0755);
        }
        daemon_ = Spawn("xscreensaver -no-splash -verbose > '" + (home_ / "daemon.log").string() + "' 2>&1");
    }
    void TearDown() override {
        if (daemon_ > 0) {
            Run("xscreensaver-command -exit");
            if (!WaitFor(std::chrono::seconds(5),
                         [&] { return waitpid(daemon_, nullptr, WNOHANG) == daemon_; })) {
                kill(-daemon_, SIGKILL);
                waitpid(daemon_, nullptr, 0);
            }
        }
        XvfbTest::TearDown();
    }

    // The shell command line, in the home and environment of the user the daemon runs as.
    std::string AsUser(const std::string& command) const {
        std::string drop = getuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
        const char* asan = std::getenv("ASAN_OPTIONS");
        // Leaks at exit are the headless tests' business (see Program).
        std::string asanOptions =
            (asan != nullptr && asan[0] != 0 ? std::string(asan) + ":" : "") + "detect_leaks=0";
        return drop + "env -i HOME='" + home_.string() + "' DISPLAY='" + server_->Name() +
               "' PATH=/usr/bin:/bin ASAN_OPTIONS='" + asanOptions + "' sh -c \"" + command + "\"";
    }
    int Run(const std::string& command) const {
        int status = std::system((AsUser(command) + " > /dev/null 2>&1").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    pid_t Spawn(const std::string& command) const {
        pid_t pid = fork();
        if (pid == 0) {
            setpgid(0, 0);
            execl("/bin/sh", "sh", "-c", AsUser(command).c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }
    std::string DaemonLog() const {
        std::ifstream in(home_ / "daemon.log");
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path program_;
    pid_t daemon_ = -1;
};

TEST_F(DaemonXvfb, ActivatingTheDaemonShowsTheSceneAndDeactivatingEndsTheHack) {
    Image scene = HeadlessScene();
    ASSERT_EQ(scene.width, kSceneWidth);

    // The daemon takes commands once it has started.
    ASSERT_TRUE(WaitFor(std::chrono::seconds(20), [&] { return Run("xscreensaver-command -activate") == 0; }))
        << DaemonLog();
    Window root = DefaultRootWindow(x_);
    double distance = 255;
    bool shown = WaitFor(std::chrono::seconds(30), [&] {
        distance = SceneDistance(Grab(x_, root), scene);
        return distance <= 6;
    });
    EXPECT_TRUE(shown) << "the screen differs from the scene by " << distance << "\n" << DaemonLog();
    EXPECT_TRUE(ProcessRuns(program_.string())) << DaemonLog();

    // Deactivating kills the hack; it ends without a complaint the daemon would log.
    ASSERT_EQ(Run("xscreensaver-command -deactivate"), 0);
    EXPECT_TRUE(WaitFor(std::chrono::seconds(10), [&] { return !ProcessRuns(program_.string()); }))
        << DaemonLog();
    EXPECT_EQ(DaemonLog().find("abnormally"), std::string::npos) << DaemonLog();
    EXPECT_EQ(DaemonLog().find("unknown option"), std::string::npos) << DaemonLog();
}

}  // namespace
