// Bitmaps and the TGA reader.
#include "mox/corebitmap.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "core/coredebug.h"
#include "core/corefile.h"
#include "mox/corevideo.h"

s_bitmap *mox_bitmaplist[MOX_MAXBITMAPS];
int mox_numbitmaps = 0;

namespace {

struct free_deleter {
    void operator()(void *p) const { free(p); }
};
using pixel_buffer = std::unique_ptr<unsigned int[], free_deleter>;

// Sets the record's size, texture extent and coordinates around `pixels`, which it takes over.
void set_picture(int width, int height, unsigned int *pixels, s_bitmap *bitmap) {
    bitmap->width = width;
    bitmap->height = height;
    bitmap->texturewidth = TextureSize(width);
    bitmap->textureheight = TextureSize(height);
    bitmap->size = bitmap->texturewidth * bitmap->textureheight;
    bitmap->datasize = bitmap->size * 4;
    bitmap->data = pixels;
    bitmap->u2 = (float)(width * 0.99999) / bitmap->texturewidth;
    bitmap->v2 = (float)(height * 0.9999) / bitmap->textureheight;
}

// Fills the record around `pixels` (which it takes over), makes the texture and lists it.
// With `upload` false the texture is made without contents.
bool make_bitmap(int width, int height, unsigned int *pixels, bool upload, s_bitmap *bitmap) {
    if (mox_numbitmaps >= MOX_MAXBITMAPS) {
        core_log(LOG_ERROR, "mox.bitmap_table_full",
                 "- ERROR: bitmap list full (%d bitmaps), bitmap not created.\n", MOX_MAXBITMAPS);
        free(pixels);
        return false;
    }
    *bitmap = s_bitmap{};
    set_picture(width, height, pixels, bitmap);
    bitmap->textureid = MOX_CreateTexture(width, height, upload ? pixels : nullptr, 0);
    // Without video the pixels stay in memory alone; with video a bitmap needs its texture.
    if (bitmap->textureid == 0 && MOX_VideoReady()) {
        core_log(LOG_ERROR, "mox.bitmap_no_texture",
                 "- ERROR: no texture for a %d x %d bitmap, bitmap not created.\n", width, height);
        free(pixels);
        *bitmap = s_bitmap{};
        return false;
    }
    mox_bitmaplist[mox_numbitmaps++] = bitmap;
    return true;
}

// Stores the pixels in the texture; false when GL refused them.
bool upload(const s_bitmap &bitmap) {
    if (!bitmap.data || bitmap.textureid == 0) return true;
    return MOX_UpdateTexture(bitmap.textureid, bitmap.width, bitmap.height, bitmap.data) != 0;
}

// Pixel in the buffer's layout (0xAABBGGRR) from its channels, with the colour key applied.
inline uint32_t keyed(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    const bool key = (r > 240) & (g < 16) & (b > 240);
    return key ? 0u : (r | g << 8 | b << 16 | a << 24);
}

inline uint32_t keyed16(uint32_t w) {
    return keyed((w >> 10 & 31) << 3, (w >> 5 & 31) << 3, (w & 31) << 3, 0xFF);
}

// Pixel readers by depth; each gives a keyed pixel in buffer layout.
struct read_grey {
    static constexpr int bytes = 1;
    uint32_t operator()(const unsigned char *p) const { return 0xFF000000u | p[0] * 0x010101u; }
};
struct read_mapped {
    static constexpr int bytes = 1;
    const uint32_t *table;
    uint32_t operator()(const unsigned char *p) const { return table[p[0]]; }
};
struct read_16 {
    static constexpr int bytes = 2;
    uint32_t operator()(const unsigned char *p) const { return keyed16(p[0] | p[1] << 8); }
};
struct read_24 {
    static constexpr int bytes = 3;
    uint32_t operator()(const unsigned char *p) const { return keyed(p[2], p[1], p[0], 0xFF); }
};
struct read_32 {
    static constexpr int bytes = 4;
    uint32_t operator()(const unsigned char *p) const { return keyed(p[2], p[1], p[0], p[3]); }
};

// Four 32-bit pixels at once (file words 0xAARRGGBB on this little-endian host): red and
// blue swapped into buffer layout, keyed pixels cleared.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "TGA words are read in host order");
typedef uint32_t u32x4 __attribute__((vector_size(16)));

inline void store_keyed(unsigned int *dst, u32x4 v) {
    const u32x4 r = v >> 16 & 0xFF, g = v >> 8 & 0xFF, b = v & 0xFF;
    const u32x4 key = (u32x4)((r > 240) & (g < 16) & (b > 240));
    const u32x4 out = ((v & 0xFF00FF00u) | r | b << 16) & ~key;
    memcpy(dst, &out, sizeof out);
}

inline void convert_32x4(unsigned int *dst, const unsigned char *src) {
    u32x4 v;
    memcpy(&v, src, sizeof v);
    store_keyed(dst, v);
}

// Four 24-bit pixels from overlapping word loads within their 12 bytes; the top byte of
// each word is replaced by an opaque alpha.
inline void convert_24x4(unsigned int *dst, const unsigned char *src) {
    uint32_t a, b, c, d;
    memcpy(&a, src, 4);
    memcpy(&b, src + 3, 4);
    memcpy(&c, src + 6, 4);
    memcpy(&d, src + 8, 4);
    const u32x4 v = {a, b, c, d >> 8};
    store_keyed(dst, v | 0xFF000000u);
}

// Where decoded pixels go: file row f is image row rows[f]; columns run right to left when
// `mirror` is set.
struct target {
    unsigned int *pixels;
    int width;
    const int *rows;
    bool mirror;
};

// Decodes n pixels into file row f from column c on; the caller keeps c + n <= width.
template <class R>
inline void put_span(const target &t, int f, int c, int n, const unsigned char *src, R rd) {
    unsigned int *row = t.pixels + (size_t)t.rows[f] * t.width;
    if (!t.mirror) {
        unsigned int *d = row + c;
        int i = 0;
        if constexpr (std::is_same_v<R, read_32>)
            for (; i + 4 <= n; i += 4) convert_32x4(d + i, src + (size_t)i * 4);
        if constexpr (std::is_same_v<R, read_24>)
            for (; i + 4 <= n; i += 4) convert_24x4(d + i, src + (size_t)i * 3);
        for (; i < n; ++i) d[i] = rd(src + (size_t)i * R::bytes);
    } else {
        unsigned int *d = row + (t.width - 1 - c);
        for (int i = 0; i < n; ++i) d[-i] = rd(src + (size_t)i * R::bytes);
    }
}

inline void fill_span(const target &t, int f, int c, int n, uint32_t value) {
    unsigned int *row = t.pixels + (size_t)t.rows[f] * t.width;
    std::fill_n(t.mirror ? row + (t.width - c - n) : row + c, n, value);
}

// Uncompressed pixel data; the caller has checked that all of it is in the buffer.
template <class R>
void decode_raw(const target &t, int height, const unsigned char *src, R rd) {
    const size_t rowbytes = (size_t)t.width * R::bytes;
    for (int f = 0; f < height; ++f, src += rowbytes) put_span(t, f, 0, t.width, src, rd);
}

// Run-length packets from bytes[pos] on, running across row ends. Returns null or why it
// failed.
template <class R>
const char *decode_rle(const target &t, int height, const unsigned char *bytes, size_t size,
                       size_t pos, R rd) {
    const int64_t total = (int64_t)t.width * height;
    int64_t written = 0;
    int c = 0, f = 0;
    while (written < total) {
        if (pos >= size) return "run-length data truncated";
        const unsigned h = bytes[pos++];
        int n = (int)std::min<int64_t>((h & 0x7F) + 1, total - written);
        written += n;
        if (h & 0x80) {
            if (size - pos < (size_t)R::bytes) return "run-length data truncated";
            const uint32_t value = rd(bytes + pos);
            pos += R::bytes;
            while (n > 0) {
                const int seg = std::min(n, t.width - c);
                fill_span(t, f, c, seg, value);
                n -= seg;
                c += seg;
                if (c == t.width) c = 0, ++f;
            }
        } else {
            if (size - pos < (size_t)n * R::bytes) return "run-length data truncated";
            while (n > 0) {
                const int seg = std::min(n, t.width - c);
                put_span(t, f, c, seg, bytes + pos, rd);
                pos += (size_t)seg * R::bytes;
                n -= seg;
                c += seg;
                if (c == t.width) c = 0, ++f;
            }
        }
    }
    return nullptr;
}

template <class R>
const char *decode_pixels(const target &t, int height, bool rle, const unsigned char *bytes,
                          size_t size, size_t pos, R rd) {
    if (rle) return decode_rle(t, height, bytes, size, pos, rd);
    decode_raw(t, height, bytes + pos, rd);
    return nullptr;
}

}  // namespace

