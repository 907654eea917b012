// The tools' command line: what the parser takes as options, values and
// operands, its messages and statuses, and the strict value readers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/common/cli.h"

namespace {

struct Parsed {
    std::optional<int> status;
    std::string err;
};

// A command with a value option, a flag, a once-only option and operands.
struct Example {
    std::string output;
    bool quiet = false;
    double fps = 0.0;
    std::vector<std::string> operands;
    CliCommand command{
        .tool = "tool",
        .name = "cmd",
        .usage = {"FILE..."},
        .description = "Does things.\n",
        .options =
            {
                {"-o, --output", "FILE", "where", cli_take_string(output)},
                cli_quiet_option(quiet),
                {"--fps", "F", "rate", cli_take_number(fps, -100.0, 100.0, "a rate"), true},
            },
        .operand = [this](std::string_view operand, std::string&) {
            operands.emplace_back(operand);
            return true;
        },
    };

    Parsed parse(std::vector<std::string_view> args) {
        testing::internal::CaptureStderr();
        Parsed parsed{cli_parse(command, args), ""};
        parsed.err = testing::internal::GetCapturedStderr();
        return parsed;
    }
};

TEST(CliParse, TakesValuesInBothSpellingsAndValuesThatLookLikeOptions) {
    Example a;
    EXPECT_FALSE(a.parse({"--output=x.png", "--fps", "-3.5", "-q", "in"}).status);
    EXPECT_EQ(a.output, "x.png");
    EXPECT_EQ(a.fps, -3.5);
    EXPECT_TRUE(a.quiet);
    EXPECT_EQ(a.operands, std::vector<std::string>{"in"});

    Example b;
    EXPECT_FALSE(b.parse({"-o", "-", "-", "-7", "--", "--fps"}).status);
    EXPECT_EQ(b.output, "-");
    EXPECT_EQ(b.operands, (std::vector<std::string>{"-", "-7", "--fps"}));

    Example c;
    EXPECT_FALSE(c.parse({"-o", "first", "-o", "last"}).status);
    EXPECT_EQ(c.output, "last") << "a repeated option takes its last value";
}

TEST(CliParse, WrongCommandLinesAreUsageErrorsThatNameTheCommandAndItsHelp) {
    const std::vector<std::vector<std::string_view>> wrong = {
        {"--frobnicate"}, {"-x"},         {"--fps"},          {"--fps", "abc"}, {"--fps", "1e9"},
        {"--fps=nan"},    {"--quiet=yes"}, {"--fps", "1", "--fps", "2"},
    };
    for (const auto& args : wrong) {
        Example example;
        const Parsed parsed = example.parse(args);
        ASSERT_TRUE(parsed.status) << args[0];
        EXPECT_EQ(*parsed.status, CLI_USAGE) << args[0];
        EXPECT_EQ(parsed.err.rfind("tool cmd: ", 0), 0u) << parsed.err;
        EXPECT_NE(parsed.err.find("Try 'tool cmd --help'."), std::string::npos) << parsed.err;
    }
    Example example;
    EXPECT_NE(example.parse({"--fps", "abc"}).err.find("--fps needs a rate, not 'abc'"), std::string::npos);
}

TEST(CliParse, HelpWinsOverEverythingElseAndListsEveryOption) {
    Example example;
    testing::internal::CaptureStdout();
    const Parsed parsed = example.parse({"--frobnicate", "-h"});
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(parsed.status, CLI_OK);
    EXPECT_TRUE(parsed.err.empty()) << parsed.err;
    EXPECT_EQ(out.rfind("Usage: tool cmd FILE...\n", 0), 0u) << out;
    for (const char* line : {"  -o, --output FILE", "  -q, --quiet", "      --fps F", "  -h, --help"})
        EXPECT_NE(out.find(line), std::string::npos) << line << " in\n" << out;
}

TEST(CliParse, ACommandWithoutOperandsRefusesThem) {
    CliCommand command{.tool = "tool", .name = "cmd", .usage = {""}, .description = "", .options = {}, .operand = nullptr};
    testing::internal::CaptureStderr();
    EXPECT_EQ(cli_parse(command, std::vector<std::string_view>{"stray"}), CLI_USAGE);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("unexpected argument 'stray'"), std::string::npos);
}

