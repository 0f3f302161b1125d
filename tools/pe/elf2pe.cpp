// elf2pe: writes a fixer program's ARM ELF as the PE32 executable the
// Windows CE 4.20 loader takes (elf_to_pe.h), or the setup library's as a
// DLL exporting the functions named after --dll, by the name of OUTPUT;
// with the resources of the .res file after --resources (llvm-rc's output)
// in a .rsrc section.
//
// usage: elf2pe [--dll NAME[,NAME...]] [--resources FILE.res] INPUT.elf OUTPUT
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

constexpr char kUsage[] =
    "usage: elf2pe [--dll NAME[,NAME...]] [--resources FILE.res] INPUT.elf OUTPUT\n";

// What the options ask for beside the image itself.
struct Extras {
    pe::DllExports dll;
    std::string res_file;
};

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

// The resources of `res_file`; none when it is empty.
sim::Result<std::vector<pe::Resource>> Resources(const std::string& res_file) {
    if (res_file.empty()) {
        return std::vector<pe::Resource>{};
    }
    const sim::Result<std::vector<uint8_t>> bytes = sim::ReadRegularFile(res_file, pe::kMaxResFile);
    if (!bytes) {
        return sim::Fail(bytes.why());
    }
    sim::Result<std::vector<pe::Resource>> resources = pe::ReadResFile(*bytes);
    return resources ? std::move(resources) : sim::Fail(res_file + ": " + resources.why());
}

sim::Status Run(const std::string& input, const std::string& output, const Extras& extras) {
    const sim::Result<std::vector<pe::Resource>> resources = Resources(extras.res_file);
    if (!resources) {
        return sim::Fail(resources.why());
    }
    sim::Result<std::vector<uint8_t>> elf = sim::ReadRegularFile(input, kMaxElfFile);
    if (!elf) {
        return sim::Fail(elf.why());
    }
    const sim::Result<std::vector<uint8_t>> image =
        pe::ElfToPe(std::move(*elf), extras.dll, *resources);
    if (!image) {
        return sim::Fail(input + ": " + image.why());
    }
    const sim::Status replaceable = CheckOutput(input, output);
    return replaceable ? WriteWhole(output, *image) : replaceable;
}

// Takes the options before INPUT and OUTPUT; false, said, for a bad one.
bool TakeOptions(std::vector<std::string>& args, Extras& extras) {
    while (args.size() > 2 && (args[0] == "--dll" || args[0] == "--resources")) {
        if (args[0] == "--resources") {
            extras.res_file = args[1];
        } else {
            extras.dll.names = Names(args[1]);
        }
        args.erase(args.begin(), args.begin() + 2);
    }
    for (const std::string& name : extras.dll.names) {
        if (name.empty()) {
            std::cerr << "elf2pe: --dll names an empty export\n";
            return false;
        }
    }
    if (args.size() != 2 || args[0].empty() || args[0][0] == '-') {
        std::cerr << kUsage;
        return false;
    }
    extras.dll.name = extras.dll.names.empty() ? "" : args[1].substr(args[1].rfind('/') + 1);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    Extras extras;
    if (!TakeOptions(args, extras)) {
        return 2;
    }
    const sim::Status done = Run(args[0], args[1], extras);
    if (!done) {
        std::cerr << "elf2pe: " << done.why() << "\n";
        return 1;
    }
    return 0;
}
