// The PE/COFF records of a Windows CE ARM executable, as packed structs:
// elf2pe writes them, the ARM runner reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pe {

constexpr uint16_t kDosMagic = 0x5A4D;         // "MZ"
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kMachineArm = 0x01C0;       // ARM mode, not Thumb-2 (0x01C4)
constexpr uint16_t kOptionalMagic = 0x010B;    // PE32
constexpr uint16_t kSubsystemWindowsCeGui = 9;
constexpr uint16_t kCeMajor = 4;  // the subsystem and OS version: CE 4.20
constexpr uint16_t kCeMinor = 20;

constexpr uint32_t kImageBase = 0x10000;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kStackReserve = 0x10000;

// File header characteristics.
constexpr uint16_t kExecutableImage = 0x0002;
constexpr uint16_t k32BitMachine = 0x0100;
constexpr uint16_t kDllImage = 0x2000;
// Section characteristics.
constexpr uint32_t kCode = 0x00000020;
constexpr uint32_t kInitializedData = 0x00000040;
constexpr uint32_t kDiscardable = 0x02000000;
constexpr uint32_t kExecute = 0x20000000;
constexpr uint32_t kRead = 0x40000000;
constexpr uint32_t kWrite = 0x80000000;

enum DataDirectoryIndex {
    kExportDirectory = 0,
    kImportDirectory = 1,
    kResourceDirectory = 2,
    kBaseRelocDirectory = 5,
    kIatDirectory = 12
};
constexpr int kDataDirectories = 16;

constexpr uint16_t kRelBasedAbsolute = 0;  // padding entry
constexpr uint16_t kRelBasedHighLow = 3;   // a 32-bit address
constexpr uint32_t kImportByOrdinal = 0x80000000;
// What elf2pe writes and the loader reads alike: a DLL's exports and the
// length of any import or export name.
constexpr uint32_t kMaxExports = 256;
constexpr size_t kMaxNameLength = 255;

#pragma pack(push, 1)
struct DosHeader {
    uint16_t magic;
    uint8_t unused[58];
    uint32_t pe_offset;
};

struct FileHeader {
    uint16_t machine;
    uint16_t section_count;
    uint32_t time_date_stamp;
    uint32_t symbol_table;
    uint32_t symbol_count;
    uint16_t optional_header_size;
    uint16_t characteristics;
};

struct DataDirectory {
    uint32_t rva;
    uint32_t size;
};

struct OptionalHeader {
    uint16_t magic;
    uint8_t linker_major, linker_minor;
    uint32_t code_size, initialized_size, uninitialized_size;
    uint32_t entry_rva, code_base, data_base;
    uint32_t image_base, section_alignment, file_alignment;
    uint16_t os_major, os_minor, image_major, image_minor, subsystem_major, subsystem_minor;
    uint32_t win32_version, image_size, headers_size, checksum;
    uint16_t subsystem, dll_characteristics;
    uint32_t stack_reserve, stack_commit, heap_reserve, heap_commit;
    uint32_t loader_flags, directory_count;
    DataDirectory directories[kDataDirectories];
};

struct NtHeaders {
    uint32_t signature;
    FileHeader file;
    OptionalHeader optional;
};

struct SectionHeader {
    char name[8];
    uint32_t virtual_size, rva, raw_size, raw_offset;
    uint32_t relocations, line_numbers;
    uint16_t relocation_count, line_number_count;
    uint32_t characteristics;
};

struct ImportDescriptor {
    uint32_t lookup_table_rva;  // the import lookup table the CE loader walks
    uint32_t time_date_stamp;
    uint32_t forwarder_chain;
    uint32_t name_rva;
    uint32_t address_table_rva;  // the IAT, filled at load time
};

// The export directory of a DLL: its functions by name, each name's
// ordinal index into the address table.
struct ExportDirectory {
    uint32_t characteristics;
    uint32_t time_date_stamp;
    uint16_t major, minor;
    uint32_t name_rva;  // the DLL's own name
    uint32_t ordinal_base;
    uint32_t function_count, name_count;
    uint32_t functions_rva, names_rva, ordinals_rva;
};

struct BaseRelocBlock {
    uint32_t page_rva;
    uint32_t block_size;  // this header and its 16-bit entries
};
#pragma pack(pop)

static_assert(sizeof(DosHeader) == 64, "DOS header");
static_assert(sizeof(FileHeader) == 20, "COFF file header");
static_assert(sizeof(OptionalHeader) == 224, "PE32 optional header with 16 directories");
static_assert(sizeof(NtHeaders) == 248, "PE signature and headers");
static_assert(sizeof(SectionHeader) == 40, "section header");
static_assert(sizeof(ImportDescriptor) == 20, "import descriptor");
static_assert(sizeof(ExportDirectory) == 40, "export directory");
static_assert(sizeof(BaseRelocBlock) == 8, "base relocation block header");

// Offset of OptionalHeader::checksum from the start of NtHeaders.
constexpr size_t kChecksumInNtHeaders =
    offsetof(NtHeaders, optional) + offsetof(OptionalHeader, checksum);

// The image checksum: the file's 16-bit words summed with end-around carry,
// the checksum field itself taken as zero, plus the file's length.
inline uint32_t ImageChecksum(const std::vector<uint8_t>& file, size_t checksum_offset) {
    uint32_t sum = 0;
    for (size_t i = 0; i < file.size(); i += 2) {
        if (i == checksum_offset || i == checksum_offset + 2) {
            continue;
        }
        const uint32_t high = i + 1 < file.size() ? file[i + 1] : 0U;
        sum += file[i] | (high << 8);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return (sum & 0xFFFF) + static_cast<uint32_t>(file.size());
}

}  // namespace pe
