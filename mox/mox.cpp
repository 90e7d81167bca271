// Platform-independent half of the driver: the key word and key-code tables, the handling of
// key and mouse messages, the joystick translations, and the public input wrappers.
#include <array>

#include "mox/mox.h"

namespace {

struct KeyBit {
    int vk;
    int bit;
};

// Keyboard column of the key word table.
constexpr std::array<KeyBit, 19> keywordtable{{
    {MOX_VK_UP, 0x0001},
    {MOX_VK_DOWN, 0x0002},
    {MOX_VK_LEFT, 0x0004},
    {MOX_VK_RIGHT, 0x0008},
    {MOX_VK_SPACE, 0x0010},
    {MOX_VK_CONTROL, 0x0020},
    {MOX_VK_SHIFT, 0x0040},
    {MOX_VK_MENU, 0x0080},
    {'C', 0x0080},
    {'Z', 0x0100},
    {'X', 0x0400},
    {MOX_VK_RETURN, 0x1000},
    {'1', 0x1000},
    {MOX_VK_BACK, 0x2000},
    {MOX_VK_DELETE, 0x2000},
    {'2', 0x2000},
    {MOX_VK_TAB, 0x4000},
    {MOX_VK_ESCAPE, 0x8000},
    {0, 0},
}};

struct KeyCode {
    int vk;
    int code;
};

constexpr std::array<KeyCode, 20> keycodetable{{
    {MOX_VK_ESCAPE, 0xF000},  {MOX_VK_UP, 0xF001},
    {MOX_VK_DOWN, 0xF002},    {MOX_VK_LEFT, 0xF003},
    {MOX_VK_RIGHT, 0xF004},   {MOX_VK_RETURN, 0xF010},
    {MOX_VK_SHIFT, 0xF011},   {MOX_VK_SPACE, 0xF012},
    {MOX_VK_CONTROL, 0xF013}, {MOX_VK_MENU, 0xF014},
    {MOX_VK_BACK, 0xF020},    {MOX_VK_INSERT, 0xF021},
    {MOX_VK_DELETE, 0xF022},  {MOX_VK_PRIOR, 0xF023},
    {MOX_VK_NEXT, 0xF024},    {MOX_VK_HOME, 0xF025},
    {MOX_VK_END, 0xF026},     {MOX_VK_CAPITAL, 0xF027},
    {MOX_VK_TAB, 0xF028},     {0, 0},
}};
constexpr int NUMFKEYS = 12;

// Key-word bit of buttons 1..14 per pad type.
constexpr std::array<int, 14> tenbuttonpad{0x10,   0x20,   0x40,   0x80, 0x100, 0x400, 0x2000,
                                           0x1000, 0x4000, 0x4000, 0,    0,     0,     0};
constexpr std::array<int, 14> fourteenbuttonpad{0x40,   0x10,   0x20,   0x80,   0x100,
                                                0x400,  0x200,  0x800,  0x1000, 0x2000,
                                                0x4000, 0x4000, 0x8000, 0x1000};
constexpr std::array<int, 14> genericpad{0x80,  0x20,   0x10,   0x40,   0x200,  0x800, 0x100,
                                         0x400, 0x1000, 0x2000, 0x4000, 0x4000, 0,     0};

}  // namespace

int mox_keyword(const int *keys) {
    int word = 0;
    for (const KeyBit &k : keywordtable)
        if (k.bit && keys[k.vk]) word |= k.bit;
    return word;
}

int mox_translatekeycode(int vk) {
    if (vk >= 0x70 && vk < 0x70 + NUMFKEYS) return 0xF030 + (vk - 0x70);
    for (const KeyCode &k : keycodetable)
        if (k.code && k.vk == vk) return k.code;
    return vk;
}

int mox_keycodetovk(int code) {
    if (code >= 0xF030 && code < 0xF030 + NUMFKEYS) return 0x70 + (code - 0xF030);
    for (const KeyCode &k : keycodetable)
        if (k.code && k.code == code) return k.vk;
    return code >= 0 && code < 256 ? code : -1;
}

namespace {
// Presses not yet taken, oldest first (a ring of MOX_MAXPRESSES).
int presses[MOX_MAXPRESSES];
int firstpress, numpresses;
}  // namespace

int MOX_TakeKeyPresses(int *out, int max) {
    int n = 0;
    for (; out && n < numpresses && n < max; n++)
        out[n] = presses[(firstpress + n) % MOX_MAXPRESSES];
    firstpress = numpresses = 0;
    return n;
}

