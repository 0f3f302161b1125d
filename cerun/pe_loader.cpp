#include "pe_loader.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "pe_format.h"

namespace cerun {

namespace {

// Why an image cannot be loaded, thrown from deep in the bounds-checked
// reading below and turned into the Result of LoadImage.
struct LoadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Every size and offset sum of an image is taken in 64 bits: no value a
// file can hold wraps one.
uint64_t AlignUp(uint64_t v, uint64_t a) {
    return (v + a - 1) / a * a;
}

template <typename T>
T ReadAt(const std::vector<uint8_t>& bytes, uint64_t at, const char* what) {
    if (at > bytes.size() || bytes.size() - at < sizeof(T)) {
        throw LoadError(std::string(what) + " lies outside the image");
    }
    T value;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

template <typename T>
void WriteAt(std::vector<uint8_t>& bytes, uint64_t at, const T& value, const char* what) {
    ReadAt<T>(bytes, at, what);  // bounds
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

// The name at `rva`; `what` says whose ("an import name", "an export name").
std::string NameAt(const std::vector<uint8_t>& memory, uint64_t rva, const std::string& what) {
    std::string name;
    for (uint64_t at = rva; name.size() <= pe::kMaxNameLength; ++at) {
        const auto c = ReadAt<char>(memory, at, what.c_str());
        if (c == '\0') {
            return name;
        }
        name += c;
    }
    throw LoadError(what + " is longer than " + std::to_string(pe::kMaxNameLength) +
                    " characters or not terminated");
}

struct Headers {
    pe::NtHeaders nt;
    uint64_t sections_at;
};

// The sizes the rest of the loader relies on, checked before anything is placed.
void CheckSizes(const std::vector<uint8_t>& file, const Headers& h) {
    const pe::OptionalHeader& o = h.nt.optional;
    if (o.image_size == 0 || o.image_size > kMaxImageSize) {
        throw LoadError("SizeOfImage " + Hex(o.image_size) + " is not between 1 byte and 16 MiB");
    }
    const uint64_t table_end =
        h.sections_at + uint64_t{h.nt.file.section_count} * sizeof(pe::SectionHeader);
    if (o.headers_size < table_end || o.headers_size > file.size() ||
        AlignUp(o.headers_size, pe::kSectionAlignment) > o.image_size) {
        throw LoadError("SizeOfHeaders " + Hex(o.headers_size) +
                        " does not hold the headers within the file and the image");
    }
    if (o.stack_reserve == 0 || o.stack_reserve > kMaxStackReserve) {
        throw LoadError("stack reserve " + Hex(o.stack_reserve) +
                        " is not between 1 byte and " + Hex(kMaxStackReserve));
    }
}

Headers ReadHeaders(const std::vector<uint8_t>& file) {
    if (file.size() < sizeof(pe::DosHeader) + sizeof(pe::NtHeaders)) {
        throw LoadError("not a PE image");
    }
    const auto dos = ReadAt<pe::DosHeader>(file, 0, "the DOS header");
    if (dos.magic != pe::kDosMagic) {
        throw LoadError("not a PE image");
    }
    const auto nt = ReadAt<pe::NtHeaders>(file, dos.pe_offset, "the PE header");
    const pe::OptionalHeader& o = nt.optional;
    if (nt.signature != pe::kPeSignature || o.magic != pe::kOptionalMagic) {
        throw LoadError("not a PE32 executable");
    }
    if (nt.file.machine != pe::kMachineArm) {
        throw LoadError("machine " + Hex(nt.file.machine) + " is not ARM (0x000001c0)");
    }
    if (o.subsystem != pe::kSubsystemWindowsCeGui ||
        o.subsystem_major * 100 + o.subsystem_minor > pe::kCeMajor * 100 + pe::kCeMinor) {
        throw LoadError("not a program for Windows CE 4.20");
    }
    if (nt.file.optional_header_size != sizeof(pe::OptionalHeader)) {
        throw LoadError("SizeOfOptionalHeader is " + std::to_string(nt.file.optional_header_size) +
                        ", not " + std::to_string(sizeof(pe::OptionalHeader)));
    }
    if (o.section_alignment != pe::kSectionAlignment || o.directory_count < pe::kDataDirectories) {
        throw LoadError("unexpected layout");
    }
    const Headers h{nt, uint64_t{dos.pe_offset} + sizeof nt};
    CheckSizes(file, h);
    return h;
}

uint32_t AccessOf(uint32_t characteristics) {
    return ((characteristics & pe::kRead) != 0 ? kRead : 0U) |
           ((characteristics & pe::kWrite) != 0 ? kWrite : 0U) |
           ((characteristics & pe::kExecute) != 0 ? kExecute : 0U);
}

// Section `i` as the loader maps it: whole pages inside the image, after
// the last region, with its raw data inside the file.
pe::SectionHeader CheckedSection(const std::vector<uint8_t>& file, const Headers& h, unsigned i,
                                 const LoadedImage& image) {
    const auto s = ReadAt<pe::SectionHeader>(
        file, h.sections_at + uint64_t{i} * sizeof(pe::SectionHeader), "a section header");
    const Region& last = image.regions.back();
    const uint64_t mapped_end = uint64_t{s.rva} + AlignUp(s.virtual_size, pe::kSectionAlignment);
    const std::string which = "section " + std::to_string(i + 1);
    if (s.virtual_size == 0) {
        throw LoadError(which + " is empty (VirtualSize 0)");
    }
    if (mapped_end > image.memory.size() || s.rva % pe::kSectionAlignment != 0 ||
        s.rva < uint64_t{last.address} - image.base + last.size) {
        throw LoadError(which + " lies outside the image");
    }
    if (uint64_t{s.raw_offset} + s.raw_size > file.size()) {
        throw LoadError(which + "'s raw data lies outside the file");
    }
    return s;
}

void PlaceSections(const std::vector<uint8_t>& file, const Headers& h, LoadedImage& image) {
    const uint32_t headers = h.nt.optional.headers_size;
    std::memcpy(image.memory.data(), file.data(), headers);
    image.regions.push_back(
        {image.base, static_cast<uint32_t>(AlignUp(headers, pe::kSectionAlignment)), kRead});
    for (unsigned i = 0; i < h.nt.file.section_count; ++i) {
        const pe::SectionHeader s = CheckedSection(file, h, i, image);
        // Code is never written on a CE ARM device; code that could be
        // would let one launch change what the next runs.
        if ((s.characteristics & pe::kWrite) != 0 && (s.characteristics & pe::kExecute) != 0) {
            throw LoadError("section " + std::to_string(i + 1) +
                            " is both writable and executable");
        }
        std::memcpy(image.memory.data() + s.rva, file.data() + s.raw_offset,
                    std::min(s.raw_size, s.virtual_size));
        image.regions.push_back(
            {image.base + s.rva,
             static_cast<uint32_t>(AlignUp(s.virtual_size, pe::kSectionAlignment)),
             AccessOf(s.characteristics)});
    }
}

// An entry must lie in code the image maps as executable.
void CheckCode(uint32_t address, const LoadedImage& image, const std::string& what) {
    for (const Region& r : image.regions) {
        if ((r.access & kExecute) != 0 && address >= r.address &&
            uint64_t{address} < uint64_t{r.address} + r.size) {
            return;
        }
    }
    throw LoadError(what + " is not in the image's code");
}

void Relocate(const pe::OptionalHeader& o, LoadedImage& image) {
    const uint32_t delta = image.base - o.image_base;
    if (delta == 0) {
        return;
    }
    const pe::DataDirectory dir = o.directories[pe::kBaseRelocDirectory];
    if (dir.size == 0) {
        throw LoadError("relocations stripped: the image cannot move from " + Hex(o.image_base));
    }
    const uint64_t end = uint64_t{dir.rva} + dir.size;
    if (end > image.memory.size()) {
        throw LoadError("the relocation directory lies outside the image");
    }
    for (uint64_t at = dir.rva; at < end;) {
        const auto block = ReadAt<pe::BaseRelocBlock>(image.memory, at, "a relocation block");
        if (block.block_size < sizeof block || block.block_size % 2 != 0) {
            throw LoadError("corrupt relocation block at " + Hex(static_cast<uint32_t>(at)));
        }
        for (uint32_t e = sizeof block; e < block.block_size; e += 2) {
            const auto entry = ReadAt<uint16_t>(image.memory, at + e, "a relocation");
            const uint32_t type = entry >> 12;
            const uint64_t word = uint64_t{block.page_rva} + (entry & 0x0FFFU);
            if (type == pe::kRelBasedHighLow) {
                WriteAt(image.memory, word,
                        ReadAt<uint32_t>(image.memory, word, "a relocation") + delta,
                        "a relocation");
            } else if (type != pe::kRelBasedAbsolute) {
                throw LoadError("relocation type " + std::to_string(type) + " is not supported");
            }
        }
        at += block.block_size;
    }
}

void ResolveImports(const pe::OptionalHeader& o, const Resolver& resolve, LoadedImage& image) {
    const pe::DataDirectory dir = o.directories[pe::kImportDirectory];
    for (uint64_t at = dir.rva; dir.size != 0; at += sizeof(pe::ImportDescriptor)) {
        const auto d = ReadAt<pe::ImportDescriptor>(image.memory, at, "the import directory");
        if (d.name_rva == 0) {
            return;
        }
        const std::string dll = NameAt(image.memory, d.name_rva, "an import name");
        if (d.lookup_table_rva == 0) {
            throw LoadError(dll + ": no import lookup table");
        }
        for (uint32_t i = 0;; ++i) {
            const auto entry =
                ReadAt<uint32_t>(image.memory, d.lookup_table_rva + uint64_t{4} * i, "an import");
            if (entry == 0) {
                break;
            }
            if ((entry & pe::kImportByOrdinal) != 0) {
                throw LoadError(dll + ": import by ordinal " + std::to_string(entry & 0xFFFF));
            }
            const std::string name =
                NameAt(image.memory, uint64_t{entry} + 2, "an import name");  // after the hint
            const uint32_t address = resolve(dll, name);
            if (address == 0) {
                throw LoadError(dll + " has no export " + name);
            }
            WriteAt(image.memory, d.address_table_rva + uint64_t{4} * i, address,
                    "the import address table");
            image.imported.insert(address);
        }
    }
}

// A DLL's functions by name; each must lie in the image's code.
void ReadExports(const pe::OptionalHeader& o, LoadedImage& image) {
    constexpr uint32_t kMaxExports = pe::kMaxExports;
    const pe::DataDirectory dir = o.directories[pe::kExportDirectory];
    if (dir.size == 0) {
        return;
    }
    const auto d = ReadAt<pe::ExportDirectory>(image.memory, dir.rva, "the export directory");
    if (d.name_count > kMaxExports || d.function_count > kMaxExports) {
        throw LoadError("the export directory lists more than " + std::to_string(kMaxExports));
    }
    for (uint32_t i = 0; i < d.name_count; ++i) {
        const auto name_rva = ReadAt<uint32_t>(image.memory, d.names_rva + uint64_t{4} * i,
                                               "an export name");
        const auto index = ReadAt<uint16_t>(image.memory, d.ordinals_rva + uint64_t{2} * i,
                                            "an export ordinal");
        if (index >= d.function_count) {
            throw LoadError("export ordinal " + std::to_string(index) + " is past the table");
        }
        const auto rva = ReadAt<uint32_t>(image.memory, d.functions_rva + uint64_t{4} * index,
                                          "an export address");
        const std::string name = NameAt(image.memory, name_rva, "an export name");
        image.exports[name] = image.base + rva;
        CheckCode(image.base + rva, image, "export " + name);
    }
}

// Data only the shell reads (resources): inside one section mapped
// readable, and neither writable nor executable.
void CheckReadOnlyData(uint64_t rva, uint64_t size, const LoadedImage& image,
                       const std::string& what) {
    const uint64_t at = uint64_t{image.base} + rva;
    for (const Region& r : image.regions) {
        if (at >= r.address && at + size <= uint64_t{r.address} + r.size) {
            if ((r.access & (kWrite | kExecute)) != 0 || (r.access & kRead) == 0) {
                throw LoadError(what + " lies in a section that is not read-only data");
            }
            return;
        }
    }
    throw LoadError(what + " lies outside the image's sections");
}

// The resource tree: type, name and language directories, whose entries
// stay inside the directory; a language entry's data in read-only data.
struct ResourceWalk {
    pe::DataDirectory dir;
    uint32_t entries = 0;
};

// Where `at` (an offset in the resource directory) lies in the image,
// once `size` bytes from it are known to stay inside the directory.
uint64_t InResources(const ResourceWalk& walk, uint64_t at, uint64_t size) {
    if (at + size > walk.dir.size) {
        throw LoadError("the resource directory points past its end");
    }
    return uint64_t{walk.dir.rva} + at;
}

void CheckResourceLevel(const LoadedImage& image, ResourceWalk& walk, uint32_t offset, int level);

// One entry of a directory at `level`: its name, then what it points at.
void CheckResourceEntry(const LoadedImage& image, ResourceWalk& walk, uint64_t at, int level) {
    constexpr uint32_t kHighBit = 0x80000000;  // a name's offset; a subdirectory's
    const auto key = ReadAt<uint32_t>(image.memory, at, "a resource entry");
    const auto target = ReadAt<uint32_t>(image.memory, at + 4, "a resource entry");
    if ((key & kHighBit) != 0) {  // a name: its length, then its characters
        const uint32_t name = key & ~kHighBit;
        const auto length =
            ReadAt<uint16_t>(image.memory, InResources(walk, name, 2), "a resource name");
        InResources(walk, name + 2ULL * (1 + length), 0);
    }
    if ((target & kHighBit) != 0) {
        if (level == 2) {
            throw LoadError("the resource directory is more than three levels deep");
        }
        CheckResourceLevel(image, walk, target & ~kHighBit, level + 1);
        return;
    }
    const uint64_t entry = InResources(walk, target, 16);
    const auto data = ReadAt<uint32_t>(image.memory, entry, "a resource");
    const auto size = ReadAt<uint32_t>(image.memory, entry + 4, "a resource");
    CheckReadOnlyData(data, size, image, "a resource");
}

void CheckResourceLevel(const LoadedImage& image, ResourceWalk& walk, uint32_t offset, int level) {
    constexpr uint32_t kMaxEntries = 4096;
    const uint64_t at = InResources(walk, offset, 16);
    const uint32_t count =
        uint32_t{ReadAt<uint16_t>(image.memory, at + 12, "a resource directory")} +
        ReadAt<uint16_t>(image.memory, at + 14, "a resource directory");
    walk.entries += count;
    if (walk.entries > kMaxEntries) {
        throw LoadError("the resource directory has more than 4096 entries");
    }
    for (uint32_t i = 0; i < count; ++i) {
        CheckResourceEntry(image, walk, InResources(walk, offset + 16 + 8ULL * i, 8), level);
    }
}

void CheckResources(const pe::OptionalHeader& o, const LoadedImage& image) {
    const pe::DataDirectory dir = o.directories[pe::kResourceDirectory];
    if (dir.size == 0) {
        return;
    }
    CheckReadOnlyData(dir.rva, dir.size, image, "the resource directory");
    ResourceWalk walk{dir};
    CheckResourceLevel(image, walk, 0, 0);
}

LoadedImage Place(const std::vector<uint8_t>& file, uint32_t base, const Resolver& resolve) {
    const Headers h = ReadHeaders(file);
    const pe::OptionalHeader& o = h.nt.optional;
    if (pe::ImageChecksum(file, ReadAt<pe::DosHeader>(file, 0, "").pe_offset +
                                    pe::kChecksumInNtHeaders) != o.checksum) {
        throw LoadError("checksum mismatch: the file is damaged");
    }
    LoadedImage image;
    image.base = base != 0 ? base : o.image_base;
    if (image.base % pe::kSectionAlignment != 0) {
        throw LoadError("base " + Hex(image.base) + " is not page-aligned");
    }
    image.memory.assign(o.image_size, 0);
    if (uint64_t{image.base} + o.image_size > kImageLimit) {
        throw LoadError("the image reaches past " + Hex(kImageLimit));
    }
    image.entry = image.base + o.entry_rva;
    image.stack_reserve = o.stack_reserve;
    image.dll = (h.nt.file.characteristics & pe::kDllImage) != 0;
    PlaceSections(file, h, image);
    CheckCode(image.entry, image, "entry point " + Hex(o.entry_rva));
    Relocate(o, image);
    ResolveImports(o, resolve, image);
    ReadExports(o, image);
    CheckResources(o, image);
    return image;
}

}  // namespace

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", v);
    return buf;
}

sim::Result<LoadedImage> LoadImage(const std::vector<uint8_t>& file, uint32_t base,
                                   const Resolver& resolve) {
    try {
        return Place(file, base, resolve);
    } catch (const LoadError& e) {
        return sim::Fail(e.what());
    }
}

}  // namespace cerun
