// Editor drawing tests: a demo object on the heap with the editor state that InitGUI sets on
// a 1920 x 1080 screen, two fonts built in code whose glyphs can be read back as text, and
// helpers that read pixels and text from the editor's framebuffer.
//
// Font: every glyph is two pixels wide and two high; its first column is opaque, red = the
// character code, green = 0xA5, blue = the font's tag (1 for guifont1, 2 for guifont2), its
// second column is transparent. So a text drawn at (x, y) reads back from row y as one cell
// of two pixels per character.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "coresound/coresound.h"
#include "demosystem/demosystem.h"
#include "gl_context.h"
#include "log_capture.h"

namespace drawgui_test {

constexpr int W = 1920, H = 1080;
constexpr int TIMELINEX = 192;
constexpr int FONT_GREEN = 0xA5;

// 0xRRGGBB of a pixel read as 0xAABBGGRR.
inline uint32_t rgb_of(uint32_t abgr) {
    return (abgr & 0xff) << 16 | (abgr & 0xff00) | (abgr >> 16 & 0xff);
}

// Top row of layer i's row on the screen.
inline int layer_top(int i) { return H - 64 - 64 * i; }

// Fills a font with 96 two-pixel glyphs (see above) cut from `image`.
inline void make_font(s_font *font, s_bitmap *image, int tag) {
    *font = s_font{};
    MOX_CreateBitmap(96 * 2, 3, image);
    for (int k = 2; k < 96; k++) {
        const int colour = (int)(0xff000000u | (uint32_t)(k + 31) << 16 | FONT_GREEN << 8 | tag);
        MOX_DrawPixel(2 * k, 1, colour, *image);
        MOX_DrawPixel(2 * k, 2, colour, *image);
    }
    MOX_UpdateBitmap(*image);
    for (int k = 0; k < 96; k++) {
        MOX_GetSprite(2 * k, 1, 2, 2, *image, &font->fontchar[k]);
        font->fontwidth[k] = 2;
    }
    font->height = 2;
    font->numcharacters = 96;
    font->bitmap = image;
}

// Text read back from the current framebuffer.
struct s_text {
    std::string text;
    int font = 0;  // tag of its glyphs: 1, 2, 0 for no glyph, -1 for mixed
};

// Reads cells from (x, y) rightwards until `gap` cells in a row hold no glyph.
inline s_text read_text(int x, int y, int gap = 6) {
    const int width = MOX_GetFrameBufferWidth() - x;
    s_text out;
    if (width <= 0) return out;
    std::vector<unsigned char> row((size_t)width * 4);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, MOX_GetFrameBufferHeight() - 1 - y, width, 1, GL_RGBA, GL_UNSIGNED_BYTE,
                 row.data());
    int blanks = 0;
    for (int c = 0; 2 * c < width && blanks < gap; c++) {
        const unsigned char *p = &row[(size_t)8 * c];
        if (p[1] == FONT_GREEN && (p[2] == 1 || p[2] == 2) && p[0] > 32) {
            out.text.append((size_t)blanks, ' ');
            out.text += (char)p[0];
            out.font = out.font == 0 || out.font == p[2] ? p[2] : -1;
            blanks = 0;
        } else {
            blanks++;
        }
    }
    return out;
}

class DrawGUITest : public ::testing::Test {
protected:
    std::unique_ptr<c_demo> demo;
    std::vector<uint8_t> music;  // sample bytes of demomusic

    // Fonts and their images stay in place while the sprite and bitmap lists point at them.
    static s_font &font1() {
        static s_font f;
        return f;
    }
    static s_font &font2() {
        static s_font f;
        return f;
    }
    static s_bitmap &image1() {
        static s_bitmap b;
        return b;
    }
    static s_bitmap &image2() {
        static s_bitmap b;
        return b;
    }

    void SetUp() override {
        ASSERT_TRUE(gltest_init(64, 64)) << "no GL context (display?)";
        demo = std::make_unique<c_demo>();
        ::testing::internal::CaptureStdout();
        demo->Init(320, 180, 0);
        make_font(&font1(), &image1(), 1);
        make_font(&font2(), &image2(), 2);
        InitEditor();
        ::testing::internal::GetCapturedStdout();
    }

