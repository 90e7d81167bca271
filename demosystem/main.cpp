// The player: mounts the production's resource image, brings up video and sound, loads the
// project into the one demo object and plays it until the music ends or Escape is held.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/corefile.h"
#include "coresound/coresound.h"
#include "demosystem/demosystem.h"
#include "demosystem/invite/invite.h"
#include "mox/mox.h"

c_demo gbd_demo;

int coremain(int, char **)
{
    int key = 0, keytrig = 0;

    srand(13371337);
    strcpy(gbd_demo.resfolder, "data_invite");
    if (!corefile_mountimage("outline.dat", 0))
        puts("- The resource image outline.dat is missing: there is nothing to play.");
    MOX_InitVideo(1920, 1080, 1);
    MOX_HideMouse();
    puts("- Init Sound");
    Soundsystem_Init(44100, 8, 2);
    gbd_demo.effects = invite_effects;
    gbd_demo.Load("demo.fentro");
    gbd_demo.Start();

    int demoexit = 0;
    while (!demoexit) {
        MOX_WaitRefresh();
        MOX_ClearFrameBuffer(0);
        gbd_demo.HandleDemo();
        if (!Soundsystem_IsActive(gbd_demo.demomusic)) demoexit = 1;
        MOX_GetKeys(&key, &keytrig);
        if (key & 0x8000) demoexit = 1;
        MOX_SwapBuffers();
    }
    return 0;
}
