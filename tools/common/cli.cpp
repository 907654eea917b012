// One parser and one help style for every tool.
#include "tools/common/cli.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>

#include "tracks/track_text.h"

extern const char zirbelon_version_text[];

namespace {

// Where the help column starts, unless flags are wider.
constexpr size_t HELP_COLUMN = 24;

struct OptionNames {
    std::string_view short_name;  // "-o", or empty
    std::string_view long_name;   // "--output", or empty
};

OptionNames option_names(std::string_view flags) {
    OptionNames names;
    while (!flags.empty()) {
        const size_t comma = flags.find(',');
        std::string_view name = flags.substr(0, comma);
        while (name.starts_with(' ')) name.remove_prefix(1);
        (name.starts_with("--") ? names.long_name : names.short_name) = name;
        flags = comma == flags.npos ? std::string_view() : flags.substr(comma + 1);
    }
    return names;
}

std::string command_title(const CliCommand& command) {
    std::string title(command.tool);
    if (!command.name.empty()) {
        title += ' ';
        title += command.name;
    }
    return title;
}

bool is_help(std::string_view arg) { return arg == "-h" || arg == "--help"; }

// "-3", "-.5", "-inf", "-nan": a negative number, finite or not, is an
// operand or a value, not an option; whoever takes it says whether it fits.
bool looks_negative_number(std::string_view arg) {
    if (arg.size() < 2 || arg[0] != '-') return false;
    if (std::isdigit(static_cast<unsigned char>(arg[1])) || arg[1] == '.') return true;
    std::string word(arg.substr(1, 3));
    for (char& c : word) c = char(std::tolower(static_cast<unsigned char>(c)));
    return word == "inf" || word == "nan";
}

void help_print(const CliCommand& command, std::FILE* stream) {
    const std::string title = command_title(command);
    for (size_t i = 0; i < command.usage.size(); ++i)
        std::fprintf(stream, "%s %s %.*s\n", i == 0 ? "Usage:" : "      ", title.c_str(),
                     int(command.usage[i].size()), command.usage[i].data());
    if (!command.description.empty())
        std::fprintf(stream, "\n%.*s", int(command.description.size()), command.description.data());
    std::fputs("\nOptions:\n", stream);
    std::vector<std::pair<std::string, std::string_view>> rows;
    for (const CliOption& option : command.options) {
        // Long-only options line up with the long names of "-o, --output".
        std::string left(option.flags.starts_with("--") ? 4 : 0, ' ');
        left += option.flags;
        if (!option.value_name.empty()) {
            left += ' ';
            left += option.value_name;
        }
        rows.emplace_back(left, option.help);
    }
    rows.emplace_back("-h, --help", "show this help and end");
    if (command.name.empty()) rows.emplace_back("    --version", "show the version and end");
    size_t column = HELP_COLUMN;
    for (const auto& [left, help] : rows) column = std::max(column, std::min(left.size() + 4, size_t(40)));
    for (const auto& [left, help] : rows) {
        std::string_view rest = help;
        std::string line = "  " + left;
        if (line.size() + 2 > column) {
            std::fprintf(stream, "%s\n", line.c_str());
            line.clear();
        }
        do {
            const size_t newline = rest.find('\n');
            line.resize(column, ' ');
            line += rest.substr(0, newline);
            std::fprintf(stream, "%s\n", line.c_str());
            line.clear();
            rest = newline == rest.npos ? std::string_view() : rest.substr(newline + 1);
        } while (!rest.empty());
    }
}

const CliOption* option_find(const CliCommand& command, std::string_view name) {
    for (const CliOption& option : command.options) {
        const OptionNames names = option_names(option.flags);
        if (name == names.long_name || name == names.short_name) return &option;
    }
    return nullptr;
}

template <typename Number>
bool parse_whole(std::string_view text, Number& value) {
    if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
    const char* end = text.data() + text.size();
    const auto [stop, problem] = std::from_chars(text.data(), end, value);
    return problem == std::errc() && stop == end && !text.empty();
}

}  // namespace

std::optional<int> cli_parse(const CliCommand& command, std::span<const std::string_view> args) {
    for (std::string_view arg : args) {
        if (arg == "--") break;
        if (is_help(arg)) {
            help_print(command, stdout);
            return CLI_OK;
        }
        if (arg == "--version" && command.name.empty()) {
            std::printf("%.*s %s\n", int(command.tool.size()), command.tool.data(), zirbelon_version_text);
            return CLI_OK;
        }
    }
    std::vector<const CliOption*> seen;
    bool options_ended = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        std::string error;
        const bool is_option = !options_ended && arg.size() > 1 && arg[0] == '-' && !looks_negative_number(arg);
        if (!options_ended && arg == "--") {
            options_ended = true;
            continue;
        }
        if (!is_option) {
            if (!command.operand) return cli_usage_error(command, "unexpected argument " + text_quote(arg));
            if (!command.operand(arg, error)) return cli_usage_error(command, error);
            continue;
        }
        const size_t equals = arg.starts_with("--") ? arg.find('=') : std::string_view::npos;
        const std::string_view name = arg.substr(0, equals);
        const CliOption* option = option_find(command, name);
        if (!option) return cli_usage_error(command, "unknown option " + text_quote(name));
        if (option->once && std::find(seen.begin(), seen.end(), option) != seen.end())
            return cli_usage_error(command, std::string(name) + " is given twice");
        seen.push_back(option);
        std::string_view value;
        if (option->value_name.empty()) {
            if (equals != std::string_view::npos)
                return cli_usage_error(command, std::string(name) + " takes no value");
        } else if (equals != std::string_view::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return cli_usage_error(command, std::string(name) + " needs a value (" + std::string(option->value_name) + ")");
        }
        if (!option->take(value, error)) return cli_usage_error(command, std::string(name) + " " + error);
    }
    return std::nullopt;
}