int TextureSize(int n) { return n; }

void MOX_CreateBitmap(int width, int height, s_bitmap *bitmap) {
    // The size must fit the record's int byte count.
    if (width <= 0 || height <= 0 || (int64_t)width * height > INT32_MAX / 4) {
        core_log(LOG_ERROR, "mox.bitmap_bad_size",
                 "- ERROR: bad bitmap size %d x %d, bitmap not created.\n", width, height);
        *bitmap = s_bitmap{};
        return;
    }
    auto *data = static_cast<unsigned int *>(calloc((size_t)width * height, 4));
    if (!data)
        core_log(LOG_ERROR, "mox.bitmap_no_memory", "- ERROR: no memory for a %d x %d bitmap.\n",
                 width, height);
    if (!data || !make_bitmap(width, height, data, true, bitmap)) *bitmap = s_bitmap{};
}

void MOX_DeleteBitmap(s_bitmap *bitmap) {
    if (!bitmap->data) return;
    core_log(LOG_PROGRESS, "mox.bitmap_deleted", "deleting bitmap\n");
    MOX_DeleteTexture(bitmap->textureid);
    free(bitmap->data);
    bitmap->data = nullptr;
    bitmap->textureid = 0;
}

void MOX_UpdateBitmap(s_bitmap bitmap) { upload(bitmap); }

