// Resources: descriptors created from the project file, their parameter names, loading into
// the typed tables once the whole file is read, and lookups by name.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "core/coredebug.h"
#include "core/corefile.h"
#include "demosystem/demosystem.h"
#include "mox/mox.h"

const char vv_demo[] =
    "#version 120\n"
    "varying vec2 uvCoord;\n"
    "void main() {\n"
    "uvCoord = gl_MultiTexCoord0.xy;\n"
    "gl_Position = ftransform();\n"
    "}";

namespace {

// The sprite list of the core library holds this many sprites in all.
constexpr int MAX_SHEETSPRITES = MOX_MAXSPRITES;
// Largest cell edge, so that cell positions stay within int.
constexpr int MAX_CELLSIZE = 65536;

bool TypedIdOK(int id) { return id >= 0 && id < DEMO_MAXRESOURCES; }

// Columns, rows and cell size of a sprite sheet from the text after the colon.
void SetUpSpriteSheet(s_spritesheet *sheet, const char *varstr, const char *name) {
    int v[4] = {0, 0, 0, 0};
    if (varstr) sscanf(varstr, "%d %d %d %d", &v[0], &v[1], &v[2], &v[3]);
    for (int &x : v) {
        if (x < 0) x = 0;
    }
    for (int i = 2; i < 4; i++) {
        if (v[i] > MAX_CELLSIZE) {
            core_log(LOG_WARNING, "resources.cell_size_cut",
                     "- Sprite sheet %s: cell size %d cut to %d\n", name, v[i], MAX_CELLSIZE);
            v[i] = MAX_CELLSIZE;
        }
    }
    sheet->columns = v[0];
    sheet->rows = v[1];
    sheet->width = v[2];
    sheet->height = v[3];
    if ((long long)sheet->columns * sheet->rows > MAX_SHEETSPRITES) {
        sheet->rows = MAX_SHEETSPRITES / sheet->columns;
        core_log(LOG_WARNING, "resources.sheet_rows_cut",
                 "- Sprite sheet %s: more than %d cells, cut to %d rows\n", name, MAX_SHEETSPRITES,
                 sheet->rows);
    }
    // A sheet named again frees its earlier cells, which may have been listed by an earlier load.
    if (sheet->sprite) {
        MOX_UnlistGraphics(sheet->sprite, sizeof *sheet->sprite * sheet->numsprites);
        delete[] sheet->sprite;
    }
    sheet->numsprites = sheet->rows * sheet->columns;
    sheet->sprite = sheet->numsprites > 0 ? new s_sprite[sheet->numsprites]() : nullptr;
}

// Whole text of a shader file, or null when it does not open.
char *LoadShaderText(const char *filename) {
    s_corefile file;
    if (!corefile_open(filename, &file, 0)) return nullptr;
    const uint32_t size = corefile_fsize(&file);
    core_log(LOG_PROGRESS, "resources.shader_loading", "load shadefile %s, size: %d\n", filename,
             (int)size);
    char *text = new (std::nothrow) char[(size_t)size + 1];
    if (!text) {
        core_log(LOG_ERROR, "resources.shader_no_memory", "- Shader %s: no memory for %u bytes\n",
                 filename, size);
        corefile_close(&file);
        return nullptr;
    }
    corefile_read(text, 1, size, &file);
    text[size] = '\0';
    corefile_close(&file);
    return text;
}

}  // namespace

void c_demo::CreateResource(const char *name, const char *filename, int resourceid,
                            const char *varstr, int type) {
    if (numresources < 0 || numresources >= DEMO_MAXRESOURCES) return;
    s_demoresource &r = resource[numresources];
    snprintf(r.name, sizeof r.name, "%s", name ? name : "");
    snprintf(r.filename, sizeof r.filename, "%s", filename ? filename : "");
    r.type = type;
    r.id = resourceid;
    r.numparams = 0;
    AddParameter(&r, "resource 1");
    AddParameter(&r, "resource 2");
    AddParameter(&r, "resource 3");
    AddParameter(&r, "resource 4");
    r.loadOK = 0;
    r.datapointer = nullptr;

    if (type == RESOURCE_SHADER || type == RESOURCE_POSTSHADER || type == RESOURCE_FUNCTION) {
        int count = varstr ? (int)strtol(varstr, nullptr, 10) : 0;
        const char *p = varstr;
        for (int i = 0; i < count && r.numparams < DEMO_MAXPARAMS; i++) {
            char paramname[DEMO_NAMESIZE] = "";
            int ofs = 0;
            FindString(p, paramname, &ofs);
            if (ofs == 0) break;  // fewer names than announced
            core_log(LOG_PROGRESS, "resources.param", "param: %d, name: %s\n", i, paramname);
            AddParameter(&r, paramname);
            p += ofs + 1;
        }
    } else if (type == RESOURCE_SPRITESHEET && TypedIdOK(resourceid)) {
        SetUpSpriteSheet(&resource_spritesheet[resourceid], varstr, r.name);
    }
    numresources++;
}