TEST(CliValues, NumbersAreWholeTextsAndFinite) {
    double value = 0.0;
    EXPECT_TRUE(cli_number("+2.5", value));
    EXPECT_EQ(value, 2.5);
    EXPECT_TRUE(cli_number("-1e3", value));
    EXPECT_EQ(value, -1000.0);
    for (const char* bad : {"", "1.5x", " 1", "nan", "inf", "1e400", "--1", "+-1", "0x10"})
        EXPECT_FALSE(cli_number(bad, value)) << bad;
    int64_t whole = 0;
    EXPECT_TRUE(cli_integer("-9223372036854775808", whole));
    EXPECT_FALSE(cli_integer("9223372036854775808", whole));
    EXPECT_FALSE(cli_integer("2.0", whole));
}

TEST(CliValues, TimesAreSecondsOrMinutesAndSeconds) {
    double seconds = 0.0;
    EXPECT_TRUE(cli_time("64.5", seconds));
    EXPECT_EQ(seconds, 64.5);
    EXPECT_TRUE(cli_time("1:04.5", seconds));
    EXPECT_EQ(seconds, 64.5);
    EXPECT_TRUE(cli_time("0:00", seconds));
    EXPECT_EQ(seconds, 0.0);
    EXPECT_TRUE(cli_time("12:59.999", seconds));
    EXPECT_NEAR(seconds, 779.999, 1e-9);
    for (const char* bad : {"1:4", "1:60", "1:-5", "-1:05", ":05", "1:05:00", "1:05x", "a:05", "1:"})
        EXPECT_FALSE(cli_time(bad, seconds)) << bad;
}

TEST(CliValues, RatesStayExactRatios) {
    CliRate rate;
    EXPECT_TRUE(cli_rate("60000/1001", rate));
    EXPECT_EQ(rate.numerator, 60000);
    EXPECT_EQ(rate.denominator, 1001);
    EXPECT_TRUE(cli_rate("29.97", rate));
    EXPECT_EQ(rate.numerator, 2997);
    EXPECT_EQ(rate.denominator, 100);
    EXPECT_TRUE(cli_rate("60", rate));
    EXPECT_EQ(rate.numerator, 60);
    EXPECT_EQ(rate.denominator, 1);
    EXPECT_TRUE(cli_rate("50/2", rate));
    EXPECT_EQ(rate.numerator, 25);
    EXPECT_EQ(rate.denominator, 1);
    for (const char* bad : {"0", "-30", "0/1", "1/0", "30/", "/2", "1.", ".5", "1e2", "6 0", "1/-2", "0.0"})
        EXPECT_FALSE(cli_rate(bad, rate)) << bad;
}

TEST(CliValues, SizesAreTwoPositiveSidesWithinTheLimit) {
    int32_t width = 0, height = 0;
    EXPECT_TRUE(cli_size("1920x1080", 16384, width, height));
    EXPECT_EQ(width, 1920);
    EXPECT_EQ(height, 1080);
    for (const char* bad : {"0x10", "100", "100x", "x100", "-4x4", "16385x16", "4x4x4", "4X4", "+4x4"})
        EXPECT_FALSE(cli_size(bad, 16384, width, height)) << bad;
}

TEST(CliVersion, NamesTheProjectsVersion) {
    const std::string_view version = cli_version();
    EXPECT_EQ(version.rfind(ZIRBELON_VERSION, 0), 0u) << version;
}

}  // namespace

// A negative operand that is not finite is an operand, like -3: whoever takes
// it says whether it fits, rather than the parser calling it an option.
TEST(CliParse, NegativeNonFiniteOperandsAreOperands) {
    Example a;
    EXPECT_FALSE(a.parse({"-inf", "-NaN", "-Infinity"}).status);
    EXPECT_EQ(a.operands, (std::vector<std::string>{"-inf", "-NaN", "-Infinity"}));
    Example b;
    const Parsed refused = b.parse({"--fps", "-inf"});
    EXPECT_EQ(refused.status, CLI_USAGE);
    EXPECT_NE(refused.err.find("not '-inf'"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.err.find("unknown option"), std::string::npos) << refused.err;
}

// An error quotes what it refuses short and plain: a huge value is cut, and
// bytes that are not printable are written as escapes.
TEST(CliParse, ErrorsQuoteTokensShortAndPlain) {
    Example a;
    const std::string huge(10'000'000, '7');
    const Parsed long_value = a.parse({"--fps", huge});
    EXPECT_EQ(long_value.status, CLI_USAGE);
    EXPECT_LT(long_value.err.size(), 300u);
    EXPECT_NE(long_value.err.find("(10000000 bytes)"), std::string::npos) << long_value.err;
    Example b;
    const Parsed binary = b.parse({"--fps", std::string_view("\x01\xff" "a\n", 4)});
    EXPECT_NE(binary.err.find("'\\x01\\xffa\\x0a'"), std::string::npos) << binary.err;
}
