// Keyboard and pacing. PLACEHOLDER until the display work lands.
#include "display/cancel_key.h"

void flush_keyboard() {}
bool poll_cancel_key() { return false; }
void pause(uint32_t) {}
