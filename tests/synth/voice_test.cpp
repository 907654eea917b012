// Single notes and drum hits: their pitch, length, width and colour.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/synth/measure.h"
#include "tools/synth/voice.h"

namespace {

CutoffCurve constant_cutoff(double cutoff) {
    return [cutoff](double) { return cutoff; };
}

Instrument instrument_of(Source source) {
    Instrument ins;
    ins.source = source;
    if (source == Source::kick) ins.adsr.decay = 0.3;
    if (source == Source::snare) {
        ins.adsr.decay = 0.12;
        ins.cutoff = 1200.0;
        ins.tone = 190.0;
    }
    if (source == Source::hat) {
        ins.adsr.decay = 0.04;
        ins.cutoff = 7000.0;
    }
    return ins;
}

// Energy below (or above) `cutoff` Hz as a share of all the energy.
double band_share(const std::vector<float>& samples, double cutoff, bool above = false) {
    Svf svf;
    double band = 0.0, all = 0.0;
    for (float s : samples) {
        const SvfOut out = svf_next(svf, s, cutoff, 0.0);
        const double part = above ? out.high : out.low;
        band += part * part;
        all += double(s) * s;
    }
    return band / all;
}

TEST(Voice, SineNoteHasItsPitchAndLastsGatePlusRelease) {
    Instrument ins = instrument_of(Source::sine);
    ins.adsr = {0.01, 0.1, 0.8, 0.25};
    const StereoBuffer out = voice_render(ins, 69.0, 0.5, 1.0, 1, constant_cutoff(ins.cutoff));
    EXPECT_NEAR(double(out.left.size()) / SAMPLE_RATE, 0.75, 0.001);
    EXPECT_NEAR(crossing_rate(seconds_of(out.left, 0.1, 0.5)), 440.0, 5.0);
    EXPECT_GT(rms(seconds_of(out.left, 0.2, 0.4)), 0.1);
    EXPECT_LT(peak(seconds_of(out.left, 0.74, 0.75)), 0.01);
}

TEST(Voice, SubOscillatorAddsTheOctaveBelow) {
    Instrument ins = instrument_of(Source::sine);
    const StereoBuffer plain = voice_render(ins, 57.0, 1.0, 1.0, 1, constant_cutoff(ins.cutoff));
    EXPECT_NEAR(crossing_rate(seconds_of(plain.left, 0.1, 0.9)), 220.0, 3.0);
    ins.sub = 2.0;  // louder than the note: the wave now crosses zero once per sub cycle
    const StereoBuffer with_sub = voice_render(ins, 57.0, 1.0, 1.0, 1, constant_cutoff(ins.cutoff));
    EXPECT_NEAR(crossing_rate(seconds_of(with_sub.left, 0.1, 0.9)), 110.0, 3.0);
}

TEST(Voice, SpreadPairIsWideAndSinglePairIsCentred) {
    Instrument ins = instrument_of(Source::saw);
    ins.detune = 12.0;
    const StereoBuffer centred = voice_render(ins, 57.0, 0.3, 1.0, 3, constant_cutoff(ins.cutoff));
    EXPECT_EQ(centred.left, centred.right);
    ins.spread = 1.0;
    const StereoBuffer wide = voice_render(ins, 57.0, 0.3, 1.0, 3, constant_cutoff(ins.cutoff));
    EXPECT_NE(wide.left, wide.right);
    EXPECT_NEAR(rms(wide.left), rms(wide.right), 0.1 * rms(wide.left));
}

TEST(Voice, CutoffCurveDarkensTheNote) {
    const Instrument ins = instrument_of(Source::saw);
    const StereoBuffer bright = voice_render(ins, 45.0, 0.5, 1.0, 1, constant_cutoff(8000.0));
    const StereoBuffer dark = voice_render(ins, 45.0, 0.5, 1.0, 1, constant_cutoff(200.0));
    EXPECT_GT(band_share(bright.left, 2000.0, true), 100.0 * band_share(dark.left, 2000.0, true));
    EXPECT_LT(rms(dark.left), rms(bright.left));
}

TEST(Voice, SameSeedSameSoundOtherSeedOtherNoise) {
    const Instrument ins = instrument_of(Source::snare);
    const CutoffCurve curve = constant_cutoff(ins.cutoff);
    EXPECT_EQ(voice_render(ins, 0.0, 0.1, 1.0, 5, curve).left, voice_render(ins, 0.0, 0.1, 1.0, 5, curve).left);
    EXPECT_NE(voice_render(ins, 0.0, 0.1, 1.0, 5, curve).left, voice_render(ins, 0.0, 0.1, 1.0, 6, curve).left);
}

TEST(Drums, KickFallsFromItsPitchToItsToneAndDies) {
    Instrument ins = instrument_of(Source::kick);
    ins.pitch = 160.0;
    ins.tone = 50.0;
    ins.drop = 0.02;
    const StereoBuffer out = voice_render(ins, 0.0, 0.0, 1.0, 1, constant_cutoff(ins.cutoff));
    EXPECT_NEAR(double(out.left.size()) / SAMPLE_RATE, 0.3 * 6.9, 0.01);
    // Its first cycle is much shorter than the settled ones.
    EXPECT_NEAR(crossing_rate(seconds_of(out.left, 0.15, 0.55)), 50.0, 5.0);
    EXPECT_GT(crossing_rate(seconds_of(out.left, 0.0, 0.02)), 90.0);
    EXPECT_LT(rms(seconds_of(out.left, 1.9, 2.0)), 0.005 * rms(seconds_of(out.left, 0.0, 0.1)));
    EXPECT_LE(peak(out.left), 1.0);
}

TEST(Drums, SoftHitIsQuieterThanAHit) {
    const Instrument ins = instrument_of(Source::kick);
    const CutoffCurve curve = constant_cutoff(ins.cutoff);
    EXPECT_LT(rms(voice_render(ins, 0.0, 0.0, 0.5, 1, curve).left),
              0.6 * rms(voice_render(ins, 0.0, 0.0, 1.0, 1, curve).left));
}

TEST(Drums, HatIsHighWideNoiseAndSnareHasABody) {
    const Instrument hat = instrument_of(Source::hat);
    const StereoBuffer hit = voice_render(hat, 0.0, 0.0, 1.0, 1, constant_cutoff(hat.cutoff));
    EXPECT_LT(band_share(hit.left, 2000.0), 0.05);
    EXPECT_NE(hit.left, hit.right);

    const Instrument snare = instrument_of(Source::snare);
    const StereoBuffer crack = voice_render(snare, 0.0, 0.0, 1.0, 1, constant_cutoff(snare.cutoff));
    const double body = band_share(crack.left, 400.0);
    EXPECT_GT(body, 0.1);
    EXPECT_LT(body, 0.9);
}

}  // namespace
