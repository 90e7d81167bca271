// Core library umbrella header: the platform driver (window, GL context, keyboard, mouse,
// joysticks, clock), the controllers, and the video, bitmap, sprite and font modules.
#pragma once
#include <cstdint>

#include "mox/corevideo.h"
#include "mox/corebitmap.h"
#include "mox/coresprite.h"
#include "mox/corefont.h"

// The program's own main function, run on the program thread by the process entry.
int coremain(int argc, char *argv[]);

// Process entry: initialises SDL and a small hidden window on the calling (first) thread,
// runs `program` on a second thread, pumps events until the window is closed or `program`
// returns, then ends the process with the program's result (1 when start-up failed).
int mox_processentry(int argc, char *argv[], int (*program)(int, char *[]));

// Initialises SDL video and joysticks and creates the hidden window on the calling thread,
// without a program thread (the process entry and GL tests use it). Returns 0 on success,
// -1 with a message on failure. Safe to call again once it succeeded.
int mox_initdriver();

// Splits a command line into a NULL-terminated vector (quotes group blanks, no escapes).
// The vector and its strings live in one block that the caller frees with free().
char **CommandLineToArgvA(const char *cmdline, int *argc);

void GetDesktopResolution(int &width, int &height);
// Monitors: how many there are (0 before the driver is up), and which one the window and a
// full-screen mode use from the next mox_initwindow on (0, the first, unless chosen). Choosing
// a monitor that does not exist returns 0 and changes nothing; 1 otherwise.
int mox_getnumdisplays();
int mox_setdisplay(int display);

// Window and GL context, called by the video layer on the program thread.
// mox_initwindow returns 0 on success; on failure it prints why and ends the process
// with a non-zero status.
int mox_initwindow(int width, int height, int flags);  // flags bit 0: full screen
void mox_closewindow();
void mox_swapbuffers();
void MOX_SetTitle(const char *title);
uint32_t MOX_GetMillis();

// Key state per Windows virtual-key number; nonzero while down.
extern int MOX_keys[256];
extern int MOX_joykey;  // key word rebuilt by every keyboard poll
extern int mox_input_prevkey;
extern int mox_keycode;  // virtual key of the last key pressed, 0 when released
extern int mox_input_prevkeycode;
extern int mox_input_mouse_mode;  // 0 window coordinates, 1 screen coordinates
extern int mox_mouse_x, mox_mouse_y, mox_mouse_z, mox_mouse_zdir, mox_mouse_buttons;
extern bool mox_mouse_windowhide;

// Windows virtual-key numbers used by the key tables (letters and digits are their ASCII).
constexpr int MOX_VK_BACK = 0x08, MOX_VK_TAB = 0x09, MOX_VK_RETURN = 0x0D;
constexpr int MOX_VK_SHIFT = 0x10, MOX_VK_CONTROL = 0x11, MOX_VK_MENU = 0x12;
constexpr int MOX_VK_CAPITAL = 0x14, MOX_VK_ESCAPE = 0x1B, MOX_VK_SPACE = 0x20;
constexpr int MOX_VK_PRIOR = 0x21, MOX_VK_NEXT = 0x22, MOX_VK_END = 0x23, MOX_VK_HOME = 0x24;
constexpr int MOX_VK_LEFT = 0x25, MOX_VK_UP = 0x26, MOX_VK_RIGHT = 0x27, MOX_VK_DOWN = 0x28;
constexpr int MOX_VK_INSERT = 0x2D, MOX_VK_DELETE = 0x2E, MOX_VK_F1 = 0x70;

// Key word bits (MOX_GetKeys, MOX_GetAllControllers).
constexpr int MOX_PAD_UP = 0x1, MOX_PAD_DOWN = 0x2, MOX_PAD_LEFT = 0x4, MOX_PAD_RIGHT = 0x8;
constexpr int MOX_PAD_SPACE = 0x10, MOX_PAD_CTRL = 0x20, MOX_PAD_SHIFT = 0x40;
constexpr int MOX_PAD_ALT = 0x80, MOX_PAD_Z = 0x100, MOX_PAD_X = 0x400;
constexpr int MOX_PAD_ENTER = 0x1000, MOX_PAD_BACKSPACE = 0x2000, MOX_PAD_TAB = 0x4000;
constexpr int MOX_PAD_ESC = 0x8000;

