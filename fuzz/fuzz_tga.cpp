// libFuzzer target for the TGA reader: any input is decoded from memory and either refused
// with a reason or gives a full width x height picture. Inputs that decode are also loaded
// through the file layer as a bitmap, a sprite and a font (glyph cutting at the marker row),
// without a GL context (textures are refused, pixels stay in memory).
#include "fuzz_scratch.h"
#include "mox/corebitmap.h"
#include "mox/corefont.h"
#include "mox/coresprite.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Larger pictures decode in the first step; the file-layer pass is kept fast.
constexpr int64_t kMaxLoadPixels = 1 << 20;

s_bitmap bitmap;
s_sprite sprite;
s_font font;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_scratch::mount();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    s_tgainfo info;
    unsigned int *pixels = MOX_DecodeTGA(data, size, &info);
    if (!pixels) {
        if (!info.error) abort();
        return 0;
    }
    if (info.error || info.width <= 0 || info.height <= 0) abort();
    const int64_t count = (int64_t)info.width * info.height;
    volatile unsigned int sum = 0;
    for (int64_t i = 0; i < count; ++i) sum = sum + pixels[i];
    free(pixels);
    if (count > kMaxLoadPixels) return 0;

    fuzz_scratch::write("in.tga", data, size);
    MOX_LoadBitmap("in.tga", &bitmap);
    if (!bitmap.data || bitmap.width != info.width || bitmap.height != info.height) abort();
    MOX_LoadSprite("in.tga", &sprite);
    if (sprite.width != info.width || sprite.height != info.height) abort();
    MOX_LoadFont("in.tga", &font);
    if (font.numcharacters < 2 || font.numcharacters > MOX_FONTGLYPHS) abort();
    if (font.height != info.height - 1) abort();
    MOX_FlushGraphics();
    return 0;
}
