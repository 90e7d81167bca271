// The demo engine: the whole production in fixed-capacity tables (layers with their effect
// events and keys, markers, resource descriptors and their loaded data, the music), value
// evaluation along curves, the project file, resources and per-frame playback. Every time is
// an integer count of sample frames of the music. The object is several megabytes: keep it a
// static or heap object, zero-initialised, never on the stack.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "coresound/coresound.h"
#include "demosystem/demofunction.h"
#include "mox/corebitmap.h"
#include "mox/corefont.h"
#include "mox/coresprite.h"

// Capacities of the demo model.
constexpr int DEMO_MAXLAYERS = 5;
constexpr int DEMO_MAXEVENTS = 64;  // effect events per layer
constexpr int DEMO_MAXKEYS = 1024;  // keys of each kind per layer
constexpr int DEMO_MAXMARKERS = 1024;
constexpr int DEMO_MAXRESOURCES = 1024;
constexpr int DEMO_MAXVALUES = 32;     // values per effect event
constexpr int DEMO_MAXPARAMS = 32;     // parameter names per resource
constexpr int DEMO_PARAMSIZE = 64;     // bytes of one parameter name block
constexpr int DEMO_BUILTINPARAMS = 4;  // "resource 1" .. "resource 4"
constexpr int DEMO_NAMESIZE = 256;

// Effect types of an effect event.
enum {
    EFFECT_NONE = 0,
    EFFECT_IMAGE = 1,
    EFFECT_MESH = 2,
    EFFECT_SHADER = 3,
    EFFECT_FUNCTION = 4,
    EFFECT_TEXT = 5,
    EFFECT_SOUND = 6,
    EFFECT_POSTPROCESSING = 7
};

// Tracks of the value keys.
enum {
    VALUE_NONE = 0,
    VALUE_BLEND = 1,
    VALUE_BEATMULTIPLIER = 2,
    VALUE_EFFECTVALUE1 = 3,
    VALUE_EFFECTVALUE2 = 4
};

// Edit kinds: which table of a layer an operation or the editor's selection means.
enum { EDIT_EFFECT = 1, EDIT_VALUE = 2, EDIT_TRANSFORM = 3, EDIT_CAMERA = 4 };

// Curve of the segment that starts at a key.
enum {
    CURVE_LINEAR = 0,
    CURVE_SMOOTH = 1,
    CURVE_SMOOTHIN = 2,
    CURVE_SMOOTHOUT = 3,
    CURVE_BEZIER = 4,
    CURVE_WAVE = 5,
    CURVE_BOUNCE = 6,
    CURVE_OVERSHOOT = 7,
    CURVE_RANDOM = 8
};

// Resource types.
enum {
    RESOURCE_TEXTURE = 1,
    RESOURCE_SPRITE = 2,
    RESOURCE_SOUND = 3,
    RESOURCE_MESH = 4,
    RESOURCE_SHADER = 5,
    RESOURCE_FUNCTION = 6,
    RESOURCE_SPRITESHEET = 7,
    RESOURCE_POSTSHADER = 8
};

// A span of time during which a layer shows one resource: t <= position < t + length.
struct s_effectevent {
    int t;
    int length;
    int type;       // effect type
    int id;         // index of the descriptor in c_demo::resource
    int numvalues;  // values in use (0..32)
    float *value;   // block of exactly 32 floats owned by the event; unused values are 0
};

// A key of a scalar track; all tracks of a layer share one table.
struct s_valueevent {
    int t;
    int type;       // value type
    int curvetype;  // curve of the segment that starts here
    float value;
};

// A key of the 3D transform track; the nine floats are addressed 0..8 in order.
struct s_transformevent {
    int t;
    int curvetype;
    int parent;  // effect event the key belongs to; equal parents form one animation
    float x, y, z;
    float rotx, roty, rotz;  // degrees
    float scalex, scaley, scalez;
};

struct s_cameraevent {
    int t;
    float fov;
    float x, y, z;                    // eye position
    float targetx, targety, targetz;  // point looked at
};

struct s_marker {
    int t;
    int type;  // 0..3
};

