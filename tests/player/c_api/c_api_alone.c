/* korvanti/player.h by itself: the first and only include of this file, so
 * everything it uses must come from the header (size_t and offsetof from
 * <stddef.h>, the fixed-width types and their limits from <stdint.h>, bool
 * from <stdbool.h>). Included twice: the guard holds. */
#include "korvanti/player.h"
#include "korvanti/player.h"

size_t header_alone_offset(void);

size_t header_alone_offset(void) {
    bool whole = true;
    int64_t frames = INT64_MAX;
    uint8_t order = UINT8_MAX;
    size_t bytes = SIZE_MAX;
    korvanti_read_fn read = NULL;
    return whole && frames > 0 && order > 0 && bytes > 0 && read == NULL ? offsetof(korvanti_position, channels)
                                                                         : 0;
}
