// cerun --serve: a resident runner for a caller that starts many programs
// (devsim years --arm). Each request is one launch, run in this process on
// an emulator kept per image and put back as first mapped before every
// launch (resident.h): no process start, no new translation of the same
// code. A launch that faults or does not end is run again from the device
// as it was before it, by `cerun IMAGE` started anew with every check, and
// that run's report and status stand.
#pragma once

namespace cerun {

// Request on `fd`: a 32-bit length, then the program's name, the image's
// path, the state file and "1" or "0" for quiet (the trace dropped), each
// NUL-terminated. Reply: the launch's 32-bit wait status. Returns when the
// caller closes the socket.
int Serve(int fd);

}  // namespace cerun
