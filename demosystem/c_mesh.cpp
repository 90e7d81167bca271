#include "demosystem/c_mesh.h"

#include <GL/glew.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "core/coredebug.h"
#include "core/corefile.h"

namespace {

// Little-endian reader over a byte range that refuses to step past its end.
struct reader {
    const unsigned char *p;
    uint32_t left;
    bool ok = true;

    // Whether n more bytes are there: counts are checked before their tables are allocated.
    bool room(uint64_t n) const { return ok && n <= left; }
    bool take(void *dst, uint32_t n) {
        if (!ok || n > left) return ok = false;
        memcpy(dst, p, n);
        p += n;
        left -= n;
        return true;
    }
    uint16_t u16() {
        unsigned char b[2] = {0, 0};
        take(b, 2);
        return uint16_t(b[0] | b[1] << 8);
    }
    float f32() {
        unsigned char b[4] = {0, 0, 0, 0};
        take(b, 4);
        uint32_t bits =
            uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        float f;
        memcpy(&f, &bits, 4);
        return f;
    }
};

bool fail(c_mesh *mesh, const char **why, const char *reason) {
    mesh->Remove();
    *why = reason;
    return false;
}

// One display list holding every face group; faces outside the first group carry no stored
// texture indices and are drawn with coordinate (0, 0).
int compile_channel(const c_mesh &m, int channel) {
    const s_tvertex *tv = m.tvertex[channel];
    const GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    glBegin(GL_TRIANGLES);
    for (int g = 0; g < m.numfacegroups; ++g) {
        for (int i = 0; i < m.numfaces[g]; ++i) {
            const s_face &f = m.face[g][i];
            const uint16_t corner[3] = {f.a, f.b, f.c};
            const uint16_t tex[2][3] = {{f.ta, f.tb, f.tc}, {f.ta2, f.tb2, f.tc2}};
            for (int k = 0; k < 3; ++k) {
                if (g == 0)
                    glTexCoord2f(tv[tex[channel][k]].u, tv[tex[channel][k]].v);
                else
                    glTexCoord2f(0.0f, 0.0f);
                const s_vertex &v = m.vertex[corner[k]];
                glVertex3f(v.x, v.y, v.z);
            }
        }
    }
    glEnd();
    glEndList();
    return (int)list;
}

}  // namespace

bool mesh_parse(c_mesh *mesh, const unsigned char *data, uint32_t size, const char **why) {
    reader r{data, size};
    char id[4];
    r.take(id, 4);
    const int nv = r.u16();
    const int ngroups = r.u16();
    const int nchannels = r.u16();
    const int flags = r.u16();
    if (!r.ok) return fail(mesh, why, "file shorter than its header");
    core_log(LOG_PROGRESS, "demo.mesh_info",
             "id: %c%c%c%c,verts: %d, facegroups: %d, uvchannels: %d, flags: %d\n", id[3], id[2],
             id[1], id[0], nv, ngroups, nchannels, flags);
    if (ngroups > MESH_MAXFACEGROUPS) return fail(mesh, why, "more than 8 face groups");
    if (nchannels < 1 || nchannels > MESH_MAXUVCHANNELS)
        return fail(mesh, why, "texture-coordinate channels not 1 or 2");

    if (!r.room(uint64_t(nv) * 12)) return fail(mesh, why, "file shorter than its tables");
    mesh->numvertices = nv;
    mesh->numfacegroups = ngroups;
    mesh->numuvchannels = nchannels;
    mesh->vertex = new s_vertex[nv ? nv : 1];
    for (int i = 0; i < nv; ++i) {
        mesh->vertex[i].x = r.f32();
        mesh->vertex[i].y = r.f32();
        mesh->vertex[i].z = r.f32();
    }
    for (int g = 0; g < ngroups; ++g) {
        mesh->numfaces[g] = r.u16();
        mesh->matid[g] = r.u16();
        if (!r.room(uint64_t(mesh->numfaces[g]) * 8))
            return fail(mesh, why, "file shorter than its tables");
        mesh->face[g] = new s_face[mesh->numfaces[g] ? mesh->numfaces[g] : 1]();
        for (int i = 0; i < mesh->numfaces[g]; ++i) {
            s_face &f = mesh->face[g][i];
            f.a = r.u16();
            f.b = r.u16();
            f.c = r.u16();
            f.flags = r.u16();
            if (r.ok && (f.a >= nv || f.b >= nv || f.c >= nv))
                return fail(mesh, why, "vertex index outside the vertex table");
        }
    }
    const int nfaces0 = ngroups > 0 ? mesh->numfaces[0] : 0;
    for (int c = 0; c < nchannels && r.ok; ++c) {
        const int nt = r.u16();
        r.u16();  // texture-face count: the faces of group 0 follow regardless
        if (!r.room(uint64_t(nt) * 8 + uint64_t(nfaces0) * 6))
            return fail(mesh, why, "file shorter than its tables");
        mesh->numtvertices[c] = nt;
        mesh->tvertex[c] = new s_tvertex[nt ? nt : 1];
        for (int i = 0; i < nt; ++i) {
            mesh->tvertex[c][i].u = r.f32();
            mesh->tvertex[c][i].v = r.f32();
        }
        for (int i = 0; i < nfaces0; ++i) {
            s_face &f = mesh->face[0][i];
            uint16_t *t = c == 0 ? &f.ta : &f.ta2;
            t[0] = r.u16();
            t[1] = r.u16();
            t[2] = r.u16();
            if (r.ok && (t[0] >= nt || t[1] >= nt || t[2] >= nt))
                return fail(mesh, why, "texture-coordinate index outside its table");
        }
    }
    if (!r.ok) return fail(mesh, why, "file shorter than its tables");
    return true;
}

void c_mesh::Load(char *fn) {
    Remove();
    s_corefile file;
    if (!corefile_open(fn, &file, 0)) {
        core_log(LOG_ERROR, "demo.mesh_missing", "- ERROR: Mesh %s not loaded: cannot open it.\n",
                 fn);
        return;
    }
    std::vector<unsigned char> bytes(corefile_fsize(&file));
    corefile_read(bytes.data(), 1, (uint32_t)bytes.size(), &file);
    corefile_close(&file);
    const char *why = nullptr;
    if (!mesh_parse(this, bytes.data(), (uint32_t)bytes.size(), &why)) {
        core_log(LOG_ERROR, "demo.mesh_malformed", "- ERROR: Mesh %s not loaded: %s.\n", fn, why);
        return;
    }
    Build();
}

void c_mesh::Build() {
    if (numuvchannels < 1) return;
    displaylist_id = compile_channel(*this, 0);
    if (numuvchannels > 1) displaylist_id2 = compile_channel(*this, 1);
}

void c_mesh::Draw() {
    if (displaylist_id) glCallList((GLuint)displaylist_id);
}

void c_mesh::Remove() {
    numvertices = numfacegroups = numuvchannels = 0;
    for (int g = 0; g < MESH_MAXFACEGROUPS; ++g) {
        delete[] face[g];
        face[g] = nullptr;
        numfaces[g] = 0;
    }
    for (int c = 0; c < MESH_MAXUVCHANNELS; ++c) {
        delete[] tvertex[c];
        tvertex[c] = nullptr;
        numtvertices[c] = 0;
    }
    delete[] vertex;
    vertex = nullptr;
}
