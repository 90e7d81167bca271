#version 120
// Slow honey plasma for the breakdown: four interfering waves, warped by the noise in
// texture1, looked up in the colour ramp of texture0. "scale" sets the size of the waves,
// "warp" how far the noise bends them; the picture brightens on every beat.
uniform vec2 resolution;
uniform float time;
uniform float beatmultiplier;
uniform float scale;
uniform float warp;
uniform sampler2D texture0;
uniform sampler2D texture1;
varying vec2 uvCoord;

void main() {
    vec2 p = uvCoord * vec2(resolution.x / resolution.y, 1.0) * scale;
    float t = time * 0.35;
    float n = texture2D(texture1, uvCoord * 0.6 + vec2(t * 0.05, t * 0.031)).r;
    float m = texture2D(texture1, uvCoord * 0.4 - vec2(t * 0.027, t * 0.043)).r;
    p += (vec2(n, m) - 0.5) * warp;
    float v = sin(p.x + t) + sin(0.8 * p.y + 1.3 * t) + sin(0.7 * (p.x + p.y) + 0.9 * t)
            + sin(1.5 * length(p - vec2(2.0 + sin(t), 1.5 + cos(0.7 * t))));
    // Mirror the ramp so that the colours run back and forth without a seam.
    float k = abs(fract(v * 0.125 + t * 0.05) * 2.0 - 1.0);
    vec3 col = texture2D(texture0, vec2(0.05 + 0.9 * k, 0.5)).rgb;
    col *= 0.55 + 0.3 * (beatmultiplier - 1.0);
    gl_FragColor = vec4(col, 1.0);
}
