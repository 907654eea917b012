// Placeholder until the landscape lands: a gradient that moves with y and rot.
uniform float y;
uniform float rot;
uniform vec2 k;

void main()
{
    vec2 s = gl_FragCoord.xy / k;
    gl_FragColor = vec4(s.x, s.y, 0.5 + 0.5 * sin(y + rot), 1.0);
}