struct s_demolayer {
    char name[DEMO_NAMESIZE];
    int width, height;  // size of the layer's framebuffer
    int framebuffer_id;
    int numevents;
    int numevents_value;
    int numevents_transform;
    int numevents_camera;
    s_effectevent event[DEMO_MAXEVENTS];
    s_valueevent event_value[DEMO_MAXKEYS];
    s_transformevent event_transform[DEMO_MAXKEYS];
    s_cameraevent event_camera[DEMO_MAXKEYS];
    bool visible;
};

// Entries of an edit kind on a layer, never more than the table holds; 0 for no kind.
int EditEntryCount(const s_demolayer &l, int kind);
// Time of entry n of an edit kind (camera keys for any other kind); n must be below the count.
int &EditEntryTime(s_demolayer &l, int kind, int n);
inline int EditEntryTime(const s_demolayer &l, int kind, int n) {
    return EditEntryTime(const_cast<s_demolayer &>(l), kind, n);
}

// A resource named by the project file.
struct s_demoresource {
    int id;    // index into the typed table of its type (or into the effect table)
    int type;  // resource type
    char name[DEMO_NAMESIZE];
    char filename[DEMO_NAMESIZE];  // empty for functions
    int numparams;                 // parameter names in use (0..32)
    char *param[DEMO_MAXPARAMS];   // each a 64-byte block owned by the descriptor
    void *datapointer;             // the loaded object, see GetResource
    int loadOK;                    // 1 once loaded
};

struct s_spritesheet {
    int columns, rows;     // cells across and down
    int width, height;     // size of one cell in pixels
    int numsprites;        // columns x rows
    s_bitmap spritesheet;  // the whole sheet
    s_sprite *sprite;      // numsprites cells, row by row, owned by the sheet
};

struct s_demoshader {
    int shader_id;  // program from MOX_InitShader, negative on failure
    char *vv;       // not filled: every program uses vv_demo
    char *ff;       // fragment source read from the file
};

// A message shown on the editor screen for a while.
struct s_guimessage {
    int level;            // log level
    char id[48];          // item id
    char text[160];       // one line, without its line end
    uint32_t shownsince;  // MOX_GetMillis of its first drawing, 0 until drawn
};
constexpr int GUI_MAXMESSAGES = 6;

struct s_edithistory;
struct s_guilayout;

// An entry of a layer's tables: layer, edit kind and index, with the time (and, for an effect
// event, the length) it had when a mouse drag began.
struct s_guientry {
    int layer, kind, index;
    int t0, length0;
};

// What a held left button is doing.
enum {
    DRAG_NONE = 0,
    DRAG_ENTRIES,  // moving the selected events and keys in time
    DRAG_LENGTH,   // moving an effect event's end
    DRAG_MARKER,   // moving the selected marker alone
    DRAG_SEEK,     // moving the play position along the waveform band
    DRAG_BOX       // spanning a box that selects what it touches
};

struct s_guidrag {
    int mode;
    int startx, starty;  // cursor where the button went down
    int anchor;          // time of the entry or marker under the cursor, or the seek time
    bool moved;          // the cursor left the press's place far enough to move anything
    std::vector<s_guientry> entries;  // what moves, with the times it started from
};

// Copied events and keys, times counted from the earliest of them, layers from the first.
struct s_guiclipboard {
    struct effect {
        int layer, t, length, type, id, numvalues;
        float value[DEMO_MAXVALUES];
    };
    std::vector<effect> effects;
    std::vector<std::pair<int, s_valueevent>> values;
    std::vector<std::pair<int, s_transformevent>> transforms;
    std::vector<std::pair<int, s_cameraevent>> cameras;
    int span;    // from the earliest start to the latest end
    int origin;  // layer of the first copied entry
    int first;   // time of the earliest copied entry
    bool Empty() const {
        return effects.empty() && values.empty() && transforms.empty() && cameras.empty();
    }
};
struct s_livereload;

// The built-in vertex stage of every shader and post shader.
extern const char vv_demo[];

