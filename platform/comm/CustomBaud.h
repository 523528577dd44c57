#pragma once

// Baud rates that have no Bnnn constant (250000, 1000000 on some adapters, ...) go through the
// kernel's termios2 interface. Its header clashes with <termios.h>, so it lives alone in
// CustomBaud.cpp; callers see only these two functions. Both return 0 or an errno value.

int SetCustomBaud(int fd, unsigned baud);
int ReadCustomBaud(int fd, unsigned* baud);
