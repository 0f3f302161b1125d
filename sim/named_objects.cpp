#include "named_objects.h"

#include <cstdio>
#include <cstring>

#include "device.h"
#include "owner_device.h"

namespace sim {

namespace {

NamedMutex* Named(DeviceState& d, const std::string& name) {
    for (NamedMutex& m : d.os.mutexes) {
        if (m.opens != 0 && name == m.name) {
            return &m;
        }
    }
    return nullptr;
}

NamedMutex* FreeSlot(DeviceState& d) {
    for (NamedMutex& m : d.os.mutexes) {
        if (m.opens == 0) {
            return &m;
        }
    }
    return nullptr;
}

}  // namespace

std::optional<uint32_t> DeviceCreateMutex(DeviceState& d, bool attributes_given,
                                          const std::optional<std::string>& name, size_t units) {
    if (attributes_given) {
        RecordViolation(d, "CreateMutexW given security attributes, which must be NULL on this "
                           "platform");
        return std::nullopt;
    }
    if (name && units > kMaxMutexNameUnits) {
        d.os.last_error = kErrorFilenameExcedRange;
        return std::nullopt;
    }
    NamedMutex* open = name ? Named(d, *name) : nullptr;
    NamedMutex* slot = name && open == nullptr ? FreeSlot(d) : open;
    const std::optional<uint32_t> handle =
        !name || slot != nullptr ? GiveProcessHandle(d) : std::nullopt;
    if (!handle) {
        d.os.last_error = kErrorNotEnoughMemory;
        return std::nullopt;
    }
    uint8_t kind = kUnnamedMutex;
    if (slot != nullptr) {
        if (open == nullptr) {
            std::snprintf(slot->name, sizeof slot->name, "%s", name->c_str());
        }
        ++slot->opens;
        kind = static_cast<uint8_t>(slot - d.os.mutexes + 1);
    }
    for (size_t i = 0; i < kMaxHandles; ++i) {
        if (d.os.handles[i] == *handle) {
            d.os.handle_kinds[i] = kind;
        }
    }
    d.os.last_error = open != nullptr ? kErrorAlreadyExists : 0;
    return handle;
}

void DropHandle(DeviceState& d, size_t i) {
    const uint8_t kind = d.os.handle_kinds[i];
    if (kind != kProcessHandle && kind != kUnnamedMutex && kind <= kMaxMutexes &&
        d.os.mutexes[kind - 1].opens > 0) {
        --d.os.mutexes[kind - 1].opens;
    }
    d.os.handles[i] = 0;
    d.os.handle_kinds[i] = kProcessHandle;
}

void ClearMutexes(DeviceState& d) {
    for (NamedMutex& m : d.os.mutexes) {
        m = NamedMutex{};
    }
}

bool SaneMutexes(const DeviceState& d) {
    bool sane = true;
    for (const NamedMutex& m : d.os.mutexes) {
        sane = sane && std::memchr(m.name, '\0', sizeof m.name) != nullptr;
    }
    for (size_t i = 0; i < kMaxHandles; ++i) {
        const uint8_t kind = d.os.handle_kinds[i];
        const bool named = kind != kProcessHandle && kind != kUnnamedMutex;
        sane = sane && (kind == kProcessHandle || d.os.handles[i] != 0) &&
               (!named || (kind <= kMaxMutexes && d.os.mutexes[kind - 1].opens > 0));
    }
    return sane;
}

}  // namespace sim
