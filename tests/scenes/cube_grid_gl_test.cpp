// The cube grids: which cells show a cube, and the depth the grid moves to.
#include <GL/gl.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "scene_fixture.h"
#include "scenes/cube_grid.h"
#include "scenes/scene_sequencer.h"

namespace {

// The pictures as they should appear on screen, row 0 at the top.
const char* const WORD[7] = {
    "...#...................................#...##..",
    "...#...................................#.......",
    "...#..#..###..#.##..#...#..###..#.##..###..##..",
    "...#.#..#...#.##..#.#...#.....#.##..#..#....#..",
    "...##...#...#.#.....#...#..####.#...#..#....#..",
    "...#.#..#...#.#......#.#..#...#.#...#..#....#..",
    "#..#..#..###..#.......#....####.#...#...##.###.",
};
const char* const NUMBER[7] = {
    "..#.#...#.....", "..#.#..##.....", ".#####..#.....", "..#.#...#.....",
    ".#####..#.....", "..#.#...#.....", "..#.#.#####...",
};

struct GridCase {
    const char* name;
    int32_t order;
    const char* const* picture;
    int32_t width;
    float x_offset;
    float depth;  // cube_z set before the frame
};

using CubeGridTest = SceneTest;

// Every cell centre is covered by its cube whatever the spin (the centre lies
// inside the cube), and no neighbour's cube reaches it (the outline box's half
// diagonal, 0.35, is less than the 0.4 spacing even with perspective).
void expect_picture(const Frame& frame, const GridCase& grid) {
    int32_t set_cells = 0;
    for (int32_t row = 0; row < 7; ++row) {
        for (int32_t column = 0; column < grid.width; ++column) {
            const double x = 0.4 * (column + 1) - grid.x_offset;
            const double y = 0.4 * (7 - row) - 3.0;
            double wx = 0.0, wy = 0.0;
            ASSERT_TRUE(project_eye_point(x, y, grid.depth, &wx, &wy));
            const int32_t px = static_cast<int32_t>(wx);
            const int32_t py = SCENE_HEIGHT - 1 - static_cast<int32_t>(wy);
            ASSERT_TRUE(px >= 0 && px < SCENE_WIDTH && py >= 0 && py < SCENE_HEIGHT);
            const Rgb& p = frame.pixels[py][px];
            const bool set = grid.picture[row][column] == '#';
            set_cells += set;
            if (set) {
                EXPECT_GT(p.b, 150) << grid.name << " cell " << row << "," << column;
            } else {
                EXPECT_TRUE(p.r == 0 && p.g == 0 && p.b == 0)
                    << grid.name << " cell " << row << "," << column;
            }
        }
    }
    EXPECT_GT(set_cells, 20);
    // Nothing above the grid's top row: the upper half of the screen stays black.
    for (int32_t y = 0; y < SCENE_HEIGHT / 2 - 10; ++y) {
        for (int32_t x = 0; x < SCENE_WIDTH; ++x) {
            const Rgb& p = frame.pixels[y][x];
            ASSERT_TRUE(p.r == 0 && p.g == 0 && p.b == 0) << x << "," << y;
        }
    }
}

TEST_F(CubeGridTest, GridsShowACubeOnEverySetCellAndNothingElsewhere) {
    const GridCase grids[] = {
        {"letter_grid", 0, WORD, 47, 9.2f, -18.0f},  // the whole word fits at the rest depth
        {"number_grid", 2, NUMBER, 14, 4.2f, -10.0f},
    };
    auto frame = std::make_unique<Frame>();
    for (const GridCase& grid : grids) {
        for (int32_t frame_index = 0; frame_index < 3; ++frame_index) {
            cube_grid_state.cube_z = grid.depth;
            scene_state.spin_angle = 37.0f * static_cast<float>(frame_index);
            ASSERT_EQ(draw_at(grid.order, 60), 1);
            read_frame(frame.get());
            if (frame_index == 0) save_artifact(*frame, grid.name);
            expect_picture(*frame, grid);
        }
    }
}

// One cube as described: six blue faces, then the white outline box 0.05
// clear of them, drawn the plain way.
void draw_reference_cube() {
    const float a = 0.15f, b = 0.15f, c = 0.15f;
    const float faces[6][4][3] = {
        {{-a, b, c}, {a, b, c}, {a, -b, c}, {-a, -b, c}},
        {{-a, b, c}, {-a, b, -c}, {-a, -b, -c}, {-a, -b, c}},
        {{a, b, c}, {a, b, -c}, {a, -b, -c}, {a, -b, c}},
        {{-a, b, -c}, {a, b, -c}, {a, -b, -c}, {-a, -b, -c}},
        {{-a, b, -c}, {-a, b, c}, {a, b, c}, {a, b, -c}},
        {{-a, -b, -c}, {-a, -b, c}, {a, -b, c}, {a, -b, -c}},
    };
    glColor3f(0.0f, 0.0f, 1.0f);
    for (const auto& face : faces) {
        glBegin(GL_QUADS);
        for (const auto& v : face) glVertex3f(v[0], v[1], v[2]);
        glEnd();
    }
    const float p = 0.2f, q = 0.2f, r = 0.2f;
    const float edges[12][2][3] = {
        {{-p, q, r}, {p, q, r}},    {{p, q, r}, {p, -q, r}},    {{p, -q, r}, {-p, -q, r}},
        {{-p, -q, r}, {-p, q, r}},  {{-p, q, -r}, {p, q, -r}},  {{p, q, -r}, {p, -q, -r}},
        {{p, -q, -r}, {-p, -q, -r}}, {{-p, -q, -r}, {-p, q, -r}}, {{-p, q, r}, {-p, q, -r}},
        {{-p, -q, -r}, {-p, -q, r}}, {{p, q, r}, {p, q, -r}},    {{p, -q, -r}, {p, -q, r}},
    };
    glColor3f(1.0f, 1.0f, 1.0f);
    glBegin(GL_LINES);
    for (const auto& edge : edges) {
        for (const auto& v : edge) glVertex3f(v[0], v[1], v[2]);
    }
    glEnd();
}

// The number grid as described, at depth z with the given spin.
void draw_reference_number_grid(float z, float spin) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    for (int32_t row = 6; row >= 0; --row) {
        const int32_t i = 7 - row;
        for (int32_t column = 0; column < 14; ++column) {
            if (NUMBER[row][column] != '#') continue;
            glLoadIdentity();
            glTranslatef(0.4f * static_cast<float>(column + 1) - 4.2f,
                         0.4f * static_cast<float>(i) - 3.0f, z);
            glRotatef(spin + 2.0f * static_cast<float>(i), 0.0f, 1.0f, 1.0f);
            draw_reference_cube();
        }
    }
}

