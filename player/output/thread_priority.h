// The feeder's thread priority.
#pragma once

namespace korvanti {

// Raises the calling thread to time-critical priority where the system
// grants it (SCHED_FIFO on POSIX needs the privilege); without it the thread
// simply stays at normal priority.
void raise_thread_priority();

}  // namespace korvanti
