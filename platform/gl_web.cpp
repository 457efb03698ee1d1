// What the browser's GL lacks, built on what it has. Emscripten emulates the
// fixed-function calls over WebGL (matrices, fog, texturing, blending), but
// its immediate mode takes every attribute as part of the vertex stream, in
// the order first given: a normal or colour set once for several vertices,
// or after the last one, breaks the stream. Its lighting treats every light
// as directional. It has no display lists, no GLU quadrics and none of
// OpenGL 1.1's unsized texture formats (1..4 components). Here:
// - immediate mode with OpenGL's current-attribute rule: glBegin .. glEnd is
//   gathered, each vertex taking the texture coordinate, normal and colour
//   current when it was given. Runs of separate quads, triangles or lines
//   with nothing between them are passed on as one draw from one
//   interleaved array (the tunnel's 9600 quads a frame, drawn one by one,
//   took half a second under software GL), less the primitives that lie
//   wholly beyond a side of the view volume. Every call that changes state
//   first passes on what is gathered, and so does glFlush, which the page
//   calls before it shows a frame;
// - lighting as OpenGL 1.1 computes it per vertex (positional lights with
//   their ambient and diffuse parts, the default material and light model),
//   handed on as the vertex's colour with the emulation's lighting off;
// - display lists: the calls made between glNewList and glEndList are
//   recorded and replayed by glCallList;
// - gluSphere: stacks from +z to -z and slices around z, with smooth
//   normals;
// - a negative fog density refused, as OpenGL does;
// - glTexImage2D: the pixels' own format as the internal format, as WebGL
//   requires (the canvas has no alpha, so a kept alpha channel never shows).
// The calls defined here pass on to the emulation under its emscripten_ names.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdint>
#include <new>

extern "C" {
void emscripten_glColor3f(GLfloat red, GLfloat green, GLfloat blue);
void emscripten_glEnable(GLenum capability);
void emscripten_glDisable(GLenum capability);
void emscripten_glTexImage2D(GLenum target, GLint level, GLint internal_format, GLsizei width, GLsizei height,
                             GLint border, GLenum format, GLenum type, const void* pixels);
void emscripten_glFlush();
void emscripten_glLoadIdentity();
void emscripten_glTranslatef(GLfloat x, GLfloat y, GLfloat z);
void emscripten_glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z);
void emscripten_glPushMatrix();
void emscripten_glPopMatrix();
void emscripten_glMatrixMode(GLenum mode);
void emscripten_gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble near_plane, GLdouble far_plane);
void emscripten_glViewport(GLint x, GLint y, GLsizei width, GLsizei height);
void emscripten_glBindTexture(GLenum target, GLuint texture);
void emscripten_glBlendFunc(GLenum source, GLenum destination);
void emscripten_glClear(GLbitfield mask);
void emscripten_glClearColor(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha);
void emscripten_glDepthFunc(GLenum function);
void emscripten_glFogf(GLenum name, GLfloat value);
void emscripten_glFogi(GLenum name, GLint value);
void emscripten_glFogfv(GLenum name, const GLfloat* values);
void emscripten_glTexParameteri(GLenum target, GLenum name, GLint value);
}

