// Every image file the generator writes: the name the project and the scenes use, the file,
// its kind and size, and how it is stored. resources.txt lists the same with the project
// lines to copy.
#pragma once

enum class ResKind {
    Texture,      // #texture, loaded with MOX_LoadBitmap
    Sprite,       // #sprite, loaded with MOX_LoadSprite
    SpriteSheet,  // #spritesheet, cut into columns x rows cells
    EditorFont,   // a font in the marker-row format for the editor host
    EditorSprite  // the editor's cursor, loaded with MOX_LoadSprite
};

struct ResourceFile {
    const char *name;
    const char *file;
    ResKind kind;
    int width, height;  // whole image; width 0: depends on the glyphs (fonts)
    int columns, rows, cellwidth, cellheight;  // sprite sheets only
    int imagetype;                             // TGA image type: 1, 2, 3, 9, 10 or 11
    int bits;                                  // pixel depth
    bool topleft;                              // origin corner of the stored rows
};

constexpr ResourceFile kResourceFiles[] = {
    // Intro: a background rising inside a television frame, the group name and "presents",
    // a bee of 8 x 8 boxes, the invitation logo.
    {"introbg", "introbg.tga", ResKind::Texture, 1280, 1500, 0, 0, 0, 0, 1, 8, false},
    {"gimbard", "gimbard.tga", ResKind::Sprite, 348, 128, 0, 0, 0, 0, 10, 32, true},
    {"presents", "presents.tga", ResKind::Sprite, 420, 128, 0, 0, 0, 0, 10, 32, false},
    {"tvframe", "tvframe.tga", ResKind::Sprite, 1920, 1080, 0, 0, 0, 0, 10, 24, false},
    {"intrologo", "intrologo.tga", ResKind::Sprite, 1048, 780, 0, 0, 0, 0, 10, 32, true},
    {"boxblack", "boxblack.tga", ResKind::Sprite, 8, 8, 0, 0, 0, 0, 2, 24, false},
    {"boxwhite", "boxwhite.tga", ResKind::Sprite, 8, 8, 0, 0, 0, 0, 2, 24, true},
    // Welcome: a rising night sky, a bee trailing particle lines, the location text cut into
    // one-pixel rows, a scrolling offer line.
    {"welcomebg", "welcomebg.tga", ResKind::Texture, 1920, 1800, 0, 0, 0, 0, 1, 8, true},
    {"bee45", "bee45.tga", ResKind::Sprite, 96, 96, 0, 0, 0, 0, 2, 24, false},
    {"offertext", "offertext.tga", ResKind::Sprite, 3200, 120, 0, 0, 0, 0, 10, 32, true},
    {"location", "location.tga", ResKind::SpriteSheet, 1200, 540, 1, 540, 1200, 1, 10, 32, true},
    {"particleblue", "particleblue.tga", ResKind::SpriteSheet, 256, 256, 8, 8, 32, 32, 2, 32,
     false},
    // Compos and party events: one panorama cut in two overlapping backgrounds, raster bars,
    // two award badges, a rainbow particle sheet and three text sprites.
    {"compobg", "compobg.tga", ResKind::Texture, 3840, 1080, 0, 0, 0, 0, 9, 8, true},
    {"bars", "bars.tga", ResKind::SpriteSheet, 455, 216, 1, 6, 455, 36, 2, 24, true},
    {"bestdemo", "bestdemo.tga", ResKind::Sprite, 480, 160, 0, 0, 0, 0, 10, 32, true},
    {"bestcompo", "bestcompo.tga", ResKind::Sprite, 480, 160, 0, 0, 0, 0, 10, 32, false},
    {"eventsbg", "eventsbg.tga", ResKind::Texture, 2880, 1080, 0, 0, 0, 0, 9, 8, false},
    {"particle", "particle.tga", ResKind::SpriteSheet, 256, 256, 8, 8, 32, 32, 2, 32, true},
    {"whytext", "whytext.tga", ResKind::Sprite, 1280, 440, 0, 0, 0, 0, 10, 32, true},
    {"whyaap", "whyaap.tga", ResKind::Sprite, 480, 320, 0, 0, 0, 0, 2, 32, false},
    {"whyenjoy", "whyenjoy.tga", ResKind::Sprite, 480, 128, 0, 0, 0, 0, 10, 24, true},
    // Big screen and the end.
    {"screenbg", "screenbg.tga", ResKind::Texture, 1920, 1080, 0, 0, 0, 0, 1, 8, false},
    {"screen", "screen.tga", ResKind::Sprite, 640, 360, 0, 0, 0, 0, 2, 24, true},
    {"endlogo", "endlogo.tga", ResKind::Texture, 1920, 1080, 0, 0, 0, 0, 11, 8, true},
    // The finale: three recap cards and the solid end title, for image layers.
    {"recapwhen", "recapwhen.tga", ResKind::Sprite, 1600, 460, 0, 0, 0, 0, 10, 32, true},
    {"recapwhere", "recapwhere.tga", ResKind::Sprite, 1600, 460, 0, 0, 0, 0, 10, 32, true},
    {"recaponline", "recaponline.tga", ResKind::Sprite, 1600, 460, 0, 0, 0, 0, 10, 32, true},
    {"endtitle", "endtitle.tga", ResKind::Texture, 1920, 1080, 0, 0, 0, 0, 10, 32, true},
    // For image layers and shader channels.
    {"honeycomb", "honeycomb.tga", ResKind::Texture, 512, 512, 0, 0, 0, 0, 2, 24, false},
    {"noise", "noise.tga", ResKind::Texture, 256, 256, 0, 0, 0, 0, 3, 8, true},
    {"ramp", "ramp.tga", ResKind::Texture, 256, 8, 0, 0, 0, 0, 2, 24, true},
    {"vignette", "vignette.tga", ResKind::Texture, 960, 540, 0, 0, 0, 0, 10, 32, false},
    {"credits", "credits.tga", ResKind::Texture, 1920, 1080, 0, 0, 0, 0, 10, 32, true},
    {"emblem", "emblem.tga", ResKind::Sprite, 512, 512, 0, 0, 0, 0, 10, 32, true},
    // The editor host's fonts and cursor.
    {"font1", "guifont1.tga", ResKind::EditorFont, 0, 29, 0, 0, 0, 0, 10, 32, true},
    {"font2", "guifont2.tga", ResKind::EditorFont, 0, 29, 0, 0, 0, 0, 2, 24, false},
    {"cursor", "guicursor.tga", ResKind::EditorSprite, 24, 32, 0, 0, 0, 0, 2, 32, true},
};

constexpr int kNumResourceFiles = int(sizeof(kResourceFiles) / sizeof(kResourceFiles[0]));
