// zirbelon-render video --job and join, run as a program: a render kept in
// chunks gives the bytes of a run without a job whether it ran whole, was
// killed (SIGKILL) and run again, or ran as parts in other folders (by hand
// or under GNU parallel) that were joined; changed inputs start it over and
// say which; a damaged or missing chunk is rendered again, never joined.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/render/tool_test.h"

namespace {

namespace fs = std::filesystem;

// 4 s at 15 fps in chunks of 4 frames: 60 frames, 15 chunks, so a run is long
// enough to be killed in the middle.
const std::vector<std::string> SPAN = {"--size", "160x90", "--fps", "15", "--from", "0.5", "--to", "4.5"};
constexpr std::string_view CHUNK = "4";

class VideoJob : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        write_ramp_tracks(dir_);
        make_tune(dir_ / "vaxo.mp3", "synth 5 sine 300:900");
    }

    std::vector<std::string> video_args(const std::vector<std::string>& format, const std::vector<std::string>& more) {
        std::vector<std::string> args = {"video"};
        args.insert(args.end(), SPAN.begin(), SPAN.end());
        args.insert(args.end(), format.begin(), format.end());
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    std::vector<std::string> job_args(const std::vector<std::string>& format, const std::string& job,
                                      const std::vector<std::string>& more) {
        std::vector<std::string> args = video_args(format, {"--job", job, "--chunk", std::string(CHUNK)});
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    // The sealed chunks in a job folder.
    std::vector<fs::path> chunks(const std::string& job) {
        std::vector<fs::path> found;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(dir_ / job, ignored)) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with("chunk-") && name.ends_with(".mkv") && std::count(name.begin(), name.end(), '-') == 3)
                found.push_back(entry.path());
        }
        std::sort(found.begin(), found.end());
        return found;
    }

    // Starts the job's command in the background, waits until `ready` (a
    // shell test run in the folder) holds, and kills the run with SIGKILL.
    void run_killed(const std::vector<std::string>& args, const std::string& ready) {
        const std::string script = "( " + tool_command(args) + " >/dev/null 2>&1 & pid=$!; i=0; until " + ready +
                                   "; do i=$((i+1)); [ $i -gt 3000 ] && break; sleep 0.005; done; "
                                   "kill -9 $pid; wait $pid; echo $? >killed.txt )";
        ASSERT_EQ(shell(script), 0);
        EXPECT_EQ(read_file(dir_ / "killed.txt"), "137\n") << "the run was not killed";
    }

    // The same video made whole with a job, killed while rendering and while
    // encoding and run again, and as three parts joined, as without a job.
    void expect_one_video(const std::vector<std::string>& format, const std::string& out) {
        ToolRun result = run(video_args(format, {"-o", "direct" + out, "-q"}));
        ASSERT_EQ(result.status, 0) << result.err;
        const std::string direct = read_file(dir_ / ("direct" + out));
        ASSERT_GT(direct.size(), 1000u);

        result = run(job_args(format, "whole", {"-o", "whole" + out, "-q"}));
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(chunks("whole").size(), 15u);
        EXPECT_TRUE(read_file(dir_ / ("whole" + out)) == direct) << "a job gave other bytes than a plain run";

        const std::vector<std::string> resumed = job_args(format, "resumed", {"-o", "resumed" + out, "-q"});
        run_killed(resumed, "[ $(ls resumed 2>/dev/null | grep -c -- '-[0-9a-f]*-[0-9a-f]*-[0-9a-f]*\\.mkv$') -ge 3 ]");
        EXPECT_FALSE(fs::exists(dir_ / ("resumed" + out)));
        const size_t kept = chunks("resumed").size();
        EXPECT_GE(kept, 3u);
        EXPECT_LT(kept, 15u) << "killed too late to test a resumed render";
        // Killed again, this time in the final encoding.
        run_killed(resumed, "ls | grep -q '^resumed" + out + "\\..*\\.part$'");
        EXPECT_FALSE(fs::exists(dir_ / ("resumed" + out)));
        result = run(resumed);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(read_file(dir_ / ("resumed" + out)) == direct) << "a resumed job gave other bytes";

        for (const char* part : {"1", "2", "3"}) {
            result = run(job_args(format, std::string("part") + part, {"--part", std::string(part) + "/3", "-q"}));
            ASSERT_EQ(result.status, 0) << result.err;
            EXPECT_EQ(chunks(std::string("part") + part).size(), 5u);
        }
        result = run({"join", "part1", "part2", "part3", "-o", "joined" + out, "-q"});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(read_file(dir_ / ("joined" + out)) == direct) << "joined parts gave other bytes";
    }
};

TEST_F(VideoJob, PartyH264IsTheSameWholeResumedAndJoined) {
    expect_one_video({"--preset", "party"}, ".mp4");
}

TEST_F(VideoJob, LosslessMkvIsTheSameWholeResumedAndJoined) {
    expect_one_video({"--lossless"}, ".mkv");
}

