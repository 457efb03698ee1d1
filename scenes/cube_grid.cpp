// The cube-grid scenes and the cube they are built of.
#include "scenes/cube_grid.h"

#include <GL/gl.h>

#include "scenes/scene_sequencer.h"

CubeGridState cube_grid_state = {0, -10.0f};

namespace {

constexpr int32_t GRID_ROWS = 7;
constexpr int32_t CHANNEL_COUNT = 32;
constexpr int32_t KICK_CHANNEL = 3;  // the fourth channel's notes push the grid forward
constexpr float KICK_Z = -8.0f;
constexpr float REST_Z = -18.0f;
constexpr float GLIDE_STEP = 0.9f;

// A picture of cubes: row 0 is the top row, '#' is a cube.
struct CubeBitmap {
    const char* rows[GRID_ROWS];
    int32_t width;   // cells per row
    float x_offset;  // column j sits at x = 0.4 * (j + 1) - x_offset
};

const CubeBitmap LETTER_BITMAP = {
    {
        "...#...................................#...##..",
        "...#...................................#.......",
        "...#..#..###..#.##..#...#..###..#.##..###..##..",
        "...#.#..#...#.##..#.#...#.....#.##..#..#....#..",
        "...##...#...#.#.....#...#..####.#...#..#....#..",
        "...#.#..#...#.#......#.#..#...#.#...#..#....#..",
        "#..#..#..###..#.......#....####.#...#...##.###.",
    },
    47,
    9.2f,
};

const CubeBitmap NUMBER_BITMAP = {
    {
        "..#.#...#.....",
        "..#.#..##.....",
        ".#####..#.....",
        "..#.#...#.....",
        ".#####..#.....",
        "..#.#...#.....",
        "..#.#.#####...",
    },
    14,
    4.2f,
};

void emit_quad(float x0, float y0, float z0, float x1, float y1, float z1, float x2, float y2,
               float z2, float x3, float y3, float z3) {
    glBegin(GL_QUADS);
    glVertex3f(x0, y0, z0);
    glVertex3f(x1, y1, z1);
    glVertex3f(x2, y2, z2);
    glVertex3f(x3, y3, z3);
    glEnd();
}

void emit_edge(float x0, float y0, float z0, float x1, float y1, float z1) {
    glVertex3f(x0, y0, z0);
    glVertex3f(x1, y1, z1);
}

// The outline: front face edges, back face edges, then the four depth edges.
void emit_outline(float p, float q, float r) {
    glBegin(GL_LINES);
    const float faces[2] = {r, -r};
    for (float z : faces) {
        emit_edge(-p, q, z, p, q, z);
        emit_edge(p, q, z, p, -q, z);
        emit_edge(p, -q, z, -p, -q, z);
        emit_edge(-p, -q, z, -p, q, z);
    }
    emit_edge(-p, q, r, -p, q, -r);
    emit_edge(-p, -q, -r, -p, -q, r);
    emit_edge(p, q, r, p, q, -r);
    emit_edge(p, -q, -r, p, -q, r);
    glEnd();
}

void draw_grid(const CubeBitmap& bitmap) {
    int32_t channel_values[CHANNEL_COUNT] = {};
    scene_music.channel_values(channel_values);
    if (channel_values[KICK_CHANNEL] != 0) cube_grid_state.cube_z = KICK_Z;
    scene_state.spin_angle += 2.0f;

    // x and y are running float sums of 0.4 steps, bottom row first.
    float y = -3.0f;
    for (int32_t i = 1; i <= GRID_ROWS; ++i) {
        y += 0.4f;
        const char* cells = bitmap.rows[GRID_ROWS - i];
        const float angle = scene_state.spin_angle + 2.0f * static_cast<float>(i);
        float x = -bitmap.x_offset;
        for (int32_t j = 0; j < bitmap.width; ++j) {
            x += 0.4f;
            if (cells[j] != '#') continue;
            glLoadIdentity();
            glTranslatef(x, y, cube_grid_state.cube_z);
            glRotatef(angle, 0.0f, 1.0f, 1.0f);
            glPushMatrix();
            glCallList(cube_grid_state.cube_list);
            glPopMatrix();
        }
    }

    // The glide overshoots -18 once by less than a step; the next frame pins it.
    if (cube_grid_state.cube_z > REST_Z) {
        cube_grid_state.cube_z -= GLIDE_STEP;
    } else {
        cube_grid_state.cube_z = REST_Z;
    }
}

}  // namespace

void draw_cube(float width, float height, float depth) {
    const float a = width / 2.0f;
    const float b = height / 2.0f;
    const float c = depth / 2.0f;
    glColor3f(0.0f, 0.0f, 1.0f);
    emit_quad(-a, b, c, a, b, c, a, -b, c, -a, -b, c);        // front
    emit_quad(-a, b, c, -a, b, -c, -a, -b, -c, -a, -b, c);    // left
    emit_quad(a, b, c, a, b, -c, a, -b, -c, a, -b, c);        // right
    emit_quad(-a, b, -c, a, b, -c, a, -b, -c, -a, -b, -c);    // back
    emit_quad(-a, b, -c, -a, b, c, a, b, c, a, b, -c);        // top
    emit_quad(-a, -b, -c, -a, -b, c, a, -b, c, a, -b, -c);    // bottom
    glColor3f(1.0f, 1.0f, 1.0f);
    emit_outline(a + 0.05f, b + 0.05f, c + 0.05f);
}

void build_cube_list() {
    cube_grid_state.cube_list = glGenLists(1);
    glNewList(cube_grid_state.cube_list, GL_COMPILE);
    draw_cube(0.3f, 0.3f, 0.3f);
    glEndList();
}

void draw_letter_grid() { draw_grid(LETTER_BITMAP); }

void draw_number_grid() { draw_grid(NUMBER_BITMAP); }

void reset_cube_grid() { cube_grid_state = CubeGridState{0, -10.0f}; }
