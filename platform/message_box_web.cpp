// Message boxes in a web page: the text, under its caption, is shown on the
// page over the picture, which goes on; the page's state becomes "error". A
// question is answered No (no question is asked in a page).
#include <cstdio>

#include "platform/platform.h"

extern "C" void korvanti_page_report(const char* caption, const char* text);

MessageBoxAnswer show_message_box(const char* text, const char* caption, MessageBoxIcon, MessageBoxButtons buttons) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    korvanti_page_report(caption, text);
    return buttons == MessageBoxButtons::YES_NO ? MessageBoxAnswer::NO : MessageBoxAnswer::OK;
}
