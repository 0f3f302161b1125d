// The device files' resources, read back by an independent reader
// (icoutils' wrestool and icotool, netpbm's pngtopam): the status
// program's icon at both sizes is the picture its text images hold, and
// every file's version information is the project's version. Also the
// .rsrc section's tree as elf2pe lays it out.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "resources.h"
#include "run_process.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string TempDir() {
    char dir[] = "/tmp/resources_test_XXXXXX";
    return mkdtemp(dir) != nullptr ? dir : "";
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct DeviceFile {
    const char* name;
    bool icon;
};
const DeviceFile kFiles[] = {
    {"nuv.exe", false}, {"nuv28.exe", false}, {"nuv29.exe", false},
    {"clockfix.exe", true}, {"setup.dll", false},
};

TEST(DeviceResources, AnIndependentReaderListsTheIconAndTheVersionOfEachFile) {
    for (const DeviceFile& f : kFiles) {
        const ProcessOutput r = RunProcess({WRESTOOL, "-l", DEVICE_DIR "/" + std::string(f.name)});
        ASSERT_EQ(r.exit_code, 0) << f.name << r.err;
        std::vector<std::string> kinds;
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);) {
            kinds.push_back(line.substr(0, line.find(" [")));
        }
        const std::vector<std::string> version = {"--type=16 --name=1 --language=1033"};
        const std::vector<std::string> icon = {
            "--type=3 --name=1 --language=1033", "--type=3 --name=2 --language=1033",
            "--type=14 --name=1 --language=1033", "--type=16 --name=1 --language=1033"};
        EXPECT_EQ(kinds, f.icon ? icon : version) << f.name;
    }
}

// The RGBA pixels of an XPM text image ("None" transparent).
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgba;  // 0xRRGGBBAA, transparent pixels 0
};

Picture FromXpm(const std::string& text) {
    std::vector<std::string> quoted;
    for (size_t at = text.find('"'); at != std::string::npos; at = text.find('"', at + 1)) {
        const size_t end = text.find('"', at + 1);
        quoted.push_back(text.substr(at + 1, end - at - 1));
        at = end;
    }
    Picture p;
    int colours = 0;
    std::istringstream(quoted.at(0)) >> p.width >> p.height >> colours;
    std::map<char, uint32_t> palette;
    for (int i = 1; i <= colours; ++i) {
        const std::string& c = quoted.at(static_cast<size_t>(i));
        const std::string value = c.substr(c.rfind(' ') + 1);
        palette[c[0]] = value == "None" ? 0U
                                        : static_cast<uint32_t>(std::stoul(value.substr(1), nullptr, 16) << 8) | 0xFFU;
    }
    for (int y = 0; y < p.height; ++y) {
        for (const char c : quoted.at(static_cast<size_t>(colours + 1 + y))) {
            p.rgba.push_back(palette.at(c));
        }
    }
    return p;
}

// The RGBA pixels of a PAM (RGB_ALPHA, maxval 255), as pngtopam -alphapam writes it.
Picture FromPam(const std::string& pam) {
    Picture p;
    const size_t header_end = pam.find("ENDHDR\n");
    std::istringstream header(pam.substr(0, header_end));
    for (std::string key; header >> key;) {
        if (key == "WIDTH") header >> p.width;
        if (key == "HEIGHT") header >> p.height;
    }
    const auto* px = reinterpret_cast<const uint8_t*>(pam.data() + header_end + 7);
    for (int i = 0; i < p.width * p.height; ++i, px += 4) {
        const uint32_t a = px[3] >= 128 ? 0xFFU : 0U;
        p.rgba.push_back(a == 0 ? 0U
                                : (uint32_t{px[0]} << 24) | (uint32_t{px[1]} << 16) | (uint32_t{px[2]} << 8) | a);
    }
    return p;
}

