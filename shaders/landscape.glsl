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

    vec4 colour = miss;
    for (; i < 200; i++) {
        vec3 c = floor(p / edge);
        // A rising ray that reaches row 12 never comes down again.
        if (rising && c.y >= 12.0) {
            break;
        }
        float h = 2.9 * (sin(0.5523 * c.x) + sin(0.23 * c.x + 5.0 * y) + sin(0.0152 * c.x + 3.1 * y)
                         + sin(0.7632 * c.z) + sin(0.25234 * c.z) + sin(0.45234 * c.z)) - 6.0;
        if (c == vec3(0.0)) {
            colour = vec4(1.0);
            break;
        }
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
