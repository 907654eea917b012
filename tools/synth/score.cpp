// Reading the score text into a Score, with the line of the first fault.
#include "tools/synth/score.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>

#include "tracks/track_text.h"

namespace {

struct Word {
    std::string_view text;
    int line = 0;
};

using Statement = std::vector<Word>;

struct Failure {
    int line = 0;
    std::string message;
};

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::vector<Word> line_words(std::string_view line, int number) {
    std::vector<Word> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && is_blank(line[i])) ++i;
        size_t end = i;
        while (end < line.size() && !is_blank(line[end])) ++end;
        if (end > i) words.push_back({line.substr(i, end - i), number});
        i = end;
    }
    return words;
}

// Where a line's comment starts: at a '#' that begins a word, so that the
// sharp in a note such as c#3 stays part of it; npos without one.
size_t comment_start(std::string_view line) {
    for (size_t i = 0; i < line.size(); ++i)
        if (line[i] == '#' && (i == 0 || is_blank(line[i - 1]))) return i;
    return std::string_view::npos;
}

// Splits the text into statements; a line that starts with a blank continues
// the statement above it.
std::optional<Failure> text_statements(std::string_view text, std::vector<Statement>& statements) {
    int number = 0;
    while (!text.empty()) {
        ++number;
        const size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
        line = line.substr(0, comment_start(line));
        std::vector<Word> words = line_words(line, number);
        if (words.empty()) continue;
        if (is_blank(line.front())) {
            if (statements.empty()) return Failure{number, "an indented line continues nothing"};
            statements.back().insert(statements.back().end(), words.begin(), words.end());
        } else {
            statements.push_back(std::move(words));
        }
    }
    return std::nullopt;
}

std::optional<double> number_parse(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

// Reads a number within [low, high] into `out`.
std::optional<Failure> number_read(const Word& word, double low, double high, std::string_view what, double& out) {
    const std::optional<double> value = number_parse(word.text);
    if (!value) return Failure{word.line, std::string(what) + " " + text_quote(word.text) + " is not a number"};
    if (*value < low || *value > high) {
        char range[96];
        std::snprintf(range, sizeof range, " is outside %g to %g", low, high);
        return Failure{word.line, std::string(what) + " " + text_quote(word.text) + range};
    }
    out = *value;
    return std::nullopt;
}

std::optional<Failure> integer_read(const Word& word, int low, int high, std::string_view what, int& out) {
    double value = 0.0;
    if (auto failure = number_read(word, low, high, what, value)) return failure;
    if (value != std::floor(value)) return Failure{word.line, std::string(what) + " " + text_quote(word.text) + " is not a whole number"};
    out = int(value);
    return std::nullopt;
}

template <typename T>
int index_find(const std::vector<T>& items, std::string_view name) {
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].name == name) return int(i);
    return -1;
}

bool name_valid(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-')) return false;
    return true;
}

std::optional<Source> source_parse(std::string_view text) {
    constexpr std::array<std::pair<std::string_view, Source>, 7> SOURCES{{
        {"saw", Source::saw}, {"square", Source::square}, {"sine", Source::sine}, {"noise", Source::noise},
        {"kick", Source::kick}, {"snare", Source::snare}, {"hat", Source::hat},
    }};
    for (const auto& [name, source] : SOURCES)
        if (name == text) return source;
    return std::nullopt;
}

// Where each instrument setting lives and which values make sense for it.
struct SettingField {
    std::string_view name;
    double Instrument::*plain = nullptr;
    double Adsr::*envelope = nullptr;
    double low;
    double high;
};

constexpr std::array<SettingField, 18> SETTINGS{{
    {"attack", nullptr, &Adsr::attack, 0.0, 30.0},
    {"decay", nullptr, &Adsr::decay, 0.0, 30.0},
    {"sustain", nullptr, &Adsr::sustain, 0.0, 1.0},
    {"release", nullptr, &Adsr::release, 0.0, 30.0},
    {"detune", &Instrument::detune, nullptr, 0.0, 1200.0},
    {"spread", &Instrument::spread, nullptr, 0.0, 1.0},
    {"sub", &Instrument::sub, nullptr, 0.0, 2.0},
    {"cutoff", &Instrument::cutoff, nullptr, 10.0, 20000.0},
    {"resonance", &Instrument::resonance, nullptr, 0.0, 1.0},
    {"envmod", &Instrument::envmod, nullptr, 0.0, 20000.0},
    {"fdecay", &Instrument::fdecay, nullptr, 0.001, 30.0},
    {"gain", &Instrument::gain, nullptr, 0.0, 4.0},
    {"pan", &Instrument::pan, nullptr, -1.0, 1.0},
    {"delay", &Instrument::delay, nullptr, 0.0, 1.0},
    {"reverb", &Instrument::reverb, nullptr, 0.0, 1.0},
    {"pitch", &Instrument::pitch, nullptr, 10.0, 5000.0},
    {"tone", &Instrument::tone, nullptr, 10.0, 5000.0},
    {"drop", &Instrument::drop, nullptr, 0.001, 5.0},
}};

