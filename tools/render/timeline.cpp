// Frame positions computed one way everywhere, so that the frames a run
// counts are exactly the frames it renders.
#include "tools/render/timeline.h"

#include <cmath>
#include <cstdio>

double timeline_seconds(double from, CliRate fps, int64_t frame) {
    // frame * M is exact in a double up to 2^53; a day at 1000 frames per
    // second and M below 2^31 stays far below that.
    return from + double(frame * fps.denominator) / double(fps.numerator);
}

int64_t timeline_frame_count(double from, double to, CliRate fps) {
    if (!(to > from) || fps.numerator <= 0 || fps.denominator <= 0) return 0;
    // The product is a guess that rounding may put one off either way.
    int64_t count = int64_t(std::ceil((to - from) * fps.value()));
    while (count > 0 && timeline_seconds(from, fps, count - 1) >= to) --count;
    while (timeline_seconds(from, fps, count) < to) ++count;
    return count;
}

std::string timeline_label(double seconds) {
    const long long tenths = std::llround(seconds * 10.0);
    const long long magnitude = tenths < 0 ? -tenths : tenths;
    char text[48];
    std::snprintf(text, sizeof text, "%s%lld:%02lld.%lld", tenths < 0 ? "-" : "", magnitude / 600,
                  magnitude % 600 / 10, magnitude % 10);
    return text;
}

std::string timeline_rate_label(CliRate fps) {
    char text[64];
    if (fps.denominator == 1)
        std::snprintf(text, sizeof text, "%lld", (long long)fps.numerator);
    else
        std::snprintf(text, sizeof text, "%lld/%lld (%.3g)", (long long)fps.numerator, (long long)fps.denominator,
                      fps.value());
    return text;
}

double timeline_shutter_seconds(double seconds, CliRate fps, int32_t subframes, double shutter_degrees,
                                int32_t subframe) {
    if (subframes <= 1) return seconds;
    const double open = shutter_degrees / 360.0 * double(fps.denominator) / double(fps.numerator);
    return seconds + open * ((double(subframe) + 0.5) / double(subframes) - 0.5);
}
