// The kestapp program as a user runs it: exit statuses, messages, help, and the single-instance rule.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "media/MsfFormat.h"
#include "platform/InstanceLock.h"
#include "tests/support/ContainerBuilder.h"
#include "tests/support/Png.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string output;  // stdout and stderr together
};

std::vector<uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The built program without the media container the build appends to it, so that the tests choose the
// container (or none). Made once per test program.
const std::vector<uint8_t>& BareProgramBytes() {
    static const std::vector<uint8_t> bare = [] {
        std::vector<uint8_t> bytes = ReadBytes(KESTAPP_PATH);
        int64_t base = 0, length = 0;
        if (bytes.size() >= msf::kTrailerSize &&
            msf::LocateAppended(int64_t(bytes.size()), bytes.data() + bytes.size() - msf::kTrailerSize,
                                msf::kTrailerSize, base, length)) {
            bytes.resize(size_t(base));
        }
        return bytes;
    }();
    return bare;
}

// In a folder of its own, under its own name, as messages and --version quote it.
const std::string& BareProgram() {
    static const std::string path = [] {
        static const fs::path folder =
            fs::temp_directory_path() / ("kestapp-bare-" + std::to_string(getpid()));
        fs::create_directories(folder);
        WriteBytes(folder / "kestapp", BareProgramBytes());
        fs::permissions(folder / "kestapp", fs::perms::owner_all);
        std::atexit([] { fs::remove_all(folder); });
        return (folder / "kestapp").string();
    }();
    return path;
}

// Runs kestapp (or another copy of it) in runtime, with runtime as its lock and configuration directory.
Result RunKestapp(const std::string& args, const fs::path& runtime,
                  const std::string& program = BareProgram()) {
    std::string command = "cd '" + runtime.string() + "' && XDG_RUNTIME_DIR='" + runtime.string() +
                          "' XDG_CONFIG_HOME='" + runtime.string() + "' DISPLAY= WAYLAND_DISPLAY= '" +
                          program + "' " + args + " 2>&1";
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

std::vector<uint8_t> SmallContainer() {
    return testsupport::BuildContainer({{1000, "TEXT", "caption", std::string("A caption", 10)}});
}

using testsupport::Channel;
using testsupport::Image;

// The largest difference of one colour component between the two pictures' averages over blocks of
// 8 x 8 pixels: dithering moves single pixels, not what a block shows on average.
int32_t LargestBlockDifference(const Image& a, const Image& b) {
    constexpr int32_t kBlock = 8;
    int32_t largest = 0;
    for (int32_t top = 0; top + kBlock <= a.height; top += kBlock) {
        for (int32_t left = 0; left + kBlock <= a.width; left += kBlock) {
            for (int32_t c = 0; c < 3; ++c) {
                int32_t sum = 0;
                for (int32_t y = top; y < top + kBlock; ++y) {
                    for (int32_t x = left; x < left + kBlock; ++x) {
                        sum += Channel(a.At(x, y), c) - Channel(b.At(x, y), c);
                    }
                }
                largest = std::max(largest, std::abs(sum) / (kBlock * kBlock));
            }
        }
    }
    return largest;
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
    for (const char* word : {"--video=", "--screen=", "--seconds=", "--seed=", "--snapshot=", "--media=",
                             "MediaFile", "headless", "/s", "/p HANDLE", "/c", "/a"}) {
        EXPECT_NE(help.output.find(word), std::string::npos) << word;
    }
    Result version = RunKestapp("--version", runtime_);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output.rfind("kestapp ", 0), 0u);
    Result bad = RunKestapp("--screen=1x1x3 /s", runtime_);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.output.find("bad screen"), std::string::npos);
    Result noMedia = RunKestapp("--media= /s", runtime_);
    EXPECT_EQ(noMedia.status, 1);
    EXPECT_NE(noMedia.output.find("--media needs a file name"), std::string::npos);
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