class c_demo {
public:
    // Engine.
    char title[DEMO_NAMESIZE];
    char resfolder[DEMO_NAMESIZE];
    int renderwidth, renderheight;
    int framebuffer_id;  // main framebuffer the layers are composed into (its colour only)
    int postbuffer_id;   // framebuffer selected after a post-processing event; stays 0
    bool postselected;   // HandleDemo left postbuffer_id, not framebuffer_id, to be presented
    int numresources;
    int numlayers;
    int position;  // current time, from the music once a frame
    int duration;  // length of the music in whole seconds
    int bpm;
    int demotype;
    int nummarkers;
    s_marker marker[DEMO_MAXMARKERS];
    s_demolayer layer[DEMO_MAXLAYERS];
    s_demoresource resource[DEMO_MAXRESOURCES];
    s_spritesheet resource_spritesheet[DEMO_MAXRESOURCES];
    s_bitmap resource_texture[DEMO_MAXRESOURCES];
    s_sprite resource_sprite[DEMO_MAXRESOURCES];
    s_sound resource_sound[DEMO_MAXRESOURCES];
    s_demoshader resource_shader[DEMO_MAXRESOURCES];
    char musicfilename[DEMO_NAMESIZE];
    s_sound demomusic;
    // The production's scenes, handed over by the program before Load; empty, function
    // resources start nothing and function events draw nothing.
    s_effecttable effects;
    // Playback leaves out the layer passes that cannot change the picture; set, it issues
    // every pass, as a reference that the shorter path is compared against.
    bool everypass = false;

    // Editor.
    int gui_width, gui_height;
    int gui_layerheight;
    int gui_waveformheight;
    int gui_cursorx, gui_cursory;
    int gui_timelinex, gui_timeliney;
    int gui_sliderx;
    int gui_detailsx, gui_detailsy;
    int gui_resourcex, gui_resourcey;
    int gui_resourcestart;
    int gui_mousebutton;
    int gui_oldmousebutton;
    int gui_framebuffer_id;
    int gui_previewbuffer_id;  // the frame as presented, at the window's size; 0: none
    int gui_selected_resource;
    int gui_selected_markerarea;
    int gui_selected_marker;
    int gui_selected_layer;
    int gui_selected_event;
    int gui_selected_eventtype;
    int gui_selected_parameter;
    float gui_zoom;
    bool gui_paused;
    bool gui_visible;
    s_bitmap bmp_waveform;
    s_font *guifont1;
    s_font *guifont2;
    s_sprite *spr_guicursor;
    std::shared_ptr<s_edithistory> gui_history;  // undo and redo, created by InitGUI
    uint32_t gui_gesture;  // counts input gestures: a held key's frames share one
    bool gui_quitasked;    // Escape with unsaved changes asked once
    bool gui_quit;         // the editor wants its host to end
    bool gui_silentmusic;  // demomusic is the editor's silence: the project has no music
    s_guimessage gui_messages[GUI_MAXMESSAGES];  // newest last
    int gui_nummessages;
    int gui_snap;        // grid subdivision that moves and new keys snap to (GRID_*)
    bool gui_barsbeats;  // times shown as bars:beats, else as seconds
    int gui_windowwidth, gui_windowheight;  // the window size the editor screen was made for
    // Every selected event and key, the one of the gui_selected_ fields among them; empty, or
    // without that one, the selection is that one alone.
    std::vector<s_guientry> gui_selection;
    s_guidrag gui_drag;
    s_guiclipboard gui_clipboard;
    int gui_wheel;                             // the wheel's count last read
    bool gui_help;                             // the key list covers the screen
    bool gui_renaming;                         // the selected layer's name is being typed
    std::string gui_typed;                     // the name typed so far
    std::shared_ptr<s_livereload> gui_reload;  // watch of the production folder, see InitGUI
    int gui_loopstart, gui_loopend;  // loop region; it loops when the end is after the start
    bool gui_looping;                // playback goes back to gui_loopstart on reaching gui_loopend
    bool gui_curveview;              // value tracks drawn as their curves over the layers
    bool gui_typing;                 // a value is being typed for the selected properties line
    char gui_entry[32];              // what has been typed