TEST(DeviceResources, TheIconAtBothSizesIsThePictureDrawnForIt) {
    const std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    const ProcessOutput ico = RunProcess(
        {"/bin/sh", "-c", "\"$2\" -x --type=14 \"$0\" > \"$1/x.ico\" && \"$3\" -l \"$1/x.ico\" "
                          "&& \"$3\" -x -o \"$1\" \"$1/x.ico\"",
         DEVICE_DIR "/clockfix.exe", dir, WRESTOOL, ICOTOOL});
    ASSERT_EQ(ico.exit_code, 0) << ico.err;
    // 16 colours at both sizes: what every Pocket PC 2003 screen shows.
    EXPECT_EQ(ico.out, "--icon --index=1 --width=32 --height=32 --bit-depth=4 --palette-size=16\n"
                       "--icon --index=2 --width=16 --height=16 --bit-depth=4 --palette-size=16\n");
    for (const int size : {32, 16}) {
        const std::string png = dir + "/x_" + std::to_string(size == 32 ? 1 : 2) + "_" +
                                std::to_string(size) + "x" + std::to_string(size) + "x4.png";
        const ProcessOutput pam = RunProcess({PNGTOPAM, "-alphapam", png});
        ASSERT_EQ(pam.exit_code, 0) << png << pam.err;
        const Picture got = FromPam(pam.out);
        const Picture drawn =
            FromXpm(ReadText(SOURCE_DIR "/clockfix/icon-" + std::to_string(size) + ".xpm"));
        ASSERT_EQ(got.width, size);
        ASSERT_EQ(drawn.width, size);
        EXPECT_EQ(got.rgba, drawn.rgba) << size;
        unlink(png.c_str());
    }
    unlink((dir + "/x.ico").c_str());
    rmdir(dir.c_str());
}

// One block of a VS_VERSIONINFO: its key, its value's bytes, its children.
struct VersionBlock {
    std::u16string key;
    Bytes value;
    std::vector<VersionBlock> children;
};

uint16_t Word16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8)); }

VersionBlock ReadBlock(const Bytes& b, size_t at) {
    const size_t length = Word16(b, at);
    const size_t value_length = Word16(b, at + 2);
    const bool text = Word16(b, at + 4) == 1;
    VersionBlock block;
    size_t p = at + 6;
    for (; Word16(b, p) != 0; p += 2) {
        block.key += static_cast<char16_t>(Word16(b, p));
    }
    p = (p + 2 + 3) / 4 * 4;
    const size_t value_bytes = text ? 2 * value_length : value_length;
    block.value.assign(b.begin() + static_cast<std::ptrdiff_t>(p),
                       b.begin() + static_cast<std::ptrdiff_t>(p + value_bytes));
    for (p = (p + value_bytes + 3) / 4 * 4; p < at + length; p = (p + Word16(b, p) + 3) / 4 * 4) {
        block.children.push_back(ReadBlock(b, p));
    }
    return block;
}

std::string Narrow(const Bytes& utf16) {
    std::string s;
    for (size_t i = 0; i + 1 < utf16.size() && utf16[i] != 0; i += 2) {
        s += static_cast<char>(utf16[i]);
    }
    return s;
}

