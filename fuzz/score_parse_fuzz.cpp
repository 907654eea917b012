// libFuzzer target: the synthesizer's score reader. The song is not rendered:
// a fuzzed score may ask for minutes of sound, and rendering takes far longer
// than reading.
//
// Besides the sanitizers, it checks that an accepted score is one the renderer
// can take as it is: every value within the range its statement allows, every
// index naming something defined, every note inside its pattern, every bar
// inside the song and the song no longer than SCORE_SECONDS_MAX; that a fault
// names a line of the text; and that CRLF line ends or tabs for spaces read
// exactly like the text itself, faults included. note_parse gets the first
// bytes as a name: it gives -1 or a MIDI number, which reads back when spelled.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/synth/score.h"

namespace {

// Names the failing check's line: the checks are inlined, so the stack trace
// does not.
void check(bool holds, int line = __builtin_LINE()) {
    if (holds) return;
    std::fprintf(stderr, "check failed: %s line %d\n", __FILE__, line);
    std::abort();
}

bool within(double value, double low, double high) { return std::isfinite(value) && value >= low && value <= high; }

bool name_valid(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    });
}

struct SettingBounds {
    double (*get)(const Instrument&);
    double low;
    double high;
};

// The range each instrument setting may be given in.
constexpr std::array<SettingBounds, 18> SETTING_BOUNDS{{
    {[](const Instrument& i) { return i.adsr.attack; }, 0.0, 30.0},
    {[](const Instrument& i) { return i.adsr.decay; }, 0.0, 30.0},
    {[](const Instrument& i) { return i.adsr.sustain; }, 0.0, 1.0},
    {[](const Instrument& i) { return i.adsr.release; }, 0.0, 30.0},
    {[](const Instrument& i) { return i.detune; }, 0.0, 1200.0},
    {[](const Instrument& i) { return i.spread; }, 0.0, 1.0},
    {[](const Instrument& i) { return i.sub; }, 0.0, 2.0},
    {[](const Instrument& i) { return i.cutoff; }, 10.0, 20000.0},
    {[](const Instrument& i) { return i.resonance; }, 0.0, 1.0},
    {[](const Instrument& i) { return i.envmod; }, 0.0, 20000.0},
    {[](const Instrument& i) { return i.fdecay; }, 0.001, 30.0},
    {[](const Instrument& i) { return i.gain; }, 0.0, 4.0},
    {[](const Instrument& i) { return i.pan; }, -1.0, 1.0},
    {[](const Instrument& i) { return i.delay; }, 0.0, 1.0},
    {[](const Instrument& i) { return i.reverb; }, 0.0, 1.0},
    {[](const Instrument& i) { return i.pitch; }, 10.0, 5000.0},
    {[](const Instrument& i) { return i.tone; }, 10.0, 5000.0},
    {[](const Instrument& i) { return i.drop; }, 0.001, 5.0},
}};

void check_song_settings(const Score& s) {
    check(within(s.tempo, 20.0, 400.0));
    check(s.beats_per_bar >= 1 && s.beats_per_bar <= 16);
    check(s.steps_per_beat >= 1 && s.steps_per_beat <= 16);
    check(s.bars >= 1 && s.bars <= 1000);
    check(within(s.tail, 0.0, 30.0));
    check(within(s.delay_beats, 0.01, 16.0));
    check(within(s.delay_feedback, 0.0, 0.95));
    check(within(s.reverb_size, 0.0, 1.0));
    check(within(s.reverb_damp, 0.0, 1.0));
    check(within(s.drive_db, 0.0, 24.0));
    check(within(s.peak_db, -60.0, 0.0));
    const double seconds = s.bars * score_bar_seconds(s) + s.tail;
    check(within(seconds, 0.0, SCORE_SECONDS_MAX));
    check(std::isfinite(score_step_seconds(s)) && score_step_seconds(s) > 0.0);
}

void check_instruments(const Score& s) {
    for (size_t i = 0; i < s.instruments.size(); ++i) {
        const Instrument& ins = s.instruments[i];
        check(name_valid(ins.name));
        for (size_t j = 0; j < i; ++j) check(s.instruments[j].name != ins.name);
        check(int(ins.source) >= int(Source::saw) && int(ins.source) <= int(Source::hat));
        for (const SettingBounds& bounds : SETTING_BOUNDS) check(within(bounds.get(ins), bounds.low, bounds.high));
    }
}

