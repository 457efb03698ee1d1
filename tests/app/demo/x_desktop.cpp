#include "x_desktop.h"

#include <dlfcn.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>

namespace {

// libXtst is there wherever the PulseAudio server is (it depends on it), but
// its header may not be: its one call is looked up at run time.
using FakeKeyEvent = int (*)(Display*, unsigned int, Bool, unsigned long);

FakeKeyEvent fake_key_event(std::string* error) {
    static void* library = dlopen("libXtst.so.6", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        *error = "libXtst.so.6 cannot be loaded: " + std::string(dlerror());
        return nullptr;
    }
    auto call = reinterpret_cast<FakeKeyEvent>(dlsym(library, "XTestFakeKeyEvent"));
    if (call == nullptr) *error = "libXtst.so.6 has no XTestFakeKeyEvent";
    return call;
}

std::string window_name(Display* display, Window window) {
    char* name = nullptr;
    if (XFetchName(display, window, &name) == 0 || name == nullptr) return "";
    std::string text = name;
    XFree(name);
    return text;
}

}  // namespace

bool x_tap_key(const char* key_name, std::string* error) {
    FakeKeyEvent fake = fake_key_event(error);
    if (fake == nullptr) return false;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        *error = "no X display";
        return false;
    }
    KeyCode code = XKeysymToKeycode(display, XStringToKeysym(key_name));
    bool done = code != 0 && fake(display, code, True, CurrentTime) != 0 &&
                fake(display, code, False, CurrentTime) != 0;
    XSync(display, False);
    XCloseDisplay(display);
    if (!done) *error = std::string("the key ") + key_name + " could not be sent";
    return done;
}

std::string x_frontmost_window_name() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return "";
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    std::string name;
    // The root's children come bottom first: the last one shown is in front.
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) != 0) {
        for (unsigned int i = count; i-- > 0 && name.empty();) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(display, children[i], &attributes) == 0) continue;
            if (attributes.map_state != IsViewable || attributes.c_class != InputOutput) continue;
            if (attributes.width <= 1 || attributes.height <= 1) continue;
            name = window_name(display, children[i]);
            if (name.empty()) name = "(unnamed)";
        }
        if (children != nullptr) XFree(children);
    }
    XCloseDisplay(display);
    return name;
}

bool x_cursor_visible() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    bool visible = false;
    int event_base = 0, error_base = 0;
    if (XFixesQueryExtension(display, &event_base, &error_base)) {
        XFixesCursorImage* cursor = XFixesGetCursorImage(display);
        if (cursor != nullptr) {
            const unsigned long pixels = static_cast<unsigned long>(cursor->width) * cursor->height;
            for (unsigned long i = 0; i < pixels && !visible; ++i) {
                visible = (cursor->pixels[i] >> 24 & 0xFF) != 0;  // ARGB, one a long
            }
            XFree(cursor);
        }
    }
    XCloseDisplay(display);
    return visible;
}