TEST(DeviceResources, EveryFilesVersionIsTheProjectsVersion) {
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(PROJECT_VERSION, "%u.%u.%u", &major, &minor, &patch), 3);
    std::map<std::string, std::string> descriptions;
    for (const DeviceFile& f : kFiles) {
        const ProcessOutput r =
            RunProcess({WRESTOOL, "-x", "--raw", "--type=16", DEVICE_DIR "/" + std::string(f.name)});
        ASSERT_EQ(r.exit_code, 0) << f.name << r.err;
        const Bytes raw(r.out.begin(), r.out.end());
        const VersionBlock root = ReadBlock(raw, 0);
        ASSERT_EQ(root.key, u"VS_VERSION_INFO");
        ASSERT_EQ(root.value.size(), 52U);  // VS_FIXEDFILEINFO
        const auto dword = [&root](size_t i) {
            uint32_t v;
            std::memcpy(&v, root.value.data() + 4 * i, 4);
            return v;
        };
        EXPECT_EQ(dword(0), 0xFEEF04BDU);
        EXPECT_EQ(dword(2), major << 16 | minor) << f.name;  // file version
        EXPECT_EQ(dword(3), patch << 16) << f.name;
        EXPECT_EQ(dword(4), major << 16 | minor) << f.name;  // product version
        EXPECT_EQ(dword(5), patch << 16) << f.name;
        EXPECT_EQ(dword(9), std::strstr(f.name, ".dll") != nullptr ? 2U : 1U);  // VFT_DLL, VFT_APP
        std::map<std::string, std::string> strings;
        ASSERT_EQ(root.children.at(0).key, u"StringFileInfo");
        ASSERT_EQ(root.children.at(0).children.at(0).key, u"040904B0");
        for (const VersionBlock& s : root.children.at(0).children.at(0).children) {
            strings[std::string(s.key.begin(), s.key.end())] = Narrow(s.value);
        }
        EXPECT_EQ(strings["FileVersion"], PROJECT_VERSION) << f.name;
        EXPECT_EQ(strings["ProductVersion"], PROJECT_VERSION) << f.name;
        EXPECT_EQ(strings["ProductName"], CAB_APP_NAME) << f.name;
        EXPECT_EQ(strings["CompanyName"], CAB_PROVIDER) << f.name;
        EXPECT_EQ(strings["OriginalFilename"], f.name);
        EXPECT_FALSE(strings["FileDescription"].empty()) << f.name;
        descriptions[strings["FileDescription"]] = f.name;
    }
    EXPECT_EQ(descriptions.size(), std::size(kFiles));  // each file its own description
}

// Walks a .rsrc section as a reader does: (type, name, language, data) in
// directory order.
struct Leaf {
    std::string type, name;
    uint32_t language;
    std::string data;
};

