// Host services: profile files, the single-instance lock across processes, signals, options, snapshots.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/Display.h"
#include "platform/Host.h"
#include "platform/InstanceLock.h"
#include "platform/Main.h"
#include "platform/MessageQueue.h"
#include "platform/Signals.h"
#include "platform/Snapshot.h"

namespace fs = std::filesystem;

namespace {

fs::path MakeTempDir(const char* tag) {
    std::string pattern = (fs::temp_directory_path() / (std::string("kest-") + tag + "-XXXXXX")).string();
    char* made = mkdtemp(pattern.data());
    return made != nullptr ? fs::path(made) : fs::path();
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Points the lock directory at a private folder for the test's lifetime.
struct PrivateRuntimeDir {
    fs::path dir = MakeTempDir("run");
    PrivateRuntimeDir() { setenv("XDG_RUNTIME_DIR", dir.c_str(), 1); }
    ~PrivateRuntimeDir() {
        unsetenv("XDG_RUNTIME_DIR");
        fs::remove_all(dir);
    }
};

}  // namespace

TEST(PlatformProfile, SectionsKeysCommentsAndLimits) {
    std::string text =
        "; comment\r\n"
        "[Other]\nMediaPath=wrong\n"
        "[ paths ]\r\n"
        "  mediapath  =   /srv/media/  \r\n"
        ";MediaPath=commented\n"
        "Long=" +
        std::string(200, 'x') +
        "\n"
        "Empty=\n";
    using platform::ReadProfileText;
    EXPECT_EQ(ReadProfileText(text, "Paths", "MediaPath", "dflt"), "/srv/media/");
    EXPECT_EQ(ReadProfileText(text, "PATHS", "MEDIAPATH", "dflt"), "/srv/media/");
    EXPECT_EQ(ReadProfileText(text, "Paths", "Long", ""), std::string(127, 'x'));
    EXPECT_EQ(ReadProfileText(text, "Paths", "Empty", "dflt"), "");
    EXPECT_EQ(ReadProfileText(text, "Paths", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ReadProfileText(text, "Nowhere", "MediaPath", nullptr), "");
    EXPECT_EQ(ReadProfileText("[Paths]\nMediaPath", "Paths", "MediaPath", "d"), "d");  // no '='
}

TEST(PlatformProfile, LookupOrderConfigThenCurrentDirectory) {
    fs::path config = MakeTempDir("cfg");
    fs::path work = MakeTempDir("cwd");
    fs::path oldCwd = fs::current_path();
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    fs::current_path(work);
    const std::string name = "kest-profile-test.ini";

    WriteFile(work / name, "[Paths]\nMediaPath=from-cwd\n");
    EXPECT_EQ(platform::ReadProfileString(name, "Paths", "MediaPath", ""), "from-cwd");
    WriteFile(config / name, "[Paths]\nMediaPath=from-config\n");
    EXPECT_EQ(platform::ReadProfileString(name, "Paths", "MediaPath", ""), "from-config");
    // A path with a directory is read as it is.
    EXPECT_EQ(platform::ReadProfileString((work / name).string(), "Paths", "MediaPath", ""), "from-cwd");

    std::vector<std::string> dirs = platform::ProfileSearchDirs();
    ASSERT_EQ(dirs.size(), 3u);
    EXPECT_EQ(dirs[0], fs::path(platform::ProgramPath()).parent_path().string());
    EXPECT_EQ(dirs[1], config.string());
    EXPECT_EQ(dirs[2], ".");

    fs::current_path(oldCwd);
    unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(config);
    fs::remove_all(work);
}

TEST(PlatformInstanceLock, OtherProcessIsRefusedAndACrashedHolderDoesNotBlock) {
    PrivateRuntimeDir runtime;
    int toParent[2];
    int toChild[2];
    ASSERT_EQ(pipe(toParent), 0);
    ASSERT_EQ(pipe(toChild), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::InstanceLock lock;
        char ok = lock.Acquire("LockTest") && lock.WriteWindow(0x1234) ? 'y' : 'n';
        (void)!write(toParent[1], &ok, 1);
        char go;
        (void)!read(toChild[0], &go, 1);
        raise(SIGKILL);  // dies holding the lock, as a crash would
    }
    char ok = 0;
    ASSERT_EQ(read(toParent[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y');

    platform::InstanceLock second;
    EXPECT_FALSE(second.Acquire("LockTest"));
    EXPECT_EQ(platform::InstanceLock::ReadRunningWindow("LockTest"), 0x1234u);
    platform::InstanceLock otherTitle;
    EXPECT_TRUE(otherTitle.Acquire("LockTest2"));

    char go = 'g';
    ASSERT_EQ(write(toChild[1], &go, 1), 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(second.Acquire("LockTest"));
    EXPECT_EQ(platform::InstanceLock::ReadRunningWindow("LockTest"), 0u);  // the new holder starts at 0
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) {
        close(fd);
    }
}

TEST(PlatformInstanceLock, OfManySimultaneousStartsExactlyOneRuns) {
    PrivateRuntimeDir runtime;
    constexpr int kStarts = 8;
    int release[2];
    ASSERT_EQ(pipe(release), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < kStarts; ++i) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(release[1]);
            platform::InstanceLock lock;
            bool won = lock.Acquire("RaceTest");
            char dummy;
            (void)!read(release[0], &dummy, 1);  // hold until every start has tried
            _exit(won ? 0 : 3);
        }
        children.push_back(child);
    }
    close(release[0]);
    usleep(200 * 1000);  // let every child reach its attempt; the count below holds either way
    close(release[1]);
    int winners = 0;
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        winners += WEXITSTATUS(status) == 0 ? 1 : 0;
    }
    EXPECT_EQ(winners, 1);
}

namespace {
int gCrashCalls = 0;
void CountCrash(int signal, void* context) {
    ++gCrashCalls;
    char code = static_cast<char>(signal);
    (void)!write(*static_cast<int*>(context), &code, 1);
}
}  // namespace

TEST(PlatformSignals, CrashHandlerRunsOnceThenTheSignalEndsTheProcess) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        platform::InstallCrashHandler(CountCrash, &fds[1]);
        raise(SIGFPE);
        _exit(0);  // not reached: the default action ends the process
    }
    close(fds[1]);
    int status = 0;
    waitpid(child, &status, 0);
    char buffer[8];
    ssize_t n = read(fds[0], buffer, sizeof buffer);
    close(fds[0]);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGFPE);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(buffer[0], SIGFPE);
}