    // Set-up and lookup.
    void Init(int width, int height, int dtype);
    // Frees everything the object owns: the effect events' value blocks, the resources'
    // parameter names, shader texts, sprite sheet cells and decoded images, the editor's
    // waveform and the music (stopped first; its buffer must come from malloc). Takes the
    // object's bitmaps and sprites off the core library's lists, so that the object may be
    // destroyed afterwards. The tables are left empty; Init and Load may follow. Framebuffers
    // and shader programs stay with the core library. Program thread.
    void Release();
    void CreateLayer(int width, int height, const char *name);
    s_effectevent *GetEffectEvent(s_demolayer *dlayer);

    // Loading: each appends at the current count; a record for a full table is dropped.
    void CreateMarker(int t, int type);
    void CreateEventA(s_demolayer *dlayer, int t, int length, int type, int id, int numvalues,
                      const float *values);
    void CreateEventValue(s_demolayer *dlayer, int t, int type, int curvetype, float value);
    void CreateEventTransform(s_demolayer *dlayer, int t, int curvetype, int parent, float x,
                              float y, float z, float rotx, float roty, float rotz, float scalex,
                              float scaley, float scalez);
    void CreateEventCamera(s_demolayer *dlayer, int t, float fov, float x, float y, float z,
                           float targetx, float targety, float targetz);

    // Editing: keep every table in time order; an operation on a full table does nothing.
    void ClearTimeline();
    void ClearMarkers();
    void MoveMarkers(int delta);
    void AddMarker(int pos, int type);
    void DeleteMarker(int n);
    void AddEvent(s_demolayer *dlayer, int pos, int resourceid);
    void AddEventValue(s_demolayer *dlayer, int pos, int type, int curvetype, float value);
    void AddEventTransform(s_demolayer *dlayer, int pos, int curvetype, float x, float y, float z,
                           float rotx, float roty, float rotz, float scalex, float scaley,
                           float scalez);
    void DeleteEvent(s_demolayer *dlayer, int eventnr, int eventtype);

    // Evaluation at `position`.
    float GetValue(s_demolayer *dlayer, int type);
    // The track's value at time t, as GetValue would give it there, except that a Random
    // segment holds its start value (nothing is drawn from the shared generator).
    float ValueAt(s_demolayer *dlayer, int type, int t);
    // True when the track is exactly 0 at `position`, found without drawing a random number
    // (a Random segment is never taken as 0).
    bool ValueIsZero(s_demolayer *dlayer, int type);
    float GetTransformValue(s_demolayer *dlayer, int valueofs);
    float GetBeatMultiplier();

    // Project file. Lines of a loaded file that are no record are kept in keptlines and
    // written after the records. Save writes only into a mounted directory, leaves a file that
    // already holds the same text untouched, and returns false (with a message) on failure.
    std::string keptlines;
    void Load(const char *fn);
    std::string ProjectText();
    bool Save(const char *fn);
    void SaveFunctions(const char *fn);

    // Resources.
    void CreateResource(const char *name, const char *filename, int resourceid, const char *varstr,
                        int type);
    void AddParameter(s_demoresource *dresource, const char *paramname);
    void LoadResources();
    void *GetResource(const char *name);
    s_demoresource *GetResourceInfo(const char *name);
    int SelectResourceEffect(s_effectevent *evt, int restype);
    void SetTitle(const char *newtitle);
    void SetMusic(s_sound *sound);

    // Playback.
    void Start();
    void HandleDemo();
    void HandleShader(int layernr, s_effectevent *event);
    // True when HandleDemo, at the current `position`, clears the selected framebuffer's colour
    // before anything reads it: the main framebuffer always, the post-processing target when a
    // post-processing event runs. Whatever is drawn into it before then can never be seen.
    bool EntryBufferCleared();
    // The framebuffer HandleDemo left to be presented.
    int ShownBuffer() const { return postselected ? postbuffer_id : framebuffer_id; }