uint32_t Word32(const Bytes& b, size_t at) {
    uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

std::string IdText(const Bytes& b, uint32_t key) {
    if ((key & 0x80000000U) == 0) {
        return std::to_string(key);
    }
    const size_t at = key & 0x7FFFFFFFU;
    std::string s;
    for (size_t i = 0; i < Word16(b, at); ++i) {
        s += static_cast<char>(Word16(b, at + 2 + 2 * i));
    }
    return s;
}

void Walk(const Bytes& b, uint32_t rva, size_t dir, std::vector<std::string> path,
          std::vector<Leaf>& leaves) {
    const size_t count = size_t{Word16(b, dir + 12)} + Word16(b, dir + 14);
    for (size_t i = 0; i < count; ++i) {
        const uint32_t key = Word32(b, dir + 16 + 8 * i);
        const uint32_t target = Word32(b, dir + 20 + 8 * i);
        std::vector<std::string> here = path;
        here.push_back(IdText(b, key));
        if ((target & 0x80000000U) != 0) {
            Walk(b, rva, target & 0x7FFFFFFFU, here, leaves);
            continue;
        }
        const size_t data = Word32(b, target) - rva;
        EXPECT_EQ(data % 8, 0U);
        leaves.push_back({here.at(0), here.at(1), key,
                          std::string(b.begin() + static_cast<std::ptrdiff_t>(data),
                                      b.begin() + static_cast<std::ptrdiff_t>(data + Word32(b, target + 4)))});
    }
}

// A .res file as the format lays one out: the empty first entry, then each
// resource's header (sizes, type, name, padding to four, the fixed fields)
// and its data, padded to four.
struct ResEntry {
    std::u16string type;  // empty: numbered 3
    std::u16string name;  // empty: numbered 1
    std::string data;
};

void PutLe(Bytes& b, uint32_t v, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) {
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

void PutId(Bytes& b, const std::u16string& name, uint16_t number) {
    if (name.empty()) {
        PutLe(b, 0xFFFF, 2);
        PutLe(b, number, 2);
        return;
    }
    for (const char16_t c : name) {
        PutLe(b, c, 2);
    }
    PutLe(b, 0, 2);
}

Bytes ResFile(const std::vector<ResEntry>& entries) {
    Bytes b = {0, 0, 0, 0, 0x20, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0};
    b.resize(32, 0);
    for (const ResEntry& e : entries) {
        Bytes ids;
        PutId(ids, e.type, pe::kIconType);
        PutId(ids, e.name, 1);
        ids.resize((8 + ids.size() + 3) / 4 * 4 - 8, 0);
        PutLe(b, static_cast<uint32_t>(e.data.size()), 4);
        PutLe(b, static_cast<uint32_t>(8 + ids.size() + 16), 4);
        b.insert(b.end(), ids.begin(), ids.end());
        PutLe(b, 0, 4);       // data version
        PutLe(b, 0x1030, 2);  // memory flags
        PutLe(b, 0x409, 2);   // U.S. English
        PutLe(b, 0, 4);       // version
        PutLe(b, 0, 4);       // characteristics
        b.insert(b.end(), e.data.begin(), e.data.end());
        b.resize((b.size() + 3) / 4 * 4, 0);
    }
    return b;
}

// Names of any length up to 256 units, odd or even (so with or without the
// padding after them), and a resource with no data at the very end.
TEST(ResFile, ReadsNamedAndNumberedIdsUpToTheLongestName) {
    const std::u16string longest(256, u'n');
    const struct {
        std::vector<ResEntry> entries;
        const char* refusal;  // nullptr: read back as given
    } cases[] = {
        {{}, nullptr},
        {{{u"AB", u"", "data"}}, nullptr},
        {{{u"ABC", u"X", "odd"}, {u"", u"", ""}}, nullptr},
        {{{u"", longest, "x"}}, nullptr},
        {{{u"", longest + u'n', "x"}}, "a resource name longer than 256 characters"},
    };
    for (const auto& c : cases) {
        const Bytes file = ResFile(c.entries);
        const sim::Result<std::vector<pe::Resource>> read = pe::ReadResFile(file);
        if (c.refusal != nullptr) {
            ASSERT_FALSE(read);
            EXPECT_EQ(read.why(), c.refusal);
            continue;
        }
        ASSERT_TRUE(read) << read.why();
        ASSERT_EQ(read->size(), c.entries.size());
        for (size_t i = 0; i < c.entries.size(); ++i) {
            const pe::Resource& r = (*read)[i];
            EXPECT_EQ(r.type.name, c.entries[i].type);
            EXPECT_EQ(r.type.number, c.entries[i].type.empty() ? pe::kIconType : 0);
            EXPECT_EQ(r.name.name, c.entries[i].name);
            EXPECT_EQ(r.language, 0x409);
            EXPECT_EQ(std::string(r.data.begin(), r.data.end()), c.entries[i].data);
        }
    }
}

TEST(ResourceSection, NamedEntriesComeFirstThenNumbersAscendingAtEveryLevel) {
    const auto id = [](const char* text) {
        pe::ResourceId r;
        for (const char* c = text; *c != 0; ++c) {
            r.name += static_cast<char16_t>(*c);
        }
        return r;
    };
    const auto number = [](uint16_t n) { return pe::ResourceId{n, {}}; };
    const std::vector<pe::Resource> given = {
        {number(16), number(1), 1033, {'v'}},
        {id("ZZ"), number(7), 1033, {'z', 'z', 'z'}},
        {number(3), number(2), 1033, {'b'}},
        {number(3), number(1), 1033, {'a', 'a'}},
        {number(3), number(1), 1031, {'d'}},
        {id("AB"), id("X"), 0, {}},
    };
    const uint32_t rva = 0x5000;
    const Bytes section = pe::ResourceSection(given, rva);
    std::vector<Leaf> leaves;
    Walk(section, rva, 0, {}, leaves);
    const std::vector<std::string> order = {"AB/X/0/", "ZZ/7/1033/zzz", "3/1/1031/d",
                                            "3/1/1033/aa", "3/2/1033/b", "16/1/1033/v"};
    ASSERT_EQ(leaves.size(), order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(leaves[i].type + "/" + leaves[i].name + "/" + std::to_string(leaves[i].language) +
                      "/" + leaves[i].data,
                  order[i]);
    }
}

}  // namespace
