// Whole-file MP3 decoding with libmpg123, checked so that only real audio
// passes: a text or executable file can open and even "decode" as noise.
#include "platform/mp3_decode.h"

#include <mpg123.h>

#include <algorithm>
#include <memory>

namespace {

struct DecoderDelete {
    void operator()(mpg123_handle* decoder) const {
        mpg123_close(decoder);
        mpg123_delete(decoder);
    }
};
using DecoderPtr = std::unique_ptr<mpg123_handle, DecoderDelete>;

// Decodes what open_input opens on the decoder.
template <typename Open>
std::optional<std::vector<uint8_t>> decode(uint32_t frequency, Open open_input) {
    int error = MPG123_OK;
    const DecoderPtr decoder(mpg123_new(nullptr, &error));
    if (!decoder) return std::nullopt;
    mpg123_handle* const mh = decoder.get();
    // Gapless, so that positions in the decoded audio match the music. No scan:
    // a scan of a damaged file switches gapless decoding off.
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
    mpg123_format_none(mh);
    if (mpg123_format(mh, long(frequency), MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK)
        return std::nullopt;
    // An empty or text file opens; it fails only when the format is read.
    if (open_input(mh) != MPG123_OK) return std::nullopt;
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK) return std::nullopt;
    // Binary files such as executables often pass for MPEG layer 1 and decode
    // as noise; a tune is layer 3.
    mpg123_frameinfo info{};
    if (mpg123_info(mh, &info) != MPG123_OK || info.layer != 3) return std::nullopt;
    const off_t length = mpg123_length(mh);  // from the info tag, or estimated
    if (length <= 0) return std::nullopt;

    std::vector<uint8_t> pcm;
    // The announced length saves regrowing; a bogus one is trusted only so far.
    constexpr size_t CHUNK = 1 << 16;
    constexpr off_t RESERVE_LIMIT = off_t(30) * 60 * 48000;
    pcm.reserve(size_t(std::min(length, RESERVE_LIMIT)) * MP3_FRAME_BYTES + CHUNK);
    int result = MPG123_OK;
    while (result == MPG123_OK || result == MPG123_NEW_FORMAT) {
        const size_t used = pcm.size();
        pcm.resize(used + CHUNK);
        size_t done = 0;
        result = mpg123_read(mh, pcm.data() + used, CHUNK, &done);
        pcm.resize(used + done);
    }
    pcm.resize(pcm.size() / MP3_FRAME_BYTES * MP3_FRAME_BYTES);
    if (pcm.empty()) return std::nullopt;
    pcm.shrink_to_fit();
    return pcm;
}

}  // namespace

std::optional<std::vector<uint8_t>> mp3_decode(const char* path, uint32_t frequency) {
    return decode(frequency, [path](mpg123_handle* mh) { return mpg123_open(mh, path); });
}

std::optional<std::vector<uint8_t>> mp3_decode_fd(int fd, uint32_t frequency) {
    return decode(frequency, [fd](mpg123_handle* mh) { return mpg123_open_fd(mh, fd); });
}
