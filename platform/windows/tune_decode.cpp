// Decoding MP3 with the system's codec through the Audio Compression Manager
// (see tune_decode.h).
#include "platform/windows/tune_decode.h"

#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

#include <algorithm>
#include <memory>
#include <type_traits>

#include "platform/windows/mp3_layout.h"
#include "platform/windows/pcm_format.h"

namespace {

// The input handed to the codec at a time.
constexpr size_t DECODE_CHUNK = 16 * 1024;

struct AcmStreamClose {
    void operator()(HACMSTREAM stream) const { acmStreamClose(stream, 0); }
};
using AcmStreamPtr = std::unique_ptr<std::remove_pointer_t<HACMSTREAM>, AcmStreamClose>;

// The codec's description of the file: the values its own encoder writes; the
// decoder reads the rest from the frame headers.
MPEGLAYER3WAVEFORMAT mp3_format(const Mp3Layout& layout) {
    MPEGLAYER3WAVEFORMAT format{};
    format.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    format.wfx.nChannels = layout.channels;
    format.wfx.nSamplesPerSec = layout.sample_rate;
    format.wfx.nAvgBytesPerSec = layout.bitrate / 8;
    format.wfx.nBlockAlign = 1;
    format.wfx.wBitsPerSample = 0;
    format.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    format.wID = MPEGLAYER3_ID_MPEG;
    format.fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
    format.nBlockSize = WORD(layout.frame_bytes);
    format.nFramesPerBlock = 1;
    format.nCodecDelay = 1393;
    return format;
}

// PCM bytes that input bytes can give at most: every frame at the lowest bit
// rate, and a few frames the codec may still hold from earlier input. Some
// codecs silently drop what does not fit, so the output buffer must never be
// the limit.
size_t pcm_capacity(const Mp3Layout& layout, size_t input_bytes, const WAVEFORMATEX& pcm) {
    const uint32_t lowest_bitrate = layout.samples_per_frame == 1152 ? 32000 : 8000;
    const size_t smallest_frame = layout.samples_per_frame / 8 * lowest_bitrate / layout.sample_rate;
    const size_t frames = input_bytes / smallest_frame + 4;
    return frames * layout.samples_per_frame * pcm.nBlockAlign;
}

// One conversion call; appends what came out. The codec may leave input that
// does not make a whole frame yet: it is moved to the front for the next call.
bool acm_convert(HACMSTREAM codec, std::vector<uint8_t>& input, size_t& input_used,
                 std::vector<uint8_t>& output, DWORD flags, std::vector<uint8_t>& pcm) {
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    header.pbSrc = input.data();
    header.cbSrcLength = DWORD(input_used);
    header.pbDst = output.data();
    header.cbDstLength = DWORD(output.size());
    if (acmStreamPrepareHeader(codec, &header, 0) != MMSYSERR_NOERROR) return false;
    const MMRESULT result = acmStreamConvert(codec, &header, flags);
    pcm.insert(pcm.end(), output.begin(), output.begin() + ptrdiff_t(header.cbDstLengthUsed));
    const size_t consumed = std::min<size_t>(header.cbSrcLengthUsed, input_used);
    acmStreamUnprepareHeader(codec, &header, 0);
    if (result != MMSYSERR_NOERROR) return false;
    std::copy(input.begin() + ptrdiff_t(consumed), input.begin() + ptrdiff_t(input_used), input.begin());
    input_used -= consumed;
    return true;
}

}  // namespace

std::optional<Tune> tune_decode(std::span<const uint8_t> file) {
    const std::optional<Mp3Layout> layout = mp3_layout_read(file);
    if (!layout) return std::nullopt;
    Tune tune;
    tune.sample_rate = layout->sample_rate;
    tune.channels = layout->channels;
    WAVEFORMATEX pcm = pcm_format(layout->sample_rate, layout->channels);

    MPEGLAYER3WAVEFORMAT source = mp3_format(*layout);
    HACMSTREAM opened = nullptr;
    if (acmStreamOpen(&opened, nullptr, &source.wfx, &pcm, nullptr, 0, 0, 0) != MMSYSERR_NOERROR)
        return std::nullopt;
    const AcmStreamPtr codec(opened);

    // Only whole audio frames go in: the info frame would decode as silence.
    const std::span<const uint8_t> audio =
        file.subspan(layout->audio_begin, layout->audio_end - layout->audio_begin);
    std::vector<uint8_t> input(DECODE_CHUNK * 2);
    std::vector<uint8_t> output(pcm_capacity(*layout, input.size(), pcm));
    size_t input_used = 0;
    DWORD flags = ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_BLOCKALIGN;
    for (size_t at = 0; at < audio.size();) {
        const size_t take = std::min({DECODE_CHUNK, audio.size() - at, input.size() - input_used});
        if (take == 0) break;  // the codec takes nothing more: keep what it gave
        std::copy_n(audio.begin() + ptrdiff_t(at), take, input.begin() + ptrdiff_t(input_used));
        input_used += take;
        at += take;
        if (!acm_convert(codec.get(), input, input_used, output, flags, tune.pcm)) break;
        flags = ACM_STREAMCONVERTF_BLOCKALIGN;
    }
    acm_convert(codec.get(), input, input_used, output, ACM_STREAMCONVERTF_END, tune.pcm);

    const size_t frame = pcm.nBlockAlign;
    if (layout->gapless) {
        // The first decoded sample that is the tune's own, and its exact length.
        const size_t begin = std::min(size_t(layout->skip_samples) * frame, tune.pcm.size());
        const size_t length = std::min(size_t(layout->length_samples) * frame, tune.pcm.size() - begin);
        tune.pcm.erase(tune.pcm.begin() + ptrdiff_t(begin + length), tune.pcm.end());
        tune.pcm.erase(tune.pcm.begin(), tune.pcm.begin() + ptrdiff_t(begin));
    }
    tune.pcm.resize(tune.pcm.size() / frame * frame);
    if (tune.pcm.empty()) return std::nullopt;
    tune.pcm.shrink_to_fit();
    return tune;
}

