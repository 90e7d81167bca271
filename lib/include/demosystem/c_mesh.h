// Textured triangle mesh read from the binary mesh format and compiled into display lists,
// one per texture-coordinate channel. Needs the GL context: program thread only.
#pragma once
#include <cstdint>

struct s_vertex {
    float x, y, z;
};

struct s_tvertex {
    float u, v;
};

struct s_face {
    uint16_t a, b, c;        // vertex indices of the corners
    uint16_t ta, tb, tc;     // channel 0 texture-coordinate indices
    uint16_t ta2, tb2, tc2;  // channel 1 texture-coordinate indices
    uint16_t flags;
};

constexpr int MESH_MAXFACEGROUPS = 8;
constexpr int MESH_MAXUVCHANNELS = 2;

class c_mesh {
public:
    s_vertex *vertex = nullptr;
    s_tvertex *tvertex[MESH_MAXUVCHANNELS] = {};
    s_face *face[MESH_MAXFACEGROUPS] = {};
    int numfaces[MESH_MAXFACEGROUPS] = {};
    int matid[MESH_MAXFACEGROUPS] = {};
    int numtvertices[MESH_MAXUVCHANNELS] = {};
    int numvertices = 0;
    int numfacegroups = 0;
    int numuvchannels = 0;
    int displaylist_id = 0;
    int displaylist_id2 = 0;

    // Reads the file through the file layer and builds the display lists. A file that is
    // truncated, has more groups or channels than the tables, or indexes outside its tables is
    // refused with a message and leaves the mesh empty.
    void Load(char *fn);
    // Compiles every face group into one list per channel (0 when the mesh has no channel).
    void Build();
    // Draws with channel 0's texture coordinates and the texture the caller bound.
    void Draw();
    // Releases the tables; display lists are kept.
    void Remove();
};

// Parses a mesh file held in memory into `mesh` (which must be empty). Returns false, with
// the reason in `why`, when the data is malformed; the mesh is then left empty.
bool mesh_parse(c_mesh *mesh, const unsigned char *data, uint32_t size, const char **why);