namespace {

constexpr GLuint LIST_COUNT = 16;             // lists 1..15; the scenes use one
constexpr int32_t LIST_CAPACITY = 4096;       // calls a list holds; the cube takes 64
constexpr int32_t BATCH_CAPACITY = 65536;  // vertices gathered; the tunnel takes 38400 a frame
constexpr int32_t PRIMITIVE_MOST = 8192;   // vertices of one primitive; a sphere takes 3136
constexpr int32_t LIGHT_COUNT = 8;

// OpenGL's defaults for what the scenes leave alone.
constexpr float MATERIAL_AMBIENT = 0.2f;
constexpr float MATERIAL_DIFFUSE = 0.8f;
constexpr float MODEL_AMBIENT = 0.2f;

enum class ListCall : uint8_t { BEGIN, END, VERTEX, COLOR, NORMAL, TEX_COORD };

struct ListEntry {
    ListCall call;
    GLenum mode;       // BEGIN: the primitive
    GLfloat value[3];  // the call's arguments (TEX_COORD uses two)
};

struct DisplayList {
    ListEntry entries[LIST_CAPACITY];
    int32_t count;
    bool overflowed;  // calls past the capacity were dropped
};

struct Vertex {
    GLfloat position[3];
    GLfloat normal[3];
    GLfloat tex_coord[2];
    GLfloat color[3];
};

// A vertex as the emulation's fast path takes it: one interleaved array.
struct PackedVertex {
    GLfloat position[3];
    GLfloat tex_coord[2];
    GLubyte color[4];
};

struct Light {
    bool enabled;
    GLfloat ambient[4];
    GLfloat diffuse[4];
    GLfloat position[4];  // in eye space, as the modelview matrix was when it was set
};

struct GlGap {
    // Current attributes, as OpenGL keeps them.
    GLfloat normal[3];     // (0, 0, 1) at first
    GLfloat tex_coord[2];
    GLfloat color[3];      // white at first
    // What is gathered: whole primitives of one mode, then the one begun.
    bool inside;           // between glBegin and glEnd
    GLenum mode;
    bool color_given;      // glColor came inside a primitive: colour per vertex
    Vertex vertices[BATCH_CAPACITY];
    PackedVertex packed[BATCH_CAPACITY];  // 1.5 MB, within the emulation's 2 MB for one draw
    bool keep[BATCH_CAPACITY];             // the vertex's primitive may be seen
    int32_t vertex_count;  // all gathered
    int32_t primitive_start;  // where the primitive begun starts
    bool overflowed;       // vertices past a primitive's most were dropped
    // Lighting, computed here.
    bool lighting;
    Light lights[LIGHT_COUNT];
    // Display lists.
    DisplayList lists[LIST_COUNT];
    GLuint lists_given;    // names 1..lists_given are taken
    GLuint recording;      // the list being recorded; 0: none
    bool execute_too;      // GL_COMPILE_AND_EXECUTE
};

GlGap* gap_state() {
    static GlGap* gap = [] {
        auto* made = new GlGap{};
        made->normal[2] = 1.0f;
        made->color[0] = made->color[1] = made->color[2] = 1.0f;
        // Light 0 is white by default; the others have no diffuse part.
        for (int32_t i = 0; i < LIGHT_COUNT; ++i) {
            made->lights[i].ambient[3] = 1.0f;
            made->lights[i].diffuse[3] = 1.0f;
            made->lights[i].position[2] = 1.0f;
        }
        made->lights[0].diffuse[0] = made->lights[0].diffuse[1] = made->lights[0].diffuse[2] = 1.0f;
        return made;
    }();
    return gap;
}

// True when the call is to run now: outside a list, or compiled and run.
bool record(ListCall call, GLenum mode, GLfloat a, GLfloat b, GLfloat c) {
    GlGap* gap = gap_state();
    if (gap->recording == 0) return true;
    DisplayList& list = gap->lists[gap->recording];
    if (list.count == LIST_CAPACITY) {
        list.overflowed = true;
    } else {
        list.entries[list.count++] = ListEntry{call, mode, {a, b, c}};
    }
    return gap->execute_too;
}

void replay(const ListEntry& entry) {
    const GLfloat* v = entry.value;
    switch (entry.call) {
        case ListCall::BEGIN: glBegin(entry.mode); break;
        case ListCall::END: glEnd(); break;
        case ListCall::VERTEX: glVertex3f(v[0], v[1], v[2]); break;
        case ListCall::COLOR: glColor3f(v[0], v[1], v[2]); break;
        case ListCall::NORMAL: glNormal3f(v[0], v[1], v[2]); break;
        case ListCall::TEX_COORD: glTexCoord2f(v[0], v[1]); break;
    }
}

// `m` (column-major) times (x, y, z, w).
void transform(const GLfloat* m, const GLfloat* in, GLfloat w, GLfloat* out) {
    for (int32_t row = 0; row < 3; ++row) {
        out[row] = m[row] * in[0] + m[4 + row] * in[1] + m[8 + row] * in[2] + m[12 + row] * w;
    }
}

float clamp_unit(float value) { return value < 0.0f ? 0.0f : value > 1.0f ? 1.0f : value; }

// OpenGL 1.1's lighting of one vertex with the default material (ambient
// 0.2, diffuse 0.8, no specular or emission) and light model (ambient 0.2,
// viewer at infinity, one-sided), no attenuation or spot: the colour it is
// drawn with.
void light_vertex(const GlGap* gap, const GLfloat* modelview, const Vertex& vertex, GLfloat* color) {
    GLfloat eye[3];
    GLfloat normal[3];
    transform(modelview, vertex.position, 1.0f, eye);
    // Rotations and translations only: the normal turns with the upper 3x3.
    transform(modelview, vertex.normal, 0.0f, normal);
    for (int32_t c = 0; c < 3; ++c) color[c] = MODEL_AMBIENT * MATERIAL_AMBIENT;
    for (const Light& light : gap->lights) {
        if (!light.enabled) continue;
        GLfloat to_light[3];
        for (int32_t c = 0; c < 3; ++c) {
            to_light[c] = light.position[3] != 0.0f ? light.position[c] - eye[c] : light.position[c];
        }
        float length = std::sqrt(to_light[0] * to_light[0] + to_light[1] * to_light[1] + to_light[2] * to_light[2]);
        float facing = 0.0f;
        if (length > 0.0f) {
            facing = (normal[0] * to_light[0] + normal[1] * to_light[1] + normal[2] * to_light[2]) / length;
        }
        if (facing < 0.0f) facing = 0.0f;
        for (int32_t c = 0; c < 3; ++c) {
            color[c] += light.ambient[c] * MATERIAL_AMBIENT + facing * light.diffuse[c] * MATERIAL_DIFFUSE;
        }
    }
    for (int32_t c = 0; c < 3; ++c) color[c] = clamp_unit(color[c]);
}

// Primitives that stand alone, so that a run of them is one primitive.
bool joinable(GLenum mode) {
    return mode == GL_QUADS || mode == GL_TRIANGLES || mode == GL_LINES || mode == GL_POINTS;
}

int32_t vertices_per_primitive(GLenum mode) {
    return mode == GL_QUADS ? 4 : mode == GL_TRIANGLES ? 3 : mode == GL_LINES ? 2 : 1;
}

// The sides of the view volume (clip space, -w..w on each axis) that the
// point lies beyond, one bit a side. A point within a ten-thousandth of a
// side counts as inside, so that no rounding here can drop what GL would
// draw.
uint32_t sides_beyond(const GLfloat* clip_matrix, const GLfloat* position) {
    GLfloat clip[4];
    for (int32_t row = 0; row < 4; ++row) {
        clip[row] = clip_matrix[row] * position[0] + clip_matrix[4 + row] * position[1] +
                    clip_matrix[8 + row] * position[2] + clip_matrix[12 + row];
    }
    const GLfloat w = clip[3];
    const GLfloat margin = 1e-4f * std::fabs(w) + 1e-6f;
    uint32_t sides = 0;
    for (int32_t axis = 0; axis < 3; ++axis) {
        if (clip[axis] < -w - margin) sides |= 1u << (2 * axis);
        if (clip[axis] > w + margin) sides |= 2u << (2 * axis);
    }
    return sides;
}

// The gathered primitives that GL would clip away whole (all their corners
// beyond one side of the view volume) are left out of the draw: they leave
// no fragment. The tunnel sends 600 rings a frame, of which about a hundred
// lie between the near and the far plane; software GL took as long for the
// others. Small batches are passed on whole.
constexpr int32_t CULL_LEAST = 1024;

// Marks in `keep` the gathered primitives that may leave a fragment.
void mark_visible(const GlGap* gap, bool* keep) {
    const int32_t size = vertices_per_primitive(gap->mode);
    const bool cull = joinable(gap->mode) && gap->vertex_count >= CULL_LEAST && gap->vertex_count % size == 0;
    for (int32_t i = 0; i < gap->vertex_count; ++i) keep[i] = true;
    if (!cull) return;
    GLfloat modelview[16] = {};
    GLfloat projection[16] = {};
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    GLfloat clip_matrix[16];
    for (int32_t column = 0; column < 4; ++column) {
        for (int32_t row = 0; row < 4; ++row) {
            GLfloat sum = 0.0f;
            for (int32_t k = 0; k < 4; ++k) sum += projection[k * 4 + row] * modelview[column * 4 + k];
            clip_matrix[column * 4 + row] = sum;
        }
    }
    for (int32_t first = 0; first < gap->vertex_count; first += size) {
        uint32_t common = ~0u;
        for (int32_t i = first; i < first + size && common != 0; ++i) {
            common &= sides_beyond(clip_matrix, gap->vertices[i].position);
        }
        if (common != 0) {
            for (int32_t i = first; i < first + size; ++i) keep[i] = false;
        }
    }
}

// What is gathered to the emulation as one draw from one interleaved array
// (its fast path), each vertex with all it takes.
void flush_batch(GlGap* gap) {
    if (gap->vertex_count == 0 || gap->inside) return;
    GLfloat modelview[16] = {};
    if (gap->lighting) glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    const bool per_vertex_color = gap->lighting || gap->color_given;
    mark_visible(gap, gap->keep);
    int32_t packed_count = 0;
    for (int32_t i = 0; i < gap->vertex_count; ++i) {
        if (!gap->keep[i]) continue;
        const Vertex& vertex = gap->vertices[i];
        PackedVertex& packed = gap->packed[packed_count++];
        for (int32_t c = 0; c < 3; ++c) packed.position[c] = vertex.position[c];
        packed.tex_coord[0] = vertex.tex_coord[0];
        packed.tex_coord[1] = vertex.tex_coord[1];
        if (per_vertex_color) {
            GLfloat lit[3];
            const GLfloat* color = vertex.color;
            if (gap->lighting) {
                light_vertex(gap, modelview, vertex, lit);
                color = lit;
            }
            for (int32_t c = 0; c < 3; ++c) packed.color[c] = static_cast<GLubyte>(clamp_unit(color[c]) * 255.0f + 0.5f);
            packed.color[3] = 255;
        }
    }
    if (packed_count > 0) {
        const GLsizei stride = sizeof(PackedVertex);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, stride, gap->packed[0].position);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, stride, gap->packed[0].tex_coord);
        if (per_vertex_color) {
            glEnableClientState(GL_COLOR_ARRAY);
            glColorPointer(4, GL_UNSIGNED_BYTE, stride, gap->packed[0].color);
        }
        glDrawArrays(gap->mode, 0, packed_count);
        if (per_vertex_color) glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisableClientState(GL_VERTEX_ARRAY);
    }
    // Outside a primitive the emulation keeps one colour for all vertices.
    if (gap->color_given) emscripten_glColor3f(gap->color[0], gap->color[1], gap->color[2]);
    gap->vertex_count = 0;
    gap->color_given = false;
}

