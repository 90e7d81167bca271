// Editor screen layout: where each part of the editor screen lies for a screen size, a number
// of layers, a zoom and a play position. Drawing and the mouse's hit tests take every place
// and size from here, so a click lands on what was drawn. The layout is the 1920 x 1080
// design scaled by the smaller of the two ratios to that design; what is left over goes to the
// width of the timeline and to the preview, which keeps the production's aspect ratio.
#pragma once

constexpr int GUI_DESIGNWIDTH = 1920, GUI_DESIGNHEIGHT = 1080;

struct s_guilayout {
    float scale;               // design pixels to screen pixels
    int width, height;         // the editor screen
    int row;                   // a layer row
    int markerstrip;           // marker strip at the top of the timeline block
    int waveform;              // waveform band under the marker strip
    int timelinex;             // left edge of the timeline area (right edge of the labels)
    int timeliney;             // top of the timeline block
    int blockheight;           // the timeline block, down to the bottom of the screen
    int frames;                // frames of music per screen pixel on the timeline, at least 1
    int sliderx;               // the playhead right of timelinex: some time before it stays visible
    int position;              // play position the time axis was laid out for
    int detailsx, detailsy;    // properties panel
    int resourcex, resourcey;  // resource list heading
    int linestep;              // properties and help lines
    int listtop, listrow, listrows, listwidth;   // rows of the resource list
    int previewx, previewy, previeww, previewh;  // the production's picture
    int keybox;                                  // a key's box
    int markerbox;                               // a marker's box right of its time

    // A design size in screen pixels, at least 1 for a positive size.
    int Px(int design) const;
    // Top of layer i's row; layer 0 is the bottom row.
    int RowTop(int layer) const { return height - row - row * layer; }
    // x of time t on the timeline, held far outside the screen for extreme times.
    int TimeX(long long t) const;
    // Time under screen column x.
    long long TimeAt(int x) const;
};

// The layout of an editor screen of width x height with `layers` layer rows, a production
// rendered at renderwidth x renderheight, the timeline at `zoom` and the music at `position`.
s_guilayout GuiLayout(int width, int height, int layers, int renderwidth, int renderheight,
                      float zoom, int position);