int cli_usage_error(const CliCommand& command, std::string_view message) {
    const std::string title = command_title(command);
    std::fprintf(stderr, "%s: %.*s\nTry '%s --help'.\n", title.c_str(), int(message.size()), message.data(),
                 title.c_str());
    return CLI_USAGE;
}

int cli_failure(const CliCommand& command, std::string_view message) {
    std::fprintf(stderr, "%s: %.*s\n", command_title(command).c_str(), int(message.size()), message.data());
    return CLI_FAILED;
}

void cli_note(const CliCommand& command, std::string_view message) {
    std::fprintf(stderr, "%s: note: %.*s\n", command_title(command).c_str(), int(message.size()), message.data());
}

std::string_view cli_version() { return zirbelon_version_text; }

std::vector<std::string_view> cli_arguments(int argc, char** argv) {
    return std::vector<std::string_view>(argv + std::min(argc, 1), argv + argc);
}

namespace {

int tool_run(const CliTool& tool, int argc, char** argv) {
    const std::vector<std::string_view> args = cli_arguments(argc, argv);
    const std::string name(tool.name);
    const auto print_help = [&](std::FILE* stream) {
        std::fprintf(stream, "Usage: %s COMMAND [OPTIONS]\n       %s help COMMAND\n\n%.*s\nCommands:\n",
                     name.c_str(), name.c_str(), int(tool.description.size()), tool.description.data());
        size_t width = 0;
        for (const CliSubcommand& command : tool.commands)
            width = std::max(width, command.name.size() + 1 + command.arguments.size());
        for (const CliSubcommand& command : tool.commands) {
            std::string left(command.name);
            left += ' ';
            left += command.arguments;
            std::fprintf(stream, "  %-*s  %.*s\n", int(width), left.c_str(), int(command.summary.size()),
                         command.summary.data());
        }
        std::fprintf(stream,
                     "\nOptions:\n  -h, --help     show this help and end\n      --version  show the version and end\n"
                     "\n'%s COMMAND --help' or '%s help COMMAND' describes a command.\n",
                     name.c_str(), name.c_str());
    };
    const auto usage_error = [&](const std::string& message) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", name.c_str(), message.c_str(), name.c_str());
        return CLI_USAGE;
    };
    const auto find = [&](std::string_view wanted) -> const CliSubcommand* {
        for (const CliSubcommand& command : tool.commands)
            if (command.name == wanted) return &command;
        return nullptr;
    };
    if (args.empty()) return usage_error("no command given");
    if (is_help(args[0])) {
        print_help(stdout);
        return CLI_OK;
    }
    if (args[0] == "--version") {
        std::printf("%s %s\n", name.c_str(), zirbelon_version_text);
        return CLI_OK;
    }
    if (args[0] == "help") {
        if (args.size() == 1) {
            print_help(stdout);
            return CLI_OK;
        }
        const CliSubcommand* command = find(args[1]);
        if (!command || args.size() > 2) return usage_error("help takes one of its commands");
        const std::string_view help[] = {"--help"};
        return command->run(std::span<const std::string_view>(help));
    }
    const CliSubcommand* command = find(args[0]);
    if (!command) return usage_error("unknown command " + text_quote(args[0]));
    return command->run(std::span(args).subspan(1));
}

}  // namespace

int cli_tool_main(const CliTool& tool, int argc, char** argv) {
    return cli_stdout_finish(tool.name, tool_run(tool, argc, argv));
}

int cli_stdout_finish(std::string_view tool, int status) {
    // The error flag stays set after a failed write; stdio has by then dropped
    // the text, so the final flush alone would succeed.
    const bool failed_before = std::ferror(stdout) != 0;
    const bool flushed = std::fflush(stdout) == 0;
    const std::string reason = flushed ? std::string() : std::string(": ") + std::strerror(errno);
    if (status != CLI_OK || (!failed_before && flushed)) return status;
    std::fprintf(stderr, "%.*s: cannot write to standard output%s\n", int(tool.size()), tool.data(), reason.c_str());
    return CLI_FAILED;
}

int cli_stdout_print(const CliCommand& command, std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0) return CLI_OK;
    return cli_failure(command, std::string("cannot write to standard output: ") + std::strerror(errno));
}