    void TearDown() override {
        ::testing::internal::CaptureStdout();
        demo->demomusic.buffer = nullptr;  // the vector's
        demo->Release();
        MOX_FlushGraphics();
        ::testing::internal::GetCapturedStdout();
        demo.reset();
    }

    // The editor state as InitGUI leaves it.
    void InitEditor() {
        c_demo &d = *demo;
        d.gui_width = W;
        d.gui_height = H;
        d.gui_layerheight = 64;
        d.gui_waveformheight = 128;
        d.gui_timelinex = TIMELINEX;
        d.gui_timeliney = H - 32;
        d.gui_sliderx = 0;
        d.gui_detailsx = 1540;
        d.gui_detailsy = 48;
        d.gui_resourcex = 4;
        d.gui_resourcey = 48;
        d.gui_resourcestart = 0;
        d.gui_mousebutton = 0;
        d.gui_selected_resource = -1;
        d.gui_selected_markerarea = 0;
        d.gui_selected_marker = -1;
        d.gui_selected_layer = -1;
        d.gui_selected_event = -1;
        d.gui_selected_eventtype = 0;
        d.gui_selected_parameter = 0;
        d.gui_zoom = 8.0f;
        d.gui_paused = false;
        d.gui_visible = true;
        MOX_CreateBitmap(W, 128, &d.bmp_waveform);
        d.gui_framebuffer_id = MOX_CreateFrameBuffer(W, H, 2);
        d.gui_previewbuffer_id = MOX_CreateFrameBuffer(MOX_video.width, MOX_video.height, 2);
        d.guifont1 = &font1();
        d.guifont2 = &font2();
        d.spr_guicursor = nullptr;
        // The cursor square out of the way of the texts and boxes that the tests read.
        d.gui_cursorx = 1900;
        d.gui_cursory = 570;
    }

    void AddLayers(int n) {
        ::testing::internal::CaptureStdout();
        for (int i = 0; i < n; i++) {
            char name[16];
            snprintf(name, sizeof name, "L%d", i);
            demo->CreateLayer(16, 16, name);
        }
        ::testing::internal::GetCapturedStdout();
    }

    // Music position in frames, without sample data (the waveform stays flat).
    void Seek(int frames) {
        demo->demomusic.numchannels = 1;
        demo->demomusic.offset = (uint64_t)frames << 8;
    }

    // A music of the given sample values (16-bit, or 8-bit unsigned).
    void SetMusic16(const std::vector<int16_t> &samples, int channels, int rate = 44100) {
        music.assign((const uint8_t *)samples.data(),
                     (const uint8_t *)samples.data() + samples.size() * 2);
        SetMusic(16, channels, rate, (uint32_t)samples.size());
    }
    void SetMusic8(const std::vector<uint8_t> &samples, int channels, int rate = 44100) {
        music = samples;
        SetMusic(8, channels, rate, (uint32_t)samples.size());
    }

    void Draw() {
        LogCapture log;
        demo->DrawGUI();
        EXPECT_TRUE(log.messages().empty()) << log.Text();
    }

    // Colour of a pixel of the editor screen as 0xRRGGBB.
    static uint32_t Pixel(int x, int y) { return rgb_of(gltest_pixel(x, y)); }

    s_effectevent *AddEffect(int layer, int t, int length, int type, int id) {
        s_demolayer *l = &demo->layer[layer];
        ::testing::internal::CaptureStdout();
        demo->CreateEventA(l, t, length, type, id, 0, nullptr);
        ::testing::internal::GetCapturedStdout();
        return &l->event[l->numevents - 1];
    }

    void Select(int layer, int kind, int index) {
        demo->gui_selected_layer = layer;
        demo->gui_selected_eventtype = kind;
        demo->gui_selected_event = index;
    }

private:
    void SetMusic(int bits, int channels, int rate, uint32_t values) {
        s_sound &m = demo->demomusic;
        m.bits = (uint16_t)bits;
        m.numchannels = (uint16_t)channels;
        m.samplerate = (uint32_t)rate;
        m.length = values;
        m.size = (uint32_t)music.size();
        m.buffer = music.data();
        m.offset = 0;
    }
};

}  // namespace drawgui_test