void mox_keypress(int vk, bool shift) {
    if (numpresses == MOX_MAXPRESSES) {
        firstpress = (firstpress + 1) % MOX_MAXPRESSES;
        numpresses--;
    }
    presses[(firstpress + numpresses++) % MOX_MAXPRESSES] =
        (vk & 0xFF) | (shift ? MOX_PRESS_SHIFT : 0);
}

void mox_keyevent(int vk, int down) {
    // A key held down repeats its press only once it was released.
    if (down && !MOX_keys[vk & 0xFF]) mox_keypress(vk, MOX_keys[MOX_VK_SHIFT] != 0);
    mox_keystate(vk, down);
}

void mox_keystate(int vk, int down) {
    vk &= 0xFF;
    if (down) {
        MOX_keys[vk] = 1;
        mox_keycode = vk;
    } else {
        MOX_keys[vk] = 0;
        // The release of the current key clears the code without a trigger, so pressing the
        // same key again triggers again.
        if (vk == mox_keycode) {
            mox_keycode = 0;
            mox_input_prevkeycode = 0;
        }
    }
}

void mox_mousebuttonevent(int bit, int down) {
    if (down)
        mox_mouse_buttons |= bit;
    else
        mox_mouse_buttons &= ~bit;
}

void mox_wheelevent(int delta) {
    mox_mouse_zdir = 0;
    if (delta < 0) {
        mox_mouse_zdir = -1;
        mox_mouse_z--;
    } else if (delta > 0) {
        mox_mouse_zdir = 1;
        mox_mouse_z++;
    }
}

void mox_resizeevent(int width, int height) {
    if (width <= 0 || height <= 0) return;
    MOX_video.width = width;
    MOX_video.height = height;
    MOX_video.pitch = width;
}

int mox_joystick_padtype(int numbuttons) {
    return numbuttons == 10 || numbuttons == 14 ? numbuttons : 0;
}

int mox_joystick_axis(int position) { return (position - 0x7FFF) >> 8; }

int mox_joystick_hatbits(int pov) {
    if (pov < 0) return 0;
    int p = pov / 100;
    if (p > 360) return 0;
    int bits = 0;
    if (p <= 45 || p > 314) bits |= MOX_PAD_UP;
    if (p > 134 && p <= 225) bits |= MOX_PAD_DOWN;
    if (p > 44 && p <= 135) bits |= MOX_PAD_RIGHT;
    if (p > 224 && p <= 315) bits |= MOX_PAD_LEFT;
    return bits;
}

int mox_joystick_buttonbits(int padtype, unsigned buttons) {
    const std::array<int, 14> &column = padtype == 10   ? tenbuttonpad
                                        : padtype == 14 ? fourteenbuttonpad
                                                        : genericpad;
    int bits = 0;
    for (size_t b = 0; b < column.size(); b++)
        if (buttons & (1u << b)) bits |= column[b];
    return bits;
}

int mox_joystick_hattopov(int hat) {
    switch (hat & 0xF) {
        case 1:
            return 0;
        case 3:
            return 4500;
        case 2:
            return 9000;
        case 6:
            return 13500;
        case 4:
            return 18000;
        case 12:
            return 22500;
        case 8:
            return 27000;
        case 9:
            return 31500;
        default:
            return 65535;
    }
}

void MOX_GetKeys(int *keys, int *trigger) {
    mox_getkeys(nullptr, nullptr);
    int k = MOX_joykey;
    if (keys) *keys = k;
    if (trigger) *trigger = k & ~mox_input_prevkey;
    mox_input_prevkey = k;
}

void MOX_GetKeycode(int *keycode, int *trigger) {
    int c = mox_getkeycode();
    if (keycode) *keycode = c;
    if (trigger) *trigger = c != mox_input_prevkeycode;
    mox_input_prevkeycode = c;
}

void MOX_GetMouse(int *x, int *y, int *buttons) { mox_getmouse(x, y, buttons); }
void MOX_GetMouseWheel(int *z, int *zdir) { mox_getmousewheel(z, zdir); }
void MOX_SetMouse(int x, int y) { mox_setmouse(x, y); }
void MOX_SetMouseMode(int mode) { mox_input_mouse_mode = mode; }
void MOX_ShowMouse() { mox_showmouse(); }
void MOX_HideMouse() { mox_hidemouse(); }
