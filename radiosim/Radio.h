#pragma once
// The radio's personality and how it answers the terminal's network messages, as a MAP27 radio
// unit would: interrogations from its personality, acknowledgements of status and data messages,
// call progress for call set-ups, a clear for a disconnect. Pure logic: no I/O, no clock.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "radiosim/FrameText.h"

namespace radiosim {

struct GroupAddress {
    std::uint8_t pfix = 0;
    std::uint16_t ident = 0;
};

struct Personality {
    std::uint8_t pfix = 8;
    std::uint16_t ident = 2001;
    std::uint8_t manufacturerCode = 42;
    std::uint8_t model = 3;                        // 0..15
    std::uint32_t serial = 100000;                 // 18 bits
    std::uint8_t sa = 0xFE, sb = 0x00, sc = 0x00;  // supported facilities
    std::uint8_t codings = 0x86;                   // supported codings
    // What is set now (the settings answer); Radio Management overwrites it.
    std::uint8_t settingsSa = 0xFC, settingsSb = 0x00, settingsSc = 0x00, settingsCodings = 0x84;
    // Numbering information.
    std::uint16_t individualBase = 1, highestIndividual = 2000, groupBase = 100, highestGroup = 200;
    std::vector<GroupAddress> groups{{8, 101}, {16, 800}};
    // Operating condition: bit 2 in radio contact, bit 1 off-hook, bit 0 transmitting.
    std::uint8_t conditions = 0x04, fieldStrength = 0x1F, mcdt = 0x05;
    // Network information.
    std::uint16_t channel = 300, systemCode = 0x1234;
};

class Radio {
public:
    explicit Radio(Personality personality = {}) : p_(std::move(personality)) {}

    // The messages the radio sends back for one message from the terminal, in order.
    std::vector<Bytes> Answer(std::span<const std::uint8_t> message);

    // When set, a data message from the terminal also comes back as a received data message
    // from the party it was addressed to (handy for checking that nothing was lost on the way).
    void SetEcho(bool on) { echo_ = on; }
    bool Echo() const { return echo_; }

    const Personality& Current() const { return p_; }

    // The five interrogation answers.
    Bytes PersonalityAnswer() const;
    Bytes NumberingAnswer() const;
    Bytes SettingsAnswer() const;
    Bytes OperatingConditionAnswer() const;
    Bytes NetworkAnswer() const;

private:
    Personality p_;
    bool echo_ = false;
};

// A short description of a message from the terminal, for the trace.
std::string DescribeTerminalMessage(std::span<const std::uint8_t> message);

}  // namespace radiosim
