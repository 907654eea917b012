// The tune decoded whole (about 50 ms for 90 s), which gives exactly the
// samples the audio layer plays, info tag or none.
#include "tools/common/tune.h"

#include <unistd.h>

#include <cstring>
#include <new>
#include <optional>

#include "platform/mp3_decode.h"
#include "presentation/presentation.h"
#include "tools/common/files.h"

bool tune_decode(const std::filesystem::path& path, TunePcm& pcm, std::string& error) {
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored)) {
        error = "no tune " + path.string();
        return false;
    }
    const int fd = input_open_regular(path.string(), error);
    if (fd < 0) return false;
    std::optional<std::vector<uint8_t>> bytes;
    try {
        bytes = mp3_decode_fd(fd, AUDIO_FREQUENCY);
    } catch (const std::bad_alloc&) {
        close(fd);
        error = "out of memory decoding the tune " + path.string();
        return false;
    }
    close(fd);
    if (!bytes) {
        error = "the tune " + path.string() + " does not decode as MP3 audio";
        return false;
    }
    pcm.frequency = AUDIO_FREQUENCY;
    pcm.samples.resize(bytes->size() / sizeof(int16_t));
    std::memcpy(pcm.samples.data(), bytes->data(), pcm.samples.size() * sizeof(int16_t));
    return true;
}

bool tune_length(const std::filesystem::path& path, double& seconds, std::string& error) {
    TunePcm pcm;
    if (!tune_decode(path, pcm, error)) return false;
    seconds = pcm.seconds();
    return true;
}