TEST_F(CubeGridTest, TheCubesAreTheDescribedBoxesTurnedAboutTheAxisZeroOneOne) {
    auto drawn = std::make_unique<Frame>();
    auto reference = std::make_unique<Frame>();
    for (float spin : {0.0f, 33.0f, 120.0f}) {
        SCOPED_TRACE(spin);
        cube_grid_state.cube_z = -8.0f;
        scene_state.spin_angle = spin;
        draw_at(3, 60);  // turns by spin + 2 before drawing
        read_frame(drawn.get());
        draw_reference_number_grid(-8.0f, spin + 2.0f);
        read_frame(reference.get());
        int64_t differing = 0;
        for (int32_t y = 0; y < SCENE_HEIGHT; ++y) {
            for (int32_t x = 0; x < SCENE_WIDTH; ++x) {
                differing += !near_colour(drawn->pixels[y][x], reference->pixels[y][x], 0);
            }
        }
        // The grid's running float sums may differ from these products in
        // the last bit: at most a pixel here and there along an edge.
        EXPECT_LE(differing, 20);
    }
}

TEST_F(CubeGridTest, CubesAreBlueWithAWhiteOutline) {
    auto frame = std::make_unique<Frame>();
    cube_grid_state.cube_z = -10.0f;
    draw_at(2, 60);
    read_frame(frame.get());
    int64_t blue = 0, white = 0, other = 0;
    for (const auto& row : frame->pixels) {
        for (const Rgb& p : row) {
            if (p.r == 0 && p.g == 0 && p.b == 0) continue;
            if (p.r == 0 && p.g == 0 && p.b == 255) {
                ++blue;
            } else if (p.r == 255 && p.g == 255 && p.b == 255) {
                ++white;
            } else {
                ++other;
            }
        }
    }
    EXPECT_GT(blue, 2000);
    EXPECT_GT(white, 500);
    EXPECT_EQ(other, 0);
}

