// Running zirbelon-render as a program in a scratch folder, for the tool
// tests: track files and tunes made at test time, the tool's results, and PNG
// pictures read back and kept when a comparison fails.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/track_file.h"
#include "tools/pictures/raster.h"

std::string read_file(const std::filesystem::path& path);

// The picture in a PNG file, RGBA; empty when it cannot be read.
Raster png_read(const std::filesystem::path& path);

// Keeps a picture in the failures folder of the render tests.
void save_failure(const Raster& image, const std::string& name);

// Channels of the two pictures' RGB that differ by more than tolerance; every
// channel when the sizes differ.
int64_t rgb_differences(const Raster& a, const Raster& b, int tolerance);

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs the tool in the folder with no display; environment is
    // "NAME=value ..." to add, prefix a command to run it under (e.g. timeout).
    ToolRun run(const std::vector<std::string>& args, const std::string& environment = "",
                const std::string& prefix = "timeout -k 5 300");

    // The shell command run() runs, for a test that composes its own (in
    // the background, under GNU parallel).
    std::string tool_command(const std::vector<std::string>& args, const std::string& environment = "");

    // Runs the tool as run() does with its standard output piped into a
    // shell command; the tool's status, the command's output and the tool's
    // stderr.
    ToolRun run_piped(const std::vector<std::string>& args, const std::string& consumer);

    // Runs the tool with arguments and redirections written as a shell's words
    // ("--help >full"), stderr into err.txt; its status.
    int run_words(const std::string& words);

    // Runs a shell command in the folder; its exit status.
    int shell(const std::string& command);

    // An MP3 made with sox from the effects on a mono 44.1 kHz signal (e.g.
    // "synth 3 sine 440"), encoded by lame with its info tag, so that it
    // decodes to exactly as many samples as sox made.
    void make_tune(const std::filesystem::path& path, const std::string& effects);

    // Tracks whose cam.dist rises by 1/64 per row from 0 at row 0 (so y is
    // exactly row / 64 up to row 2048) and whose cam.rot holds 0.75.
    void write_ramp_tracks(const std::filesystem::path& folder);

    std::filesystem::path dir_;
};
