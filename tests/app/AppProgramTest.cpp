// The kestapp program as a user runs it: exit statuses, messages, help, and the single-instance rule.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/InstanceLock.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string output;  // stdout and stderr together
};

// Runs kestapp with a private lock directory and no profile file in reach.
Result RunKestapp(const std::string& args, const fs::path& runtime) {
    std::string command = "cd '" + runtime.string() + "' && XDG_RUNTIME_DIR='" + runtime.string() +
                          "' XDG_CONFIG_HOME='" + runtime.string() +
                          "' DISPLAY= WAYLAND_DISPLAY= '" KESTAPP_PATH "' " + args + " 2>&1";
    Result r;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return r;
    }
    char buffer[512];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        r.output.append(buffer, n);
    }
    int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

class AppProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        runtime_ = fs::temp_directory_path() / ("kest-program-" + std::to_string(getpid()));
        fs::create_directories(runtime_);
    }
    void TearDown() override { fs::remove_all(runtime_); }
    fs::path runtime_;
};

}  // namespace

TEST_F(AppProgram, WithoutContainerEveryModeEndsWithStatusOneAndOnlySaverModeSaysWhy) {
    Result saver = RunKestapp("--video=headless /s", runtime_);
    EXPECT_EQ(saver.status, 1);
    EXPECT_EQ(saver.output, "KestApp: Unable to open media file.\n");
    for (const char* line : {"/x", "/c", "/p 1234", "/a", ""}) {
        Result r = RunKestapp(std::string("--video=headless ") + line, runtime_);
        EXPECT_EQ(r.status, 1) << line;
        EXPECT_EQ(r.output, "") << line;
    }
}

TEST_F(AppProgram, HelpVersionAndBadOptions) {
    Result help = RunKestapp("--help", runtime_);
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"--video=", "--screen=", "--seconds=", "--seed=", "--snapshot=", "headless",
                             "/s", "/p HANDLE", "/c", "/a"}) {
        EXPECT_NE(help.output.find(word), std::string::npos) << word;
    }
    Result version = RunKestapp("--version", runtime_);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output.rfind("kestapp ", 0), 0u);
    Result bad = RunKestapp("--screen=1x1x3 /s", runtime_);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.output.find("bad screen"), std::string::npos);
    Result unknownBackend = RunKestapp("--video=nothing /s", runtime_);
    EXPECT_EQ(unknownBackend.status, 1);
    EXPECT_NE(unknownBackend.output.find("unknown video backend"), std::string::npos);
}

TEST_F(AppProgram, ASecondStartEndsAtOnceWithoutAMessage) {
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    platform::InstanceLock running;  // this test process plays the running instance
    ASSERT_TRUE(running.Acquire("KestApp"));
    Result second = RunKestapp("--video=headless /s", runtime_);
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.output, "");  // it never reached the container
    running.Release();
    Result after = RunKestapp("--video=headless /s", runtime_);
    EXPECT_EQ(after.output, "KestApp: Unable to open media file.\n");
    unsetenv("XDG_RUNTIME_DIR");
}