TEST_F(CubeGridTest, WithoutKicksTheGridGlidesFromMinusTenToRestAtMinusEighteen) {
    float before = cube_grid_state.cube_z;
    ASSERT_EQ(before, -10.0f);
    int32_t frames = 0;
    while (before > -18.0f) {
        draw_at(0, 60);
        ++frames;
        EXPECT_NEAR(cube_grid_state.cube_z, before - 0.9f, 1e-5f);
        before = cube_grid_state.cube_z;
        ASSERT_LT(frames, 20);
    }
    EXPECT_EQ(frames, 9);  // -10 - 9 * 0.9 = -18.1
    draw_at(2, 60);
    EXPECT_EQ(cube_grid_state.cube_z, -18.0f);
    draw_at(0, 60);
    EXPECT_EQ(cube_grid_state.cube_z, -18.0f);
}

TEST_F(CubeGridTest, AKickOnChannelThreeJumpsToMinusEightAndGlidesBack) {
    fake_music.channels[3] = 1;
    draw_at(0, 60);
    fake_music.channels[3] = 0;
    EXPECT_NEAR(cube_grid_state.cube_z, -8.9f, 1e-5f);
    for (int32_t frame = 2; frame <= 11; ++frame) draw_at(0, 60);
    EXPECT_NEAR(cube_grid_state.cube_z, -17.9f, 1e-4f);
    EXPECT_GT(cube_grid_state.cube_z, -18.0f);
    draw_at(0, 60);
    EXPECT_NEAR(cube_grid_state.cube_z, -18.8f, 1e-4f);
    draw_at(0, 60);
    EXPECT_EQ(cube_grid_state.cube_z, -18.0f);
}

TEST_F(CubeGridTest, AKickInEveryFrameDrawsAtMinusEightEachTime) {
    auto kicked = std::make_unique<Frame>();
    auto reference = std::make_unique<Frame>();
    for (int32_t frame = 0; frame < 4; ++frame) {
        fake_music.channels[3] = frame + 1;  // any non-zero flag kicks
        scene_state.spin_angle = 10.0f;
        draw_at(2, 60);
        EXPECT_NEAR(cube_grid_state.cube_z, -8.9f, 1e-5f);
    }
    read_frame(kicked.get());
    // The same frame drawn from depth -8 without a kick.
    fake_music.channels[3] = 0;
    cube_grid_state.cube_z = -8.0f;
    scene_state.spin_angle = 10.0f;
    draw_at(2, 60);
    read_frame(reference.get());
    EXPECT_EQ(std::memcmp(kicked.get(), reference.get(), sizeof(Frame)), 0);
}

TEST_F(CubeGridTest, OnlyTheFourthChannelKicks) {
    for (int32_t channel : {0, 1, 2, 4, 31}) {
        fake_music.channels[channel] = 1;
    }
    draw_at(0, 60);
    EXPECT_NEAR(cube_grid_state.cube_z, -10.9f, 1e-5f);

    // A module of three channels fills three flags; the rest stay cleared.
    fake_music.channel_count = 3;
    fake_music.channels[3] = 1;
    draw_at(0, 60);
    EXPECT_NEAR(cube_grid_state.cube_z, -11.8f, 1e-5f);
}

TEST_F(CubeGridTest, TheSpinAddsTwoDegreesAFrame) {
    scene_state.spin_angle = 5.0f;
    for (int32_t frame = 0; frame < 10; ++frame) draw_at(frame % 4, 60);
    EXPECT_NEAR(scene_state.spin_angle, 25.0f, 1e-4f);
}

}  // namespace
