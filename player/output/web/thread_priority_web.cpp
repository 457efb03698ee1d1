// The feeder's priority in a web page: the page has one thread, and the
// blocks are rendered from its own loop, so there is nothing to raise.
#include "player/output/thread_priority.h"

namespace korvanti {

void raise_thread_priority() {}

}  // namespace korvanti
