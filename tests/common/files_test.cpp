// The tools' inputs and outputs on a real file system: symlinks, modes,
// devices, FIFOs and folders are each treated as a user means them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <cstring>
#include <sys/wait.h>
#include <string>
#include <vector>

#include "tools/common/files.h"

namespace fs = std::filesystem;

namespace {

std::string read_text(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

const std::vector<uint8_t> BYTES = {'n', 'e', 'w', '\n'};

class Files : public testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::path(testing::TempDir()) / ("zirbelon_files_" + std::to_string(random()));
        fs::create_directories(dir_);
        // Any test that blocks ends the run instead of hanging it.
        alarm(30);
    }
    void TearDown() override {
        alarm(0);
        fs::remove_all(dir_);
    }
    // Only the test's own files are left in the folder: no temporary stays.
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir_)) found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    }
    fs::path dir_;
};

TEST_F(Files, ASymlinkStaysAndItsTargetIsReplaced) {
    std::ofstream(dir_ / "target.txt") << "old\n";
    fs::create_symlink("target.txt", dir_ / "link.txt");
    std::string error;
    ASSERT_TRUE(output_write_path((dir_ / "link.txt").string(), BYTES, error)) << error;
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.txt"));
    EXPECT_EQ(read_text(dir_ / "target.txt"), "new\n");
    EXPECT_EQ(names(), (std::vector<std::string>{"link.txt", "target.txt"}));

    // A dangling link makes its target, as a shell's redirection would.
    fs::create_symlink("made.txt", dir_ / "dangling.txt");
    ASSERT_TRUE(output_write_path((dir_ / "dangling.txt").string(), BYTES, error)) << error;
    EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.txt"));
    EXPECT_EQ(read_text(dir_ / "made.txt"), "new\n");
}

TEST_F(Files, AReplacedFileKeepsItsModeAndANewOneFollowsTheUmask) {
    const fs::path kept = dir_ / "kept.bin";
    std::ofstream(kept) << "old\n";
    chmod(kept.c_str(), 0640);
    std::string error;
    ASSERT_TRUE(output_write_path(kept.string(), BYTES, error)) << error;
    struct stat info {};
    ASSERT_EQ(stat(kept.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(read_text(kept), "new\n");

    const mode_t mask = umask(027);
    ASSERT_TRUE(output_write_path((dir_ / "fresh.bin").string(), BYTES, error)) << error;
    umask(mask);
    ASSERT_EQ(stat((dir_ / "fresh.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(Files, ACharacterDeviceIsWrittenInPlaceAndStaysADevice) {
    if (geteuid() != 0) GTEST_SKIP() << "mknod needs root";
    const fs::path null = dir_ / "null";
    ASSERT_EQ(mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0) << std::strerror(errno);
    std::string error;
    ASSERT_TRUE(output_write_path(null.string(), BYTES, error)) << error;
    struct stat info {};
    ASSERT_EQ(stat(null.c_str(), &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    EXPECT_EQ(info.st_rdev, makedev(1, 3));

    // A full device fails the write, and stays what it was.
    const fs::path full = dir_ / "full";
    ASSERT_EQ(mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
    EXPECT_FALSE(output_write_path(full.string(), BYTES, error));
    EXPECT_NE(error.find("space"), std::string::npos) << error;
    ASSERT_EQ(stat(full.c_str(), &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    EXPECT_EQ(names(), (std::vector<std::string>{"full", "null"}));
}

TEST_F(Files, AFolderAnEmptyPathAndAMissingFolderAreRefusedBeforeAnyWork) {
    fs::create_directories(dir_ / "folder");
    Output output;
    std::string error;
    EXPECT_FALSE(output_prepare((dir_ / "folder").string(), output, error));
    EXPECT_NE(error.find("directory"), std::string::npos) << error;
    EXPECT_FALSE(output_prepare((dir_ / "none" / "x.png").string(), output, error));
    EXPECT_NE(error.find("no folder"), std::string::npos) << error;
    EXPECT_FALSE(output_prepare("", output, error));
    EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
}

TEST_F(Files, InputsMustBeRegularFilesAndAFifoNeverBlocks) {
    const fs::path fifo = dir_ / "sync_cam.dist.track";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    fs::create_directories(dir_ / "folder");
    fs::create_symlink("/dev/urandom", dir_ / "random.txt");
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_FALSE(input_read(fifo.string(), 1 << 20, bytes, error));
    EXPECT_NE(error.find("FIFO"), std::string::npos) << error;
    EXPECT_FALSE(input_read((dir_ / "folder").string(), 1 << 20, bytes, error));
    EXPECT_NE(error.find("directory"), std::string::npos) << error;
    EXPECT_FALSE(input_read((dir_ / "random.txt").string(), 1 << 20, bytes, error));
    EXPECT_NE(error.find("character device"), std::string::npos) << error;
    EXPECT_FALSE(input_read((dir_ / "absent.txt").string(), 1 << 20, bytes, error));
    EXPECT_NE(error.find("absent.txt"), std::string::npos) << error;
}

TEST_F(Files, AnInputIsReadToItsSizeAndNoFurther) {
    std::ofstream(dir_ / "text.txt") << "0 1 hold\n";
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(input_read((dir_ / "text.txt").string(), 100, bytes, error)) << error;
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "0 1 hold\n");
    EXPECT_FALSE(input_read((dir_ / "text.txt").string(), 4, bytes, error));
    EXPECT_NE(error.find("larger"), std::string::npos) << error;
}

TEST_F(Files, StaleTemporariesOfDeadRunsGoAndOthersStay) {
    Output output;
    std::string error;
    ASSERT_TRUE(output_prepare((dir_ / "out.mp4").string(), output, error)) << error;
    // A process that has ended: a child reaped at once.
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    int status = 0;
    waitpid(gone, &status, 0);
    const std::string stale = "out.mp4." + std::to_string(gone) + "-0123abcd.part";
    const std::string alive = "out.mp4." + std::to_string(getppid()) + "-0123abcd.part";
    for (const std::string& name : {stale, alive, std::string("out.mp4.part"), std::string("out.mp4.x-0123abcd.part")})
        std::ofstream(dir_ / name) << "mine\n";
    std::vector<std::string> removed;
    output_stale_remove(output, "part", removed);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(fs::path(removed[0]).filename(), stale);
    EXPECT_EQ(read_text(dir_ / "out.mp4.part"), "mine\n");
    EXPECT_TRUE(fs::exists(dir_ / alive));
}

}  // namespace
