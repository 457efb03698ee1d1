// The window and its OpenGL context through Win32 and WGL: the window class
// "korvanti", the temporary 640x480x32 display mode (or a framed window after
// the user accepts the fallback), a double-buffered pixel format with a
// 16-bit depth buffer, and the window procedure that keeps the keys and the
// activity flag, and gives the desktop its mode back while the program is
// not the active one.
#include "app/window.h"

#include <windows.h>

#include <GL/gl.h>

#include <cstring>

#include "app/display_switch.h"
#include "app/window_common.h"
#include "platform/platform.h"

namespace {

constexpr const char* CLASS_NAME = "korvanti";

struct Win32Window {
    bool fullscreen;             // the display mode was (or is to be) changed
    HWND window;                 // null when there is none
    HDC device_context;          // null when there is none
    HGLRC render_context;        // null when there is none
    HINSTANCE instance;          // the program's module, for the class
    bool pixel_format_filled;    // pixel_format is filled on the first call only
    PIXELFORMATDESCRIPTOR pixel_format;
    InputState input;            // keys and `active`, written by window_proc
    DEVMODEA mode;               // the temporary mode, asked for again on reactivation
    DisplaySwitch display;       // whether that mode is set now
};

Win32Window state = {true, nullptr, nullptr, nullptr, nullptr, false, {}, {{}, true, false}, {}, {}};

bool take_display_mode() {
    return ChangeDisplaySettingsA(&state.mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
}
void give_back_display_mode() { ChangeDisplaySettingsA(nullptr, 0); }
void minimise_window() { ShowWindow(state.window, SW_MINIMIZE); }
void restore_window() { ShowWindow(state.window, SW_RESTORE); }
void show_cursor(bool shown) { ShowCursor(shown ? TRUE : FALSE); }

const DisplayOps DISPLAY_OPS = {take_display_mode, give_back_display_mode, minimise_window,
                                restore_window, show_cursor};

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

bool register_window_class() {
    WNDCLASSA window_class = {};
    window_class.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    window_class.lpfnWndProc = window_proc;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = 0;
    window_class.hInstance = state.instance;
    window_class.hIcon = LoadIcon(nullptr, IDI_WINLOGO);
    window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    window_class.hbrBackground = nullptr;
    window_class.lpszMenuName = nullptr;
    window_class.lpszClassName = CLASS_NAME;
    return RegisterClassA(&window_class) != 0;
}

// The temporary full-screen mode; on refusal the user may go on in a window.
// False when the program is to close.
bool enter_display_mode(int width, int height, int bits_per_pixel) {
    DEVMODEA& mode = state.mode;
    std::memset(&mode, 0, sizeof mode);
    mode.dmSize = sizeof mode;
    mode.dmPelsWidth = static_cast<DWORD>(width);
    mode.dmPelsHeight = static_cast<DWORD>(height);
    mode.dmBitsPerPel = static_cast<DWORD>(bits_per_pixel);
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    if (take_display_mode()) {
        ShowCursor(FALSE);
        display_switch_start(&state.display);
        return true;
    }
    if (!accept_windowed_mode()) return false;
    state.fullscreen = false;
    return true;
}

// Window-drawable, double-buffered RGBA with the given colour depth and a
// 16-bit depth buffer; nothing else asked for.
void fill_pixel_format(int bits_per_pixel) {
    PIXELFORMATDESCRIPTOR& format = state.pixel_format;
    std::memset(&format, 0, sizeof format);
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = static_cast<BYTE>(bits_per_pixel);
    format.cDepthBits = 16;
    format.iLayerType = PFD_MAIN_PLANE;
    state.pixel_format_filled = true;
}

// Device context, pixel format, rendering context, made current.
bool create_context(int bits_per_pixel) {
    if (!state.pixel_format_filled) fill_pixel_format(bits_per_pixel);
    state.device_context = GetDC(state.window);
    if (state.device_context == nullptr) return creation_failed("Can't Create A GL Device Context.");
    int format = ChoosePixelFormat(state.device_context, &state.pixel_format);
    if (format == 0) return creation_failed("Can't Find A Suitable PixelFormat.");
    if (!SetPixelFormat(state.device_context, format, &state.pixel_format)) {
        return creation_failed("Can't Set The PixelFormat.");
    }
    state.render_context = wglCreateContext(state.device_context);
    if (state.render_context == nullptr) return creation_failed("Can't Create A GL Rendering Context.");
    if (!wglMakeCurrent(state.device_context, state.render_context)) {
        return creation_failed("Can't Activate The GL Rendering Context.");
    }
    return true;
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_ACTIVATE:
            // The high word is the minimised state; losing the focus alone keeps it active.
            state.input.active = HIWORD(wparam) == 0;
            return 0;
        case WM_ACTIVATEAPP:
            // Another program's window became the active one, or ours again.
            // Not sent for our own message boxes, which share this thread.
            display_switch_activation(&state.display, &DISPLAY_OPS, wparam != FALSE);
            return 0;
        case WM_SYSCOMMAND:
            // Neither the screen saver nor monitor power-down may start.
            if (wparam == SC_SCREENSAVE || wparam == SC_MONITORPOWER) return 0;
            break;
        case WM_CLOSE:
            PostQuitMessage(0);
            return 0;
        case WM_KEYDOWN:
            if (wparam < 256) input_key_down(&state.input, static_cast<uint8_t>(wparam));
            return 0;
        case WM_KEYUP:
            if (wparam < 256) input_key_up(&state.input, static_cast<uint8_t>(wparam));
            return 0;
        case WM_SIZE:
            // The minimised state is kept here too: the window minimised
            // while another program is active may be activated again before
            // it is restored, and WM_ACTIVATE then still calls it minimised.
            if (wparam == SIZE_MINIMIZED) state.input.active = false;
            if (wparam == SIZE_RESTORED || wparam == SIZE_MAXIMIZED) state.input.active = true;
            resize_viewport(LOWORD(lparam), HIWORD(lparam));
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

bool create_window(const char* title, int width, int height, int bits_per_pixel,
                   bool fullscreen_wanted) {
    state.fullscreen = fullscreen_wanted;
    RECT rectangle = {0, 0, width, height};
    state.instance = GetModuleHandleA(nullptr);
    if (!register_window_class()) {
        creation_error("Failed To Register The Window Class.");
        return false;
    }
    if (state.fullscreen && !enter_display_mode(width, height, bits_per_pixel)) {
        return false;  // the class stays registered
    }
    DWORD style = state.fullscreen ? WS_POPUP : WS_OVERLAPPEDWINDOW;
    DWORD extended_style = state.fullscreen ? WS_EX_APPWINDOW : WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
    AdjustWindowRectEx(&rectangle, style, FALSE, extended_style);
    state.window = CreateWindowExA(extended_style, CLASS_NAME, title,
                                   style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                                   rectangle.right - rectangle.left, rectangle.bottom - rectangle.top,
                                   nullptr, nullptr, state.instance, nullptr);
    if (state.window == nullptr) return creation_failed("Window Creation Error.");
    if (!create_context(bits_per_pixel)) return false;
    ShowWindow(state.window, SW_SHOW);
    SetForegroundWindow(state.window);
    SetFocus(state.window);
    resize_viewport(width, height);
    if (!init_gl_state()) return creation_failed("Initialization Failed.");
    return true;
}

void destroy_window() {
    // The user's own display mode, from the registry, and the cursor; both
    // are back already while the program is not the active one.
    if (state.fullscreen) display_switch_end(&state.display, &DISPLAY_OPS);
    if (state.render_context != nullptr) {
        if (!wglMakeCurrent(nullptr, nullptr)) shutdown_error("Release Of DC And RC Failed.");
        if (!wglDeleteContext(state.render_context)) shutdown_error("Release Rendering Context Failed.");
        state.render_context = nullptr;
    }
    if (state.device_context != nullptr) {
        if (!ReleaseDC(state.window, state.device_context)) shutdown_error("Release Device Context Failed.");
        state.device_context = nullptr;
    }
    if (state.window != nullptr) {
        if (!DestroyWindow(state.window)) shutdown_error("Could Not Release hWnd.");
        state.window = nullptr;
    }
    if (state.instance != nullptr) {
        if (!UnregisterClassA(CLASS_NAME, state.instance)) shutdown_error("Could Not Unregister Class.");
        state.instance = nullptr;
    }
}

bool poll_window_message(ShellMessage* message) {
    MSG taken;
    if (!PeekMessageA(&taken, nullptr, 0, 0, PM_REMOVE)) return false;
    message->quit = taken.message == WM_QUIT;
    message->parameter = static_cast<int32_t>(taken.wParam);
    if (!message->quit) {
        TranslateMessage(&taken);
        DispatchMessageA(&taken);
    }
    return true;
}

void swap_window_buffers() { SwapBuffers(state.device_context); }

void set_window_caption(const char* caption) { SetWindowTextA(state.window, caption); }

InputState* window_input() { return &state.input; }

void report_music_failure(const char* text) {
    if (text[0] == '\0') return;
    show_message_box(text, "ERROR", MessageBoxIcon::WARNING, MessageBoxButtons::OK);
}