// N or N-M, within the song.
std::optional<Failure> bars_read(const Word& word, const Score& score, int& first, int& last) {
    if (score.bars == 0) return Failure{word.line, "say how many bars the song has before placing anything on them"};
    const size_t dash = word.text.find('-', 1);
    const Word first_word{word.text.substr(0, dash), word.line};
    if (auto failure = integer_read(first_word, 1, score.bars, "bar", first)) return failure;
    last = first;
    if (dash != std::string_view::npos) {
        const Word last_word{word.text.substr(dash + 1), word.line};
        if (auto failure = integer_read(last_word, first, score.bars, "last bar", last)) return failure;
    }
    return std::nullopt;
}

std::optional<Failure> arguments_check(const Statement& s, size_t least, size_t most, std::string_view usage) {
    const size_t given = s.size() - 1;
    if (given < least || given > most)
        return Failure{s.front().line, std::string(s.front().text) + " takes " + std::string(usage)};
    return std::nullopt;
}

std::optional<Failure> instrument_read(const Statement& s, Score& score) {
    if (auto failure = arguments_check(s, 2, 1000, "NAME SOURCE [SETTING VALUE]...")) return failure;
    Instrument ins;
    ins.name = std::string(s[1].text);
    if (!name_valid(ins.name)) return Failure{s[1].line, "instrument name " + text_quote(ins.name) + " is not a plain word"};
    if (index_find(score.instruments, ins.name) >= 0) return Failure{s[1].line, "instrument " + text_quote(ins.name) + " is already defined"};
    const std::optional<Source> source = source_parse(s[2].text);
    if (!source) return Failure{s[2].line, "unknown sound source " + text_quote(s[2].text) + " (saw, square, sine, noise, kick, snare, hat)"};
    ins.source = *source;
    if (source_is_drum(ins.source)) {
        // Drums ring out and their noise is high-passed: other defaults suit them.
        ins.adsr.decay = ins.source == Source::kick ? 0.3 : ins.source == Source::snare ? 0.12 : 0.04;
        ins.cutoff = ins.source == Source::snare ? 1200.0 : 7000.0;
        ins.tone = ins.source == Source::snare ? 190.0 : ins.tone;
    }
    if ((s.size() - 3) % 2 != 0) return Failure{s.back().line, "setting " + text_quote(s.back().text) + " has no value"};
    for (size_t i = 3; i + 1 < s.size(); i += 2) {
        const SettingField* field = nullptr;
        for (const SettingField& candidate : SETTINGS)
            if (candidate.name == s[i].text) field = &candidate;
        if (!field) return Failure{s[i].line, "unknown setting " + text_quote(s[i].text)};
        double& target = field->plain ? ins.*(field->plain) : ins.adsr.*(field->envelope);
        if (auto failure = number_read(s[i + 1], field->low, field->high, field->name, target)) return failure;
    }
    score.instruments.push_back(std::move(ins));
    return std::nullopt;
}