// Before any call that changes what a draw depends on.
void flush() { flush_batch(gap_state()); }

}  // namespace

struct GLUquadric {
    GLenum normals;  // GLU_SMOOTH, GLU_FLAT or GLU_NONE
};

extern "C" {

void glBegin(GLenum mode) {
    if (!record(ListCall::BEGIN, mode, 0, 0, 0)) return;
    GlGap* gap = gap_state();
    if (gap->inside) return;
    if (mode != gap->mode || !joinable(mode) || gap->vertex_count > BATCH_CAPACITY - PRIMITIVE_MOST) {
        flush_batch(gap);
    }
    gap->inside = true;
    gap->mode = mode;
    gap->primitive_start = gap->vertex_count;
}

void glEnd() {
    if (!record(ListCall::END, 0, 0, 0, 0)) return;
    GlGap* gap = gap_state();
    if (!gap->inside) return;
    gap->inside = false;
    if (!joinable(gap->mode)) flush_batch(gap);
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    if (!record(ListCall::VERTEX, 0, x, y, z)) return;
    GlGap* gap = gap_state();
    if (!gap->inside) return;
    if (gap->vertex_count - gap->primitive_start == PRIMITIVE_MOST) {
        gap->overflowed = true;
        return;
    }
    Vertex& vertex = gap->vertices[gap->vertex_count++];
    vertex = Vertex{{x, y, z},
                    {gap->normal[0], gap->normal[1], gap->normal[2]},
                    {gap->tex_coord[0], gap->tex_coord[1]},
                    {gap->color[0], gap->color[1], gap->color[2]}};
}

void glColor3f(GLfloat red, GLfloat green, GLfloat blue) {
    if (!record(ListCall::COLOR, 0, red, green, blue)) return;
    GlGap* gap = gap_state();
    gap->color[0] = red;
    gap->color[1] = green;
    gap->color[2] = blue;
    if (gap->inside) {
        gap->color_given = true;
    } else {
        flush_batch(gap);
        emscripten_glColor3f(red, green, blue);
    }
}

void glNormal3f(GLfloat x, GLfloat y, GLfloat z) {
    if (!record(ListCall::NORMAL, 0, x, y, z)) return;
    GlGap* gap = gap_state();
    gap->normal[0] = x;
    gap->normal[1] = y;
    gap->normal[2] = z;
}

void glTexCoord2f(GLfloat s, GLfloat t) {
    if (!record(ListCall::TEX_COORD, 0, s, t, 0)) return;
    GlGap* gap = gap_state();
    gap->tex_coord[0] = s;
    gap->tex_coord[1] = t;
}

void glEnable(GLenum capability) {
    GlGap* gap = gap_state();
    flush_batch(gap);
    if (capability == GL_LIGHTING) {
        gap->lighting = true;
    } else if (capability >= GL_LIGHT0 && capability < GL_LIGHT0 + LIGHT_COUNT) {
        gap->lights[capability - GL_LIGHT0].enabled = true;
    } else {
        emscripten_glEnable(capability);
    }
}

void glDisable(GLenum capability) {
    GlGap* gap = gap_state();
    flush_batch(gap);
    if (capability == GL_LIGHTING) {
        gap->lighting = false;
    } else if (capability >= GL_LIGHT0 && capability < GL_LIGHT0 + LIGHT_COUNT) {
        gap->lights[capability - GL_LIGHT0].enabled = false;
    } else {
        emscripten_glDisable(capability);
    }
}

void glLightfv(GLenum light, GLenum name, const GLfloat* values) {
    if (light < GL_LIGHT0 || light >= GL_LIGHT0 + LIGHT_COUNT) return;
    flush();
    Light& target = gap_state()->lights[light - GL_LIGHT0];
    if (name == GL_AMBIENT || name == GL_DIFFUSE) {
        GLfloat* to = name == GL_AMBIENT ? target.ambient : target.diffuse;
        for (int32_t c = 0; c < 4; ++c) to[c] = values[c];
    } else if (name == GL_POSITION) {
        // Kept in eye space, as the modelview matrix stands now.
        GLfloat modelview[16] = {};
        glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
        transform(modelview, values, values[3], target.position);
        target.position[3] = values[3];
    }
}

// Calls that change what a draw depends on: what is gathered goes first.
void glFlush() {
    flush();
    emscripten_glFlush();
}
void glLoadIdentity() {
    flush();
    emscripten_glLoadIdentity();
}
void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    flush();
    emscripten_glTranslatef(x, y, z);
}
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    flush();
    emscripten_glRotatef(angle, x, y, z);
}
void glPushMatrix() {
    flush();
    emscripten_glPushMatrix();
}
void glPopMatrix() {
    flush();
    emscripten_glPopMatrix();
}
void glMatrixMode(GLenum mode) {
    flush();
    emscripten_glMatrixMode(mode);
}
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble near_plane, GLdouble far_plane) {
    flush();
    emscripten_gluPerspective(fovy, aspect, near_plane, far_plane);
}
void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    flush();
    emscripten_glViewport(x, y, width, height);
}
void glBindTexture(GLenum target, GLuint texture) {
    flush();
    emscripten_glBindTexture(target, texture);
}
void glBlendFunc(GLenum source, GLenum destination) {
    flush();
    emscripten_glBlendFunc(source, destination);
}
void glClear(GLbitfield mask) {
    flush();
    emscripten_glClear(mask);
}
void glClearColor(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha) {
    flush();
    emscripten_glClearColor(red, green, blue, alpha);
}
void glDepthFunc(GLenum function) {
    flush();
    emscripten_glDepthFunc(function);
}
void glFogf(GLenum name, GLfloat value) {
    // OpenGL refuses a negative density and keeps the one before; the
    // emulation would take it (and a fade's last step would then draw one
    // frame without fog).
    if (name == GL_FOG_DENSITY && value < 0.0f) return;
    flush();
    emscripten_glFogf(name, value);
}
void glFogi(GLenum name, GLint value) {
    flush();
    emscripten_glFogi(name, value);
}
void glFogfv(GLenum name, const GLfloat* values) {
    flush();
    emscripten_glFogfv(name, values);
}
void glTexParameteri(GLenum target, GLenum name, GLint value) {
    flush();
    emscripten_glTexParameteri(target, name, value);
}