bool cli_number(std::string_view text, double& value) {
    return parse_whole(text, value) && std::isfinite(value);
}

std::string cli_number_text(double value) {
    char text[64];
    const auto [end, problem] = std::to_chars(text, text + sizeof text, value);
    return problem == std::errc() ? std::string(text, end) : std::string("0");
}

bool cli_integer(std::string_view text, int64_t& value) { return parse_whole(text, value); }

bool cli_time(std::string_view text, double& seconds) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) return cli_number(text, seconds);
    int64_t minutes = 0;
    double within = 0.0;
    const std::string_view rest = text.substr(colon + 1);
    // Two digits of seconds, as a clock shows them.
    if (rest.size() < 2 || !std::isdigit(static_cast<unsigned char>(rest[0])) ||
        !std::isdigit(static_cast<unsigned char>(rest[1])) || (rest.size() > 2 && rest[2] != '.'))
        return false;
    if (text[0] == '+' || text[0] == '-' || !parse_whole(text.substr(0, colon), minutes) ||
        !cli_number(rest, within) || within >= 60.0 || minutes > 1'000'000)
        return false;
    seconds = double(minutes) * 60.0 + within;
    return true;
}

bool cli_rate(std::string_view text, CliRate& rate) {
    const size_t slash = text.find('/');
    if (slash != std::string_view::npos) {
        int64_t numerator = 0, denominator = 0;
        if (!parse_whole(text.substr(0, slash), numerator) || !parse_whole(text.substr(slash + 1), denominator) ||
            numerator <= 0 || denominator <= 0 || numerator > INT32_MAX || denominator > INT32_MAX)
            return false;
        const int64_t common = std::gcd(numerator, denominator);
        rate = {numerator / common, denominator / common};
        return true;
    }
    // A decimal is exact as digits over a power of ten: 29.97 is 2997/100.
    const size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (whole.empty() || fraction.size() > 9 || (point != std::string_view::npos && fraction.empty())) return false;
    for (std::string_view part : {whole, fraction})
        for (char c : part)
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    int64_t numerator = 0, denominator = 1;
    if (!parse_whole(whole, numerator) || numerator > INT32_MAX) return false;
    for (char c : fraction) {
        numerator = numerator * 10 + (c - '0');
        denominator *= 10;
    }
    if (numerator <= 0) return false;
    const int64_t common = std::gcd(numerator, denominator);
    rate = {numerator / common, denominator / common};
    return true;
}

bool cli_size(std::string_view text, int32_t side_max, int32_t& width, int32_t& height) {
    const size_t x = text.find('x');
    if (x == std::string_view::npos) return false;
    int32_t w = 0, h = 0;
    const std::string_view first = text.substr(0, x), second = text.substr(x + 1);
    if (first.starts_with('+') || second.starts_with('+')) return false;
    if (!parse_whole(first, w) || !parse_whole(second, h) || w < 1 || h < 1 || w > side_max || h > side_max)
        return false;
    width = w;
    height = h;
    return true;
}

CliTake cli_take_string(std::string& value) {
    return [&value](std::string_view text, std::string&) {
        value = std::string(text);
        return true;
    };
}

CliTake cli_take_flag(bool& value) {
    return [&value](std::string_view, std::string&) {
        value = true;
        return true;
    };
}

CliTake cli_take_number(double& value, double low, double high, std::string_view wanted) {
    return [&value, low, high, wanted](std::string_view text, std::string& error) {
        double number = 0.0;
        if (!cli_number(text, number) || number < low || number > high) {
            error = "needs " + std::string(wanted) + ", not " + text_quote(text);
            return false;
        }
        value = number;
        return true;
    };
}

CliTake cli_take_time(double& seconds, double low, double high, std::string_view wanted) {
    return [&seconds, low, high, wanted](std::string_view text, std::string& error) {
        double time = 0.0;
        if (!cli_time(text, time) || time < low || time > high) {
            error = "needs " + std::string(wanted) + " (S.s or M:SS.s), not " + text_quote(text);
            return false;
        }
        seconds = time;
        return true;
    };
}

CliTake cli_take_integer(int64_t& value, int64_t low, int64_t high) {
    return [&value, low, high](std::string_view text, std::string& error) {
        int64_t number = 0;
        if (!cli_integer(text, number) || number < low || number > high) {
            error = "needs a whole number from " + std::to_string(low) + " to " + std::to_string(high) + ", not '" +
                    std::string(text) + "'";
            return false;
        }
        value = number;
        return true;
    };
}

CliTake cli_take_display(int32_t& display) {
    return [&display](std::string_view text, std::string& error) {
        int64_t number = 0;
        if (!cli_integer(text, number) || number < 0 || number > 63) {
            error = "needs a display number from 0 to 63, not " + text_quote(text);
            return false;
        }
        display = int32_t(number);
        return true;
    };
}

CliOption cli_quiet_option(bool& quiet) {
    return {"-q, --quiet", "", "no progress on stderr", cli_take_flag(quiet)};
}
