// Host side of the platform boundary: the seven services and the register bus
// of platform.h, served by a simulated device.
#pragma once

#include <functional>
#include <string>

#include "device.h"

namespace sim {

struct HostBinding {
    DeviceState* device = nullptr;
    std::function<void(const std::string&)> debug;  // each formatted trace text
    IoObserver io;                                  // every register access and mode change
    std::function<void()> on_limit;                 // a Sleep hit the limit; must not return
};

// Serves the platform calls of this process from `binding` until UnbindHost.
// Without a binding, the first call attaches to the state file named in the
// environment, or to a private device at the host's local time.
void BindHost(const HostBinding& binding);
void UnbindHost();

}  // namespace sim
