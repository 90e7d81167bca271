// fentro-edit: the timeline editor over a live production. Mounts a folder as a directory (the
// only source that can be written, so Z saves the project back into it), loads the project
// like the player and runs the editor overlay every frame until the window is closed or
// Escape is pressed. The music may be paused in the editor, so its end does not end the
// program.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/coredebug.h"
#include "core/corefile.h"
#include "coresound/coresound.h"
#include "demosystem/demosystem.h"
#include "demosystem/invite/invite.h"
#include "mox/mox.h"

c_demo gbd_demo;

namespace {

const char *const USAGE =
    "usage: fentro-edit [DIR]\n"
    "Edits the production in DIR (default: the current folder) while it plays.\n"
    "DIR holds demo.fentro and the media it names, and optionally the editor's fonts\n"
    "guifont1.tga and guifont2.tga and its cursor guicursor.tga (a folder written by the\n"
    "production generator, build/<dir>/production/, has them all).\n"
    "\n"
    "Space pauses or resumes, Enter pauses, Z saves demo.fentro (the previous version is kept\n"
    "as backup.fentro, and the ten latest saves as backup-YYYYMMDD-HHMMSS.fentro), X clears\n"
    "markers and events, Tab adds a key or hides the editor, U undoes, R or Y redoes,\n"
    "the arrows move, zoom and edit (the help text with nothing selected lists them),\n"
    "the left mouse button selects, the right one cancels; F1 lists every key.\n"
    "Mouse: drag events, keys, an event's end or a marker in time; click or drag the\n"
    "waveform to seek; wheel scrolls, Ctrl+wheel zooms; Shift+click and a box dragged on\n"
    "an empty part of a layer select several. Ctrl+C copy, Ctrl+X cut, Ctrl+V paste at\n"
    "the play position, Ctrl+D duplicate. Layers: H hides, F2 renames, Page Up/Down moves.\n"
    "Grid: G chooses the step (Shift+G back), B shows bars:beats or seconds. Loop: I and O\n"
    "set its start and end (Ctrl: at the mouse), L loops. Values: E types the selected one,\n"
    "- and = step it by 0.01, [ and ] by 1; K changes the selected keys' curve type, W shows\n"
    "the value curves. Shaders and images saved into DIR are reloaded while the editor runs.\n"
    "Escape or closing the window ends the editor; with unsaved edits Escape asks once more.\n"
    "  --size WxH        the window's size at the start (default 1920x1080); the window\n"
    "                    can be resized at any time and the editor follows it\n"
    "  --quiet           only warnings and errors on the console\n"
    "  --verbose         trace lines too\n"
    "  --help            this text\n";

s_font font1, font2;
s_sprite cursor;

// A font with no glyphs draws nothing: fall back to the other one when only one loaded.
void LoadFonts() {
    MOX_LoadFont("guifont1.tga", &font1);
    MOX_LoadFont("guifont2.tga", &font2);
    if (font1.numcharacters == 0 && font2.numcharacters > 0) font1 = font2;
    if (font2.numcharacters == 0 && font1.numcharacters > 0) font2 = font1;
    if (font1.numcharacters == 0)
        core_log(LOG_WARNING, "edit.no_fonts",
                 "- No editor fonts (guifont1.tga, guifont2.tga): no text\n");
}

}  // namespace

int coremain(int argc, char *argv[]) {
    const char *dir = ".";
    bool havedir = false;
    int width = 1920, height = 1080;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
            fputs(USAGE, stdout);
            return 0;
        }
        if (!strcmp(argv[i], "--size")) {
            char end = 0;
            if (i + 1 >= argc || sscanf(argv[i + 1], "%dx%d%c", &width, &height, &end) != 2 ||
                width < 320 || height < 200 || width > 16384 || height > 16384) {
                core_log(LOG_ERROR, "edit.bad_size",
                         "fentro-edit: --size needs WxH, e.g. 1280x720\n");
                fputs(USAGE, stderr);
                return 2;
            }
            i++;
            continue;
        }
        if (core_logoption(argv[i])) continue;
        if (argv[i][0] == '-' || havedir) {
            core_log(LOG_ERROR, "edit.bad_option", "fentro-edit: unexpected argument %s\n",
                     argv[i]);
            fputs(USAGE, stderr);
            return 2;
        }
        dir = argv[i];
        havedir = true;
    }
    if (!dir) dir = ".";

    // The console keeps the level asked for; the screen also shows the editor's own progress.
    gui_consolelevel = core_getloglevel();
    core_setloglevel(std::max(gui_consolelevel, (int)LOG_PROGRESS));
    core_setlogsink(GuiLogSink, &gbd_demo);
    srand(13371337);
    snprintf(gbd_demo.resfolder, sizeof gbd_demo.resfolder, "%s", dir);
    if (!corefile_mountimage(dir, 2)) {
        core_log(LOG_ERROR, "edit.mount_failed",
                 "fentro-edit: %s could not be mounted as a directory\n", dir);
        return 1;
    }
    MOX_InitVideo(width, height, MOX_VIDEO_RESIZABLE);
    MOX_HideMouse();
    core_log(LOG_PROGRESS, "edit.init_sound", "- Init Sound\n");
    Soundsystem_Init(44100, 8, 2);
    gbd_demo.effects = invite_effects;
    gbd_demo.Load("demo.fentro");
    LoadFonts();
    MOX_LoadSprite("guicursor.tga", &cursor);
    const bool hascursor = cursor.bitmap && cursor.bitmap->data && cursor.width > 0;
    gbd_demo.Start();
    gbd_demo.InitGUI(width, height, &font1, &font2, hascursor ? &cursor : nullptr);

    for (;;) {
        MOX_WaitRefresh();
        MOX_ClearFrameBuffer(0);
        // A post-processing event installs its shader only while it is active: each frame
        // starts without one. The editor's preview is presented through it, its screen not.
        MOX_SetPostShader(-1);
        gbd_demo.HandleDemo();
        // The editor reads the keys, Escape too: it asks once more before unsaved edits go.
        gbd_demo.UpdateGUI();
        if (gbd_demo.gui_quit) break;
        MOX_SwapBuffers();
    }
    core_log(LOG_PROGRESS, "edit.closed", "- Editor closed%s\n",
             gbd_demo.Unsaved() ? " without saving the last edits" : "");
    core_setlogsink(nullptr, nullptr);
    gbd_demo.Release();
    return 0;
}