TEST(PlatformSignals, TerminationAsksTheLoopToQuit) {
    platform::ClearMessages();
    platform::InstallTerminationHandlers();
    EXPECT_FALSE(platform::TakeQuitRequest());
    raise(SIGTERM);
    EXPECT_TRUE(platform::TakeQuitRequest());
    EXPECT_FALSE(platform::TakeQuitRequest());
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);

    // A second request while the first still waits (the loop is stuck in a modal alert) ends the process.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::InstallTerminationHandlers();
        raise(SIGINT);
        raise(SIGINT);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGINT);
}

TEST(PlatformOptions, PlatformOptionsFirstTheRestReachesTheApplication) {
    const char* argv[] = {"kestapp",
                          "--video=headless",
                          "--screen=800x600x16",
                          "--seconds=5",
                          "--seed=42",
                          "--snapshot=out.png",
                          "--media=/srv/show.msf",
                          "/p",
                          "1234",
                          "a b"};
    platform::RunOptions o;
    std::string error;
    ASSERT_TRUE(platform::ParseRunOptions(10, argv, o, error)) << error;
    EXPECT_EQ(o.video, "headless");
    EXPECT_EQ(o.screen.width, 800);
    EXPECT_EQ(o.screen.height, 600);
    EXPECT_EQ(o.screen.depth, 16);
    EXPECT_EQ(o.seconds, 5u);
    EXPECT_TRUE(o.hasSeed);
    EXPECT_EQ(o.seed, 42u);
    EXPECT_EQ(o.snapshot, "out.png");
    EXPECT_EQ(o.media, "/srv/show.msf");
    EXPECT_EQ(o.commandLine, "/p 1234 \"a b\"");

    // "--" ends the options; later "--x" belongs to the application.
    const char* argv2[] = {"kestapp", "--", "--s"};
    platform::RunOptions o2;
    ASSERT_TRUE(platform::ParseRunOptions(3, argv2, o2, error));
    EXPECT_EQ(o2.commandLine, "--s");
    EXPECT_EQ(o2.screen.width, 1024);

    // Options stop at the first argument that is not one.
    const char* argv3[] = {"kestapp", "/s", "--seconds=3"};
    platform::RunOptions o3;
    ASSERT_TRUE(platform::ParseRunOptions(3, argv3, o3, error));
    EXPECT_EQ(o3.seconds, 0u);
    EXPECT_EQ(o3.commandLine, "/s --seconds=3");
}

TEST(PlatformOptions, BadValuesAreRefusedWithAReason) {
    const char* bad[] = {"--screen=800x600",      "--screen=800x600x12",
                         "--screen=0x600x32",     "--screen=800x600x32x",
                         "--screen=99999x600x32", "--seconds=-1",
                         "--seconds=9999999999",  "--seed=x",
                         "--snapshot=",           "--media=",
                         "--frobnicate",          "--video"};
    for (const char* arg : bad) {
        const char* argv[] = {"kestapp", arg};
        platform::RunOptions o;
        std::string error;
        EXPECT_FALSE(platform::ParseRunOptions(2, argv, o, error)) << arg;
        EXPECT_FALSE(error.empty()) << arg;
    }
}

TEST(PlatformSnapshot, WritesAPngOfTheScreen) {
    platform::Display& display = platform::Display::Get();
    ASSERT_TRUE(display.SetMode(platform::ScreenMode{64, 48, 32}));
    display.FillRect(platform::ScreenRect{-5, -5, 10, 10}, 0xFF8000);
    display.UpdateFrame();
    EXPECT_EQ(display.GetFrame()[0], 0xFF8000u);
    EXPECT_EQ(display.GetFrame()[10], 0u);
    fs::path dir = MakeTempDir("png");
    std::string error;
    ASSERT_TRUE(platform::WritePngSnapshot(display, (dir / "s.png").string(), error)) << error;
    std::ifstream in(dir / "s.png", std::ios::binary);
    char header[24] = {};
    in.read(header, sizeof header);
    EXPECT_EQ(std::string(header + 1, 3), "PNG");
    EXPECT_EQ(static_cast<unsigned char>(header[19]), 64);  // IHDR width, big-endian
    EXPECT_EQ(static_cast<unsigned char>(header[23]), 48);
    EXPECT_FALSE(platform::WritePngSnapshot(display, (dir / "missing" / "s.png").string(), error));
    EXPECT_FALSE(display.SetMode(platform::ScreenMode{64, 48, 12}));
    fs::remove_all(dir);
}
