#include "e2e/screen_check.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// The caption of the first window under `window` whose name starts with `prefix`.
std::string find_window_name(Display* display, Window window, const std::string& prefix) {
    char* name = nullptr;
    if (XFetchName(display, window, &name) != 0 && name != nullptr) {
        std::string text = name;
        XFree(name);
        if (text.compare(0, prefix.size(), prefix) == 0) return text;
    }
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    std::string found;
    if (XQueryTree(display, window, &root, &parent, &children, &count) != 0) {
        for (unsigned int i = 0; i < count && found.empty(); ++i) {
            found = find_window_name(display, children[i], prefix);
        }
        if (children != nullptr) XFree(children);
    }
    return found;
}

}  // namespace

ScreenState look_at_screen(const std::string& caption_prefix) {
    ScreenState state = {false, "", 0, 0};
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return state;
    state.opened = true;
    Window root = DefaultRootWindow(display);
    state.caption = find_window_name(display, root, caption_prefix);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    XImage* image = XGetImage(display, root, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (image != nullptr) {
        for (int y = 0; y < attributes.height; ++y) {
            for (int x = 0; x < attributes.width; ++x) {
                state.lit_pixels += (XGetPixel(image, x, y) & 0xFFFFFF) != 0 ? 1 : 0;
            }
        }
        state.pixels = long{attributes.width} * attributes.height;
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return state;
}