TEST_F(AppProgram, AContainerNamedByTheProfileFileIsFound) {
    fs::create_directories(runtime_ / "media");
    WriteBytes(runtime_ / "media" / "KestApp.MSF", SmallContainer());
    std::ofstream(runtime_ / "kestapp.ini")
        << "; where the media live\n[Paths]\nMediaPath = " << (runtime_ / "media").string() << "/  \n";
    Result configure = RunKestapp("--video=headless /c", runtime_);
    EXPECT_EQ(configure.status, 0);
    EXPECT_EQ(configure.output, "KestApp: This screensaver has no settings.\n");
    for (const char* depth : {"8", "15", "16", "24", "32"}) {
        Result show = RunKestapp(
            std::string("--video=headless --seconds=2 --screen=800x600x") + depth + " /s", runtime_);
        EXPECT_EQ(show.status, 0) << depth;
        // The display passes its checks and the scene runs its seconds, even on a container without its
        // media: every missing picture is only an empty control.
        EXPECT_EQ(show.output, "") << depth;
    }
    // Displays the show cannot use end it with a word in saver mode and silently elsewhere.
    const struct {
        const char* screen;
        const char* mode;
        const char* said;
    } kDisplays[] = {
        {"1024x768x4", "/s", "KestApp: This program requires a display with at least 256 colors.\n"},
        {"1024x768x1", "/s", "KestApp: This program requires a display with at least 256 colors.\n"},
        {"640x480x32", "/s", "KestApp: This program requires a display resolution of at least 800x600.\n"},
        {"800x599x32", "/s", "KestApp: This program requires a display resolution of at least 800x600.\n"},
    };
    for (const auto& display : kDisplays) {
        Result run = RunKestapp(
            std::string("--video=headless --seconds=2 --screen=") + display.screen + " " + display.mode,
            runtime_);
        EXPECT_EQ(run.output, display.said) << display.screen << " " << display.mode;
    }

    // Without MediaPath the container is looked for in the current directory.
    std::ofstream(runtime_ / "kestapp.ini") << "[Paths]\n";
    EXPECT_EQ(RunKestapp("--video=headless /c", runtime_).status, 1);
    WriteBytes(runtime_ / "KestApp.MSF", SmallContainer());
    EXPECT_EQ(RunKestapp("--video=headless /c", runtime_).status, 0);
}

TEST_F(AppProgram, TheAppendedContainerComesFirstAndAFalseTrailerFallsBackToTheProfile) {
    const std::vector<uint8_t>& program = BareProgramBytes();
    ASSERT_FALSE(program.empty());
    const fs::path appended = runtime_ / "kestapp-appended";
    WriteBytes(appended, testsupport::AppendContainer(program, SmallContainer()));
    fs::permissions(appended, fs::perms::owner_all);
    std::ofstream(runtime_ / "kestapp.ini") << "[Paths]\nMediaPath=/nowhere/\n";
    Result own = RunKestapp("--video=headless /c", runtime_, appended.string());
    EXPECT_EQ(own.status, 0);
    EXPECT_EQ(own.output, "KestApp: This screensaver has no settings.\n");

    // Trailing bytes that merely look like a length are no container: the profile's container is used.
    std::vector<uint8_t> fake = program;
    fake.insert(fake.end(), 100, 0x41);
    testsupport::PutU32(fake, fake.size() - 4, 50);
    const fs::path fakeProgram = runtime_ / "kestapp-fake";
    WriteBytes(fakeProgram, fake);
    fs::permissions(fakeProgram, fs::perms::owner_all);
    EXPECT_EQ(RunKestapp("--video=headless /s", runtime_, fakeProgram.string()).output,
              "KestApp: Unable to open media file.\n");
    fs::create_directories(runtime_ / "media");
    WriteBytes(runtime_ / "media" / "KestApp.MSF", SmallContainer());
    std::ofstream(runtime_ / "kestapp.ini")
        << "[Paths]\nMediaPath=" << (runtime_ / "media").string() << "/\n";
    EXPECT_EQ(RunKestapp("--video=headless /c", runtime_, fakeProgram.string()).status, 0);
}

TEST_F(AppProgram, TheBuiltProgramCarriesItsMediaAndACopyKeepsThem) {
    const fs::path copy = runtime_ / "kestapp-copy";
    fs::copy_file(KESTAPP_PATH, copy);
    for (const std::string& program : {std::string(KESTAPP_PATH), copy.string()}) {
        Result configure = RunKestapp("--video=headless /c", runtime_, program);  // no profile, no files
        EXPECT_EQ(configure.status, 0) << program;
        EXPECT_EQ(configure.output, "KestApp: This screensaver has no settings.\n") << program;
    }
}