void c_demo::AddParameter(s_demoresource *dresource, const char *paramname) {
    if (!dresource || dresource->numparams < 0 || dresource->numparams >= DEMO_MAXPARAMS) {
        return;
    }
    char *&block = dresource->param[dresource->numparams];
    // A descriptor reused by a new production keeps its blocks.
    if (!block) block = new char[DEMO_PARAMSIZE];
    if (!paramname) paramname = "";
    if (strlen(paramname) > DEMO_PARAMSIZE - 1) {
        core_log(LOG_WARNING, "resources.param_name_cut",
                 "- Parameter name %s cut to %d characters\n", paramname, DEMO_PARAMSIZE - 1);
    }
    snprintf(block, DEMO_PARAMSIZE, "%s", paramname);
    dresource->numparams++;
}

void c_demo::LoadResources() {
    // Descriptors that share an id load into the same record; the image an earlier one of them
    // loaded in this pass is released once a later one has replaced it.
    std::vector<char> texture_loaded(DEMO_MAXRESOURCES), sheet_loaded(DEMO_MAXRESOURCES);
    auto load_image = [](const char *filename, s_bitmap &record, char &loaded) {
        s_bitmap before = record;
        MOX_LoadBitmap(filename, &record);
        if (record.data == before.data) return;
        if (loaded && before.data) MOX_DeleteBitmap(&before);
        loaded = 1;
    };
    for (int i = 0; i < numresources && i < DEMO_MAXRESOURCES; i++) {
        s_demoresource &r = resource[i];
        const int t = r.type;
        const bool typed = t == RESOURCE_TEXTURE || t == RESOURCE_SPRITE || t == RESOURCE_SHADER ||
                           t == RESOURCE_POSTSHADER || t == RESOURCE_SPRITESHEET;
        if (!typed) continue;
        if (!TypedIdOK(r.id)) {
            core_log(LOG_WARNING, "resources.id_range",
                     "- Resource %s: id %d outside 0..%d, not loaded\n", r.name, r.id,
                     DEMO_MAXRESOURCES - 1);
            continue;
        }
        switch (t) {
            case RESOURCE_SPRITE: {
                s_sprite &s = resource_sprite[r.id];
                MOX_LoadSprite(r.filename, &s);
                r.datapointer = &s;
                r.loadOK = s.textureid != 0;
                break;
            }
            case RESOURCE_TEXTURE: {
                s_bitmap &b = resource_texture[r.id];
                load_image(r.filename, b, texture_loaded[r.id]);
                r.datapointer = &b;
                r.loadOK = b.textureid != 0;
                break;
            }
            case RESOURCE_SHADER:
            case RESOURCE_POSTSHADER: {
                char *text = LoadShaderText(r.filename);
                if (!text) break;
                s_demoshader &sh = resource_shader[r.id];
                r.datapointer = text;
                sh.shader_id = MOX_InitShader(vv_demo, text);
                sh.ff = text;
                r.loadOK = sh.shader_id >= 0;
                break;
            }
            case RESOURCE_SPRITESHEET: {
                s_spritesheet &sheet = resource_spritesheet[r.id];
                load_image(r.filename, sheet.spritesheet, sheet_loaded[r.id]);
                int n = 0;
                for (int y = 0; y < sheet.rows; y++) {
                    for (int x = 0; x < sheet.columns; x++) {
                        MOX_GetSprite(x * sheet.width, y * sheet.height, sheet.width, sheet.height,
                                      sheet.spritesheet, &sheet.sprite[n]);
                        n++;
                    }
                }
                if (sheet.numsprites > 0) {
                    core_log(LOG_PROGRESS, "resources.sheet_cell", "sprite %d,%d\n",
                             sheet.sprite[0].width, sheet.sprite[0].height);
                }
                // Cells are cut as declared; any beyond the image would show it repeated.
                const s_bitmap &image = sheet.spritesheet;
                if (image.width > 0 && ((long long)sheet.columns * sheet.width > image.width ||
                                        (long long)sheet.rows * sheet.height > image.height)) {
                    core_log(LOG_WARNING, "resources.sheet_too_large",
                             "- Sprite sheet %s: %d x %d cells of %d x %d reach beyond its %d x %d "
                             "image\n",
                             r.name, sheet.columns, sheet.rows, sheet.width, sheet.height,
                             image.width, image.height);
                }
                r.datapointer = &sheet;
                r.loadOK = sheet.spritesheet.textureid != 0;
                break;
            }
            default:
                break;
        }
    }

    // Scenes look their media up by name, so they start once everything else is in place.
    for (int i = 0; i < numresources && i < DEMO_MAXRESOURCES; i++) {
        s_demoresource &r = resource[i];
        if (r.type != RESOURCE_FUNCTION) continue;
        if (effects.count <= 0) {
            core_log(LOG_WARNING, "resources.no_effect_table",
                     "- Function %s: the program has no effect table, not loaded\n", r.name);
            continue;
        }
        if (r.id < 0 || r.id >= effects.count) {
            core_log(LOG_WARNING, "resources.function_outside_table",
                     "- Function %s: id %d outside the effect table 0..%d, not loaded\n", r.name,
                     r.id, effects.count - 1);
            continue;
        }
        c_demofunction *scene = EffectScene(effects, r.id);
        if (!scene) continue;
        scene->clock = {};  // whatever it last showed belonged to another load
        scene->Init(this);
        r.loadOK = 1;
    }
}