    // Editor overlay: InitGUI once after the project is loaded (needs video running), then
    // UpdateGUI once a frame after HandleDemo, before any other MOX_GetKeys of the frame.
    // The fonts and the cursor (may be null) belong to the caller and must outlive the editor.
    void InitGUI(int width, int height, s_font *font1, s_font *font2, s_sprite *cursor);
    void UpdateGUI();
    // Input step of the visible overlay.
    void HandleGUI();
    // The editor's save: demo.fentro in the mounted directory, the version it replaces kept
    // as backup.fentro and each distinct save as backup-YYYYMMDD-HHMMSS.fentro (the ten
    // newest). The same text as on disk writes nothing. False when the project was not saved.
    bool SaveProject();
    // Escape pressed: sets gui_quit, after asking once more while there are unsaved changes.
    void HandleQuit(int keytrig);
    // The commands of one frame of the visible overlay (HandleGUI without undo and redo).
    void HandleCommands(int key, int keytrig, int mousetrigger);
    // Undo and redo of the project's tables; false when there is no step.
    bool Undo();
    bool Redo();
    // True when the tables differ from what was last loaded or saved.
    bool Unsaved() const;
    // Keeps every table in time order (the selection follows its entry, transform keys their
    // parent) and each transform key inside its parent effect event.
    void KeepTablesInOrder();
    void HoldTransformKeys(s_demolayer *dl);
    // Value lines (after Time and Length) that the properties panel shows for an effect event.
    int PanelValueLines(const s_effectevent &e);
    // Last moment on the timeline: the music's end, or without music the project's length.
    int TimelineEnd();
    // The music loaded: samples, channels and a rate.
    bool HasMusic() const;
    // Adds a line to the on-screen messages (safe from any thread).
    void GuiMessage(int level, const char *id, const char *text);
    // Copies the messages still to be shown at `now` (milliseconds) into out; returns their
    // number. A message is shown for a few seconds from its first drawing.
    int ShownMessages(s_guimessage *out, uint32_t now);
    // Hit test in one layer row: pos is the cursor time, sy the cursor's y from the row's top.
    // Returns the index of the hit entry and its edit kind in *type, or -1 with *type = 0.
    int GetSelectedEvent(s_demolayer *dlayer, int *type, int pos, int sy);
    // Empties the selection; a picked resource stays picked.
    void ClearSelection();
    // Time of the last marker before / first marker after currentpos; 0 when there is none.
    int GetPreviousMarkerPosition(int currentpos);
    int GetNextMarkerPosition(int currentpos);
    // Keys with nothing (or a layer only) selected, and with a marker selected.
    void HandleNavigation(int key, int keytrig);
    void HandleMarkers(int key, int keytrig);
    // Left/Right on the properties line gui_selected_parameter of the selected effect event
    // or transform key (parent is not used).
    void HandleEffectParameter(s_effectevent *evt, int key, int keytrig);
    void HandleTransformParameter(s_transformevent *evt, s_effectevent *parent, int key,
                                  int keytrig);

    // The editor screen's layout for its size, the layers, the zoom and the position: the
    // places that drawing and hit tests share.
    s_guilayout Layout() const;
    // Copies the layout's places into the gui_ fields that describe them.
    void ApplyLayout(const s_guilayout &layout);
    // Makes the editor screen width x height (a window that changed size): its framebuffers,
    // the waveform and the layout follow. False when a framebuffer could not be remade.
    bool ResizeGUI(int width, int height);
    // True when entry n of edit kind `kind` on layer `layer` is selected.
    bool IsSelected(int layer, int kind, int n) const;
    // The selected events and keys, the primary one first; empty when none is selected.
    std::vector<s_guientry> SelectedEntries() const;
    // Mouse: a left press at the cursor (after the click's selection), a frame with the left
    // button held, its release; the wheel's turn by `notches` (Ctrl held: zoom).
    void BeginDrag(const s_guilayout &layout, bool shift);
    void UpdateDrag(const s_guilayout &layout, bool ctrl);
    void EndDrag(const s_guilayout &layout, bool shift);
    void HandleWheel(int notches, bool ctrl);
    // A time moved by the mouse, snapped where the editor snaps.
    int SnapTime(int t);
    // Clipboard of events and keys: copy the selection, cut (copy, then delete), paste at the
    // play position on the selected layer (or where they came from), duplicate right after
    // the selection. Each selects what it made; false when there was nothing to do.
    bool CopySelection();
    bool CutSelection();
    bool PasteClipboard(int at);
    bool DuplicateSelection();
    // Removes the selected events and keys; false when none is selected.
    bool DeleteSelection();
    // Layers: swap the selected layer with the one above (+1) or below (-1); typing a name.
    bool MoveLayer(int direction);
    // One key pressed while typing a layer's name (virtual key, Shift held).
    void HandleRename(int vk, bool shift);
    // The keys of the help screen and of the selected layer (order, name, hiding), by the
    // virtual key pressed this frame.
    void HandleLayerKeys(int pressed);
    // After a left press selected the entry under the cursor (or none): with Shift the entry
    // joins or leaves the selection `before`; a press on one of several selected keeps them.
    void Reselect(std::vector<s_guientry> before, bool shift);

