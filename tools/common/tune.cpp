// The tune's length by decoding it whole (about 50 ms for 90 s), which gives
// exactly the samples the audio layer plays, info tag or none.
#include "tools/common/tune.h"

#include <new>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/mp3_decode.h"
#include "presentation/presentation.h"

bool tune_length(const std::filesystem::path& path, double& seconds, std::string& error) {
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(path, ignored)) {
        error = "no tune " + path.string();
        return false;
    }
    std::optional<std::vector<uint8_t>> pcm;
    try {
        pcm = mp3_decode(path.c_str(), AUDIO_FREQUENCY);
    } catch (const std::bad_alloc&) {
        error = "out of memory decoding the tune " + path.string();
        return false;
    }
    if (!pcm) {
        error = "the tune " + path.string() + " does not decode as MP3 audio";
        return false;
    }
    seconds = double(pcm->size() / MP3_FRAME_BYTES) / double(AUDIO_FREQUENCY);
    return true;
}
