#include "engineer/PortSettings.h"

#include <algorithm>
#include <utility>

namespace orrick {
namespace {

template <std::size_t N>
std::size_t Clamped(int index, const std::array<const char*, N>&) {
    return static_cast<std::size_t>(std::clamp(index, 0, static_cast<int>(N) - 1));
}

}  // namespace

int PortIndexOfText(const std::string& text) {
    return text == kPortTexts[0] ? 0 : 1;
}

std::optional<int> SpeedIndexOfText(const std::string& text) {
    for (std::size_t i = 0; i < kSpeedTexts.size(); ++i) {
        if (text == kSpeedTexts[i]) return static_cast<int>(i);
    }
    return std::nullopt;
}

int StopIndexOfText(const std::string& text) {
    return text == kStopTexts[0] ? 0 : 1;
}

TCommPort CommPortOfIndex(int index) {
    return Clamped(index, kPortTexts) == 0 ? TCommPort::Com1 : TCommPort::Com2;
}

TBaudRate BaudRateOfIndex(int index) {
    static constexpr std::array<TBaudRate, 6> kRates = {
        TBaudRate::___1200bps, TBaudRate::___2400bps, TBaudRate::___4800bps,
        TBaudRate::___9600bps, TBaudRate::__19200bps, TBaudRate::__38400bps};
    return kRates[Clamped(index, kSpeedTexts)];
}

TStopBits StopBitsOfIndex(int index) {
    return Clamped(index, kStopTexts) == 0 ? TStopBits::_1bit : TStopBits::_2bit;
}

std::string PortTextOfIndex(int index) {
    return kPortTexts[Clamped(index, kPortTexts)];
}
std::string SpeedTextOfIndex(int index) {
    return kSpeedTexts[Clamped(index, kSpeedTexts)];
}
std::string StopTextOfIndex(int index) {
    return kStopTexts[Clamped(index, kStopTexts)];
}

std::vector<TUnknownSetting> KeepKnownSettings(TPortSettings& settings) {
    const TPortSettings defaults;
    std::vector<TUnknownSetting> unknown;
    const auto failed = [](const char* port) { return std::string(port) + kPortFailed; };
    const std::string& port = settings.port;
    if (port == kPortTexts[0] || port == kPortTexts[1] || port == kPortFailed ||
        port == failed(kPortTexts[0]) || port == failed(kPortTexts[1])) {
        settings.port = PortTextOfIndex(PortIndexOfText(port));
    } else {
        unknown.push_back({kPortKey, std::exchange(settings.port, defaults.port)});
    }
    if (!SpeedIndexOfText(settings.speed)) {
        unknown.push_back({kSpeedKey, std::exchange(settings.speed, defaults.speed)});
    }
    if (settings.stop != kStopTexts[0] && settings.stop != kStopTexts[1]) {
        unknown.push_back({kStopKey, std::exchange(settings.stop, defaults.stop)});
    }
    return unknown;
}

std::string PortPanelText(const TPortSettings& settings) {
    return "COMPORT  " + settings.port + "  " + settings.speed + "  " + settings.stop;
}

}  // namespace orrick
