// kestplay as people use it: files it cannot play are refused in one line, sounds from files and from
// containers play to their end or to a time limit, and through SDL's disk driver the samples heard are
// exactly those of files that sox wrote.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/audio/SoundWriter.h"
#include "tests/support/ContainerBuilder.h"
#include "tests/support/ProcessState.h"
#include "tests/support/ToolRun.h"
#include "tools/kestplay/PlayTool.h"

namespace fs = std::filesystem;

namespace {

using namespace soundtest;
using Result = testsupport::ToolResult;

Result Play(std::vector<std::string> args) {
    return testsupport::RunTool(playtool::Run, args);
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class ToolsPlay : public testsupport::ProcessStateTest {
  protected:
    void SetUp() override {
        ProcessStateTest::SetUp();
        dir_ = fs::temp_directory_path() / ("kest-play-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::remove_all(dir_);
        ProcessStateTest::TearDown();
    }
    std::string Write(const char* name, const std::string& bytes) {
        std::ofstream((dir_ / name), std::ios::binary) << bytes;
        return (dir_ / name).string();
    }

    fs::path dir_;
};

TEST_F(ToolsPlay, RefusesInOneLine) {
    std::string fmt = FormatBody(1, 1, 8000, 8);
    struct Case {
        std::vector<std::string> args;
        std::string message;  // what the one line must say
    };
    const Case cases[] = {
        {{(dir_ / "missing.wav").string()}, "missing.wav: No such file or directory"},
        {{Write("empty.wav", "")}, "empty.wav: not a WAVE or raw sound file"},
        {{Write("text.wav", "hello, this is not a sound")}, "text.wav: not a WAVE or raw sound file"},
        {{Write("cut.wav", Wave({{"fmt ", fmt}}))}, "cut.wav: damaged or unsupported WAVE header"},
        {{Write("three.wav", PcmWave(3, 8000, 8, "abc"))}, "three.wav: damaged or unsupported WAVE header"},
        {{Write("adpcm.wav", Wave({{"fmt ", ADPCMFormatBody(1, 8000)}, {"data", std::string(256, 'x')}}))},
         "adpcm.wav: ADPCM sound is not supported"},
        {{Write("packed.rsx", RawSound(8000, 8, 1, 1, "abcd"))},
         "packed.rsx: damaged or unsupported raw sound"},
        {{}, "no sound given"},
        {{"a.wav", "b.wav"}, "one sound at a time"},
        {{"a.wav", "--seconds=0"}, "--seconds needs a positive number"},
        {{"a.wav", "--seconds=ten"}, "--seconds needs a positive number"},
        {{"a.wav", "--device=speaker"}, "unknown device \"speaker\""},
        {{"a.wav", "--loud"}, "unknown option --loud"},
    };
    for (const Case& c : cases) {
        Result r = Play(c.args);
        SCOPED_TRACE(c.message);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("kestplay: "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // one line
    }
    Result help = Play({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: kestplay SOUND"), std::string::npos);
}

// Through the null output the sound advances in real time with nothing heard: a file and a container
// item play to their end, and a time limit stops a longer sound early.
TEST_F(ToolsPlay, PlaysToTheEndOrTheLimit) {
    std::string shortWave = PcmWave(1, 8000, 8, Ramp(2400));  // 0.3 s
    std::vector<uint8_t> container = testsupport::BuildContainer({{7, "WAVE", "beep", shortWave}});
    std::string containerPath =
        Write("media.msf", std::string(reinterpret_cast<const char*>(container.data()), container.size()));
    struct Case {
        std::vector<std::string> args;
        std::string lastLine;
    };
    const Case cases[] = {
        {{Write("short.wav", shortWave), "--device=null"}, "played 0:00.3\n"},
        {{containerPath + ":7", "--device", "null"}, "played 0:00.3\n"},
        {{Write("long.rsx", RawSound(8000, 16, 2, 0, std::string(8000 * 4 * 10, '\0'))), "--device=null",
          "--seconds=0.2"},
         "played 0:00.2\n"},
    };
    for (const Case& c : cases) {
        Result r = Play(c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        ASSERT_GE(r.out.size(), c.lastLine.size());
        EXPECT_EQ(r.out.substr(r.out.size() - c.lastLine.size()), c.lastLine) << r.out;
    }
}

// sox writes the sound and reads it back as raw samples; the built player plays it through SDL's disk
// driver, which writes every sample it was given to a file. The sound must appear there whole and
// unchanged (with the driver's silence around it).
TEST_F(ToolsPlay, PlaysSoxFilesIntactThroughSdl) {
    if (std::system("command -v sox > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "sox is not installed (scripts/setup-debian.sh installs it)";
    }
    const char* formats[] = {"-r 44100 -c 2 -b 16 -e signed-integer",
                             "-r 8000 -c 1 -b 8 -e unsigned-integer"};
    for (const char* format : formats) {
        SCOPED_TRACE(format);
        fs::path wav = dir_ / "tone.wav", reference = dir_ / "tone.raw", heard = dir_ / "heard.raw";
        std::string make = std::string("sox -n ") + format + " " + wav.string() +
                           " synth 0.7 sine 440 sine 660 gain -3 && sox " + wav.string() + " -t raw " +
                           reference.string();
        ASSERT_EQ(std::system(make.c_str()), 0) << make;
        // The driver takes a buffer every 100 ms, slower than real time, so that a busy machine that delays
        // the mixer's thread does not starve it into writing silence in the middle of the sound.
        std::string play = "SDL_AUDIODRIVER=disk SDL_DISKAUDIODELAY=100 SDL_DISKAUDIOFILE=" + heard.string() +
                           " " KESTPLAY_PATH " " + wav.string() + " --device=sdl > " +
                           (dir_ / "log").string() + " 2>&1";
        EXPECT_EQ(std::system(play.c_str()), 0) << ReadBytes(dir_ / "log");
        std::string source = ReadBytes(reference), output = ReadBytes(heard);
        ASSERT_GT(source.size(), 1000u);
        EXPECT_NE(output.find(source), std::string::npos)
            << "the " << source.size() << " bytes of the sound are not in the " << output.size()
            << " bytes heard; log: " << ReadBytes(dir_ / "log");
    }
}

// Ctrl-C ends the built player early with the interrupt status and where it stopped.
TEST_F(ToolsPlay, InterruptStops) {
    std::string sound = Write("long.wav", PcmWave(1, 8000, 8, std::string(8000 * 20, '\x80')));
    std::string log = (dir_ / "log").string();
    std::string play =
        "timeout --preserve-status -s INT 0.5 " KESTPLAY_PATH " " + sound + " --device=null > " + log;
    int status = std::system(play.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_NE(ReadBytes(log).find("stopped at 0:00."), std::string::npos) << ReadBytes(log);
}

}  // namespace