TEST_F(VideoJob, ChangedTrackOrShaderStartsOverAndSaysWhich) {
    std::ofstream(dir_ / "flat.glsl") << "void main() { gl_FragColor = vec4(0.2, 0.4, 0.6, 1.0); }\n";
    const std::vector<std::string> format = {"--shader", "landscape=flat.glsl"};
    ASSERT_EQ(run(job_args(format, "job", {"-o", "first.mp4", "-q"})).status, 0);

    write_track(dir_ / "sync_cam.rot.track", {{0, 0.25f, 0}});
    ToolRun result = run(job_args(format, "job", {"-o", "second.mp4", "-q"}));
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("starting over"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("the track sync_cam.rot.track changed"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("shader"), std::string::npos) << result.err;
    ASSERT_EQ(run(video_args(format, {"-o", "fresh.mp4", "-q"})).status, 0);
    EXPECT_TRUE(read_file(dir_ / "second.mp4") == read_file(dir_ / "fresh.mp4")) << "old frames were kept";
    EXPECT_EQ(chunks("job").size(), 15u);

    std::ofstream(dir_ / "flat.glsl") << "void main() { gl_FragColor = vec4(0.6, 0.4, 0.2, 1.0); }\n";
    result = run(job_args(format, "job", {"-o", "third.mp4", "-q"}));
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("the landscape shader changed"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("track"), std::string::npos) << result.err;
    EXPECT_FALSE(read_file(dir_ / "third.mp4") == read_file(dir_ / "second.mp4"));
    EXPECT_EQ(chunks("job").size(), 15u) << "chunks of the old inputs were left";

    // The same inputs again: nothing to render, nothing to say.
    result = run(job_args(format, "job", {"-o", "fourth.mp4", "-q"}));
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_NE(result.out.find("0 rendered"), std::string::npos) << result.out;
    EXPECT_TRUE(read_file(dir_ / "fourth.mp4") == read_file(dir_ / "third.mp4"));

    // A manifest cut short (a crash before it reached the disk) is written
    // anew; the chunks, named by their inputs, are kept.
    std::ofstream(dir_ / "job" / "job.txt", std::ios::trunc) << "zirbelon-render jo";
    result = run(job_args(format, "job", {"-o", "fifth.mp4", "-q"}));
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("writing it anew"), std::string::npos) << result.err;
    EXPECT_NE(result.out.find("0 rendered"), std::string::npos) << result.out;
    EXPECT_TRUE(read_file(dir_ / "fifth.mp4") == read_file(dir_ / "third.mp4"));
}

TEST_F(VideoJob, DamagedOrMissingChunksAreRenderedAgainNeverJoined) {
    const std::vector<std::string> format = {"--lossless"};
    ASSERT_EQ(run(video_args(format, {"-o", "direct.mkv", "-q"})).status, 0);
    for (const char* part : {"1", "2", "3"})
        ASSERT_EQ(run(job_args(format, std::string("part") + part, {"--part", std::string(part) + "/3", "-q"})).status, 0);
    // One byte changed in a chunk of part 2; a chunk of part 3 lost; one of part 1 cut short.
    const fs::path damaged = chunks("part2")[1];
    {
        std::fstream file(damaged, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(std::streamoff(fs::file_size(damaged) / 2));
        file.put('\x5a');
    }
    fs::remove(chunks("part3")[0]);
    const fs::path cut = chunks("part1")[4];
    fs::resize_file(cut, fs::file_size(cut) - 1);

    const ToolRun result = run({"join", "part1", "part2", "part3", "-o", "joined.mkv", "-q"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find(damaged.filename().string() + " is damaged: rendering it again"), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find(cut.filename().string() + " is damaged"), std::string::npos) << result.err;
    EXPECT_NE(result.out.find("12 rendered"), std::string::npos) << result.out;
    EXPECT_TRUE(read_file(dir_ / "joined.mkv") == read_file(dir_ / "direct.mkv")) << "a bad chunk was joined";
    EXPECT_FALSE(fs::exists(damaged));
}

TEST_F(VideoJob, PartsUnderGnuParallelOnTwoLocalWorkersJoinIntoTheSameBytes) {
    ASSERT_EQ(shell("parallel --version 2>/dev/null | grep -q 'GNU parallel'"), 0)
        << "GNU parallel is missing (scripts/setup test installs it)";
    const std::vector<std::string> format = {"--preset", "party"};
    ASSERT_EQ(run(video_args(format, {"-o", "direct.mp4", "-q"})).status, 0);
    // ':' is this machine, without ssh; {} is the part's number.
    const std::string parts = tool_command(job_args(format, "job-{}", {"--part", "{}/2", "-q"}));
    ASSERT_EQ(shell("parallel --will-cite --sshlogin 2/: --halt now,fail=1 " + parts + " ::: 1 2 >parallel.txt 2>&1"), 0)
        << read_file(dir_ / "parallel.txt");
    EXPECT_EQ(chunks("job-1").size() + chunks("job-2").size(), 15u);
    const ToolRun result = run({"join", "job-1", "job-2", "-o", "joined.mp4", "-q"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("0 rendered"), std::string::npos) << result.out;
    EXPECT_TRUE(read_file(dir_ / "joined.mp4") == read_file(dir_ / "direct.mp4")) << "the parallel parts differ";
}

TEST_F(VideoJob, RefusesJobCommandLinesThatCannotWork) {
    const std::vector<std::vector<std::string>> wrong = {
        video_args({}, {"-o", "a.mp4", "--part", "1/2"}),
        video_args({}, {"-o", "a.mp4", "--chunk", "8"}),
        video_args({}, {"--png", "frames", "--job", "job"}),
        video_args({}, {"-o", "a.mp4", "--job", "job", "--part", "1/2"}),
        video_args({}, {"--job", "job", "--part", "3/2"}),
        video_args({}, {"--job", "job", "--part", "0/2"}),
        video_args({}, {"--job", "job", "--chunk", "0"}),
        {"join", "-o", "a.mp4"},
        {"join", "job"},
    };
    for (const std::vector<std::string>& args : wrong) {
        const ToolRun result = run(args);
        EXPECT_EQ(result.status, 2) << args.back() << ": " << result.err;
        EXPECT_NE(result.err.find("zirbelon-render"), std::string::npos) << result.err;
    }
    const ToolRun none = run({"join", "nothing", "-o", "a.mp4"});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("holds no job"), std::string::npos) << none.err;
    EXPECT_FALSE(fs::exists(dir_ / "a.mp4"));
}

}  // namespace
