// The feeder's priority on Windows.
#include <windows.h>

#include "player/output/thread_priority.h"

namespace korvanti {

void raise_thread_priority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL); }

}  // namespace korvanti
