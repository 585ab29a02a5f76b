#pragma once
// Orrick's settings between runs, in the per-user store QSettings("halberd", "orrick") (on Linux
// ~/.config/halberd/orrick.conf): "Port", "Bps" and "Stop" as strings, "Mode" as an integer.
#include <QString>

#include "engineer/PortSettings.h"

namespace orrick {

struct TLoadedSettings {
    TPortSettings values;
    // One text for everything that could not be read (empty when all went well); the values then
    // hold the defaults in place of what was unreadable.
    QString problem;
    // Stored texts that the window does not know, replaced by the defaults in values.
    std::vector<TUnknownSetting> unknown;
};

// Reads the store without creating it. No stored value at all: "COM1", "1200bps", "1bit", 0.
// Otherwise the texts are made ones the window knows (KeepKnownSettings; a missing one reads as
// empty text), and a "Mode" that is missing, not an integer or not one of 0, 1, 2 is reported and
// read as 0.
TLoadedSettings LoadPortSettings();

// Writes the four values exactly as they stand; returns an error text, or an empty one on success.
QString StorePortSettings(const TPortSettings& values);

// Whether the received lines start with their time ("TimeStamps"; off when not stored).
bool LoadTimeStamps();
// Returns an error text, or an empty one on success.
QString StoreTimeStamps(bool on);

}  // namespace orrick