void MOX_ClearBitmap(s_bitmap bitmap) {
    if (!bitmap.data) return;
    memset(bitmap.data, 0, (size_t)bitmap.datasize);
    upload(bitmap);
}

void MOX_ClearBitmapWithColor(s_bitmap bitmap, int colour) {
    if (!bitmap.data) return;
    std::fill_n(bitmap.data, bitmap.size, (unsigned int)colour);
    upload(bitmap);
}

unsigned MOX_GetPixel(int x, int y, s_bitmap bitmap) {
    if (!bitmap.data || x < 0 || y < 0 || x >= bitmap.width || y >= bitmap.height) return 0;
    const unsigned v = bitmap.data[x + (size_t)y * bitmap.width];
    return (v & 0xFF00FF00u) | (v >> 16 & 0xFF) | (v & 0xFF) << 16;
}

void MOX_DrawPixel(int x, int y, int colour, s_bitmap bitmap) {
    if (!bitmap.data || x < 0 || y < 0 || x >= bitmap.width || y >= bitmap.height) return;
    const unsigned v = (unsigned)colour;
    bitmap.data[x + (size_t)y * bitmap.width] =
        (v & 0xFF00FF00u) | (v >> 16 & 0xFF) | (v & 0xFF) << 16;
}

void MOX_BindTextureFromBitmap(s_bitmap bitmap) { MOX_BindTexture(bitmap.textureid); }

void MOX_DrawBitmap(int x, int y, s_bitmap bitmap) {
    MOX_DrawScaledBitmap(x, y, (float)bitmap.width, (float)bitmap.height, bitmap, 0);
}

void MOX_DrawScaledBitmap(int x, int y, float w, float h, s_bitmap bitmap, int) {
    MOX_DisableRenderState(MOX_STATE_ALPHATEST);
    MOX_BindTexture(bitmap.textureid);
    MOX_DrawQuad((float)x, (float)y, w, h, bitmap.u, bitmap.v, bitmap.u2, bitmap.v2);
}

void MOX_DrawZoomedBitmap(int x, int y, float zoom, s_bitmap bitmap) {
    MOX_DrawScaledBitmap(x, y, bitmap.width * zoom / 100, bitmap.height * zoom / 100, bitmap, 0);
}

void MOX_DrawBlendBitmap(int x, int y, s_bitmap bitmap, int mode) {
    MOX_SetBlendMode(mode);
    MOX_EnableRenderState(MOX_STATE_BLEND);
    MOX_DrawBitmap(x, y, bitmap);
    MOX_DisableRenderState(MOX_STATE_BLEND);
}

void MOX_DrawAlphaBitmap(int x, int y, s_bitmap bitmap, float alpha) {
    MOX_BindTexture(bitmap.textureid);
    MOX_EnableAlphaBlend(alpha);
    MOX_DrawBitmap(x, y, bitmap);
    MOX_DisableAlphaBlend();
}

void MOX_DrawRotatedBitmap(int x, int y, s_bitmap bitmap, float angle) {
    MOX_DisableRenderState(MOX_STATE_ALPHATEST);
    MOX_BindTexture(bitmap.textureid);
    MOX_DrawRotatedQuad((float)x, (float)y, (float)bitmap.width, (float)bitmap.height, bitmap.u,
                        bitmap.v, bitmap.u2, bitmap.v2, angle);
}

