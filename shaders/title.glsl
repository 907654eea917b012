// Placeholder until the title lands: grey that pulses with y.
uniform float y;
uniform float rot;
uniform vec2 k;

void main()
{
    vec2 s = gl_FragCoord.xy / k;
    gl_FragColor = vec4(vec3(0.5 + 0.5 * cos(y + 3.0 * s.x)), 1.0);
}
