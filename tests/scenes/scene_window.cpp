#include "scene_window.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <vector>

bool open_scene_window(SceneWindow* out, std::string* error) {
    *out = SceneWindow{nullptr, nullptr};
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        *error = SDL_GetError();
        return false;
    }
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    out->window = SDL_CreateWindow("scenes", 0, 0, SCENE_WIDTH, SCENE_HEIGHT, SDL_WINDOW_OPENGL);
    if (!out->window) {
        *error = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    out->context = SDL_GL_CreateContext(out->window);
    if (!out->context || SDL_GL_MakeCurrent(out->window, out->context) != 0) {
        *error = SDL_GetError();
        close_scene_window(out);
        return false;
    }
    SDL_GL_SetSwapInterval(0);
    set_scene_projection();
    return true;
}

void close_scene_window(SceneWindow* window) {
    if (window->context) SDL_GL_DeleteContext(window->context);
    if (window->window) SDL_DestroyWindow(window->window);
    if (window->window) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    *window = SceneWindow{nullptr, nullptr};
}

void set_scene_projection() {
    glViewport(0, 0, SCENE_WIDTH, SCENE_HEIGHT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(SCENE_WIDTH) / SCENE_HEIGHT,
                   static_cast<double>(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void read_frame(Frame* frame) {
    static uint8_t rows[SCENE_HEIGHT][SCENE_WIDTH][3];
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, SCENE_WIDTH, SCENE_HEIGHT, GL_RGB, GL_UNSIGNED_BYTE, rows);
    for (int32_t y = 0; y < SCENE_HEIGHT; ++y) {
        for (int32_t x = 0; x < SCENE_WIDTH; ++x) {
            const uint8_t* p = rows[SCENE_HEIGHT - 1 - y][x];
            frame->pixels[y][x] = Rgb{p[0], p[1], p[2]};
        }
    }
}

bool project_eye_point(double x, double y, double z, double* window_x, double* window_y) {
    const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    double projection[16];
    GLint viewport[4];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    double window_z = 0.0;
    return gluProject(x, y, z, identity, projection, viewport, window_x, window_y, &window_z) ==
           GL_TRUE;
}

namespace {

uint32_t crc32_of(const uint8_t* data, size_t size, uint32_t crc) {
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put_u32_be(std::vector<uint8_t>* out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<uint8_t>(value >> shift));
}

void put_chunk(std::vector<uint8_t>* out, const char* type, const std::vector<uint8_t>& body) {
    put_u32_be(out, static_cast<uint32_t>(body.size()));
    std::vector<uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    out->insert(out->end(), typed.begin(), typed.end());
    put_u32_be(out, crc32_of(typed.data(), typed.size(), 0));
}

}  // namespace

bool write_png(const Frame& frame, const std::string& path) {
    // Scanlines with filter byte 0, wrapped in a zlib stream of stored blocks.
    std::vector<uint8_t> raw;
    for (int32_t y = 0; y < SCENE_HEIGHT; ++y) {
        raw.push_back(0);
        for (int32_t x = 0; x < SCENE_WIDTH; ++x) {
            const Rgb& p = frame.pixels[y][x];
            raw.insert(raw.end(), {p.r, p.g, p.b});
        }
    }
    std::vector<uint8_t> zlib = {0x78, 0x01};
    for (size_t pos = 0; pos < raw.size();) {
        const size_t n = std::min<size_t>(65535, raw.size() - pos);
        const bool last = pos + n == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.insert(zlib.end(), {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                                 static_cast<uint8_t>(~n), static_cast<uint8_t>(~n >> 8)});
        zlib.insert(zlib.end(), raw.begin() + static_cast<long>(pos),
                    raw.begin() + static_cast<long>(pos + n));
        pos += n;
        if (last) break;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    put_u32_be(&zlib, (b << 16) | a);

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    put_u32_be(&header, SCENE_WIDTH);
    put_u32_be(&header, SCENE_HEIGHT);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
    put_chunk(&png, "IHDR", header);
    put_chunk(&png, "IDAT", zlib);
    put_chunk(&png, "IEND", {});

    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    return std::fclose(file) == 0 && written;
}