int ConvertTransp(int colour) {
    const unsigned v = (unsigned)colour;
    const unsigned r = v >> 16 & 0xFF, g = v >> 8 & 0xFF, b = v & 0xFF;
    return (r > 240 && g < 16 && b > 240) ? 0 : colour;
}

char *upcase(char *s) {
    for (char *p = s; *p; ++p)
        if (*p >= 'a' && *p <= 'z') *p = (char)(*p - 'a' + 'A');
    return s;
}

unsigned int *MOX_DecodeTGA(const unsigned char *bytes, size_t size, s_tgainfo *info) {
    *info = s_tgainfo{};
    auto fail = [info](const char *why) -> unsigned int * {
        info->error = why;
        return nullptr;
    };
    if (!bytes || size < 18) return fail("file too short for a TGA header");
    auto word = [bytes](size_t at) { return (int)(bytes[at] | bytes[at + 1] << 8); };
    const int idlength = bytes[0];
    const int maptype = bytes[1];
    const int type = bytes[2];
    const int mapfirst = word(3);
    const int maplength = word(5);
    const int mapbits = bytes[7];
    const int width = word(12);
    const int height = word(14);
    const int bpp = bytes[16];
    const int descriptor = bytes[17];
    info->width = width;
    info->height = height;
    info->bpp = bpp;
    info->imagetype = type;
    info->headerok = 1;

    const bool rle = type >= 8;
    const int kind = type & 7;  // 1 colour-mapped, 2 true colour, 3 grey
    if ((type != 1 && type != 2 && type != 3 && type != 9 && type != 10 && type != 11))
        return fail("unsupported TGA image type");
    if (width == 0 || height == 0) return fail("empty image");
    if ((int64_t)width * height > MOX_MAXIMAGEPIXELS) return fail("image too large");
    if (bpp != 8 && bpp != 15 && bpp != 16 && bpp != 24 && bpp != 32)
        return fail("unsupported pixel depth");
    if (kind != 2 && bpp != 8) return fail("unsupported pixel depth for this image type");
    const bool mapped = bpp == 8 && kind != 3;
    if (mapped && maptype == 0) return fail("colour-mapped image without a colour map");

    size_t pos = 18 + (size_t)idlength;
    std::vector<uint32_t> table;
    if (maptype != 0) {
        const size_t entrybytes = ((size_t)mapbits + 7) / 8;
        if (pos > size || (size - pos) / std::max<size_t>(entrybytes, 1) < (size_t)maplength)
            return fail("colour map truncated");
        if (mapped) {
            if (mapbits != 15 && mapbits != 16 && mapbits != 24)
                return fail("unsupported colour map entry size");
            // Entries the file does not give stay transparent black; those past 255 are ignored.
            table.assign(256, 0);
            for (int i = 0; i < maplength && mapfirst + i < 256; ++i) {
                const unsigned char *e = bytes + pos + (size_t)i * entrybytes;
                table[mapfirst + i] =
                    mapbits == 24 ? keyed(e[2], e[1], e[0], 0xFF) : keyed16(e[0] | e[1] << 8);
            }
        }
        pos += (size_t)maplength * entrybytes;
    }
    if (pos > size) return fail("pixel data truncated");

    // A raw image must hold all its pixels; a run-length one at least a two-byte packet per
    // 128 pixels. Checked before allocating, so a short file cannot ask for a huge buffer.
    const size_t pixelbytes = ((size_t)bpp + 7) / 8;
    const size_t count = (size_t)width * height;
    const size_t needed = rle ? (count + 127) / 128 * (1 + pixelbytes) : count * pixelbytes;
    if (size - pos < needed)
        return fail(rle ? "run-length data truncated" : "pixel data truncated");

    pixel_buffer pixels(static_cast<unsigned int *>(malloc(count * 4)));
    if (!pixels) return fail("not enough memory for the image");

    // File row order: origin corner (bit 5 set: top), then two- or four-way interleaving
    // (bits 6 and 7, bit 7 wins).
    const int passes = (descriptor & 0x80) ? 4 : (descriptor & 0x40) ? 2 : 1;
    const bool top = descriptor & 0x20;
    std::vector<int> rows;
    rows.reserve(height);
    for (int j = 0; j < passes; ++j)
        for (int l = j; l < height; l += passes) rows.push_back(top ? l : height - 1 - l);
    const target t{pixels.get(), width, rows.data(), (descriptor & 0x10) != 0};

    const char *error;
    if (kind == 3)
        error = decode_pixels(t, height, rle, bytes, size, pos, read_grey{});
    else if (mapped)
        error = decode_pixels(t, height, rle, bytes, size, pos, read_mapped{table.data()});
    else if (bpp == 24)
        error = decode_pixels(t, height, rle, bytes, size, pos, read_24{});
    else if (bpp == 32)
        error = decode_pixels(t, height, rle, bytes, size, pos, read_32{});
    else
        error = decode_pixels(t, height, rle, bytes, size, pos, read_16{});
    if (error) return fail(error);
    return pixels.release();
}

