// Controllers: joysticks, remappable keyboard key sets, the key code and the mouse, polled in
// turn and merged into one key word with its trigger word.
#include <array>
#include <cstdio>
#include <cstring>

#include "core/coredebug.h"
#include "mox/mox.h"

s_controller MOX_controller[MOX_MAXCONTROLLERS];
int MOX_controllerkeys[MOX_MAXCONTROLLERS][16];
int MOX_numcontrollers;
int mox_input_prevcontrollerkey;

namespace {

enum { KEYSET = 1, JOYSTICK = 2, KEYCODE = 3, MOUSE = 4 };

// Key-word bit of each key set entry; entry 14 is never read.
constexpr std::array<int, 16> keysetbits{0x0001, 0x0002, 0x0004, 0x0008, 0x0010, 0x0020,
                                         0x0040, 0x0080, 0x0100, 0x0400, 0x0200, 0x0800,
                                         0x1000, 0x2000, 0,      0x8000};

constexpr int defaultset1[16] = {0xF001, 0xF002, 0xF003, 0xF004, 0xF012, 0xF013, 0xF011, 'Z',
                                 'X',    'C',    'V',    'B',    0xF010, 0xF020, 0xF000, 0xF000};
constexpr int defaultset2[16] = {'W', 'S', 'A', 'D', 'U',    'I',    'O',    'P',
                                 'K', 'L', 'H', 'J', 0xF010, 0xF020, 0xF000, 0xF000};

int add_controller(int type, int id) {
    if (MOX_numcontrollers >= MOX_MAXCONTROLLERS) {
        core_log(LOG_WARNING, "mox.controller_table_full", "[MOX] Controller table full (%d)\n",
                 MOX_MAXCONTROLLERS);
        return -1;
    }
    int c = MOX_numcontrollers++;
    MOX_controller[c] = s_controller{type, id, 0, 0, 0, 0, 0, 0, 1};
    return c;
}

// Key sets hold key codes; special codes are looked up through the virtual key that the
// key-code table translates to them.
bool key_down(int code) {
    int vk = mox_keycodetovk(code);
    return vk >= 0 && MOX_keys[vk] != 0;
}

}  // namespace

void MOX_InitControllers() {
    MOX_numcontrollers = 0;
    for (int j = 0; j < 4; j++) {
        if (mox_joystickconnected(mox_initjoystick(j)) && add_controller(JOYSTICK, j) >= 0)
            core_log(LOG_PROGRESS, "mox.joystick_found", "joystick %d found\n", j);
    }
    MOX_AddKeyController(defaultset1);
    MOX_AddKeyController(defaultset2);
    add_controller(MOUSE, 0);
    add_controller(KEYCODE, 0);
}

void MOX_SetKeyController(int c, const int *keys) {
    if (c < 0 || c >= MOX_MAXCONTROLLERS || !keys) return;
    memcpy(MOX_controllerkeys[c], keys, sizeof MOX_controllerkeys[c]);
}

int MOX_AddKeyController(const int *keys) {
    int c = add_controller(KEYSET, 0);
    if (c >= 0) MOX_SetKeyController(c, keys);
    return c;
}

void MOX_GetControllerKeys(int c, int *keys, int *trigger) {
    if (c < 0 || c >= MOX_numcontrollers || MOX_controller[c].type != KEYSET) return;
    s_controller &ctl = MOX_controller[c];
    ctl.x = ctl.y = 0;
    int k = 0;
    for (size_t e = 0; e < keysetbits.size(); e++) {
        if (!keysetbits[e] || !key_down(MOX_controllerkeys[c][e])) continue;
        k |= keysetbits[e];
        if (e == 0) ctl.y = -127;
        if (e == 1) ctl.y = 127;
        if (e == 2) ctl.x = -127;
        if (e == 3) ctl.x = 127;
    }
    ctl.keys = k;
    if (keys) *keys = k;
    if (trigger) *trigger = k & ~ctl.prevkeys;
    ctl.prevkeys = k;
}

void MOX_PollControllers() {
    // Bring the key table up to date once for all key sets.
    mox_getkeys(nullptr, nullptr);
    for (int c = 0; c < MOX_numcontrollers; c++) {
        s_controller &ctl = MOX_controller[c];
        if (!ctl.active) continue;
        switch (ctl.type) {
            case KEYSET: {
                int k = 0;
                MOX_GetControllerKeys(c, &k, nullptr);
                ctl.x = (k & 0x4) ? -127 : (k & 0x8) ? 127 : 0;
                ctl.y = (k & 0x1) ? -127 : (k & 0x2) ? 127 : 0;
                ctl.z = ctl.r = 0;
                // Direction bits travel in the axes only.
                ctl.prevkeys = ctl.keys & ~(k & 0xFFF0);
                ctl.keys = k & 0xFFF0;
                break;
            }
            case JOYSTICK: {
                int x, y, z, r, k;
                if (mox_polljoystick(ctl.id, &x, &y, &z, &r, &k)) {
                    ctl.x = x;
                    ctl.y = y;
                    ctl.z = z;
                    ctl.r = r;
                    ctl.prevkeys = ctl.keys & ~k;
                    ctl.keys = k;
                } else {
                    ctl.active = 0;
                }
                break;
            }
            case KEYCODE: {
                int code = 0, t = 0;
                MOX_GetKeycode(&code, &t);
                ctl.prevkeys = ctl.keys & ~code;
                ctl.keys = code;
                break;
            }
            case MOUSE: {
                int mx = 0, my = 0, buttons = 0;
                MOX_GetMouse(&mx, &my, &buttons);
                ctl.x = mx;
                ctl.y = my;
                ctl.prevkeys = ctl.keys & ~buttons;
                ctl.keys = buttons;
                break;
            }
            default:
                break;
        }
    }
}

void MOX_GetAllControllers(int *keys, int *trigger) {
    MOX_PollControllers();
    int k = 0;
    for (int c = 0; c < MOX_numcontrollers; c++) {
        const s_controller &ctl = MOX_controller[c];
        if (!ctl.active || (ctl.type != KEYSET && ctl.type != JOYSTICK)) continue;
        k |= ctl.keys;
        if (ctl.x < -64)
            k |= 0x4;
        else if (ctl.x > 64)
            k |= 0x8;
        if (ctl.y < -64)
            k |= 0x1;
        else if (ctl.y > 64)
            k |= 0x2;
    }
    if (keys) *keys = k;
    if (trigger) *trigger = k & ~mox_input_prevcontrollerkey;
    mox_input_prevcontrollerkey = k;
}
