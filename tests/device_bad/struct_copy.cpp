// Deliberately unfit for the device: copying a large record is a call to memcpy.
#include <stdint.h>

struct TraceBuffer {
    uint8_t bytes[64];
};

void KeepCopy(TraceBuffer& to, const TraceBuffer& from) { to = from; }
