// The project file: a text file of '#' records, read line by line into the demo object and
// written back in the same format; and the generated listing of the effect table.
#include <climits>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/coredebug.h"
#include "core/corefile.h"
#include "coresound/coresound.h"
#include "demosystem/demosystem.h"
#include "mox/mox.h"

const char *FindString(const char *str, char *dest, int *ofs, int destsize) {
    int localofs;
    if (!ofs) ofs = &localofs;
    *ofs = 0;
    if (!str) return str;
    const char *open = strchr(str, '"');
    if (!open) return str;
    const char *close = strchr(open + 1, '"');
    if (!close) return str;
    *ofs = (int)(close - str);
    int size = (int)(close - open);
    if (size <= 1 || !dest || destsize <= 0) return str;
    int n = size - 1;
    if (n > destsize - 1) n = destsize - 1;
    memcpy(dest, open + 1, n);
    dest[n] = '\0';
    core_log(LOG_PROGRESS, "project.string_found", "search str: %s, size: %d,found str: %s\n", open,
             size, dest);
    return close + 1;
}

namespace {

// Room for the longest line Save writes (an event with 32 values of any magnitude).
constexpr int LINE_SIZE = 2048;
constexpr int KEYWORD_MAX = 63;

enum Record {
    REC_TITLE,
    REC_RENDERWIDTH,
    REC_RENDERHEIGHT,
    REC_DEMOTYPE,
    REC_BPM,
    REC_MUSIC,
    REC_MARKER,
    REC_RESOURCES,
    REC_RESOURCE,  // a resource descriptor of the type its keyword names
    REC_LAYER,
    REC_EVENT,
    REC_EVENTVALUE,
    REC_EVENTTRANSFORM,
    REC_EVENTCAMERA
};

struct KeywordEntry {
    const char *keyword;
    Record record;
    int restype;  // resource type of a resource record, 0 for the others
    size_t length = std::char_traits<char>::length(keyword);
};

constexpr KeywordEntry keywords[] = {
    {"#title", REC_TITLE, 0},
    {"#renderwidth", REC_RENDERWIDTH, 0},
    {"#renderheight", REC_RENDERHEIGHT, 0},
    {"#demotype", REC_DEMOTYPE, 0},
    {"#bpm", REC_BPM, 0},
    {"#music", REC_MUSIC, 0},
    {"#marker", REC_MARKER, 0},
    {"#resources", REC_RESOURCES, 0},
    {"#texture", REC_RESOURCE, RESOURCE_TEXTURE},
    {"#sprite", REC_RESOURCE, RESOURCE_SPRITE},
    {"#mesh", REC_RESOURCE, RESOURCE_MESH},
    {"#spritesheet", REC_RESOURCE, RESOURCE_SPRITESHEET},
    {"#shader", REC_RESOURCE, RESOURCE_SHADER},
    {"#postshader", REC_RESOURCE, RESOURCE_POSTSHADER},
    {"#function", REC_RESOURCE, RESOURCE_FUNCTION},
    {"#layer", REC_LAYER, 0},
    {"#event", REC_EVENT, 0},
    {"#eventvalue", REC_EVENTVALUE, 0},
    {"#eventtransform", REC_EVENTTRANSFORM, 0},
    {"#eventcamera", REC_EVENTCAMERA, 0},
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// True when `word` stands in text as a whole word between blanks.
bool HasWord(const char *text, const char *word) {
    const size_t n = strlen(word);
    for (const char *p = text; *p;) {
        while (IsBlank(*p)) p++;
        const char *start = p;
        while (*p && !IsBlank(*p)) p++;
        if ((size_t)(p - start) == n && strncmp(start, word, n) == 0) return true;
    }
    return false;
}

// State of one pass over a project file.
struct LoadState {
    int lineno = 0;
    // Event lines go to the layer opened last; none before the first #layer, and none
    // while the layer of the last #layer line was dropped.
    s_demolayer *current = nullptr;
    bool layerdropped = false;
    // Records that were read but found no room in their table, and record lines that could
    // not be read.
    int dropped = 0;
    int skipped = 0;
};

// Reads the numbers of a record after its keyword as scanf would with "%d,%d,%f": each
// number may follow blanks, a comma must follow the previous one directly.
class Fields {
public:
    explicit Fields(const char *args) : p_(args) {}
    Fields &Int(int &v) {
        if (ok_) {
            char *end;
            long x = strtol(p_, &end, 10);
            ok_ = end != p_;
            if (x > INT_MAX) x = INT_MAX;
            if (x < INT_MIN) x = INT_MIN;
            if (ok_) v = (int)x, p_ = end;
        }
        return *this;
    }
    Fields &Float(float &v) {
        if (ok_) {
            char *end;
            const float x = strtof(p_, &end);
            ok_ = end != p_;
            if (ok_) v = x, p_ = end;
        }
        return *this;
    }
    Fields &Comma() {
        ok_ = ok_ && *p_ == ',';
        if (ok_) p_++;
        return *this;
    }
    bool Ok() const { return ok_; }

private:
    const char *p_;
    bool ok_ = true;
};

// Reads the declared parameter count at the start of a colon part.
int DeclaredCount(const char *varstr) { return varstr ? (int)strtol(varstr, nullptr, 10) : 0; }

void Appendf(std::string &out, const char *format, ...) __attribute__((format(printf, 2, 3)));

void Appendf(std::string &out, const char *format, ...) {
    char buffer[LINE_SIZE];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return;
    if (n < (int)sizeof buffer) {
        out.append(buffer, n);
        return;
    }
    std::string big(n + 1, '\0');
    va_start(args, format);
    vsnprintf(&big[0], big.size(), format, args);
    va_end(args);
    out.append(big.data(), n);
}

// Appends a float in the shortest text that reads back as the same value, preferring two
// decimals: values typed or stepped in hundredths keep the form they always had.
void AppendFloat(std::string &out, float v) {
    char buffer[64];
    snprintf(buffer, sizeof buffer, "%.2f", v);
    if (!std::isfinite(v) || strtof(buffer, nullptr) == v) {
        out += buffer;
        return;
    }
    for (int digits = 1; digits <= 9; digits++) {
        snprintf(buffer, sizeof buffer, "%.*g", digits, v);
        if (strtof(buffer, nullptr) == v) break;
    }
    out += buffer;
}

// Appends the floats separated by commas, each after a comma when `lead` is set.
void AppendFloats(std::string &out, const float *v, int n, bool lead) {
    for (int i = 0; i < n; i++) {
        if (lead || i) out += ',';
        AppendFloat(out, v[i]);
    }
}

// Reads the name and, with withfile, the file name that follows it.
void ReadNames(const char *line, char *name, char *file, bool withfile) {
    int ofs = 0;
    name[0] = '\0';
    file[0] = '\0';
    FindString(line, name, &ofs);
    if (withfile && ofs > 0) {
        int ofs2 = 0;
        FindString(line + ofs + 1, file, &ofs2);
    }
}

// One record of the project file: `line` starts at the keyword, `args` just after it.
void LoadRecord(c_demo *demo, LoadState &state, const KeywordEntry &entry, const char *line,
                const char *args) {
    const int lineno = state.lineno;
    char name[DEMO_NAMESIZE];
    char file[DEMO_NAMESIZE];
    auto malformed = [&]() {
        state.skipped++;
        core_log(LOG_WARNING, "project.line_skipped",
                 "- Project line %d: malformed %s record, skipped\n", lineno, entry.keyword);
    };
    // Event lines need a layer to go to.
    auto target = [&]() -> s_demolayer * {
        if (!state.current && !state.layerdropped) {
            state.skipped++;
            core_log(LOG_WARNING, "project.event_without_layer",
                     "- Project line %d: event before the first #layer, skipped\n", lineno);
        }
        return state.current;
    };
    // A table with no room for the record: it is counted and reported after the load.
    auto full = [&](int count, int capacity) {
        if (count < capacity) return false;
        state.dropped++;
        return true;
    };

    switch (entry.record) {
        case REC_TITLE:
            FindString(line, demo->title, nullptr, sizeof demo->title);
            core_log(LOG_PROGRESS, "project.title", "Title: %s\n", demo->title);
            MOX_SetTitle(demo->title);
            break;
        case REC_RENDERWIDTH:
            if (!Fields(args).Int(demo->renderwidth).Ok()) malformed();
            break;
        case REC_RENDERHEIGHT:
            if (!Fields(args).Int(demo->renderheight).Ok()) malformed();
            break;
        case REC_DEMOTYPE: {
            int dtype = 0;
            if (!Fields(args).Int(dtype).Ok()) {
                malformed();
                break;
            }
            demo->Init(demo->renderwidth, demo->renderheight, dtype);
            state.current = nullptr;
            state.layerdropped = false;
            break;
        }
        case REC_BPM:
            if (!Fields(args).Int(demo->bpm).Ok()) malformed();
            break;
        case REC_MUSIC: {
            name[0] = '\0';
            FindString(line, name, nullptr);
            if (!name[0]) {
                malformed();
                break;
            }
            core_log(LOG_PROGRESS, "project.music", "Music: %s\n", name);
            snprintf(demo->musicfilename, sizeof demo->musicfilename, "%s", name);
            // The demo owns its music: one loaded before, by this file or an earlier one,
            // is released before the next takes its place.
            if (demo->demomusic.buffer) Soundsystem_DeleteSound(&demo->demomusic);
            Soundsystem_LoadSound(demo->musicfilename, &demo->demomusic);
            demo->position = 0;
            // Music that did not load has no channels or rate: its length is 0 seconds.
            const s_sound &m = demo->demomusic;
            if (m.numchannels != 0 && m.samplerate != 0) {
                demo->duration = (int)(m.length / m.numchannels / m.samplerate);
            } else {
                demo->duration = 0;
            }
            break;
        }
        case REC_MARKER: {
            int t = 0, type = 0;
            if (!Fields(args).Int(t).Comma().Int(type).Ok()) {
                malformed();
                break;
            }
            if (!full(demo->nummarkers, DEMO_MAXMARKERS)) demo->CreateMarker(t, type);
            break;
        }
        case REC_RESOURCES:
            core_log(LOG_PROGRESS, "project.resources", "- Loading Resources\n");
            break;
        case REC_RESOURCE: {
            const int type = entry.restype;
            int id = 0;
            if (!Fields(args).Int(id).Ok()) {
                malformed();
                break;
            }
            if (id < 0 || id >= DEMO_MAXRESOURCES) {
                core_log(LOG_WARNING, "project.resource_id_range",
                         "- Project line %d: resource id %d outside 0..%d, it will not load\n",
                         lineno, id, DEMO_MAXRESOURCES - 1);
            }
            ReadNames(line, name, file, type != RESOURCE_FUNCTION);
            const char *varstr = nullptr;
            if (type == RESOURCE_SPRITESHEET || type == RESOURCE_SHADER ||
                type == RESOURCE_POSTSHADER || type == RESOURCE_FUNCTION) {
                const char *colon = strchr(line, ':');
                if (colon) varstr = colon + 1;
            }
            const int n = demo->numresources;
            demo->CreateResource(name, file, id, varstr, type);
            if (demo->numresources == n) {  // the descriptor table is full
                state.dropped++;
                break;
            }
            const s_demoresource &r = demo->resource[n];
            if (type == RESOURCE_SPRITESHEET) {
                int c, rows, w, h;
                if (!varstr || sscanf(varstr, "%d %d %d %d", &c, &rows, &w, &h) != 4) {
                    core_log(LOG_WARNING, "project.sheet_incomplete",
                             "- Project line %d: sprite sheet %s needs columns, rows, width "
                             "and height after the colon\n",
                             lineno, r.name);
                }
            } else if (type != RESOURCE_TEXTURE && type != RESOURCE_SPRITE &&
                       type != RESOURCE_MESH) {
                const int declared = DeclaredCount(varstr);
                const int kept = r.numparams - DEMO_BUILTINPARAMS;
                if (declared != kept) {
                    core_log(LOG_WARNING, "project.params_cut",
                             "- Project line %d: %d parameter names announced, %d kept\n", lineno,
                             declared, kept);
                }
            }
            break;
        }
        case REC_LAYER: {
            name[0] = '\0';
            const char *after = FindString(line, name, nullptr);
            core_log(LOG_PROGRESS, "project.layer", "Layer: %s\n", name);
            const int n = demo->numlayers;
            demo->CreateLayer(demo->renderwidth, demo->renderheight, name);
            if (demo->numlayers > n) {
                state.current = &demo->layer[n];
                state.layerdropped = false;
                // A word after the name: "hidden" keeps the layer out of the picture. Readers
                // that know only the name read past it.
                demo->layer[n].visible = !HasWord(after == line ? "" : after, "hidden");
            } else {
                core_log(LOG_WARNING, "project.layer_dropped",
                         "- Project line %d: no room for layer %s (at most %d), its events are "
                         "skipped\n",
                         lineno, name, DEMO_MAXLAYERS);
                state.current = nullptr;
                state.layerdropped = true;
                state.dropped++;
            }
            break;
        }
        case REC_EVENT: {
            int t = 0, length = 0, type = 0, id = 0, numvalues = 0;
            Fields f(args);
            f.Int(t).Comma().Int(length).Comma().Int(type).Comma().Int(id).Comma().Int(numvalues);
            if (!f.Ok()) {
                malformed();
                break;
            }
            s_demolayer *dlayer = target();
            if (!dlayer || full(dlayer->numevents, DEMO_MAXEVENTS)) break;
            if (id < 0 || id >= DEMO_MAXRESOURCES) {
                core_log(LOG_WARNING, "project.event_resource_range",
                         "- Project line %d: resource index %d outside 0..%d, event skipped\n",
                         lineno, id, DEMO_MAXRESOURCES - 1);
                break;
            }
            if (numvalues < 0) {
                core_log(LOG_WARNING, "project.value_count_bad",
                         "- Project line %d: value count %d, none read\n", lineno, numvalues);
                numvalues = 0;
            }
            if (numvalues > DEMO_MAXVALUES) {
                core_log(LOG_WARNING, "project.values_cut",
                         "- Project line %d: %d values, only %d kept\n", lineno, numvalues,
                         DEMO_MAXVALUES);
                numvalues = DEMO_MAXVALUES;
            }
            const char *colon = strchr(line, ':');
            if (!colon && numvalues > 0) {
                core_log(LOG_WARNING, "project.values_without_colon",
                         "- Project line %d: %d values announced without a colon, none read\n",
                         lineno, numvalues);
                numvalues = 0;
            }
            float values[DEMO_MAXVALUES];
            if (colon) {
                core_log(LOG_PROGRESS, "project.values", "numvalues: %d,values: %s\n", numvalues,
                         colon + 1);
                const char *cur = colon + 1;
                for (int i = 0; i < numvalues; i++) {
                    values[i] = (float)atof(cur);
                    core_log(LOG_PROGRESS, "project.value", "%d: %f\n", i, values[i]);
                    if (i == numvalues - 1) break;
                    const char *comma = strchr(cur, ',');
                    if (!comma) {
                        core_log(LOG_WARNING, "project.values_missing",
                                 "- Project line %d: %d values announced, %d found\n", lineno,
                                 numvalues, i + 1);
                        numvalues = i + 1;
                        break;
                    }
                    cur = comma + 1;
                }
            }
            demo->CreateEventA(dlayer, t, length, type, id, numvalues, values);
            break;
        }
        case REC_EVENTVALUE: {
            int t = 0, type = 0, curvetype = 0;
            float value = 0;
            Fields f(args);
            f.Int(t).Comma().Int(type).Comma().Int(curvetype).Comma().Float(value);
            if (!f.Ok()) {
                malformed();
                break;
            }
            s_demolayer *dlayer = target();
            if (dlayer && !full(dlayer->numevents_value, DEMO_MAXKEYS)) {
                demo->CreateEventValue(dlayer, t, type, curvetype, value);
            }
            break;
        }
        case REC_EVENTTRANSFORM: {
            int t = 0, curvetype = 0, parent = 0;
            float v[9] = {};
            Fields f(args);
            f.Int(t).Comma().Int(curvetype).Comma().Int(parent);
            for (float &x : v) f.Comma().Float(x);
            if (!f.Ok()) {
                malformed();
                break;
            }
            s_demolayer *dlayer = target();
            if (dlayer && !full(dlayer->numevents_transform, DEMO_MAXKEYS)) {
                demo->CreateEventTransform(dlayer, t, curvetype, parent, v[0], v[1], v[2], v[3],
                                           v[4], v[5], v[6], v[7], v[8]);
            }
            break;
        }
        case REC_EVENTCAMERA: {
            int t = 0;
            float v[7] = {};
            Fields f(args);
            f.Int(t);
            for (float &x : v) f.Comma().Float(x);
            if (!f.Ok()) {
                malformed();
                break;
            }
            s_demolayer *dlayer = target();
            if (dlayer && !full(dlayer->numevents_camera, DEMO_MAXKEYS)) {
                demo->CreateEventCamera(dlayer, t, v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
            }
            break;
        }
    }
}

// The keyword entry of the record a line holds, or null; `start` is set to its keyword.
const KeywordEntry *FindRecord(const char *line, int lineno, const char **start,
                               const char **args) {
    const char *p = line;
    while (IsBlank(*p)) p++;
    *start = p;
    const char *end = p;
    while (*end && !IsBlank(*end)) end++;
    const size_t len = (size_t)(end - p);
    *args = end;
    if (len == 0 || *p != '#') return nullptr;
    if (len > KEYWORD_MAX) {
        core_log(LOG_WARNING, "project.keyword_too_long",
                 "- Project line %d: keyword longer than %d characters, skipped\n", lineno,
                 KEYWORD_MAX);
        return nullptr;
    }
    for (const KeywordEntry &k : keywords) {
        if (k.length == len && memcmp(k.keyword, p, len) == 0) return &k;
    }
    return nullptr;
}

}  // namespace

bool ReadTextFile(const char *fn, std::string *text) {
    s_corefile file;
    if (!corefile_open(fn, &file, 0)) return false;
    text->assign(corefile_fsize(&file), '\0');
    corefile_read(&(*text)[0], 1, (uint32_t)text->size(), &file);
    corefile_close(&file);
    return true;
}

void c_demo::Load(const char *fn) {
    s_corefile file;
    if (!corefile_open(fn, &file, 0)) {
        core_log(LOG_ERROR, "project.not_loaded", "- ERROR: project %s not loaded.\n", fn);
        return;
    }
    LoadState state;
    keptlines.clear();
    int numkept = 0;
    char line[LINE_SIZE];
    while (!corefile_feof(&file)) {
        line[0] = '\0';
        const uint32_t before = corefile_tell(&file);
        corefile_gets(line, LINE_SIZE, &file);
        if (corefile_tell(&file) == before) break;  // nothing more can be read
        state.lineno++;
        size_t len = strlen(line);
        if (len == LINE_SIZE - 1 && line[len - 1] != '\n' && !corefile_feof(&file)) {
            core_log(LOG_WARNING, "project.line_too_long",
                     "- Project line %d: longer than %d characters, skipped\n", state.lineno,
                     LINE_SIZE - 2);
            // Drop the rest of the line.
            do {
                line[0] = '\0';
                corefile_gets(line, LINE_SIZE, &file);
                len = strlen(line);
            } while (len == LINE_SIZE - 1 && line[len - 1] != '\n' && !corefile_feof(&file));
            continue;
        }
        const char *start, *args;
        if (const KeywordEntry *entry = FindRecord(line, state.lineno, &start, &args)) {
            LoadRecord(this, state, *entry, start, args);
        } else if (*start) {
            // Comments and lines of unknown keywords go back into the file when it is saved.
            keptlines += line;
            if (keptlines.back() != '\n') keptlines += '\n';
            numkept++;
        }
    }
    corefile_close(&file);
    if (numkept > 0) {
        core_log(LOG_WARNING, "project.lines_kept",
                 "- Project %s: %d line%s not understood, kept for saving after the records\n", fn,
                 numkept, numkept == 1 ? "" : "s");
    }
    if (state.skipped > 0) {
        core_log(LOG_WARNING, "project.lines_skipped",
                 "- Project %s: %d record line%s could not be read and %s skipped\n", fn,
                 state.skipped, state.skipped == 1 ? "" : "s", state.skipped == 1 ? "was" : "were");
    }
    if (state.dropped > 0) {
        core_log(LOG_WARNING, "project.records_dropped",
                 "- Project %s: %d record%s did not fit the model and %s dropped\n", fn,
                 state.dropped, state.dropped == 1 ? "" : "s", state.dropped == 1 ? "was" : "were");
    }

    // An unkeyed layer draws fully opaque.
    for (int i = 0; i < numlayers && i < DEMO_MAXLAYERS; i++) {
        if (layer[i].numevents_value == 0) CreateEventValue(&layer[i], 0, VALUE_BLEND, 0, 1.0f);
    }
    LoadResources();
}

std::string c_demo::ProjectText() {
    std::string out;
    Appendf(out, "#title \"%s\"\n", title);
    Appendf(out, "#renderwidth %d\n", renderwidth);
    Appendf(out, "#renderheight %d\n", renderheight);
    Appendf(out, "#demotype %d\n", demotype);
    Appendf(out, "#bpm %d\n", bpm);
    Appendf(out, "#music \"%s\"\n\n", musicfilename);
    Appendf(out, "#resources\n");
    for (int i = 0; i < numresources && i < DEMO_MAXRESOURCES; i++) {
        const s_demoresource &r = resource[i];
        const bool idok = r.id >= 0 && r.id < DEMO_MAXRESOURCES;
        int extra = r.numparams - DEMO_BUILTINPARAMS;
        if (extra < 0) extra = 0;
        switch (r.type) {
            case RESOURCE_SPRITESHEET: {
                const s_spritesheet *s = idok ? &resource_spritesheet[r.id] : nullptr;
                Appendf(out, "#spritesheet %d \"%s\" \"%s\" :%d %d %d %d", r.id, r.name, r.filename,
                        s ? s->columns : 0, s ? s->rows : 0, s ? s->width : 0, s ? s->height : 0);
                break;
            }
            case RESOURCE_TEXTURE:
                Appendf(out, "#texture %d \"%s\" \"%s\"", r.id, r.name, r.filename);
                break;
            case RESOURCE_SPRITE:
                Appendf(out, "#sprite %d \"%s\" \"%s\"", r.id, r.name, r.filename);
                break;
            case RESOURCE_SHADER:
                Appendf(out, "#shader %d \"%s\" \"%s\" :%d", r.id, r.name, r.filename, extra);
                break;
            case RESOURCE_MESH:
                Appendf(out, "#mesh %d \"%s\" \"%s\"", r.id, r.name, r.filename);
                break;
            case RESOURCE_FUNCTION:
                Appendf(out, "#function %d \"%s\" :%d", r.id, r.name, extra);
                break;
            case RESOURCE_POSTSHADER:
                Appendf(out, "#postshader %d \"%s\" \"%s\" :%d", r.id, r.name, r.filename, extra);
                break;
            default:
                continue;  // no record for this kind
        }
        for (int j = 0; j < extra && DEMO_BUILTINPARAMS + j < DEMO_MAXPARAMS; j++) {
            const char *param = r.param[DEMO_BUILTINPARAMS + j];
            if (!param) param = "";
            Appendf(out, " \"%s\"", param);
            core_log(LOG_DEBUG, "project.save_param", "save param for %s: %s\n", r.name, param);
        }
        Appendf(out, "\n");
    }
    Appendf(out, "\n");
    for (int i = 0; i < nummarkers && i < DEMO_MAXMARKERS; i++) {
        Appendf(out, "#marker %d,%d\n", marker[i].t, marker[i].type);
    }
    for (int l = 0; l < numlayers && l < DEMO_MAXLAYERS; l++) {
        const s_demolayer &dl = layer[l];
        Appendf(out, "\n#layer \"%s\"%s\n", dl.name, dl.visible ? "" : " hidden");
        for (int i = 0; i < dl.numevents && i < DEMO_MAXEVENTS; i++) {
            const s_effectevent &e = dl.event[i];
            int numvalues = e.numvalues;
            if (numvalues < 0 || !e.value) numvalues = 0;
            if (numvalues > DEMO_MAXVALUES) numvalues = DEMO_MAXVALUES;
            Appendf(out, "#event %d,%d,%d,%d,%d:", e.t, e.length, e.type, e.id, numvalues);
            AppendFloats(out, e.value, numvalues, false);
            out += '\n';
        }
        for (int i = 0; i < dl.numevents_transform && i < DEMO_MAXKEYS; i++) {
            const s_transformevent &k = dl.event_transform[i];
            const float v[9] = {k.x,    k.y,      k.z,      k.rotx,  k.roty,
                                k.rotz, k.scalex, k.scaley, k.scalez};
            Appendf(out, "#eventtransform %d,%d,%d", k.t, k.curvetype, k.parent);
            AppendFloats(out, v, 9, true);
            out += '\n';
        }
        for (int i = 0; i < dl.numevents_camera && i < DEMO_MAXKEYS; i++) {
            const s_cameraevent &k = dl.event_camera[i];
            const float v[7] = {k.fov, k.x, k.y, k.z, k.targetx, k.targety, k.targetz};
            Appendf(out, "#eventcamera %d", k.t);
            AppendFloats(out, v, 7, true);
            out += '\n';
        }
        for (int i = 0; i < dl.numevents_value && i < DEMO_MAXKEYS; i++) {
            const s_valueevent &k = dl.event_value[i];
            Appendf(out, "#eventvalue %d,%d,%d,", k.t, k.type, k.curvetype);
            AppendFloat(out, k.value);
            out += '\n';
        }
    }
    Appendf(out, "\n");
    if (!keptlines.empty()) out += keptlines + "\n";
    return out;
}

bool c_demo::Save(const char *fn) {
    if (corefile_mounttype != MOUNT_DIR) {
        core_log(LOG_ERROR, "project.save_nodir", "- Save: no directory mounted, %s not written\n",
                 fn);
        return false;
    }
    const std::string out = ProjectText();
    // The same text again leaves the file alone.
    std::string old;
    if (ReadTextFile(fn, &old) && old == out) return true;
    errno = 0;
    if (!corefile_savebuffer(fn, out.data(), (uint32_t)out.size())) {
        core_log(LOG_ERROR, "project.save_failed", "- Save: %s could not be written (%s)\n", fn,
                 errno ? strerror(errno) : "write failed");
        return false;
    }
    return true;
}

void c_demo::SaveFunctions(const char *fn) {
    FILE *fp = fopen(fn, "w");
    if (!fp) {
        core_log(LOG_ERROR, "project.functions_save_failed",
                 "- SaveFunctions: %s could not be opened for writing\n", fn);
        return;
    }
    fprintf(fp, "// %s - Function pointer list\n", title);
    fprintf(fp, "c_demofunction *demofunction[]={\n");
    for (int i = 0; i < numresources && i < DEMO_MAXRESOURCES; i++) {
        if (resource[i].type == RESOURCE_FUNCTION) fprintf(fp, "&%s,\n", resource[i].name);
    }
    fprintf(fp, "};\n\n");
    fclose(fp);
}
