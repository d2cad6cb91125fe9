// The screensaver command line, the argument vector, and the window geometry of each mode.
#include <gtest/gtest.h>

#include <string>

#include "app/CProjectApplication.h"

using Mode = CProjectApplication::Mode;

TEST(AppCommandLine, FirstLetterSelectsTheModeAndTheFirstNumberIsTheHandle) {
    struct Case {
        const char* text;
        bool ok;
        Mode mode;
        int32_t handle;
    };
    const Case cases[] = {
        {"", true, Mode::Configure, 0},
        {"123", true, Mode::Configure, 0},
        {"  \t", true, Mode::Configure, 0},
        {"/s", true, Mode::Saver, 0},
        {"/S", true, Mode::Saver, 0},
        {"-S", true, Mode::Saver, 0},
        {"s", true, Mode::Saver, 0},
        {"/p 1234", true, Mode::Preview, 1234},
        {"/p", true, Mode::Preview, 0},
        {"/c:4660", true, Mode::Configure, 4660},
        {"/a 1234", true, Mode::ChangePassword, 1234},
        {"/preview 1234", true, Mode::Preview, 1234},
        {"77 /p 1234", true, Mode::Preview, 1234},  // digits before the letter are ignored
        {"/p12x34", true, Mode::Preview, 12},
        {"/x", false, Mode::None, 0},
        {"/X 5", false, Mode::None, 0},
        // Long digit runs saturate instead of overflowing.
        {"/p 99999999999999999999999", true, Mode::Preview, 2147483647},
        // Only ASCII letters count: a byte above 0x7F (here the UTF-8 form of an accented letter) is
        // skipped like any other non-letter.
        {"\xC3\xA9/s", true, Mode::Saver, 0},
        {"\xC3\xA9", true, Mode::Configure, 0},
    };
    CProjectApplication app;
    for (const Case& c : cases) {
        EXPECT_EQ(app.ParseCommandLine(c.text), c.ok) << c.text;
        EXPECT_EQ(app.GetMode(), c.mode) << c.text;
        EXPECT_EQ(app.GetWindowHandle(), c.handle) << c.text;
    }
    EXPECT_TRUE(app.ParseCommandLine(nullptr));
    EXPECT_EQ(app.GetMode(), Mode::Configure);
}

// The display-hack conventions: the window comes from -window-id, -root or the daemon's environment, and
// under the daemon -root means the daemon's window.
TEST(AppCommandLine, HackWindowFromTheLineOrTheEnvironment) {
    constexpr uint32_t kRoot = 0xFFFFFFFFu;
    const struct {
        const char* text;
        const char* env;
        bool ok;
        Mode mode;
        uint32_t host;
    } cases[] = {
        {"-root", nullptr, true, Mode::Hack, kRoot},
        {"-root", "", true, Mode::Hack, kRoot},
        {"-root", "0x200007", true, Mode::Hack, 0x200007},
        {"-root", "nonsense", false, Mode::None, 0},
        {"", "4194311", true, Mode::Hack, 4194311},
        {"-install -visual default -window-id 0x1a", "99", true, Mode::Hack, 0x1a},
        {"-window-id", nullptr, false, Mode::None, 0},
        {"-window-id 12z", nullptr, false, Mode::None, 0},
        {"/s", "99", true, Mode::Saver, 0},  // a mode letter beats the environment
        {"-fps -mono", nullptr, true, Mode::Configure, 0},
    };
    CProjectApplication app;
    for (const auto& c : cases) {
        const std::string label = std::string(c.text) + " / " + (c.env ? c.env : "(unset)");
        EXPECT_EQ(app.ParseCommandLine(c.text, c.env), c.ok) << label;
        if (c.ok) {
            EXPECT_EQ(app.GetMode(), c.mode) << label;
            EXPECT_EQ(app.GetHostWindow(), c.host) << label;
        }
    }
}

// A handle is a 32-bit signed value: every number above INT32_MAX saturates to it, never wraps negative,
// whatever its width (2^31, 2^32 - 1, 2^32, 2^64) or its leading zeros.
TEST(AppCommandLine, HandlesAboveTheLargestSignedValueSaturate) {
    struct Case {
        const char* text;
        int32_t handle;
    };
    const Case cases[] = {
        {"/p 2147483646", 2147483646},
        {"/p 2147483647", 2147483647},
        {"/p 2147483648", 2147483647},
        {"/p 3000000000", 2147483647},
        {"/p:3000000000", 2147483647},
        {"/p 4294967295", 2147483647},
        {"/p 4294967296", 2147483647},
        {"/p 4294967297", 2147483647},            // would wrap to 1 in 32 bits
        {"/p 18446744073709551617", 2147483647},  // would wrap to 1 in 64 bits
        {"/p 00000000002147483647", 2147483647},
        {"/p 00000000004294967295", 2147483647},
        {"/p 0", 0},
    };
    CProjectApplication app;
    for (const Case& c : cases) {
        ASSERT_TRUE(app.ParseCommandLine(c.text)) << c.text;
        EXPECT_EQ(app.GetMode(), Mode::Preview) << c.text;
        EXPECT_EQ(app.GetWindowHandle(), c.handle) << c.text;
    }
}

TEST(AppCommandLine, ArgumentVectorSplitsOutsideQuotes) {
    CProjectApplication app;
    auto args = [&](const char* line) {
        app.BuildArguments(line);
        std::vector<std::string> out;
        char* const* argv = app.GetArguments();
        for (int i = 1; i < app.GetArgumentCount(); ++i) {
            out.push_back(argv[i]);
        }
        EXPECT_EQ(argv[app.GetArgumentCount()], nullptr);
        EXPECT_STRNE(argv[0], "");  // the program's file name
        EXPECT_EQ(std::string(argv[0]).find('/'), std::string::npos);
        return out;
    };
    EXPECT_EQ(args("/p  1234"), (std::vector<std::string>{"/p", "1234"}));
    EXPECT_EQ(app.GetArgumentCount(), 3);
    EXPECT_EQ(args("x \"a b\" y"), (std::vector<std::string>{"x", "\"a b\"", "y"}));
    EXPECT_EQ(args("  lead\ttab\r\nend  "), (std::vector<std::string>{"lead", "tab", "end"}));
    EXPECT_EQ(args("\"open quote stays"), (std::vector<std::string>{"\"open quote stays"}));
    EXPECT_EQ(args(""), std::vector<std::string>{});
    EXPECT_EQ(app.GetArgumentCount(), 1);
}

TEST(AppGeometry, PreviewAndSaverRectangles) {
    // A 152x112 preview area on a 1024x768 screen shows the scene at 118x87, centred.
    ZRect preview = CProjectApplication::PreviewRect(ZRect{0, 0, 112, 152}, ZRect{0, 0, 768, 1024});
    EXPECT_EQ(preview, (ZRect{12, 17, 12 + 87, 17 + 118}));
    // On a 1280x1024 screen the show's window starts at left 240, top 212.
    EXPECT_EQ(CProjectApplication::SaverRect(ZRect{0, 0, 1024, 1280}), (ZRect{212, 240, 812, 1040}));
    // Negative halves shift arithmetically (toward minus infinity).
    EXPECT_EQ(CProjectApplication::SaverRect(ZRect{0, 0, 599, 799}).left, -1);
    // A degenerate screen gives an empty rectangle instead of a division by zero.
    EXPECT_TRUE(CProjectApplication::PreviewRect(ZRect{0, 0, 10, 10}, ZRect{}).IsEmpty());
}