GLuint glGenLists(GLsizei range) {
    GlGap* gap = gap_state();
    if (range <= 0 || gap->lists_given + static_cast<GLuint>(range) >= LIST_COUNT) return 0;
    GLuint first = gap->lists_given + 1;
    gap->lists_given += static_cast<GLuint>(range);
    return first;
}

void glNewList(GLuint list, GLenum mode) {
    GlGap* gap = gap_state();
    // A name not given, or a list inside a list: nothing is recorded.
    if (list == 0 || list > gap->lists_given || gap->recording != 0) return;
    gap->lists[list].count = 0;
    gap->lists[list].overflowed = false;
    gap->recording = list;
    gap->execute_too = mode == GL_COMPILE_AND_EXECUTE;
}

void glEndList() { gap_state()->recording = 0; }

void glCallList(GLuint list) {
    GlGap* gap = gap_state();
    if (list == 0 || list > gap->lists_given || list == gap->recording) return;
    const DisplayList& recorded = gap->lists[list];
    for (int32_t i = 0; i < recorded.count; ++i) replay(recorded.entries[i]);
}

void glTexImage2D(GLenum target, GLint level, GLint, GLsizei width, GLsizei height, GLint border, GLenum format,
                  GLenum type, const void* pixels) {
    flush();
    emscripten_glTexImage2D(target, level, static_cast<GLint>(format), width, height, border, format, type,
                            pixels);
}

