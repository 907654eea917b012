// The landscape: one ray per pixel from a camera that orbits and tilts with the
// clock y, sampled at 200 points one unit apart; the first sample that falls in
// an occupied cell of the grid (the origin cell, the ground, the tube) colours
// the pixel.
//
// The march leaves out only work whose outcome is already known, so every pixel
// is the one that testing all 200 samples gives. In cell units, with rows
// counted along the world's y axis (against it when y, and so the cell edge, is
// negative):
// - nothing occupies row 12 or above: the ground stays below 11.4, the tube
//   within 10 of the axis, and the origin cell is row 0;
// - each sample is the one before plus D, a single rounded addition, so the
//   rows of a ray that rises in cell space never fall and those of a ray that
//   sinks never climb.
uniform float y;
uniform float rot;
uniform vec2 k;

// How fast each sine of the height turns per cell: its argument's factor of
// the cell's x (the first three) or z (the last three).
const vec3 X_RATES = vec3(0.5523, 0.23, 0.0152);
const vec3 Z_RATES = vec3(0.7632, 0.25234, 0.45234);
// What a bound allows each sine: the rounding of two arguments (below 2e-3
// each while they stay under 8192, i.e. for cells up to FAR from the origin
// and |y| up to BOUNDED_Y) and the GL's own error (Mesa's: 2e-5; a test
// holds it under 1e-3). The same again covers the rounding of the height.
const float ERROR = 0.01;
const float FAR = 4096.0;
const float BOUNDED_Y = 1000.0;
// The largest finite float.
const float MAX_FLOAT = 3.4028235e38;

void main()
{
    // Empty space is black: the colour of a ray that passes all its samples,
    // and of every pixel while the cells have no size.
    vec4 miss = vec4(0.0, 0.0, 0.0, 1.0);
    float edge = 0.1 * y;
    if (edge == 0.0) {
        gl_FragColor = miss;
        return;
    }
    // A clock or a dolly that is not a finite number makes every sample's
    // cell infinite or not a number, where no test holds: the ray misses, as
    // it would after all 200 samples. Written as tests that hold for a NaN,
    // since the GL may turn a negated comparison into its opposite.
    if (y != y || rot != rot || abs(y) > MAX_FLOAT || abs(rot) > MAX_FLOAT) {
        gl_FragColor = miss;
        return;
    }

    vec2 s = gl_FragCoord.xy / k;
    float a = sin(y * 0.432 * 1.1) * 2.1;
    float b = sin(y * 1.21231 * 1.1) - 0.9;
    mat3 yaw = mat3(cos(a), 0.0, -sin(a), 0.0, 1.0, 0.0, sin(a), 0.0, cos(a));
    mat3 pitch = mat3(1.0, 0.0, 0.0, 0.0, cos(b), -sin(b), 0.0, sin(b), cos(b));
    mat3 r = pitch * yaw;
    vec3 o = r * vec3(0.5 * sin(1.9 * y), 0.3, -14.5 + rot);
    o.y += 10.0;
    vec3 d = r * normalize(vec3((s.x - 0.5) * 1.6, s.y - 0.5, 1.0));

    vec4 n = y < 30.0 ? vec4(cos(1.9 * y)) : vec4(1.0);
    bool tube = length(n) > 1.2;

    // A ray parallel to the rows does both.
    bool sinking = edge > 0.0 ? d.y <= 0.0 : d.y >= 0.0;
    bool rising = edge > 0.0 ? d.y >= 0.0 : d.y <= 0.0;

    // p is sample i + 1, the next one to test.
    vec3 p = o + d;
    int i = 0;

    // A sinking ray high above the ground: while the fourth sample ahead is
    // still at row 12 or above, so are the three before it, and all four are
    // passed with their additions alone.
    for (; i <= 196; i += 4) {
        if (!sinking) {
            break;
        }
        vec3 q = p + d;
        q += d;
        q += d;
        if (!(floor(q.y / edge) >= 12.0)) {
            break;
        }
        p = q + d;
    }

    // The height is the sum of three sines of the cell's x and three of its z,
    // and a sine with factor a moves by at most a per cell. Where the height
    // was last computed (the anchor column) its six sines are kept, each
    // raised by ERROR: a term of a column dx (or dz) cells away is then at
    // most that plus its factor times dx, and never above 1 + ERROR. A sample
    // whose row reaches the sum of those reaches is above the ground, and its
    // ground test is settled without a sine. Before any anchor, and near none
    // (cells beyond FAR, or y beyond BOUNDED_Y) the terms stand at their cap,
    // which settles exactly the rows of 12 and above.
    vec4 colour = miss;
    vec3 x_terms = vec3(1.0 + ERROR);
    vec3 z_terms = vec3(1.0 + ERROR);
    vec2 anchor = vec2(0.0);
    vec3 c = vec3(0.0);
    for (; i < 200; i++) {
        // The samples that the bound settles and that miss the origin and the
        // tube, in a loop of their own: the lanes of a group run a loop's
        // whole body on every trip, and this one has no sine.
        for (; i < 200; i++) {
            c = floor(p / edge);
            vec3 x_reach = min(x_terms + X_RATES * abs(c.x - anchor.x), vec3(1.0 + ERROR));
            vec3 z_reach = min(z_terms + Z_RATES * abs(c.z - anchor.y), vec3(1.0 + ERROR));
            float highest = 2.9 * (x_reach.x + x_reach.y + x_reach.z + z_reach.x + z_reach.y + z_reach.z) - 6.0;
            bool passes = c.y >= highest + ERROR && max(abs(c.x), abs(c.z)) <= FAR && !(rising && c.y >= 12.0) &&
                          c != vec3(0.0) && !(tube && sqrt(c.y * c.y + c.z * c.z) < 10.0);
            if (!passes) {
                break;
            }
            // The tests look only at the cell: a next sample in the same cell
            // passes too, and is passed on this trip.
            vec3 q = p + d;
            bool same = floor(q / edge) == c;
            p = same ? q + d : q;
            i += same ? 1 : 0;
        }
        // A rising ray that reaches row 12 never comes down again. Only a
        // rising one: no row can stand for never, since where the cells are
        // tiny a sample's row passes any bound (1e30 at y = 1e-30).
        if (i >= 200 || (rising && c.y >= 12.0)) {
            break;
        }
        // The sample in full, in the order of the tests: origin, ground, tube.
        if (c == vec3(0.0)) {
            colour = vec4(1.0);
            break;
        }
        vec3 x_sines = vec3(sin(0.5523 * c.x), sin(0.23 * c.x + 5.0 * y), sin(0.0152 * c.x + 3.1 * y));
        vec3 z_sines = vec3(sin(0.7632 * c.z), sin(0.25234 * c.z), sin(0.45234 * c.z));
        float h = 2.9 * (x_sines.x + x_sines.y + x_sines.z + z_sines.x + z_sines.y + z_sines.z) - 6.0;
        bool near = max(abs(c.x), abs(c.z)) <= FAR && abs(y) <= BOUNDED_Y;
        x_terms = near ? x_sines + ERROR : vec3(1.0 + ERROR);
        z_terms = near ? z_sines + ERROR : vec3(1.0 + ERROR);
        anchor = c.xz;
        if (c.y < h) {
            colour = vec4(0.4 - 0.1 * c.y, 0.4 - 0.05 * c.y, 0.4 - 0.03 * c.y, 1.0);
            break;
        }
        if (tube && sqrt(c.y * c.y + c.z * c.z) < 10.0) {
            colour = n;
            break;
        }
        p += d;
    }
    gl_FragColor = clamp(colour, 0.0, 1.0);
}
