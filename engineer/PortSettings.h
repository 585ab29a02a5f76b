#pragma once
// The engineer window's port settings: the texts it shows and stores ("COM1", "1200bps", "1bit"),
// the port dialog's selections and the component's settings, and the rules that tie them together.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "serial/Hcomm.h"

namespace orrick {

// The four stored values; the texts exactly as shown, "NG" forms included.
struct TPortSettings {
    std::string port = "COM1";
    std::string speed = "1200bps";
    std::string stop = "1bit";
    int mode = 0;

    friend bool operator==(const TPortSettings&, const TPortSettings&) = default;
};

// Selections of the port dialog: Comport 0..1, Baudrate 0..5, Stop bit 0..1.
struct TPortSelection {
    int port = 0;
    int speed = 0;
    int stop = 0;

    friend bool operator==(const TPortSelection&, const TPortSelection&) = default;
};

inline constexpr std::array<const char*, 2> kPortTexts = {"COM1", "COM2"};
inline constexpr std::array<const char*, 6> kSpeedTexts = {"1200bps", "2400bps",  "4800bps",
                                                           "9600bps", "19200bps", "38400bps"};
inline constexpr std::array<const char*, 2> kStopTexts = {"1bit", "2bit"};
inline constexpr const char* kPortFailed = "NG";
// The names the texts are stored under.
inline constexpr const char* kPortKey = "Port";
inline constexpr const char* kSpeedKey = "Bps";
inline constexpr const char* kStopKey = "Stop";

// A stored text that the window does not know, and that the default has replaced.
struct TUnknownSetting {
    std::string key;     // kPortKey, kSpeedKey or kStopKey
    std::string stored;  // as it stood
};

// Makes the stored texts ones that the window applies as they read, so that the panel shows what
// the port runs: a port text with "NG" from a failed check becomes the port it selects ("COM2");
// any other text the window does not know ("9600", "1", "abc", a speed of "NG") gives way to the
// default. Returns what the defaults replaced.
std::vector<TUnknownSetting> KeepKnownSettings(TPortSettings& settings);

// Only the exact text "COM1" selects COM1; anything else ("COM2", "COM1NG", "NG", "") COM2.
int PortIndexOfText(const std::string& text);
// One of the six speed texts, else nothing (the dialog and the component keep their speed).
std::optional<int> SpeedIndexOfText(const std::string& text);
// Only "1bit" selects one stop bit; anything else two.
int StopIndexOfText(const std::string& text);

// The component's settings of the dialog's selections (indexes outside their range are clamped).
TCommPort CommPortOfIndex(int index);
TBaudRate BaudRateOfIndex(int index);
TStopBits StopBitsOfIndex(int index);
std::string PortTextOfIndex(int index);
std::string SpeedTextOfIndex(int index);
std::string StopTextOfIndex(int index);

// "COMPORT  COM1  1200bps  1bit"
std::string PortPanelText(const TPortSettings& settings);

}  // namespace orrick
