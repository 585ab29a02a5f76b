#pragma once
// Line speeds without a Bnnn constant (14400, 56000 and 128000 bit/s) can only be set through the
// kernel's termios2 interface (TCSETS2 with BOTHER). Its header <asm/termbits.h> defines its own
// struct termios and clashes with <termios.h>, so that interface lives alone in CustomSpeed.cpp
// and the rest of the component never sees it.
class TSerialSystem;

// Sets input and output speed to bitsPerSecond, leaving every other setting as it is.
// 0 on success, -1 with errno on failure.
int SetCustomLineSpeed(TSerialSystem& system, int fd, unsigned bitsPerSecond);
// Reads input and output speed in bit/s as the kernel holds them (also after a custom speed).
int GetLineSpeed(TSerialSystem& system, int fd, unsigned& inputBitsPerSecond,
                 unsigned& outputBitsPerSecond);
