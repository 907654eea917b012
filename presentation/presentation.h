// What the presentation is, written down once: its screen, its clock, its tune
// and the tracks it reads. The driver, the tools, the tests and the build all
// take these facts from here. Platform-free.
#pragma once

#include <cstdint>
#include <string_view>

// The display mode the presentation asks for, and the size every scene
// receives as k.
inline constexpr int32_t SCREEN_WIDTH = 1920;
inline constexpr int32_t SCREEN_HEIGHT = 1080;

// Music seconds x 20 is the row, the time unit of the tracks.
inline constexpr double ROWS_PER_SECOND = 20.0;

// The title covers rows 1280 to 1360, both included: seconds 64 to 68.
inline constexpr double TITLE_FIRST_ROW = 1280.0;
inline constexpr double TITLE_LAST_ROW = 1360.0;

// The tune, beside the program, and how the audio layer plays it.
inline constexpr const char* TUNE_FILE = "vaxo.mp3";
inline constexpr uint32_t AUDIO_FREQUENCY = 44100;

// The tune's tempo, as its score (assets/vaxo.score) declares it: 120 beats a
// minute in 4/4, so a beat is 10 rows and a bar 40.
inline constexpr double TUNE_BEATS_PER_MINUTE = 120.0;
inline constexpr int32_t TUNE_BEATS_PER_BAR = 4;
inline constexpr double ROWS_PER_BEAT = ROWS_PER_SECOND * 60.0 / TUNE_BEATS_PER_MINUTE;
inline constexpr double ROWS_PER_BAR = ROWS_PER_BEAT * TUNE_BEATS_PER_BAR;
// Its phrases are four bars long: 160 rows.
inline constexpr int32_t TUNE_BARS_PER_PHRASE = 4;
inline constexpr double ROWS_PER_PHRASE = ROWS_PER_BAR * TUNE_BARS_PER_PHRASE;

// The track set and its tracks, in the order in which they are requested; each
// is read from "sync_NAME.track". Only the camera's two are read afterwards.
inline constexpr const char* TRACKSET_BASE_NAME = "sync";
inline constexpr std::string_view CAMERA_DIST_TRACK = "cam.dist";  // uniform y, the scenes' clock
inline constexpr std::string_view CAMERA_ROT_TRACK = "cam.rot";    // uniform rot, the dolly
inline constexpr const char* TRACK_NAMES[] = {"clear.r", "clear.g", "clear.b", "cam.rot", "cam.dist"};
