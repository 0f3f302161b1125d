// The loader takes a real image and refuses, with one line, every header a
// hostile or damaged file can hold that it could not map as it says.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "pe_format.h"
#include "pe_loader.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadImage(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t PeOffset(const Bytes& file) {
    pe::DosHeader dos;
    std::memcpy(&dos, file.data(), sizeof dos);
    return dos.pe_offset;
}

// The headers of `file`, changed by `change` and written back with the checksum made good.
template <typename Change>
Bytes Changed(Bytes file, Change change) {
    const uint32_t at = PeOffset(file);
    pe::NtHeaders nt;
    std::memcpy(&nt, file.data() + at, sizeof nt);
    pe::SectionHeader sections[8];
    std::memcpy(sections, file.data() + at + sizeof nt, nt.file.section_count * sizeof sections[0]);
    change(nt, sections);
    std::memcpy(file.data() + at + sizeof nt, sections, nt.file.section_count * sizeof sections[0]);
    std::memcpy(file.data() + at, &nt, sizeof nt);
    const uint32_t sum = pe::ImageChecksum(file, at + pe::kChecksumInNtHeaders);
    std::memcpy(file.data() + at + pe::kChecksumInNtHeaders, &sum, sizeof sum);
    return file;
}

uint32_t AnyService(const std::string& /*dll*/, const std::string& /*name*/) { return 0x01FF0000; }

using Nt = pe::NtHeaders;
using Sec = pe::SectionHeader;

TEST(PeLoader, RefusesWhatItCannotMapWithOneLine) {
    const Bytes good = ReadImage(DEVICE_DIR "/nuv.exe");
    ASSERT_GT(good.size(), 1024U);
    ASSERT_TRUE(cerun::LoadImage(good, 0, AnyService));
    const struct {
        const char* what;
        Bytes file;
        uint32_t base;
        const char* says;
    } cases[] = {
        // The size that wrapped to 0 when aligned in 32 bits let 512 bytes
        // be copied past the image.
        {"wrapping VirtualSize", Changed(good, [](Nt& nt, Sec* s) {
             s[4].virtual_size = 0xFFFFF001;
             s[4].rva = nt.optional.image_size;
         }), 0, "section 5 lies outside the image"},
        {"empty section", Changed(good, [](Nt&, Sec* s) { s[1].virtual_size = 0; }), 0,
         "section 2 is empty (VirtualSize 0)"},
        // The resources: read-only data the shell reads, inside their section.
        {"resources in the code", Changed(good, [](Nt& nt, Sec* s) {
             nt.optional.directories[pe::kResourceDirectory].rva = s[0].rva;
         }), 0, "the resource directory lies in a section that is not read-only data"},
        {"an executable resource section",
         Changed(good, [](Nt&, Sec* s) { s[4].characteristics |= pe::kExecute; }), 0,
         "the resource directory lies in a section that is not read-only data"},
        {"a writable resource section",
         Changed(good, [](Nt&, Sec* s) { s[4].characteristics |= pe::kWrite; }), 0,
         "the resource directory lies in a section that is not read-only data"},
        {"resources past their section", Changed(good, [](Nt& nt, Sec*) {
             nt.optional.directories[pe::kResourceDirectory].size = 0x100000;
         }), 0, "the resource directory lies outside the image's sections"},
        {"a resource tree past its directory", Changed(good, [](Nt& nt, Sec*) {
             nt.optional.directories[pe::kResourceDirectory].size = 16;
         }), 0, "the resource directory points past its end"},
        {"raw data past the file", Changed(good, [](Nt&, Sec* s) { s[0].raw_offset = 0xFFFFFE00; }),
         0, "section 1's raw data lies outside the file"},
        {"no headers", Changed(good, [](Nt& nt, Sec*) { nt.optional.headers_size = 0; }), 0,
         "SizeOfHeaders 0x00000000 does not hold the headers"},
        {"no image", Changed(good, [](Nt& nt, Sec*) { nt.optional.image_size = 0; }), 0,
         "SizeOfImage 0x00000000 is not between 1 byte and 16 MiB"},
        {"no stack", Changed(good, [](Nt& nt, Sec*) { nt.optional.stack_reserve = 0; }), 0,
         "stack reserve 0x00000000 is not between"},
        {"huge stack", Changed(good, [](Nt& nt, Sec*) { nt.optional.stack_reserve = 0xFFFFFFFF; }),
         0, "stack reserve 0xffffffff is not between"},
        {"entry in constants", Changed(good, [](Nt& nt, Sec* s) { nt.optional.entry_rva = s[1].rva; }),
         0, "entry point 0x00002000 is not in the image's code"},
        {"entry on the runner's exit trap",
         Changed(good, [](Nt& nt, Sec*) { nt.optional.entry_rva = 0x01FF0100 - 0x10000; }), 0,
         "is not in the image's code"},
        {"relocations that wrap", Changed(good, [](Nt& nt, Sec*) {
             nt.optional.directories[pe::kBaseRelocDirectory] = {0xFFFFFF00, 0x200};
         }), 0x400000, "the relocation directory lies outside the image"},
        {"optional header size", Changed(good, [](Nt& nt, Sec*) { nt.file.optional_header_size = 0xE8; }),
         0, "SizeOfOptionalHeader is 232, not 224"},
        {"not a PE image", Bytes(good.begin() + 2, good.end()), 0, "not a PE image"},
        // Writable code would let one launch change what the next one runs.
        {"writable code", Changed(good, [](Nt&, Sec* s) { s[0].characteristics |= pe::kWrite; }),
         0, "section 1 is both writable and executable"},
    };
    for (const auto& c : cases) {
        const sim::Result<cerun::LoadedImage> image = cerun::LoadImage(c.file, c.base, AnyService);
        ASSERT_FALSE(image) << c.what;
        EXPECT_NE(image.why().find(c.says), std::string::npos) << c.what << ": " << image.why();
    }
}

// The setup library: its four functions found by name wherever it is
// placed, and an export directory it cannot read refused.
TEST(PeLoader, FindsADllsExportsByNameWhereverItIsPlaced) {
    const Bytes dll = ReadImage(DEVICE_DIR "/setup.dll");
    const sim::Result<cerun::LoadedImage> own = cerun::LoadImage(dll, 0, AnyService);
    const sim::Result<cerun::LoadedImage> moved = cerun::LoadImage(dll, 0x400000, AnyService);
    ASSERT_TRUE(own && moved);
    EXPECT_TRUE(own->dll);
    EXPECT_FALSE(cerun::LoadImage(ReadImage(DEVICE_DIR "/nuv.exe"), 0, AnyService)->dll);
    std::vector<std::string> names;
    for (const auto& [name, address] : own->exports) {
        names.push_back(name);
        EXPECT_EQ(moved->exports.at(name) - 0x400000, address - 0x10000) << name;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Install_Exit", "Install_Init", "Uninstall_Exit",
                                               "Uninstall_Init"}));
    const Bytes lost = Changed(dll, [](Nt& nt, Sec*) {
        nt.optional.directories[pe::kExportDirectory].rva = 0xFFFFFFF0;
    });
    const sim::Result<cerun::LoadedImage> refused = cerun::LoadImage(lost, 0, AnyService);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.why(), "the export directory lies outside the image");
}

}  // namespace