void *c_demo::GetResource(const char *name) {
    if (!name) return nullptr;
    for (int i = 0; i < numresources && i < DEMO_MAXRESOURCES; i++) {
        if (strcmp(resource[i].name, name) == 0) return resource[i].datapointer;
    }
    return nullptr;
}

s_demoresource *c_demo::GetResourceInfo(const char *name) {
    if (name) {
        for (int i = 0; i < numresources && i < DEMO_MAXRESOURCES; i++) {
            if (strcmp(resource[i].name, name) == 0) return &resource[i];
        }
    }
    return &resource[0];
}

int c_demo::SelectResourceEffect(s_effectevent *evt, int restype) {
    int effect;
    switch (restype) {
        case RESOURCE_TEXTURE:
        case RESOURCE_SPRITE:
            effect = EFFECT_IMAGE;
            break;
        case RESOURCE_MESH:
            effect = EFFECT_MESH;
            break;
        case RESOURCE_SHADER:
            effect = EFFECT_SHADER;
            break;
        case RESOURCE_FUNCTION:
            effect = EFFECT_FUNCTION;
            break;
        case RESOURCE_SOUND:
            effect = EFFECT_SOUND;
            break;
        case RESOURCE_POSTSHADER:
            effect = EFFECT_POSTPROCESSING;
            break;
        default:
            effect = EFFECT_NONE;
            break;
    }
    if (evt && (restype == RESOURCE_SHADER || restype == RESOURCE_FUNCTION ||
                restype == RESOURCE_POSTSHADER)) {
        if (evt->id >= 0 && evt->id < DEMO_MAXRESOURCES) {
            evt->numvalues = resource[evt->id].numparams;
        }
    }
    return effect;
}

void c_demo::SetTitle(const char *newtitle) {
    snprintf(title, sizeof title, "%s", newtitle ? newtitle : "");
}

void c_demo::SetMusic(s_sound *sound) {
    if (!sound) return;
    // The mixer must not be reading the record while it is overwritten: a playing music is
    // stopped (taken off the mixer's list) first, and the caller starts the new one.
    Soundsystem_StopSound(&demomusic);
    demomusic = *sound;
}
