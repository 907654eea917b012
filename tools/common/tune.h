// The tune as the presentation plays it, for the tools: its length, taken from
// the audio layer's own decoder.
#pragma once

#include <filesystem>
#include <string>

// The tune's length in seconds: every sample the presentation would play, at
// its audio frequency. False with the reason in error when the file is missing
// or holds no MP3 audio.
bool tune_length(const std::filesystem::path& path, double& seconds, std::string& error);
