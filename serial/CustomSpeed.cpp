// Only kernel headers here: <termios.h> must not be included in this file (see CustomSpeed.h).
#include "serial/CustomSpeed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

#include "serial/SerialSystem.h"

int SetCustomLineSpeed(TSerialSystem& system, int fd, unsigned bitsPerSecond) {
    termios2 settings{};
    if (system.Ioctl(fd, TCGETS2, &settings) < 0) {
        return -1;
    }
    settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = bitsPerSecond;
    settings.c_ospeed = bitsPerSecond;
    return system.Ioctl(fd, TCSETS2, &settings);
}

int GetLineSpeed(TSerialSystem& system, int fd, unsigned& inputBitsPerSecond,
                 unsigned& outputBitsPerSecond) {
    termios2 settings{};
    if (system.Ioctl(fd, TCGETS2, &settings) < 0) {
        return -1;
    }
    inputBitsPerSecond = settings.c_ispeed;
    outputBitsPerSecond = settings.c_ospeed;
    return 0;
}
