// The landscape march exactly as described, step after step and test after
// test with no shortcut: the yardstick for the shipped text's pixels and speed.
// Only tests and benchmarks embed it.
uniform float y;
uniform float rot;
uniform vec2 k;

void main()
{
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

    // The first sample is O + D, each later one the sample before plus D.
    // Written this way D has two uses, and Mesa keeps every sample one plain
    // rounded addition; with a single use it folds the rotation's products
    // into the running sum (fused multiply-adds) and the samples drift from
    // the repeated additions by a rounding a step.
    vec4 colour = miss;
    vec3 p = o + d;
    for (int i = 0; i < 200; i++) {
        vec3 c = floor(p / edge);
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
