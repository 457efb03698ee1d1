// The real window and context on an X display (label gl: run under Xvfb with
// a 640x480 screen of 24-bit depth, where the 640x480x32 mode is granted).
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>

#include "app/window.h"
#include "app/window_sdl.h"
#include "support/message_box_recording.h"

namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { message_box_recording_reset(); }
    void TearDown() override { destroy_window(); }

    static void expect_box(int index, const char* text, const char* caption, MessageBoxIcon icon,
                           MessageBoxButtons buttons) {
        ASSERT_GT(message_box_recording.count, index);
        const RecordedMessageBox& box = message_box_recording.boxes[index];
        EXPECT_STREQ(box.text, text);
        EXPECT_STREQ(box.caption, caption);
        EXPECT_EQ(box.icon, icon);
        EXPECT_EQ(box.buttons, buttons);
    }

    // Viewport and the 45-degree projection for that client size.
    static void expect_projection(int width, int height) {
        GLint viewport[4] = {};
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[0], 0);
        EXPECT_EQ(viewport[1], 0);
        EXPECT_EQ(viewport[2], width);
        EXPECT_EQ(viewport[3], height);
        GLfloat projection[16] = {};
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
        const double focal = 1.0 / std::tan(std::atan(1.0) / 2);  // 22.5 degrees
        const double near_plane = 0.1f, far_plane = 100.0;
        EXPECT_NEAR(projection[0], focal * height / width, 1e-5);
        EXPECT_NEAR(projection[5], focal, 1e-5);
        EXPECT_NEAR(projection[10], (far_plane + near_plane) / (near_plane - far_plane), 1e-6);
        EXPECT_NEAR(projection[14], 2 * far_plane * near_plane / (near_plane - far_plane), 1e-6);
        EXPECT_EQ(projection[11], -1.0f);
        GLint mode = 0;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW);
    }
};

TEST_F(WindowTest, FullScreenWindowWithCurrentContext) {
    ASSERT_TRUE(create_window("korvanti", 640, 480, 32, true));
    EXPECT_EQ(message_box_recording.count, 0) << message_box_recording.boxes[0].text;
    ASSERT_NE(window_state.window, nullptr);
    EXPECT_TRUE(window_state.fullscreen);
    EXPECT_NE(SDL_GetWindowFlags(window_state.window) & SDL_WINDOW_FULLSCREEN, 0u);
    EXPECT_STREQ(SDL_GetWindowTitle(window_state.window), "korvanti");
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    ASSERT_NE(window_state.render_context, nullptr);
    EXPECT_EQ(SDL_GL_GetCurrentContext(), window_state.render_context);

    GLint depth_bits = 0, red_bits = 0;
    GLboolean double_buffer = GL_FALSE;
    glGetIntegerv(GL_DEPTH_BITS, &depth_bits);
    glGetIntegerv(GL_RED_BITS, &red_bits);
    glGetBooleanv(GL_DOUBLEBUFFER, &double_buffer);
    EXPECT_GE(depth_bits, 16);
    EXPECT_GE(red_bits, 8);
    EXPECT_EQ(double_buffer, GL_TRUE);
    expect_projection(640, 480);

    GLfloat clear[4] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[3], 0.5f);
    GLint depth_function = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &depth_function);
    EXPECT_EQ(depth_function, GL_LEQUAL);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // A zero height is taken as one.
    resize_viewport(320, 0);
    expect_projection(320, 1);

    destroy_window();
    EXPECT_EQ(message_box_recording.count, 0);
    EXPECT_EQ(window_state.window, nullptr);
    EXPECT_EQ(window_state.render_context, nullptr);
    EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
}

TEST_F(WindowTest, QueuedEventsReachTheKeyTableAndTheQuitMessage) {
    ASSERT_TRUE(create_window("korvanti", 640, 480, 32, true));
    ShellMessage message = {};
    while (poll_window_message(&message)) {
        // events of the window's own start
    }
    SDL_Event key = {};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_ESCAPE;
    ASSERT_EQ(SDL_PushEvent(&key), 1);
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);
    message = {};
    ASSERT_TRUE(poll_window_message(&message));
    EXPECT_FALSE(message.quit);
    EXPECT_EQ(message.parameter, KEY_ESCAPE);
    EXPECT_TRUE(window_state.input.keys[KEY_ESCAPE]);
    ASSERT_TRUE(poll_window_message(&message));
    EXPECT_TRUE(message.quit);
    EXPECT_EQ(message.parameter, 0);
    EXPECT_TRUE(window_state.input.escape_pressed);
    window_state.input = InputState{{}, true, false};
}

// A mode the display cannot take (16 bits a pixel here) leads to the question.
TEST_F(WindowTest, RefusedModeAnsweredNoClosesTheProgram) {
    message_box_recording_reset(MessageBoxAnswer::NO);
    EXPECT_FALSE(create_window("korvanti", 640, 480, 16, true));
    ASSERT_EQ(message_box_recording.count, 2);
    expect_box(0,
               "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed "
               "Mode Instead?",
               "Zelv GL", MessageBoxIcon::WARNING, MessageBoxButtons::YES_NO);
    expect_box(1, "Program Will Now Close.", "ERROR", MessageBoxIcon::STOP, MessageBoxButtons::OK);
    EXPECT_EQ(window_state.window, nullptr);
    EXPECT_EQ(window_state.render_context, nullptr);
}

TEST_F(WindowTest, RefusedModeAnsweredYesGivesAFramedWindow) {
    message_box_recording_reset(MessageBoxAnswer::YES);
    ASSERT_TRUE(create_window("korvanti", 640, 480, 16, true));
    ASSERT_EQ(message_box_recording.count, 1);
    EXPECT_STREQ(message_box_recording.boxes[0].caption, "Zelv GL");
    EXPECT_FALSE(window_state.fullscreen);
    Uint32 flags = SDL_GetWindowFlags(window_state.window);
    EXPECT_EQ(flags & SDL_WINDOW_FULLSCREEN, 0u);
    EXPECT_EQ(flags & SDL_WINDOW_BORDERLESS, 0u);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    int width = 0, height = 0;
    SDL_GetWindowSize(window_state.window, &width, &height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_EQ(SDL_GL_GetCurrentContext(), window_state.render_context);
    expect_projection(640, 480);
    destroy_window();
    EXPECT_EQ(message_box_recording.count, 1);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
}

}  // namespace
