// The studio's video job with stand-ins for zirbelon-render: its outcome is
// "wrote FILE" after success and the tool's own last line after a failure,
// even when the tool prints it just before it ends.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/scratch_folder.h"
#include "tools/studio/video_job.h"

namespace fs = std::filesystem;

namespace {

class StudioVideoJob : public testing::Test {
protected:
    void SetUp() override { dir_ = scratch_folder("studio_video_job"); }
    void TearDown() override { fs::remove_all(dir_); }

    std::string tool(const std::string& name, const std::string& body) {
        const fs::path path = dir_ / name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(path, fs::perms::owner_all);
        return path.string();
    }

    // Polls as the studio's frames do until the job ends; true when it did.
    static bool wait_end(VideoJob& job) {
        for (int i = 0; i < 500; ++i) {
            if (video_job_poll(job)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    fs::path dir_;
};

}  // namespace

TEST_F(StudioVideoJob, SuccessSaysWhatItWrote) {
    const std::string render = tool("render", "printf 'frame 1 of 2\\r'; printf 'frame 2 of 2\\n'; exit 0");
    VideoJob job;
    std::string error;
    ASSERT_TRUE(video_job_start(job, render, {"-o", "loop.mp4"}, "shots/loop.mp4", error)) << error;
    ASSERT_TRUE(wait_end(job));
    EXPECT_TRUE(job.succeeded);
    EXPECT_EQ(job.outcome, "wrote shots/loop.mp4");
    EXPECT_FALSE(video_job_poll(job)) << "an ended job ends once";
}

TEST_F(StudioVideoJob, FailureSaysTheToolsLastLine) {
    const std::string render =
        tool("render", "printf 'frame 1 of 9\\r'; echo 'zirbelon-render video: no tune vaxo.mp3 in show' >&2; exit 1");
    VideoJob job;
    std::string error;
    ASSERT_TRUE(video_job_start(job, render, {}, "loop.mp4", error)) << error;
    ASSERT_TRUE(wait_end(job));
    EXPECT_FALSE(job.succeeded);
    EXPECT_EQ(job.outcome, "the video failed: zirbelon-render video: no tune vaxo.mp3 in show");
}