void check_patterns(const Score& s) {
    for (size_t i = 0; i < s.patterns.size(); ++i) {
        const Pattern& p = s.patterns[i];
        check(name_valid(p.name));
        for (size_t j = 0; j < i; ++j) check(s.patterns[j].name != p.name);
        check(p.instrument >= 0 && size_t(p.instrument) < s.instruments.size());
        check(p.steps >= 1);
        const bool drum = source_is_drum(s.instruments[size_t(p.instrument)].source);
        int previous_step = 0;
        for (const PatternNote& n : p.notes) {
            check(n.step >= previous_step && n.step < p.steps);
            check(n.length >= 1 && n.length <= p.steps - n.step);
            if (drum) {
                check(n.note == 0.0 && (n.velocity == 1.0 || n.velocity == 0.5));
            } else {
                check(n.note == std::floor(n.note) && within(n.note, 0.0, 127.0));
                check(n.velocity == 1.0);
            }
            previous_step = n.step;
        }
    }
}

bool bars_valid(const Score& s, int first, int last) { return first >= 1 && first <= last && last <= s.bars; }

void check_arrangement(const Score& s) {
    for (const Placement& p : s.placements) {
        check(bars_valid(s, p.first_bar, p.last_bar));
        check(p.pattern >= 0 && size_t(p.pattern) < s.patterns.size());
    }
    for (const Sweep& w : s.sweeps) {
        check(bars_valid(s, w.first_bar, w.last_bar));
        check(w.instrument >= 0 && size_t(w.instrument) < s.instruments.size());
        if (w.setting == SweepSetting::cutoff) {
            check(within(w.from, 10.0, 20000.0) && within(w.to, 10.0, 20000.0));
        } else {
            check(w.setting == SweepSetting::gain);
            check(within(w.from, 0.0, 4.0) && within(w.to, 0.0, 4.0));
        }
    }
}

// Everything a parse gives, as text; "%a" keeps every bit of a double.
std::string describe(const ScoreParse& parsed) {
    std::string out;
    auto add = [&out](double value) {
        char text[40];
        std::snprintf(text, sizeof text, "%a ", value);
        out += text;
    };
    const Score& s = parsed.score;
    out += std::to_string(parsed.error_line) + " " + parsed.error + "\n";
    for (double v : {s.tempo, double(s.beats_per_bar), double(s.steps_per_beat), double(s.bars), s.tail,
                     s.delay_beats, s.delay_feedback, s.reverb_size, s.reverb_damp, s.drive_db, s.peak_db})
        add(v);
    for (const Instrument& ins : s.instruments) {
        out += "\n" + ins.name + " " + std::to_string(int(ins.source)) + " ";
        for (const SettingBounds& bounds : SETTING_BOUNDS) add(bounds.get(ins));
    }
    for (const Pattern& p : s.patterns) {
        out += "\n" + p.name + " " + std::to_string(p.instrument) + " " + std::to_string(p.steps) + " ";
        for (const PatternNote& n : p.notes)
            for (double v : {double(n.step), double(n.length), n.note, n.velocity}) add(v);
    }
    for (const Placement& p : s.placements)
        for (double v : {double(p.first_bar), double(p.last_bar), double(p.pattern)}) add(v);
    for (const Sweep& w : s.sweeps)
        for (double v : {double(w.first_bar), double(w.last_bar), double(w.instrument), double(w.setting), w.from, w.to})
            add(v);
    return out;
}

int line_count(std::string_view text) {
    const auto newlines = std::count(text.begin(), text.end(), '\n');
    return int(newlines) + (text.empty() || text.back() == '\n' ? 0 : 1);
}

std::string replaced(std::string_view text, char from, std::string_view to) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) {
        if (c == from) out += to;
        else out += c;
    }
    return out;
}

void check_note_name(std::string_view name) {
    const int note = note_parse(name);
    check(note >= -1 && note <= 127);
    if (note < 0) return;
    constexpr std::array<std::string_view, 12> CLASS_NAMES{"c", "c#", "d", "d#", "e", "f",
                                                           "f#", "g", "g#", "a", "a#", "b"};
    const std::string spelled = std::string(CLASS_NAMES[size_t(note % 12)]) + std::to_string(note / 12 - 1);
    check(note_parse(spelled) == note);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    check_note_name(text.substr(0, 5));

    const ScoreParse parsed = score_parse(text);
    const std::string description = describe(parsed);
    check(describe(score_parse(replaced(text, '\n', "\r\n"))) == description);
    check(describe(score_parse(replaced(text, ' ', "\t"))) == description);
    if (parsed.error_line != 0) {
        check(!parsed.error.empty());
        check(parsed.error_line >= 1 && parsed.error_line <= std::max(1, line_count(text)));
        return 0;
    }
    check(parsed.error.empty());
    check_song_settings(parsed.score);
    check_instruments(parsed.score);
    check_patterns(parsed.score);
    check_arrangement(parsed.score);
    return 0;
}
