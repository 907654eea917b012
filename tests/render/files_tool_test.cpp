// zirbelon-render and what it reads and writes: inputs that are not regular
// files are refused without blocking, outputs are checked before the work,
// standard output takes a picture, and a video's temporary file is its own.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "tests/render/tool_test.h"

namespace fs = std::filesystem;

namespace {

class FilesTool : public ToolTest {};

// Refused at once: the run's timeout is far below what a blocked read would take.
constexpr const char* SHORT_TIMEOUT = "timeout -k 2 20";

TEST_F(FilesTool, InputsThatAreNotRegularFilesAreRefusedWithoutBlocking) {
    write_ramp_tracks(dir_);
    ASSERT_EQ(shell("mkdir fifo && cp sync_cam.rot.track fifo/ && mkfifo fifo/sync_cam.dist.track"), 0);
    ASSERT_EQ(shell("mkdir device && cp sync_cam.rot.track device/ && ln -s /dev/urandom device/sync_cam.dist.track"),
              0);
    ASSERT_EQ(shell("mkfifo shader.glsl && mkdir folder.glsl"), 0);
    const std::vector<std::vector<std::string>> cases = {
        {"frame", "--row", "5", "--dir", "fifo", "-o", "x.png"},
        {"frame", "--row", "5", "--dir", "device", "-o", "x.png"},
        {"frame", "--y", "1", "--shader", "landscape=shader.glsl", "-o", "x.png"},
        {"frame", "--y", "1", "--shader", "title=folder.glsl", "-o", "x.png"},
    };
    for (std::vector<std::string> args : cases) {
        args.insert(args.end(), {"--size", "8x8"});
        const ToolRun result = run(args, "", SHORT_TIMEOUT);
        EXPECT_EQ(result.status, 1) << args[4] << ": " << result.err;
        EXPECT_NE(result.err.find("regular file"), std::string::npos) << result.err;
        EXPECT_FALSE(fs::exists(dir_ / "x.png"));
    }
}

TEST_F(FilesTool, OutputsAreCheckedBeforeTheWorkAndStandardOutputTakesThePicture) {
    write_ramp_tracks(dir_);
    fs::create_directories(dir_ / "folder.png");
    const ToolRun folder = run({"frame", "--y", "1", "--size", "8x8", "-o", "folder.png"});
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("directory"), std::string::npos) << folder.err;
    // No GL was even asked for: the refusal came before the renderer.
    const ToolRun early = run({"frame", "--y", "1", "--size", "8x8", "-o", "folder.png"},
                              "__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent");
    EXPECT_NE(early.err.find("directory"), std::string::npos) << early.err;

    const ToolRun piped = run({"frame", "--y", "1", "--size", "8x4", "-o", "-"});
    ASSERT_EQ(piped.status, 0) << piped.err;
    std::ofstream(dir_ / "piped.png", std::ios::binary) << piped.out;
    const Raster image = png_read(dir_ / "piped.png");
    EXPECT_EQ(image.width, 8);
    EXPECT_EQ(image.height, 4);
    EXPECT_NE(piped.err.find("-: landscape"), std::string::npos) << "the report moves to stderr: " << piped.err;
}

TEST_F(FilesTool, AFileOfTheSameNameAsTheVideosTemporaryIsLeftAlone) {
    write_ramp_tracks(dir_);
    make_tune(dir_ / "vaxo.mp3", "synth 1 sine 440");
    std::ofstream(dir_ / "out.mp4.part") << "somebody's file\n";
    const ToolRun result = run({"video", "--size", "16x16", "--fps", "10", "--to", "0.3", "-q", "-o", "out.mp4"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(read_file(dir_ / "out.mp4.part"), "somebody's file\n");
    EXPECT_TRUE(fs::exists(dir_ / "out.mp4"));
    EXPECT_EQ(result.err, "") << "-q prints no progress";
}

TEST_F(FilesTool, AKilledVideoLeavesNoEncoderAndItsTemporaryGoesWithTheNextRun) {
    write_ramp_tracks(dir_);
    make_tune(dir_ / "vaxo.mp3", "synth 30 sine 440");
    // Killed outright after a second, long before the 30 s at 64x64 are done.
    const ToolRun killed = run({"video", "--size", "64x64", "-q", "-o", "long.mp4"}, "", "timeout -s KILL 2");
    EXPECT_NE(killed.status, 0);
    ASSERT_EQ(shell("sleep 1"), 0);
    EXPECT_NE(shell("pgrep -f 'long[.]mp4[.].*part' >/dev/null"), 0) << "an orphaned ffmpeg still writes the video";
    int temporaries = 0;
    for (const auto& entry : fs::directory_iterator(dir_))
        temporaries += entry.path().filename().string().ends_with(".part");
    EXPECT_EQ(temporaries, 1);
    EXPECT_FALSE(fs::exists(dir_ / "long.mp4"));

    const ToolRun next = run({"video", "--size", "16x16", "--fps", "10", "--to", "0.2", "-q", "-o", "long.mp4"});
    ASSERT_EQ(next.status, 0) << next.err;
    EXPECT_NE(next.err.find("left by a run that was killed"), std::string::npos) << next.err << next.out;
    for (const auto& entry : fs::directory_iterator(dir_))
        EXPECT_FALSE(entry.path().filename().string().ends_with(".part")) << entry.path();
}

// A full disk: every output (a picture, a sheet, a video stream, report lines,
// help) fails with 1 and says so on stderr; none is lost in silence. The device
// is made in the scratch folder: a run that replaced it would replace nothing
// real.
TEST_F(FilesTool, AFullDeviceFailsEveryOutputAndSaysSo) {
    if (geteuid() != 0) GTEST_SKIP() << "mknod needs root";
    write_ramp_tracks(dir_);
    make_tune(dir_ / "vaxo.mp3", "synth 2 sine 440");
    ASSERT_EQ(shell("mknod full c 1 7"), 0);
    const std::vector<std::string> cases = {
        "frame --y 1 --size 320x180 -o full",
        "frame --y 1 --size 320x180 -o - >full",
        "frame --y 1 --size 32x18 -o x.png >full",  // its report line
        "sheet --count 4 --thumb 64x36 -o full",
        "video --size 320x180 --fps 10 --to 2 -q -o - >full",
        "video --size 32x18 --fps 10 --to 0.3 -q --png frames >full",  // its report line
        "--help >full",
        "frame --help >full",
    };
    for (const std::string& args : cases) {
        const int status = run_words(args);
        const std::string err = read_file(dir_ / "err.txt");
        EXPECT_EQ(status, 1) << args << ": " << err;
        EXPECT_TRUE(err.find("No space left on device") != std::string::npos ||
                    err.find("cannot write to standard output") != std::string::npos)
            << args << ": " << err;
    }
    struct stat info{};
    ASSERT_EQ(stat((dir_ / "full").c_str(), &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode)) << "the device was replaced";
}

TEST_F(FilesTool, EveryCommandHasHelpAndTheToolItsVersion) {
    const ToolRun version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("zirbelon-render ", 0), 0u) << version.out;
    for (const char* command : {"frame", "video", "sheet", "bench"}) {
        const ToolRun help = run({"help", command});
        const ToolRun dashed = run({command, "--help"});
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_EQ(help.out, dashed.out) << command;
        EXPECT_EQ(help.out.rfind(std::string("Usage: zirbelon-render ") + command, 0), 0u) << help.out;
    }
    const ToolRun unknown = run({"help", "frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("Try 'zirbelon-render --help'"), std::string::npos) << unknown.err;
}

}  // namespace
