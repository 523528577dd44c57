#pragma once

// Asks the driver to hand over received bytes at once. FTDI adapters otherwise hold them for
// their 16 ms latency timer, so every request from the box would arrive up to 16 ms late.
// Best effort: ptys and many drivers answer ENOTTY, and nothing depends on the outcome.
void TrySetLowLatency(int fd);
