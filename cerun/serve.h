// cerun --serve: a resident runner for a caller that starts many programs
// (devsim years --arm). Setting up the emulator costs more than a whole
// program run, so it is done once; each request then forks a process from
// it that loads and runs one image exactly as `cerun IMAGE` would.
#pragma once

namespace cerun {

// Request on `fd`: a 32-bit length, then the program's name, the image's
// path, the state file and "1" or "0" for quiet (stdout to /dev/null), each
// NUL-terminated. Reply: the forked process's 32-bit wait status. Returns
// when the caller closes the socket.
int Serve(int fd);

}  // namespace cerun
