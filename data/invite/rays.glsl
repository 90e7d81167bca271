#version 120
// Light beams falling from above the big screen: streaks of the noise in texture0 spread
// out by angle, fading with distance. "intensity" sets their strength, "spread" how many
// there are; they flare on every beat. Drawn with alpha, so the layer below shows through.
// They leave out the big screen's picture and the title of the hall below them.
uniform vec2 resolution;
uniform float time;
uniform float beatmultiplier;
uniform float intensity;
uniform float spread;
uniform sampler2D texture0;
varying vec2 uvCoord;

// Soft 0..1 coverage of the box from `lo` to `hi`.
float box(vec2 uv, vec2 lo, vec2 hi, float soft) {
    vec2 a = smoothstep(lo - soft, lo, uv) * (1.0 - smoothstep(hi, hi + soft, uv));
    return a.x * a.y;
}

void main() {
    vec2 d = (uvCoord - vec2(0.5, -0.15)) * vec2(resolution.x / resolution.y, 1.0);
    float angle = atan(d.x, d.y);
    float r = length(d);
    float a = texture2D(texture0, vec2(angle * spread * 0.35 + time * 0.011, 0.25)).r;
    float b = texture2D(texture0, vec2(angle * spread * 0.8 - time * 0.017, 0.75)).r;
    float ray = a * b * 2.0;
    ray = ray * ray;
    float fall = smoothstep(1.6, 0.2, r);
    float alpha = clamp(ray * fall * intensity * (0.7 + 0.6 * (beatmultiplier - 1.0)), 0.0, 1.0);
    float keep = max(box(uvCoord, vec2(0.51, 0.08), vec2(0.98, 0.58), 0.03),
                     box(uvCoord, vec2(0.03, 0.64), vec2(0.64, 0.83), 0.03));
    gl_FragColor = vec4(vec3(1.0, 0.86, 0.55), alpha * (1.0 - keep));
}
