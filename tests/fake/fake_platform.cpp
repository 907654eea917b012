// Recording fake of platform.h and audio.h, with fake GL entry points.
#include "tests/fake/fake_platform.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "platform/audio.h"
#include "platform/platform.h"
#include "shaders/programs.h"

namespace {

FakeScript g_script;
std::vector<std::string> g_log;
std::vector<FakeSetting> g_settings;
int g_polls = 0;
uint64_t g_position_reads = 0;
uint32_t g_next_object = 1;

constexpr AudioStream FAKE_STREAM = 7;

void record(std::string entry) { g_log.push_back(std::move(entry)); }

std::string format(const char* pattern, auto... args) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

uint32_t gl_create_program() {
    const uint32_t name = g_next_object++;
    record(format("glCreateProgram -> %u", name));
    return name;
}
uint32_t gl_create_shader(uint32_t type) {
    const uint32_t name = g_next_object++;
    record(format("glCreateShader 0x%X -> %u", type, name));
    return name;
}
// Names the embedded text handed over, so that a test sees which text went where.
const char* text_name(const char* text) {
    if (text == vertex_glsl) return "vertex";
    if (text == landscape_glsl) return "landscape";
    if (text == title_glsl) return "title";
    return "other";
}
void gl_shader_source(uint32_t shader, int32_t count, const char* const* strings, const int32_t* lengths) {
    record(format("glShaderSource %u %d %s %s", shader, count, text_name(strings[0]),
                  lengths ? "lengths" : "null"));
}
void gl_compile_shader(uint32_t shader) { record(format("glCompileShader %u", shader)); }
void gl_attach_shader(uint32_t program, uint32_t shader) {
    record(format("glAttachShader %u %u", program, shader));
}
void gl_link_program(uint32_t program) { record(format("glLinkProgram %u", program)); }
void gl_use_program(uint32_t program) { record(format("glUseProgram %u", program)); }
// Locations tell program and name apart: program * 10 + 0 ("y"), 1 ("rot"), 2 ("k").
int32_t gl_get_uniform_location(uint32_t program, const char* name) {
    const std::string_view n = name;
    const int32_t location = int32_t(program) * 10 + (n == "y" ? 0 : n == "rot" ? 1 : 2);
    record(format("glGetUniformLocation %u %s -> %d", program, name, location));
    return location;
}
void gl_uniform_1f(int32_t location, float value) {
    record(format("glUniform1f %d %.9g", location, double(value)));
}
void gl_uniform_2f(int32_t location, float x, float y) {
    record(format("glUniform2f %d %.9g %.9g", location, double(x), double(y)));
}

const std::map<std::string, void*, std::less<>> g_gl_entries = {
    {"glCreateProgram", reinterpret_cast<void*>(gl_create_program)},
    {"glCreateShader", reinterpret_cast<void*>(gl_create_shader)},
    {"glShaderSource", reinterpret_cast<void*>(gl_shader_source)},
    {"glCompileShader", reinterpret_cast<void*>(gl_compile_shader)},
    {"glAttachShader", reinterpret_cast<void*>(gl_attach_shader)},
    {"glLinkProgram", reinterpret_cast<void*>(gl_link_program)},
    {"glUseProgram", reinterpret_cast<void*>(gl_use_program)},
    {"glGetUniformLocation", reinterpret_cast<void*>(gl_get_uniform_location)},
    {"glUniform1f", reinterpret_cast<void*>(gl_uniform_1f)},
    {"glUniform2f", reinterpret_cast<void*>(gl_uniform_2f)},
};

}  // namespace

void fake_platform_reset(const FakeScript& script) {
    g_script = script;
    g_log.clear();
    g_settings.clear();
    g_polls = 0;
    g_position_reads = 0;
    g_next_object = 1;
}

const std::vector<std::string>& fake_platform_log() { return g_log; }
const std::vector<FakeSetting>& fake_platform_settings() { return g_settings; }

void platform_window_ghosting_disable() { g_settings.push_back({"window_ghosting_disable", g_log.size()}); }

void platform_display_set_mode(int32_t width, int32_t height) {
    record(format("display_set_mode %d %d", width, height));
}
void platform_window_create() { record("window_create"); }
void platform_window_get_dc() { record("window_get_dc"); }
void platform_pixel_format_choose() { record("pixel_format_choose"); }
void platform_pixel_format_set() { record("pixel_format_set"); }
void platform_gl_context_create() { record("gl_context_create"); }
void platform_gl_make_current() { record("gl_make_current"); }
void platform_cursor_hide() { record("cursor_hide"); }

void* platform_gl_proc(const char* name) {
    const auto& missing = g_script.missing_gl_entries;
    if (std::find(missing.begin(), missing.end(), name) != missing.end()) return nullptr;
    const auto entry = g_gl_entries.find(name);
    return entry == g_gl_entries.end() ? nullptr : entry->second;
}

void platform_gl_rect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    record(format("glRecti %d %d %d %d", x1, y1, x2, y2));
}
void platform_swap_buffers() { record("swap_buffers"); }

bool platform_escape_pressed() {
    ++g_polls;
    record("escape_pressed");
    return g_polls >= g_script.escape_at_frame;
}

void platform_error_box(const char* text) { record(std::string("error_box ") + text); }

void platform_exit(int code) {
    record(format("exit %d", code));
    throw FakeExit{code};
}

bool audio_init(int32_t device, uint32_t frequency) {
    record(format("audio_init %d %u", device, frequency));
    return g_script.audio_init_ok;
}

AudioStream audio_stream_create_file(const char* path, uint32_t flags) {
    record(format("audio_stream_create_file %s 0x%X", path, flags));
    return g_script.tune_ok ? FAKE_STREAM : 0;
}

bool audio_start() {
    record("audio_start");
    return true;
}

bool audio_channel_play(AudioStream stream, bool restart) {
    record(format("audio_channel_play %u %d", stream, int(restart)));
    return stream == FAKE_STREAM;
}

// The position counts frames, so that bytes-to-seconds can give each frame's scripted reading.
uint64_t audio_channel_get_position(AudioStream stream) {
    record(format("audio_channel_get_position %u", stream));
    if (stream != FAKE_STREAM) return AUDIO_POSITION_INVALID;
    return g_position_reads++;
}

double audio_channel_bytes_to_seconds(AudioStream stream, uint64_t position) {
    record(format("audio_channel_bytes_to_seconds %u", stream));
    if (stream != FAKE_STREAM || position == AUDIO_POSITION_INVALID) return -1.0;
    const auto& seconds = g_script.frame_seconds;
    return seconds[std::min<size_t>(position, seconds.size() - 1)];
}

uint64_t audio_channel_seconds_to_bytes(AudioStream stream, double seconds) {
    record(format("audio_channel_seconds_to_bytes %u %g", stream, seconds));
    return 0;
}

bool audio_channel_pause(AudioStream stream) {
    record(format("audio_channel_pause %u", stream));
    return stream == FAKE_STREAM;
}

bool audio_channel_set_position(AudioStream stream, uint64_t position) {
    record(format("audio_channel_set_position %u %llu", stream, static_cast<unsigned long long>(position)));
    return stream == FAKE_STREAM;
}

bool audio_update(uint32_t period_ms) {
    record(format("audio_update %u", period_ms));
    return true;
}

bool audio_stream_free(AudioStream stream) {
    record(format("audio_stream_free %u", stream));
    return stream == FAKE_STREAM;
}

bool audio_free() {
    record("audio_free");
    return true;
}