GLUquadric* gluNewQuadric() { return new (std::nothrow) GLUquadric{GLU_SMOOTH}; }

void gluDeleteQuadric(GLUquadric* quadric) { delete quadric; }

void gluQuadricNormals(GLUquadric* quadric, GLenum normals) {
    if (quadric != nullptr) quadric->normals = normals;
}

void gluSphere(GLUquadric* quadric, GLdouble radius, GLint slices, GLint stacks) {
    if (quadric == nullptr || slices < 2 || stacks < 1) return;
    const double pi = 3.14159265358979323846;
    const double stack_angle = pi / stacks;
    const double slice_angle = 2.0 * pi / slices;
    const bool normals = quadric->normals != GLU_NONE;
    // One quad per stack and slice, corners (stack i or i + 1, slice j or
    // j + 1); the poles' quads have two corners in one point.
    glBegin(GL_QUADS);
    for (GLint i = 0; i < stacks; ++i) {
        for (GLint j = 0; j < slices; ++j) {
            const GLint corners[4][2] = {{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j + 1}};
            for (const auto& corner : corners) {
                const double rho = corner[0] * stack_angle;
                const double theta = corner[1] == slices ? 0.0 : corner[1] * slice_angle;
                const auto x = static_cast<GLfloat>(-std::sin(theta) * std::sin(rho));
                const auto y = static_cast<GLfloat>(std::cos(theta) * std::sin(rho));
                const auto z = static_cast<GLfloat>(std::cos(rho));
                if (normals) glNormal3f(x, y, z);
                glVertex3f(static_cast<GLfloat>(x * radius), static_cast<GLfloat>(y * radius),
                           static_cast<GLfloat>(z * radius));
            }
        }
    }
    glEnd();
}

}  // extern "C"
