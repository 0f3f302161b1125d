// elf2pe: writes a fixer program's ARM ELF as the PE32 executable the
// Windows CE 4.20 loader takes (elf_to_pe.h), or the setup library's as a
// DLL exporting the functions named after --dll, by the name of OUTPUT.
//
// usage: elf2pe [--dll NAME[,NAME...]] INPUT.elf OUTPUT
//
// The output appears whole or not at all: it is written to a new file
// beside OUTPUT and renamed into place, and on failure only that new file
// is removed. OUTPUT, when it exists, must be a regular file other than
// INPUT.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "elf_to_pe.h"
#include "fd_io.h"

namespace {

constexpr size_t kMaxElfFile = 64 << 20;

// Whether `output` may be replaced: absent, or a regular file that is not `input`.
sim::Status CheckOutput(const std::string& input, const std::string& output) {
    struct stat out {};
    if (lstat(output.c_str(), &out) != 0) {
        return errno == ENOENT ? sim::Ok() : sim::Fail("cannot write " + output + ": " +
                                                       std::strerror(errno));
    }
    struct stat in {};
    if (!S_ISREG(out.st_mode)) {
        return sim::Fail(output + " is not a regular file");
    }
    if (stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
        return sim::Fail(output + " is the input file");
    }
    return sim::Ok();
}

// Writes `bytes` to a new file beside `output`, then renames it into place.
sim::Status WriteWhole(const std::string& output, const std::vector<uint8_t>& bytes) {
    std::string temp = output + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        return sim::Fail("cannot write " + output + ": " + std::strerror(errno));
    }
    const mode_t mask = umask(0);
    umask(mask);
    bool written = fchmod(fd, 0666 & ~mask) == 0 && sim::WriteAll(fd, bytes.data(), bytes.size());
    const int err = errno;
    written = close(fd) == 0 && written;
    if (!written || rename(temp.c_str(), output.c_str()) != 0) {
        const int why = written ? errno : err;
        unlink(temp.c_str());
        return sim::Fail("cannot write " + output + ": " + std::strerror(why));
    }
    return sim::Ok();
}

constexpr char kUsage[] = "usage: elf2pe [--dll NAME[,NAME...]] INPUT.elf OUTPUT\n";

std::vector<std::string> Names(const std::string& list) {
    std::vector<std::string> names;
    size_t start = 0;
    for (size_t comma = list.find(','); ; comma = list.find(',', start)) {
        names.push_back(list.substr(start, comma - start));
        if (comma == std::string::npos) {
            return names;
        }
        start = comma + 1;
    }
}

sim::Status Run(const std::string& input, const std::string& output, const pe::DllExports& dll) {
    sim::Result<std::vector<uint8_t>> elf = sim::ReadRegularFile(input, kMaxElfFile);
    if (!elf) {
        return sim::Fail(elf.why());
    }
    const sim::Result<std::vector<uint8_t>> image = pe::ElfToPe(std::move(*elf), dll);
    if (!image) {
        return sim::Fail(input + ": " + image.why());
    }
    const sim::Status replaceable = CheckOutput(input, output);
    return replaceable ? WriteWhole(output, *image) : replaceable;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    pe::DllExports dll;
    if (args.size() == 4 && args[0] == "--dll") {
        dll.names = Names(args[1]);
        args.erase(args.begin(), args.begin() + 2);
        dll.name = args[1].substr(args[1].rfind('/') + 1);
        for (const std::string& name : dll.names) {
            if (name.empty()) {
                std::cerr << "elf2pe: --dll names an empty export\n";
                return 2;
            }
        }
    }
    if (args.size() != 2 || args[0].empty() || args[0][0] == '-') {
        std::cerr << kUsage;
        return 2;
    }
    const sim::Status done = Run(args[0], args[1], dll);
    if (!done) {
        std::cerr << "elf2pe: " << done.why() << "\n";
        return 1;
    }
    return 0;
}
