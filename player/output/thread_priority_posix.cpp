// The feeder's priority on POSIX systems.
#include <pthread.h>
#include <sched.h>

#include "player/output/thread_priority.h"

namespace korvanti {

void raise_thread_priority() {
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

}  // namespace korvanti