// One step of a pattern: a rest, a tie, a drum hit or a chord of notes.
std::optional<Failure> step_read(const Word& word, bool drum, Pattern& pattern, std::vector<size_t>& sounding) {
    const int step = pattern.steps;
    if (word.text == "|") return std::nullopt;
    ++pattern.steps;
    if (word.text == ".") {
        sounding.clear();
        return std::nullopt;
    }
    if (word.text == "-") {
        if (sounding.empty()) return Failure{word.line, "'-' holds nothing: no note sounds before it"};
        for (size_t index : sounding) ++pattern.notes[index].length;
        return std::nullopt;
    }
    sounding.clear();
    if (drum) {
        if (word.text != "x" && word.text != "o")
            return Failure{word.line, "a drum step is 'x', 'o', '.' or '-', not " + text_quote(word.text)};
        pattern.notes.push_back({step, 1, 0.0, word.text == "x" ? 1.0 : 0.5});
        sounding.push_back(pattern.notes.size() - 1);
        return std::nullopt;
    }
    std::string_view rest = word.text;
    while (true) {
        const size_t comma = rest.find(',');
        const std::string_view name = rest.substr(0, comma);
        const int note = note_parse(name);
        if (note < 0) return Failure{word.line, text_quote(name) + " is not a note (such as a4, c#3, bb2)"};
        pattern.notes.push_back({step, 1, double(note), 1.0});
        sounding.push_back(pattern.notes.size() - 1);
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
    }
    return std::nullopt;
}

std::optional<Failure> pattern_read(const Statement& s, Score& score) {
    if (auto failure = arguments_check(s, 3, size_t(-1), "NAME INSTRUMENT STEP...")) return failure;
    Pattern pattern;
    pattern.name = std::string(s[1].text);
    if (!name_valid(pattern.name)) return Failure{s[1].line, "pattern name " + text_quote(pattern.name) + " is not a plain word"};
    if (index_find(score.patterns, pattern.name) >= 0) return Failure{s[1].line, "pattern " + text_quote(pattern.name) + " is already defined"};
    pattern.instrument = index_find(score.instruments, s[2].text);
    if (pattern.instrument < 0) return Failure{s[2].line, "no instrument " + text_quote(s[2].text) + " is defined above"};
    const bool drum = source_is_drum(score.instruments[size_t(pattern.instrument)].source);
    std::vector<size_t> sounding;
    for (size_t i = 3; i < s.size(); ++i)
        if (auto failure = step_read(s[i], drum, pattern, sounding)) return failure;
    if (pattern.steps == 0) return Failure{s[1].line, "pattern " + text_quote(pattern.name) + " has no steps"};
    score.patterns.push_back(std::move(pattern));
    return std::nullopt;
}

std::optional<Failure> play_read(const Statement& s, Score& score) {
    if (auto failure = arguments_check(s, 2, size_t(-1), "BARS PATTERN...")) return failure;
    Placement placement;
    if (auto failure = bars_read(s[1], score, placement.first_bar, placement.last_bar)) return failure;
    for (size_t i = 2; i < s.size(); ++i) {
        placement.pattern = index_find(score.patterns, s[i].text);
        if (placement.pattern < 0) return Failure{s[i].line, "no pattern " + text_quote(s[i].text) + " is defined above"};
        score.placements.push_back(placement);
    }
    return std::nullopt;
}

std::optional<Failure> sweep_read(const Statement& s, Score& score) {
    if (auto failure = arguments_check(s, 5, 5, "BARS INSTRUMENT SETTING FROM TO")) return failure;
    Sweep sweep;
    if (auto failure = bars_read(s[1], score, sweep.first_bar, sweep.last_bar)) return failure;
    sweep.instrument = index_find(score.instruments, s[2].text);
    if (sweep.instrument < 0) return Failure{s[2].line, "no instrument " + text_quote(s[2].text) + " is defined above"};
    if (s[3].text == "cutoff") {
        sweep.setting = SweepSetting::cutoff;
        if (auto failure = number_read(s[4], 10.0, 20000.0, "cutoff", sweep.from)) return failure;
        if (auto failure = number_read(s[5], 10.0, 20000.0, "cutoff", sweep.to)) return failure;
    } else if (s[3].text == "gain") {
        sweep.setting = SweepSetting::gain;
        if (auto failure = number_read(s[4], 0.0, 4.0, "gain", sweep.from)) return failure;
        if (auto failure = number_read(s[5], 0.0, 4.0, "gain", sweep.to)) return failure;
    } else {
        return Failure{s[3].line, "only cutoff and gain can be swept, not " + text_quote(s[3].text)};
    }
    score.sweeps.push_back(sweep);
    return std::nullopt;
}