int LoadImageTGA(const char *filename, s_bitmap *bitmap) {
    s_corefile file{};
    if (!corefile_open(filename, &file, 0)) return 0;
    const size_t size = corefile_fsize(&file);
    std::vector<unsigned char> bytes(size);
    if (size) corefile_read(bytes.data(), 1, (uint32_t)size, &file);
    corefile_close(&file);

    // A picture that no texture can hold is refused before its pixels are decoded.
    const int limit = MOX_MaxTextureSize();
    if (size >= 18 && limit > 0) {
        const int width = bytes[12] | bytes[13] << 8, height = bytes[14] | bytes[15] << 8;
        if (width > limit || height > limit) {
            core_log(LOG_ERROR, "mox.image_too_large",
                     "- ERROR: %s: %d x %d is larger than the largest texture (%d).\n", filename,
                     width, height, limit);
            return 0;
        }
    }

    s_tgainfo info;
    pixel_buffer pixels(MOX_DecodeTGA(bytes.data(), size, &info));
    if (info.headerok) {
        core_log(LOG_PROGRESS, "mox.tga_info", "width: %d, height: %d, bpp: %d\n", info.width,
                 info.height, info.bpp);
        if (info.imagetype >= 8) core_log(LOG_PROGRESS, "mox.tga_rle", "TGA is RLE packed.");
    }
    if (!pixels) {
        core_log(LOG_ERROR, "mox.tga_malformed", "- ERROR: %s: %s.\n", filename, info.error);
        return 0;
    }
    return make_bitmap(info.width, info.height, pixels.release(), false, bitmap) ? 1 : 0;
}

namespace {

bool load_bitmap(const char *filename, s_bitmap *bitmap) {
    const char *dot = strrchr(filename, '.');
    char extension[16] = "";
    if (dot && dot != filename && strlen(dot) < sizeof extension) strcpy(extension, dot);
    if (strcmp(upcase(extension), ".TGA") != 0) {
        core_log(LOG_ERROR, "mox.image_unsupported", "File format not supported.\n");
        return false;
    }
    core_log(LOG_PROGRESS, "mox.tga_loading", "Loading TGA image.");
    if (!LoadImageTGA(filename, bitmap)) {
        core_log(LOG_ERROR, "mox.image_not_loaded", "- ERROR: Image %s not loaded.\n", filename);
        return false;
    }
    if (!upload(*bitmap)) {
        core_log(LOG_ERROR, "mox.image_not_uploaded",
                 "- ERROR: Image %s could not be stored as a texture.\n", filename);
        MOX_DeleteBitmap(bitmap);
        return false;
    }
    return true;
}

}  // namespace

void MOX_LoadBitmap(const char *filename, s_bitmap *bitmap) { load_bitmap(filename, bitmap); }

int MOX_ReplaceBitmap(s_bitmap *bitmap, int width, int height, unsigned int *pixels) {
    if (!bitmap || !pixels || width <= 0 || height <= 0 ||
        (long long)width * height > MOX_MAXIMAGEPIXELS) {
        free(pixels);
        return 0;
    }
    // A record that never held a picture is made (and listed) as a load would.
    if (bitmap->textureid == 0 && !bitmap->data)
        return make_bitmap(width, height, pixels, true, bitmap) ? 1 : 0;
    if (bitmap->textureid != 0 && !MOX_UpdateTexture(bitmap->textureid, width, height, pixels)) {
        free(pixels);
        return 0;
    }
    free(bitmap->data);
    set_picture(width, height, pixels, bitmap);
    return 1;
}

void MOX_LoadBitmapStatic(const char *filename, s_bitmap *bitmap) {
    if (!load_bitmap(filename, bitmap)) return;
    free(bitmap->data);
    bitmap->data = nullptr;
}
