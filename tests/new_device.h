// A new simulated device, as devsim sets one up, for the tests of the
// device's own services: 10 December 2026, 12:00, with `notes` other
// programs' notifications in its store.
#pragma once

#include "device.h"

inline sim::DeviceState NewDevice(int notes = 0) {
    sim::DeviceConfig config;
    config.at = {2026, 12, 10, 12, 0, 0, 0};
    config.notes = notes;
    sim::DeviceState d;
    sim::InitDevice(d, config);
    return d;
}
