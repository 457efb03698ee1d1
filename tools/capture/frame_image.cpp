// Pictures into output frames: GL reads rows bottom-up, video and PNG want
// them top-down, and a 4:3 picture sits in the middle of a wider frame.
#include <cstring>

#include "tools/capture/capture.h"

void place_picture(const uint8_t* bottom_up, const FrameLayout& layout, uint8_t* frame) {
    const size_t picture_row = static_cast<size_t>(layout.render_width) * 3;
    const size_t frame_row = static_cast<size_t>(layout.frame_width) * 3;
    const size_t left_bar = static_cast<size_t>((layout.frame_width - layout.render_width) / 2) * 3;
    for (int32_t y = 0; y < layout.render_height; ++y) {
        const uint8_t* from = bottom_up + static_cast<size_t>(layout.render_height - 1 - y) * picture_row;
        std::memcpy(frame + static_cast<size_t>(y) * frame_row + left_bar, from, picture_row);
    }
}
