#version 120
// Presentation shader of the production. The composed picture arrives in prevPass (and any
// layer composed after this one in fbo_texture); it gets a slight colour fringe towards the
// edges ("aberration", in pixels), the darkening of the vignette image in texture1
// ("vignette"; channel 0 shares its unit with fbo_texture in the presentation pass), a warm
// flash on every beat ("flash"), its own faint scanlines ("scanlines"), a fade in over the
// first second and the layer's Blend as a fade out. Then it keeps the presentation contract:
// every second row darkened by scanlinevalue, the whole image multiplied by fadevalue.
uniform sampler2D fbo_texture;
uniform sampler2D fbo_depth;
uniform float width;
uniform float height;
uniform float fadevalue;
uniform float scanlinevalue;
uniform sampler2D prevPass;
uniform sampler2D texture1;
uniform vec2 resolution;
uniform float time;
uniform float blend;
uniform float beatmultiplier;
uniform float vignette;
uniform float aberration;
uniform float flash;
uniform float scanlines;
varying vec2 uvCoord;

void main() {
    vec2 uv = uvCoord;
    vec2 fringe = (uv - 0.5) * 2.0 * aberration / resolution;
    vec3 col = vec3(texture2D(prevPass, uv + fringe).r, texture2D(prevPass, uv).g,
                    texture2D(prevPass, uv - fringe).b);
    col = max(col, texture2D(fbo_texture, uv).rgb);
    vec4 vig = texture2D(texture1, uv);
    float dark = vig.a * (1.0 - dot(vig.rgb, vec3(0.299, 0.587, 0.114)));
    col *= 1.0 - vignette * dark;
    col += flash * (beatmultiplier - 1.0) * vec3(1.0, 0.8, 0.5) * (0.4 + 0.6 * length(col));
    col *= clamp(time, 0.0, 1.0) * blend;
    vec4 color = vec4(col, 1.0);
    vec2 output_coords = floor(uvCoord * height);
    if (mod(output_coords.y, 2.0) != 0.0) {
        color.rgb *= 1.0 - scanlines;
        color *= 1.0 - scanlinevalue;
    }
    gl_FragColor = color * fadevalue;
}