    // Editor drawing into gui_framebuffer_id; DrawGUI also renews position and
    // gui_timeliney and holds transform keys inside their parent effect event.
    void DrawGUI();
    int PresentPreview();
    void DrawSoundWave();
    void DrawTimeLine();
    void DrawMarkers();
    // Bars, beats and grid steps over the waveform band, from the project's tempo.
    void DrawRuler();
    // The loop region over the timeline block.
    void DrawLoop();
    // Layer layernr's value tracks as their curves, with their keys on them.
    void DrawValueCurves(int layernr);
    void DrawCursor();
    void DrawMessages();
    // The list of every key and mouse action over the whole screen.
    void DrawHelp();
    // guifont1 for the properties line `id` when it is the selected one, else guifont2.
    s_font *SelectParamFont(int id);
    void DrawProperties(int id);
    void DrawResources();
};

// Names the editor shows for effect types, value types and curve types, by number.
inline constexpr const char *text_effecttype[] = {"None",     "Image", "Mesh",  "Shader",
                                                  "Function", "Text",  "Sound", "Postprocessing"};
inline constexpr const char *text_valuetype[] = {"None", "Blend", "Beatmultiplier", "Effectvalue 1",
                                                 "Effectvalue 2"};
inline constexpr const char *text_curvetype[] = {"Linear",     "Smooth",    "Smooth In",
                                                 "Smooth Out", "Bezier",    "Wave",
                                                 "Bounce",     "Overshoot", "Random"};
constexpr int DEMO_NUMEFFECTTYPES = 8;
constexpr int DEMO_NUMVALUETYPES = 5;
constexpr int DEMO_NUMCURVETYPES = 9;

// Log sink of an editor host: shows warnings, errors and the editor's own messages on the
// screen of the demo `user` (a c_demo *), and writes to the console what is at most
// `gui_consolelevel`.
extern int gui_consolelevel;
void GuiLogSink(int level, const char *id, const char *text, void *user);

// Fraction of x between a and b, unclamped.
float inverse_lerp(float a, float b, float x);
float smoothstep(float a, float b, float x);
// Catmull-Rom evaluation of `num` records of a time and `dim` values, times ascending.
void spline(const float *key, int num, int dim, float t, float *v);

// Reads a whole file through the file layer; false when it cannot be opened.
bool ReadTextFile(const char *fn, std::string *text);

// Finds the first quoted string in str and copies it (at most destsize - 1 characters) to
// dest. Returns the text just after the closing quote, or str when there is no quoted text
// or it is empty (dest then stays unchanged). *ofs is the closing quote's position, 0 when
// there is no pair of quotes.
const char *FindString(const char *str, char *dest, int *ofs, int destsize = DEMO_NAMESIZE);

// Playback's 3D view for image events: the eye position, and a count of HandleCamera calls
// (one per 3D image drawn).
extern float centerX, centerY, centerZ;
extern float currentframe;
// Loads the identity and looks from the eye position at the origin.
void HandleCamera();
