// Frame positions computed one way everywhere, so that the frames a run
// counts are exactly the frames it renders.
#include "tools/render/timeline.h"

#include <cmath>
#include <cstdio>


double timeline_seconds(double from, double fps, int64_t frame) {
    return from + double(frame) / fps;
}

int64_t timeline_frame_count(double from, double to, double fps) {
    if (!(to > from) || !(fps > 0.0)) return 0;
    // The product is a guess that rounding may put one off either way.
    int64_t count = int64_t(std::ceil((to - from) * fps));
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
