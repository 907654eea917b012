// The one PCM format the Windows audio layer decodes to and plays: signed
// 16-bit samples at a given rate and channel count.
#pragma once

#include <windows.h>
#include <mmreg.h>

#include <cstdint>

inline WAVEFORMATEX pcm_format(uint32_t frequency, uint16_t channels) {
    constexpr WORD BITS_PER_SAMPLE = 16;
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = frequency;
    format.wBitsPerSample = BITS_PER_SAMPLE;
    format.nBlockAlign = WORD(channels * BITS_PER_SAMPLE / 8);
    format.nAvgBytesPerSec = frequency * format.nBlockAlign;
    return format;
}
