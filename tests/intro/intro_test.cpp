// The driver against the recording fake: start-up order, each frame's calls,
// scene choice by row, failures shown and survived, shutdown and exit code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "intro/intro.h"
#include "tests/fake/fake_platform.h"
#include "tests/support/track_file.h"

namespace fs = std::filesystem;

namespace {

// Runs each test in an empty folder of its own: the driver reads its track
// files from the working directory.
class IntroTest : public testing::Test {
protected:
    void SetUp() override {
        previous_ = fs::current_path();
        folder_ = fs::temp_directory_path() /
                  ("intro_test_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        fs::current_path(folder_);
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(folder_);
    }

    // Runs the presentation to its end; gives the exit code.
    int run(const FakeScript& script) {
        fake_platform_reset(script);
        try {
            intro_main(0, nullptr, nullptr);
        } catch (const FakeExit& exit) {
            return exit.code;
        }
        ADD_FAILURE() << "intro_main returned";
        return -1;
    }

    const std::vector<std::string>& log() { return fake_platform_log(); }

    // The log entries from the first one equal to `first`, `count` of them.
    std::vector<std::string> slice(const std::string& first, size_t count, size_t occurrence = 0) {
        size_t at = 0;
        for (; at < log().size(); ++at)
            if (log()[at] == first && occurrence-- == 0) break;
        const size_t end = std::min(log().size(), at + count);
        return {log().begin() + std::ptrdiff_t(std::min(at, end)), log().begin() + std::ptrdiff_t(end)};
    }

    size_t count_of(const std::string& entry) { return size_t(std::count(log().begin(), log().end(), entry)); }

    // The program each drawn frame used, in frame order ("" for a frame that drew nothing).
    std::vector<std::string> frame_programs() {
        std::vector<std::string> programs;
        std::string current;
        for (const std::string& entry : log()) {
            if (entry.starts_with("audio_channel_get_position")) current.clear();
            if (entry.starts_with("glUseProgram")) current = entry.substr(13);
            if (entry == "swap_buffers") programs.push_back(current);
        }
        return programs;
    }

    fs::path previous_, folder_;
};

TEST_F(IntroTest, StartsUpInOrderAndBuildsTheProgramsBeforeTheAudio) {
    EXPECT_EQ(run({}), 0);
    const std::vector<std::string> expected = {
        "display_set_mode 1920 1080",
        "window_create",
        "window_get_dc",
        "pixel_format_choose",
        "pixel_format_set",
        "gl_context_create",
        "gl_make_current",
        "cursor_hide",
        "glCreateProgram -> 1",
        "glCreateProgram -> 2",
        "glCreateShader 0x8B31 -> 3",
        "glShaderSource 3 1 vertex null",
        "glCompileShader 3",
        "glAttachShader 1 3",
        "glCreateShader 0x8B30 -> 4",
        "glShaderSource 4 1 landscape null",
        "glCompileShader 4",
        "glAttachShader 1 4",
        "glCreateShader 0x8B30 -> 5",
        "glShaderSource 5 1 title null",
        "glCompileShader 5",
        "glAttachShader 2 5",
        "glLinkProgram 1",
        "glLinkProgram 2",
        "glUseProgram 1",
        "glGetUniformLocation 1 y -> 10",
        "glGetUniformLocation 1 rot -> 11",
        "glGetUniformLocation 1 k -> 12",
        "glUniform2f 12 1920 1080",
        "audio_init -1 44100",
        "audio_stream_create_file vaxo.mp3 0x20000",
        "audio_start",
        "audio_channel_play 7 0",
    };
    ASSERT_GE(log().size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(log().begin(), log().begin() + std::ptrdiff_t(expected.size())), expected);
}

// The window takes no messages; Windows would deem it hung after 5 seconds
// and cover it with a frozen copy unless told, once, before it exists.
TEST_F(IntroTest, TurnsWindowGhostingOffOnceBeforeTheWindowExists) {
    EXPECT_EQ(run({}), 0);
    ASSERT_EQ(fake_platform_settings().size(), 1u);
    EXPECT_EQ(fake_platform_settings()[0].name, "window_ghosting_disable");
    EXPECT_EQ(fake_platform_settings()[0].at, 0u) << "made before the display mode and the window";
    ASSERT_FALSE(log().empty());
    EXPECT_EQ(log().front(), "display_set_mode 1920 1080");
}

TEST_F(IntroTest, EscapeHeldAtStartDrawsAndSwapsOneFrameThenShutsDown) {
    write_track("sync_cam.dist.track", {{0, 0.0f, 1}, {100, 10.0f, 0}});
    write_track("sync_cam.rot.track", {{0, 1.0f / 3.0f, 0}});
    FakeScript script;
    script.frame_seconds = {2.5};  // row 50: halfway along the first cam.dist interval
    script.escape_at_frame = 1;
    EXPECT_EQ(run(script), 0);
    const std::vector<std::string> expected = {
        "audio_channel_get_position 7",
        "audio_channel_bytes_to_seconds 7",
        "glUseProgram 1",
        "glGetUniformLocation 1 y -> 10",
        "glGetUniformLocation 1 rot -> 11",
        "glGetUniformLocation 1 k -> 12",
        "glUniform1f 10 5",
        "glUniform1f 11 0.333333343",
        "glUniform2f 12 1920 1080",
        "glRecti 1 1 -1 -1",
        "swap_buffers",
        "audio_update 0",
        "escape_pressed",
        "audio_stream_free 7",
        "audio_free",
        "exit 0",
    };
    EXPECT_EQ(slice("audio_channel_get_position 7", 100), expected);
}

TEST_F(IntroTest, TheRowChoosesTheSceneWithBothTitleBoundsInside) {
    FakeScript script;
    script.frame_seconds = {1279.95 / 20.0, 64.0, 68.0, 1360.05 / 20.0, std::nan(""), 0.0};
    script.escape_at_frame = 6;
    EXPECT_EQ(run(script), 0);
    // A row that is not a number draws nothing but the frame is still swapped.
    EXPECT_EQ(frame_programs(), (std::vector<std::string>{"1", "2", "2", "1", "", "1"}));
    EXPECT_EQ(count_of("glRecti 1 1 -1 -1"), 5u);
    EXPECT_EQ(count_of("audio_update 0"), 6u);
}

TEST_F(IntroTest, EveryFrameSetsTheScreenSizeAndLooksUpTheLocationsAgain) {
    FakeScript script;
    script.frame_seconds = {1.0, 66.0, 2.0};
    script.escape_at_frame = 3;
    run(script);
    EXPECT_EQ(count_of("glUniform2f 12 1920 1080"), 1u + 2u);  // start-up and two landscape frames
    EXPECT_EQ(count_of("glUniform2f 22 1920 1080"), 1u);
    EXPECT_EQ(count_of("glGetUniformLocation 1 y -> 10"), 1u + 2u);
    EXPECT_EQ(count_of("glGetUniformLocation 2 rot -> 21"), 1u);
}

std::string uniform_entry(int location, double value) {
    char text[64];
    std::snprintf(text, sizeof text, "glUniform1f %d %.9g", location, double(float(value)));
    return text;
}

TEST_F(IntroTest, TheCameraTracksAreEvaluatedAtTheUnflooredRowAndNarrowed) {
    write_track("sync_cam.dist.track", {{0, 0.0f, 1}, {10, 1.0f, 0}});
    write_track("sync_cam.rot.track", {{0, 2.0f, 2}, {10, 4.0f, 0}});
    FakeScript script;
    script.frame_seconds = {0.1234};
    run(script);
    const double t = 0.1234 * 20.0 / 10.0;
    const std::vector<std::string> uniforms = slice("glUseProgram 1", 6, 1);
    ASSERT_EQ(uniforms.size(), 6u);
    EXPECT_EQ(uniforms[4], uniform_entry(10, t));
    EXPECT_EQ(uniforms[5], uniform_entry(11, 2.0 + t * t * (3.0 - 2.0 * t) * 2.0));
}

TEST_F(IntroTest, WithoutTuneOrTracksTheErrorIsShownAndFramesFollowAtZero) {
    FakeScript script;
    script.tune_ok = false;
    script.escape_at_frame = 3;
    EXPECT_EQ(run(script), 0);
    EXPECT_EQ(slice("audio_stream_create_file vaxo.mp3 0x20000", 2)[1], "error_box failed to open tune");
    // No stream: the clock reads negative, so every frame shows the landscape with both values 0.
    EXPECT_EQ(frame_programs(), (std::vector<std::string>{"1", "1", "1"}));
    EXPECT_EQ(count_of("glUniform1f 10 0"), 3u);
    EXPECT_EQ(count_of("glUniform1f 11 0"), 3u);
    EXPECT_EQ(count_of("audio_channel_play 0 0"), 1u);
    EXPECT_EQ(log().back(), "exit 0");
}

TEST_F(IntroTest, BeforeTheFirstKeyEveryTrackHoldsItsFirstValue) {
    write_track("sync_cam.dist.track", {{0, 3.0f, 1}, {10, 5.0f, 0}});
    FakeScript script;
    script.tune_ok = false;
    run(script);
    EXPECT_EQ(count_of("glUniform1f 10 3"), 1u);
}

TEST_F(IntroTest, ANoAudioDeviceIsShownAndTheRunGoesOn) {
    FakeScript script;
    script.audio_init_ok = false;
    script.escape_at_frame = 2;
    EXPECT_EQ(run(script), 0);
    EXPECT_EQ(slice("audio_init -1 44100", 2)[1], "error_box failed to init bass");
    EXPECT_EQ(count_of("swap_buffers"), 2u);
}

TEST_F(IntroTest, AMissingEntryPointIsSkippedNotCalled) {
    FakeScript script;
    script.missing_gl_entries = {"glUseProgram", "glUniform1f"};
    EXPECT_EQ(run(script), 0);
    EXPECT_EQ(count_of("glRecti 1 1 -1 -1"), 1u);
    EXPECT_EQ(count_of("glGetUniformLocation 1 y -> 10"), 2u);
}

TEST(ShowError, CutsTheTextToFitItsBuffer) {
    fake_platform_reset({});
    show_error("%s", std::string(5000, 'x').c_str());
    show_error("frame %d of %s", 3, "ten");
    ASSERT_EQ(fake_platform_log().size(), 2u);
    EXPECT_EQ(fake_platform_log()[0], "error_box " + std::string(4095, 'x'));
    EXPECT_EQ(fake_platform_log()[1], "error_box frame 3 of ten");
}

}  // namespace
