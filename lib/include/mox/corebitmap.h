// Bitmaps: a 32-bit pixel buffer in memory plus a GL texture, created, drawn and loaded from
// TGA images (types 1, 2, 3, 9, 10, 11). Records belong to the caller; the library keeps a
// pointer to every bitmap it creates, so a record must stay in place while it is listed.
#pragma once
#include <cstddef>

constexpr int MOX_MAXBITMAPS = 1024;
// Pixel budget of a decoded image: 64 Mi pixels (256 MiB, 8192 x 8192). A larger picture is
// refused from its header, before anything is allocated, so a small compressed file cannot
// make the reader allocate gigabytes.
constexpr long long MOX_MAXIMAGEPIXELS = 64LL << 20;

struct s_bitmap {
    int width;
    int height;
    int depth;             // always 0
    int texturewidth;      // equal to width (no rounding to powers of two)
    int textureheight;     // equal to height
    int datasize;          // bytes of the pixel buffer: texturewidth * textureheight * 4
    int size;              // pixels in the buffer: texturewidth * textureheight
    void *surfacepointer;  // not used
    void *texturepointer;  // not used
    // Rows top to bottom, bytes red, green, blue, alpha per pixel (integers read 0xAABBGGRR);
    // null when the bitmap has no memory copy. Allocated with malloc.
    unsigned int *data;
    float u, v;     // top-left texture coordinates: 0, 0
    float u2;       // (float)(width * 0.99999) / texturewidth
    float v2;       // (float)(height * 0.9999) / textureheight
    int textureid;  // GL texture name; 0 when none was made
    int updateflag;
};

extern s_bitmap *mox_bitmaplist[MOX_MAXBITMAPS];
extern int mox_numbitmaps;

// Texture side for an image side: the same, as textures of any size are used.
int TextureSize(int n);

// Fills the record, allocates its zeroed pixel buffer, makes the texture and lists the
// record. With the list full, or a size that is not positive or whose byte count does not
// fit an int, it prints a message and leaves an empty record (no data, texture 0).
void MOX_CreateBitmap(int width, int height, s_bitmap *bitmap);
// Deletes the texture and frees the pixels, then clears `data` and `textureid`, so deleting
// again does nothing. The list entry stays.
void MOX_DeleteBitmap(s_bitmap *bitmap);
void MOX_UpdateBitmap(s_bitmap bitmap);                      // uploads `data` to the texture
void MOX_ClearBitmap(s_bitmap bitmap);                       // transparent black, uploaded
void MOX_ClearBitmapWithColor(s_bitmap bitmap, int colour);  // colour in 0xAABBGGRR, uploaded

// Pixels at the interface are 0xAARRGGBB; reads outside the bitmap give 0, writes outside
// it are dropped. Writes are not uploaded.
unsigned MOX_GetPixel(int x, int y, s_bitmap bitmap);
void MOX_DrawPixel(int x, int y, int colour, s_bitmap bitmap);

void MOX_BindTextureFromBitmap(s_bitmap bitmap);
void MOX_DrawBitmap(int x, int y, s_bitmap bitmap);
void MOX_DrawScaledBitmap(int x, int y, float w, float h, s_bitmap bitmap, int unused);
void MOX_DrawZoomedBitmap(int x, int y, float zoom, s_bitmap bitmap);  // zoom in percent
void MOX_DrawBlendBitmap(int x, int y, s_bitmap bitmap, int mode);
void MOX_DrawAlphaBitmap(int x, int y, s_bitmap bitmap, float alpha);
// Draws at (x, y), rotated by `angle` degrees about the bitmap's centre.
void MOX_DrawRotatedBitmap(int x, int y, s_bitmap bitmap, float angle);

// Colour key: 0xAARRGGBB with red > 240, green < 16 and blue > 240 becomes 0.
int ConvertTransp(int colour);
char *upcase(char *s);  // a..z to A..Z in place

// Load a ".tga" file (extension in any case) through the file layer into a new bitmap and
// upload it. On any failure a message is printed and the record is left untouched; a picture
// wider or taller than MOX_MaxTextureSize is refused before decoding, and one whose upload GL
// refuses is deleted again (no data, texture 0).
void MOX_LoadBitmap(const char *filename, s_bitmap *bitmap);
// Gives a bitmap a new picture of width x height pixels (malloc'd, bitmap layout), which it
// takes over. The record stays where it is and keeps its texture name, so its list entry and
// the sprites cut from it stay valid; a record that never held a picture is made and listed.
// Returns 1, or 0 with the pixels freed and the record unchanged.
int MOX_ReplaceBitmap(s_bitmap *bitmap, int width, int height, unsigned int *pixels);
// The same, then frees the memory copy (texture only, `data` null).
void MOX_LoadBitmapStatic(const char *filename, s_bitmap *bitmap);
// Reads and decodes the file and creates the bitmap (texture made but not yet filled: the
// caller uploads `data`). Returns 1 on success; on failure prints why and returns 0 with
// the record untouched.
int LoadImageTGA(const char *filename, s_bitmap *bitmap);

// Header facts and outcome of decoding a TGA image from memory.
struct s_tgainfo {
    int width;
    int height;
    int bpp;  // pixel depth
    int imagetype;
    int headerok;       // 1 once the 18-byte header was read
    const char *error;  // why decoding failed, null on success
};

// Decodes a whole TGA file held in memory. Returns a malloc'd buffer of width * height
// pixels in the bitmap layout (rows top to bottom, 0xAABBGGRR, colour key applied), or
// null with info->error set. Never reads outside bytes[0 .. size - 1].
unsigned int *MOX_DecodeTGA(const unsigned char *bytes, size_t size, s_tgainfo *info);
