// Keyboard and pacing on the copy worker, without a message loop.
//   flush_keyboard  - drop queued key messages; return after 400 ms without one
//   poll_cancel_key - true when an Esc key-down was queued since the last poll
//   pause           - wait on the tick count, correct across its 32-bit wrap, asleep
#ifndef SLIVERDISK_CANCEL_KEY_H
#define SLIVERDISK_CANCEL_KEY_H

#include <cstdint>

void flush_keyboard();
bool poll_cancel_key();
void pause(uint32_t milliseconds);

#endif