// Key codes of MOX_GetKeycode for special keys; other keys are their virtual-key numbers.
constexpr int MOX_KEY_ESC = 0xF000, MOX_KEY_UP = 0xF001, MOX_KEY_DOWN = 0xF002;
constexpr int MOX_KEY_LEFT = 0xF003, MOX_KEY_RIGHT = 0xF004, MOX_KEY_ENTER = 0xF010;
constexpr int MOX_KEY_SHIFT = 0xF011, MOX_KEY_SPACE = 0xF012, MOX_KEY_CTRL = 0xF013;
constexpr int MOX_KEY_ALT = 0xF014, MOX_KEY_BACKSPACE = 0xF020, MOX_KEY_INSERT = 0xF021;
constexpr int MOX_KEY_DELETE = 0xF022, MOX_KEY_PAGEUP = 0xF023, MOX_KEY_PAGEDOWN = 0xF024;
constexpr int MOX_KEY_HOME = 0xF025, MOX_KEY_END = 0xF026, MOX_KEY_CAPSLOCK = 0xF027;
constexpr int MOX_KEY_TAB = 0xF028, MOX_KEY_F1 = 0xF030;  // F1..F12: 0xF030..0xF03B

// Key and mouse messages as the event thread delivers them; tests drive input through them.
void mox_keyevent(int vk, int down);
// The two halves of mox_keyevent for a driver that holds some releases back: a key's press as
// it happened (for MOX_TakeKeyPresses), and the key state the polls see.
void mox_keypress(int vk, bool shift);
void mox_keystate(int vk, int down);
void mox_mousebuttonevent(int bit, int down);  // bit 1 left, 2 right, 4 middle
void mox_wheelevent(int delta);
// The window's drawing area became width x height (a resizable window): MOX_video follows.
void mox_resizeevent(int width, int height);

// Pure translations shared by the driver, the controllers and the tests.
int mox_keyword(const int *keys);  // key word of a 256-entry key-state table
int mox_translatekeycode(int vk);  // virtual key -> key code
int mox_keycodetovk(int code);     // key code -> virtual key (0..255), -1 if none

// Input, driver level.
void mox_getkeys(int *, int *);
int mox_getkeycode();
void mox_getmouse(int *x, int *y, int *buttons);
void mox_setmouse(int x, int y);
void mox_showmouse();
void mox_hidemouse();
void mox_getmousewheel(int *z, int *zdir);

// Joysticks. Pad types: 10 ten-button, 14 fourteen-button, 0 generic.
int mox_getnumjoysticks();
int mox_joystickconnected(int id);
int mox_initjoystick(int id);
int mox_polljoystick(int id, int *x, int *y, int *z, int *r, int *keys);
int mox_joystick_padtype(int numbuttons);
int mox_joystick_axis(int position);                         // 0..65535 -> -128..128
int mox_joystick_hatbits(int pov);                           // degrees x 100 -> direction bits
int mox_joystick_buttonbits(int padtype, unsigned buttons);  // button 1 = bit 0
int mox_joystick_hattopov(int hat);  // SDL hat bits (1 up, 2 right, 4 down, 8 left)

// Input, public wrappers.
void MOX_GetKeys(int *keys, int *trigger);
void MOX_GetKeycode(int *keycode, int *trigger);
// The keys pressed since the last call, oldest first, however many frames they fell between
// or within: each a virtual key, plus MOX_PRESS_SHIFT when Shift was down as it was pressed.
// At most `max` are returned; the presses of a program that never asks are dropped after the
// last MOX_MAXPRESSES.
constexpr int MOX_PRESS_SHIFT = 0x100;
constexpr int MOX_MAXPRESSES = 32;
int MOX_TakeKeyPresses(int *presses, int max);
void MOX_GetMouse(int *x, int *y, int *buttons);
void MOX_GetMouseWheel(int *z, int *zdir);
void MOX_SetMouse(int x, int y);
void MOX_SetMouseMode(int mode);
void MOX_ShowMouse();
void MOX_HideMouse();

// Controllers: joysticks, remappable key sets, the key code and the mouse merged into one
// key word.
constexpr int MOX_MAXCONTROLLERS = 8;

struct s_controller {
    int type;  // 1 key set, 2 joystick, 3 key code, 4 mouse
    int id;    // joystick number
    int x, y, z, r;
    int keys;
    int prevkeys;
    int active;
};

extern s_controller MOX_controller[MOX_MAXCONTROLLERS];
extern int MOX_controllerkeys[MOX_MAXCONTROLLERS][16];
extern int MOX_numcontrollers;
extern int mox_input_prevcontrollerkey;

void MOX_InitControllers();
void MOX_SetKeyController(int c, const int *keys);
int MOX_AddKeyController(const int *keys);  // returns the controller number, -1 when full
void MOX_GetControllerKeys(int c, int *keys, int *trigger);
void MOX_PollControllers();
void MOX_GetAllControllers(int *keys, int *trigger);