TEST_F(AppProgram, TheUsersContainerComesBeforeTheOneTheProgramCarries) {
    // The small container holds no scene, so its show is black where the built-in one is lit.
    WriteBytes(runtime_ / "mine.msf", SmallContainer());
    const std::string mine = (runtime_ / "mine.msf").string();
    const struct {
        const char* profile;  // the MediaFile line of kestapp.ini, if any
        std::string option;
        int status;
        bool builtIn;  // whether the built-in container's show appeared
        std::string said;
    } kCases[] = {
        {nullptr, "--media=" + mine, 0, false, ""},
        {nullptr, "--media=mine.msf", 0, false, ""},  // relative to the current directory
        {nullptr, "--media=" + mine + ".gone", 1, false,
         "KestApp: cannot open the media container " + mine + ".gone\nKestApp: Unable to open media file.\n"},
        {"mine.msf", "", 0, false, ""},
        {"/nowhere.msf", "", 0, true,
         "KestApp: cannot open the media container /nowhere.msf named in kestapp.ini; showing the built-in "
         "one\n"},
        {"/nowhere.msf", "--media=" + mine, 0, false, ""},  // the command line beats the profile
    };
    for (const auto& c : kCases) {
        std::ofstream(runtime_ / "kestapp.ini") << "[Paths]\n"
                                                << (c.profile ? std::string("MediaFile=") + c.profile : "");
        const fs::path file = runtime_ / "shown.png";
        fs::remove(file);
        Result run = RunKestapp("--video=headless --seconds=1 --seed=1 --screen=800x600x32 --snapshot=" +
                                    file.string() + " " + c.option + " /s",
                                runtime_, KESTAPP_PATH);
        const std::string label = c.option + " / " + (c.profile ? c.profile : "-");
        EXPECT_EQ(run.status, c.status) << label;
        EXPECT_EQ(run.output, c.said) << label;
        Image shown;
        if (c.status == 0 && testsupport::ReadPng(file, shown)) {
            size_t lit =
                std::count_if(shown.pixels.begin(), shown.pixels.end(), [](uint32_t p) { return p != 0; });
            EXPECT_EQ(lit > shown.pixels.size() / 2, c.builtIn) << label;
        } else {
            EXPECT_NE(c.status, 0) << label << ": no snapshot";
        }
    }
}

TEST_F(AppProgram, TheShowLooksAlikeAtEveryDepth) {
    // The same seconds of the same show with its own media, as the screen of each depth presents them.
    auto snapshot = [this](int32_t depth) {
        const fs::path file = runtime_ / ("show" + std::to_string(depth) + ".png");
        Result show = RunKestapp("--video=headless --seconds=5 --seed=1 --screen=800x600x" +
                                     std::to_string(depth) + " --snapshot=" + file.string() + " /s",
                                 runtime_, KESTAPP_PATH);
        EXPECT_EQ(show.status, 0) << depth << show.output;
        Image picture;
        return testsupport::ReadPng(file, picture) ? std::optional<Image>(picture) : std::nullopt;
    };
    std::optional<Image> reference = snapshot(32);
    ASSERT_TRUE(reference.has_value());
    ASSERT_EQ(reference->width, 800);
    ASSERT_EQ(reference->height, 600);
    size_t lit = 0;
    for (uint32_t p : reference->pixels) {
        lit += p != 0;
    }
    ASSERT_GT(lit, reference->pixels.size() * 9 / 10);  // the scene fills the screen

    // 24 bits hold every colour; 15 (the back buffer of a 16-bit screen) and 8 bits are dithered, and
    // their alpha blends (the translucent rings) round to fewer levels. A black screen differs by ~250.
    const struct {
        int32_t depth;
        int32_t tolerance;
    } kDepths[] = {{24, 0}, {16, 12}, {8, 40}};
    for (const auto& d : kDepths) {
        std::optional<Image> shown = snapshot(d.depth);
        ASSERT_TRUE(shown.has_value()) << d.depth;
        ASSERT_EQ(shown->pixels.size(), reference->pixels.size()) << d.depth;
        EXPECT_LE(LargestBlockDifference(*shown, *reference), d.tolerance) << d.depth;
    }
}
