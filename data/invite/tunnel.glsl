#version 120
// A tunnel of honeycomb: texture0 wraps the walls, texture1 (a colour ramp) tints them by
// depth. "speed" moves the walls towards the viewer, "twist" turns them as they recede,
// "glow" lights the far end on every beat. The layer's Blend dims the whole picture.
uniform vec2 resolution;
uniform float time;
uniform float blend;
uniform float beatmultiplier;
uniform float speed;
uniform float twist;
uniform float glow;
uniform sampler2D texture0;
uniform sampler2D texture1;
varying vec2 uvCoord;

void main() {
    vec2 p = (uvCoord - 0.5) * vec2(resolution.x / resolution.y, 1.0) * 2.0;
    float beat = beatmultiplier - 1.0;
    p += 0.08 * vec2(sin(time * 0.7), cos(time * 0.53));
    float r = max(length(p), 0.001);
    float depth = 0.45 / r;
    float angle = atan(p.y, p.x) / 6.2831853;
    vec2 tc = vec2(angle * 3.0 + depth * twist + time * 0.03, depth + time * speed);
    // Towards the vanishing point the walls shrink below a pixel and their pattern would
    // alias into moire: where one pixel steps across more than a cell wall's width of
    // texture, the pattern fades into a plain wall that the tint alone colours.
    float pixel = 2.0 / resolution.y;
    float footprint = max(0.45 / (r * r), 3.0 / (6.2831853 * r)) * pixel;
    float detail = 1.0 - smoothstep(0.004, 0.014, footprint);
    vec3 wall = mix(vec3(0.6), texture2D(texture0, tc).rgb, detail);
    float shade = clamp(r * 1.25, 0.0, 1.0);
    vec3 tint = texture2D(texture1, vec2(clamp(0.15 + 0.8 * shade, 0.0, 1.0), 0.5)).rgb;
    vec3 col = wall * tint * (0.35 + 1.1 * shade * shade);
    col += tint * glow * (0.25 + 0.75 * beat) * pow(1.0 - shade, 3.0);
    gl_FragColor = vec4(col * (0.6 + 0.4 * blend), 1.0);
}
