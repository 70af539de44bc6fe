/* Preloaded into the wine process by run-serial-wtest.sh: a pseudo-terminal takes a serial line
 * setting as a real port does. The kernel keeps a pty at 8 bits without parity and ignores the
 * rest; this system's C library then reports the whole setting as refused (EINVAL), which
 * would fail SetCommState on "COM1". Here the setting goes to the kernel as it is. No headers:
 * the program is built for the 32-bit wine loader with only a compiler at hand. */
int ioctl(int fd, unsigned long request, ...);

enum { TCSANOW_ = 0, TCSADRAIN_ = 1, TCSAFLUSH_ = 2 };
enum { TCSETS_ = 0x5402, TCSETSW_ = 0x5403, TCSETSF_ = 0x5404 };

/* The C library's termios starts with the kernel's fields, in the kernel's order. */
int tcsetattr(int fd, int action, const void* termios) {
    const unsigned long request = action == TCSADRAIN_ ? TCSETSW_ : action == TCSAFLUSH_ ? TCSETSF_ : TCSETS_;
    return ioctl(fd, request, termios);
}
