// Small program run through the real process entry by the driver tests:
//   mox_probe WIDTH HEIGHT FRAMES [FLAGS]   opens the window (FLAGS bit 0: full screen),
//                                           presents FRAMES frames and returns 0;
//   FRAMES = -1 presents frames until the process is ended from outside;
//   FRAMES = -2 asks for the window to be closed after 3 frames and goes on presenting;
//   mox_probe leak                          loses a block of memory and returns 0.
#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mox/mox.h"

namespace {

void *volatile lost;

// The only pointer to the block is overwritten, so nothing can reach it any more.
__attribute__((noinline)) void lose_a_block() {
    lost = malloc(4096);
    memset(lost, 1, 4096);
    lost = nullptr;
}

}  // namespace

int coremain(int argc, char *argv[]) {
    if (argc == 2 && !strcmp(argv[1], "leak")) {
        lose_a_block();
        return 0;
    }
    if (argc < 4) {
        puts("usage: mox_probe WIDTH HEIGHT FRAMES [FLAGS]");
        return 2;
    }
    int width = atoi(argv[1]), height = atoi(argv[2]), frames = atoi(argv[3]);
    int flags = argc > 4 ? atoi(argv[4]) : 1;
    MOX_InitVideo(width, height, flags);
    MOX_HideMouse();
    MOX_SetPostShader(MOX_InitDefaultPostShader());
    MOX_SetTitle("probe");
    int fw = 0, fh = 0;
    GetDesktopResolution(fw, fh);
    printf("probe: desktop %dx%d fullscreen %d shaders %d\n", fw, fh, mox_mouse_windowhide ? 1 : 0,
           MOX_shaders_enabled);
    fflush(stdout);
    for (int i = 0; frames < 0 || i < frames; i++) {
        MOX_WaitRefresh();
        MOX_ClearFrameBuffer(0xFF000000 | unsigned(i * 40 & 0xFF));
        MOX_DrawColorQuad(10.0f + i, 10, 100, 100, 0, 1, 0, 1);
        MOX_SwapBuffers();
        if (frames == -2 && i == 2) {
            SDL_Event e{};
            e.type = SDL_WINDOWEVENT;
            e.window.event = SDL_WINDOWEVENT_CLOSE;
            SDL_PushEvent(&e);
            puts("probe: close requested");
            fflush(stdout);
        }
    }
    printf("probe: %d frames presented\n", frames);
    return 0;
}
