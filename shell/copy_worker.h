// The copy worker: the one background thread on which the jobs run.
//   create_copy_worker  - creates it suspended, normal priority; false when it could not be made
//   stop_copy_worker    - suspends it and closes its handle (shutdown; it is idle then)
//   copy_worker_busy    - true while a job runs; the main window drops commands then
//   request_jobs        - set the split and/or re-assemble request and wake the worker for one
//                         pass; returns once that pass has begun (main thread)
//   copy_worker_passes  - number of wake-ups the worker has started (tests and diagnostics)
#ifndef SLIVERDISK_COPY_WORKER_H
#define SLIVERDISK_COPY_WORKER_H

#include <cstdint>

bool create_copy_worker();
void stop_copy_worker();
bool copy_worker_busy();
void request_jobs(bool split, bool reassemble);
uint32_t copy_worker_passes();

#endif
