// libFuzzer target for the mesh reader: any input is refused, leaving the mesh empty, or
// gives tables in which every index that Build follows lies inside its table.
#include "demosystem/c_mesh.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Touches every vertex and texture coordinate that the display lists would read.
void walk(const c_mesh &m) {
    volatile float sum = 0;
    for (int c = 0; c < m.numuvchannels; ++c) {
        if (!m.tvertex[c]) abort();
        for (int g = 0; g < m.numfacegroups; ++g) {
            if (m.numfaces[g] > 0 && !m.face[g]) abort();
            for (int i = 0; i < m.numfaces[g]; ++i) {
                const s_face &f = m.face[g][i];
                const uint16_t corner[3] = {f.a, f.b, f.c};
                const uint16_t tex[2][3] = {{f.ta, f.tb, f.tc}, {f.ta2, f.tb2, f.tc2}};
                for (int k = 0; k < 3; ++k) {
                    if (corner[k] >= m.numvertices) abort();
                    sum = sum + m.vertex[corner[k]].x;
                    if (g == 0) {
                        if (tex[c][k] >= m.numtvertices[c]) abort();
                        sum = sum + m.tvertex[c][tex[c][k]].u;
                    }
                }
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    c_mesh mesh;
    const char *why = nullptr;
    if (mesh_parse(&mesh, data, (uint32_t)size, &why)) {
        if (mesh.numuvchannels < 1 || mesh.numuvchannels > MESH_MAXUVCHANNELS) abort();
        if (mesh.numfacegroups < 0 || mesh.numfacegroups > MESH_MAXFACEGROUPS) abort();
        walk(mesh);
    } else {
        if (!why || mesh.vertex || mesh.numvertices || mesh.numfacegroups || mesh.numuvchannels)
            abort();
        for (s_face *f : mesh.face)
            if (f) abort();
    }
    mesh.Remove();
    return 0;
}
