// The command line of every zirbelon tool: one parser, one help style, one way
// of naming errors and one set of exit statuses.
//
// Options are "--name value" or "--name=value" (a value is taken as it stands,
// so "--y -3.3" gives -3.3), short ones "-o value". "-" alone is an operand
// (standard input or output), as is anything after "--" and an argument that
// reads as a negative number. Every command has -h/--help; a tool has
// --version, "help COMMAND" and "COMMAND --help".
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int CLI_OK = 0;
inline constexpr int CLI_FAILED = 1;  // the work could not be done
inline constexpr int CLI_USAGE = 2;   // the command line is wrong

// A run ended by a signal ends with 128 + its number, as a shell reports it:
// 130 for Ctrl-C.
inline constexpr int cli_signal_status(int signal_number) { return 128 + signal_number; }

// Takes an option's value (or "" for a flag); false with the rest of a message
// that follows the option's name, e.g. "needs a finite number, not 'x'".
using CliTake = std::function<bool(std::string_view value, std::string& error)>;

struct CliOption {
    std::string_view flags;       // "-o, --output" or "--fps"
    std::string_view value_name;  // "FILE"; empty for a flag
    std::string_view help;        // one or more lines, '\n' between them
    CliTake take;
    // Given twice, an option takes its last value, as getopt's users expect;
    // an option whose second mention can only be a mistake says so instead.
    bool once = false;
};

struct CliCommand {
    std::string_view tool;                // "zirbelon-render"
    std::string_view name;                // "frame"; empty for a tool without commands
    std::vector<std::string_view> usage;  // each usage line after "TOOL NAME "
    std::string_view description;         // paragraphs, '\n' at the ends of lines
    std::vector<CliOption> options;
    // Takes each operand in turn; null when the command takes none. False with
    // a whole message.
    std::function<bool(std::string_view operand, std::string& error)> operand;
};

// Reads the arguments that follow the command's name. nullopt: go on and run.
// Otherwise the status to end with: 0 once the help or version is printed, 2
// after a usage error was reported.
std::optional<int> cli_parse(const CliCommand& command, std::span<const std::string_view> args);

// "TOOL NAME: message" on stderr. A usage error adds a pointer to the
// command's help and gives 2; a failure gives 1.
int cli_usage_error(const CliCommand& command, std::string_view message);
int cli_failure(const CliCommand& command, std::string_view message);
// "TOOL NAME: note: message" on stderr.
void cli_note(const CliCommand& command, std::string_view message);

// The version from the build, with the git commit when built from a checkout.
std::string_view cli_version();

// The commands of a tool and how it dispatches to them.
struct CliSubcommand {
    std::string_view name;
    std::string_view arguments;  // in the tool's list of commands, e.g. "FILE -o OUT"
    std::string_view summary;
    int (*run)(std::span<const std::string_view> args);
};

struct CliTool {
    std::string_view name;
    std::string_view description;
    std::span<const CliSubcommand> commands;
};

// The tool's main: its help, --version, "help COMMAND", and the command named
// first on the command line; its status passes through cli_stdout_finish.
int cli_tool_main(const CliTool& tool, int argc, char** argv);

// What a tool returns once its work is done: standard output is flushed, and
// when any write to it failed (a full disk) a run that would end with 0 says
// so on stderr and ends with 1, so no text is ever lost in silence.
int cli_stdout_finish(std::string_view tool, int status);

// Text for standard output, written and flushed now, for commands whose output
// is the text itself; 0, or 1 after saying why on stderr.
int cli_stdout_print(const CliCommand& command, std::string_view text);

// The arguments after the program's name.
std::vector<std::string_view> cli_arguments(int argc, char** argv);

// Option values, read strictly: the whole text is the value or it is wrong.
struct CliRate {
    int64_t numerator = 0;
    int64_t denominator = 1;
    double value() const { return double(numerator) / double(denominator); }
};

// A finite decimal number, an optional sign in front.
bool cli_number(std::string_view text, double& value);
// The shortest text that cli_number reads back as the same double, e.g. "600",
// "1310.5": for file names and for the options one tool hands to another.
std::string cli_number_text(double value);
// A whole number that fits.
bool cli_integer(std::string_view text, int64_t& value);
// A time: seconds "S.s", or minutes and seconds "M:SS.s".
bool cli_time(std::string_view text, double& seconds);
// A rate above 0: "N", "N.N" or "N/M", kept as an exact ratio (60000/1001).
bool cli_rate(std::string_view text, CliRate& rate);
// "WxH", both sides whole numbers from 1 to side_max.
bool cli_size(std::string_view text, int32_t side_max, int32_t& width, int32_t& height);

// Takers for the common kinds of value.
CliTake cli_take_string(std::string& value);
CliTake cli_take_flag(bool& value);
// A finite number from low to high (either end included), described in the
// message as `wanted`, e.g. "a music position from 0 to 86400 seconds".
CliTake cli_take_number(double& value, double low, double high, std::string_view wanted);
CliTake cli_take_time(double& seconds, double low, double high, std::string_view wanted);
CliTake cli_take_integer(int64_t& value, int64_t low, int64_t high);
// A display's number, from 0 (the programs that open a window on one).
CliTake cli_take_display(int32_t& display);
// -q, --quiet: no progress on stderr.
CliOption cli_quiet_option(bool& quiet);