std::optional<Failure> statement_read(const Statement& s, Score& score) {
    const std::string_view keyword = s.front().text;
    if (keyword == "tempo") {
        if (auto failure = arguments_check(s, 1, 1, "BPM")) return failure;
        return number_read(s[1], 20.0, 400.0, "tempo", score.tempo);
    }
    if (keyword == "meter") {
        if (auto failure = arguments_check(s, 2, 2, "BEATS_PER_BAR STEPS_PER_BEAT")) return failure;
        if (auto failure = integer_read(s[1], 1, 16, "beats per bar", score.beats_per_bar)) return failure;
        return integer_read(s[2], 1, 16, "steps per beat", score.steps_per_beat);
    }
    if (keyword == "bars") {
        if (auto failure = arguments_check(s, 1, 1, "COUNT")) return failure;
        if (score.bars != 0) return Failure{s[0].line, "the song's length is already given"};
        return integer_read(s[1], 1, 1000, "bars", score.bars);
    }
    if (keyword == "tail") {
        if (auto failure = arguments_check(s, 1, 1, "SECONDS")) return failure;
        return number_read(s[1], 0.0, 30.0, "tail", score.tail);
    }
    if (keyword == "delay") {
        if (auto failure = arguments_check(s, 2, 2, "BEATS FEEDBACK")) return failure;
        if (auto failure = number_read(s[1], 0.01, 16.0, "delay time", score.delay_beats)) return failure;
        return number_read(s[2], 0.0, 0.95, "delay feedback", score.delay_feedback);
    }
    if (keyword == "reverb") {
        if (auto failure = arguments_check(s, 2, 2, "SIZE DAMPING")) return failure;
        if (auto failure = number_read(s[1], 0.0, 1.0, "reverb size", score.reverb_size)) return failure;
        return number_read(s[2], 0.0, 1.0, "reverb damping", score.reverb_damp);
    }
    if (keyword == "drive") {
        if (auto failure = arguments_check(s, 1, 1, "DB")) return failure;
        return number_read(s[1], 0.0, 24.0, "drive", score.drive_db);
    }
    if (keyword == "peak") {
        if (auto failure = arguments_check(s, 1, 1, "DBFS")) return failure;
        return number_read(s[1], -60.0, 0.0, "peak", score.peak_db);
    }
    if (keyword == "instrument") return instrument_read(s, score);
    if (keyword == "pattern") return pattern_read(s, score);
    if (keyword == "play") return play_read(s, score);
    if (keyword == "sweep") return sweep_read(s, score);
    return Failure{s.front().line, "unknown statement " + text_quote(keyword)};
}

}  // namespace

int note_parse(std::string_view name) {
    if (name.size() < 2) return -1;
    constexpr std::array<int, 7> PITCH_CLASS{9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
    const char letter = name[0];
    if (letter < 'a' || letter > 'g') return -1;
    int note = PITCH_CLASS[size_t(letter - 'a')];
    size_t i = 1;
    if (name[i] == '#') {
        ++note;
        ++i;
    } else if (name[i] == 'b' && i + 1 < name.size()) {
        --note;
        ++i;
    }
    std::string_view octave_text = name.substr(i);
    int octave = 0;
    const auto [end, ec] = std::from_chars(octave_text.data(), octave_text.data() + octave_text.size(), octave);
    if (ec != std::errc() || end != octave_text.data() + octave_text.size() || octave < -1 || octave > 9) return -1;
    const int midi = 12 * (octave + 1) + note;
    return midi < 0 || midi > 127 ? -1 : midi;
}

ScoreParse score_parse(std::string_view text) {
    ScoreParse result;
    std::vector<Statement> statements;
    std::optional<Failure> failure = text_statements(text, statements);
    for (size_t i = 0; !failure && i < statements.size(); ++i) failure = statement_read(statements[i], result.score);
    if (!failure && result.score.bars == 0) failure = Failure{1, "the score never says how many bars the song has"};
    const double seconds = result.score.bars * score_bar_seconds(result.score) + result.score.tail;
    if (!failure && seconds > SCORE_SECONDS_MAX) {
        char message[96];
        std::snprintf(message, sizeof message, "the song lasts %.0f seconds; at most %.0f can be rendered", seconds,
                      SCORE_SECONDS_MAX);
        failure = Failure{1, message};
    }
    if (failure) {
        result.error_line = failure->line;
        result.error = failure->message;
    }
    return result;
}

double score_step_seconds(const Score& score) { return 60.0 / score.tempo / score.steps_per_beat; }

double score_bar_seconds(const Score& score) { return 60.0 / score.tempo * score.beats_per_bar; }
