// The tune as the presentation plays it, for the tools: its samples and its
// length, decoded by the audio layer's own decoder so that every tool agrees
// with what is heard. Only a regular file is read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Interleaved signed 16-bit stereo at the presentation's audio frequency.
struct TunePcm {
    std::vector<int16_t> samples;
    uint32_t frequency = 0;
    double seconds() const { return double(samples.size() / 2) / double(frequency); }
};

// False with the reason in error when the file is missing, is not a regular
// file, or holds no MP3 audio.
bool tune_decode(const std::filesystem::path& path, TunePcm& pcm, std::string& error);

// The tune's length in seconds: every sample the presentation would play.
bool tune_length(const std::filesystem::path& path, double& seconds, std::string& error);
