// The keyboard and activity state that the window's messages write and the
// main loop reads, both on the main thread.
#pragma once

#include <cstdint>

// Virtual-key code of Escape, the one key the loop looks at.
constexpr uint8_t KEY_ESCAPE = 0x1B;

struct InputState {
    bool keys[256];       // key-down flag per virtual-key code 0..255
    bool active;          // false while the window is minimised; starts true
    // An Escape key-down came since the loop last looked. A quick tap
    // brings its key-down and key-up in one drain of the queue, which
    // leaves the key's flag false by the time the loop looks.
    bool escape_pressed;
};

// What the window procedure does with a key message.
inline void input_key_down(InputState* input, uint8_t key) {
    input->keys[key] = true;
    if (key == KEY_ESCAPE) input->escape_pressed = true;
}

inline void input_key_up(InputState* input, uint8_t key) { input->keys[key] = false; }
