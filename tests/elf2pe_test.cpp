// elf2pe refuses a damaged ELF with one line, and never harms a file it
// was not asked to make: its output appears whole or not at all.
#include <gtest/gtest.h>

#include <elf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "run_process.h"

namespace {

using Bytes = std::string;

class Elf2pe : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/nuv-elf2pe-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        elf_ = ReadFile(DEVICE_DIR "/obj/nuv.elf");
        ASSERT_GT(elf_.size(), sizeof(Elf32_Ehdr));
    }
    void TearDown() override { RunProcess({"/bin/rm", "-rf", dir_}); }

    std::string Write(const std::string& name, const Bytes& bytes) {
        std::ofstream(dir_ + "/" + name, std::ios::binary) << bytes;
        return dir_ + "/" + name;
    }
    ProcessOutput Convert(const std::string& in, const std::string& out,
                          const char* dll_exports = nullptr) {
        if (dll_exports != nullptr) {
            return RunProcess({ELF2PE_PATH, "--dll", dll_exports, in, out});
        }
        return RunProcess({ELF2PE_PATH, in, out});
    }
    // The ELF with `change` made to its header and section headers.
    template <typename Change>
    Bytes Changed(Change change) const {
        Bytes bytes = elf_;
        Elf32_Ehdr h;
        std::memcpy(&h, bytes.data(), sizeof h);
        std::vector<Elf32_Shdr> s(h.e_shnum);
        std::memcpy(s.data(), bytes.data() + h.e_shoff, s.size() * sizeof s[0]);
        change(h, s);
        std::memcpy(bytes.data() + h.e_shoff, s.data(), s.size() * sizeof s[0]);
        std::memcpy(bytes.data(), &h, sizeof h);
        return bytes;
    }

    std::string dir_;
    Bytes elf_;
};

Elf32_Shdr& First(std::vector<Elf32_Shdr>& s, uint32_t type) {
    for (Elf32_Shdr& h : s) {
        if (h.sh_type == type && h.sh_size != 0) {
            return h;
        }
    }
    return s[0];
}

TEST_F(Elf2pe, RefusesADamagedElfWithOneLine) {
    ASSERT_EQ(mkfifo((dir_ + "/fifo").c_str(), 0600), 0);
    const std::string long_name(256, 'x');
    std::string many_names = "main";
    for (int i = 0; i < 256; ++i) {
        many_names += ",f" + std::to_string(i);
    }
    const struct {
        const char* what;
        std::string input;
        const char* says;
        const char* dll_exports = nullptr;  // written as a DLL exporting these
    } cases[] = {
        {"offset that wraps", Write("wrap", Changed([](Elf32_Ehdr&, std::vector<Elf32_Shdr>& s) {
             First(s, SHT_PROGBITS).sh_offset = 0xFFFFFF00;
         })), "section .text outside the ELF file"},
        {"name table index", Write("names", Changed([](Elf32_Ehdr& h, std::vector<Elf32_Shdr>&) {
             h.e_shstrndx = 999;
         })), "the section name table is section 999 of"},
        {"relocated section index", Write("info", Changed([](Elf32_Ehdr&, std::vector<Elf32_Shdr>& s) {
             First(s, SHT_REL).sh_info = 999;
         })), "what relocations apply to is section 999 of"},
        {"entry outside the code", Write("entry", Changed([](Elf32_Ehdr& h, std::vector<Elf32_Shdr>&) {
             h.e_entry = 0;
         })), "entry point 0 is not in the image's code"},
        {"a FIFO", dir_ + "/fifo", "fifo is not a regular file"},
        {"an export that is not there", Write("good", elf_), "export Install_Init is not a global",
         "main,Install_Init"},
        {"an export that is data", Write("good", elf_), "export RTC_REG_BASE is not a global",
         "RTC_REG_BASE"},
        {"an export named twice", Write("good", elf_), "export main named twice", "main,main"},
        // The loader reads names of at most 255 characters and 256 exports.
        {"an export name the loader would refuse", Write("good", elf_),
         "is longer than 255 characters", long_name.c_str()},
        {"more exports than the loader reads", Write("good", elf_), "more than 256 exports",
         many_names.c_str()},
    };
    for (const auto& c : cases) {
        const ProcessOutput r = Convert(c.input, dir_ + "/out.exe", c.dll_exports);
        EXPECT_EQ(r.exit_code, 1) << c.what;
        EXPECT_EQ(SplitLines(r.err).size(), 1U) << c.what << ": " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.what << ": " << r.err;
        EXPECT_NE(access((dir_ + "/out.exe").c_str(), F_OK), 0) << c.what;
    }
}

TEST_F(Elf2pe, LeavesEveryFileItDidNotMakeAsItWas) {
    const std::string input = Write("in.elf", elf_);
    const std::string damaged = Write("bad.elf", elf_.substr(0, 100));
    const std::string kept = Write("kept.exe", "an earlier image");
    ASSERT_EQ(mkdir((dir_ + "/adir").c_str(), 0700), 0);
    const struct {
        std::string input, output;
        const char* says;
    } cases[] = {
        {input, dir_ + "/adir", "adir is not a regular file"},
        {input, input, "in.elf is the input file"},
        {input, dir_ + "/missing/out.exe", "cannot write"},
        {damaged, kept, "truncated ELF file"},
    };
    for (const auto& c : cases) {
        const ProcessOutput r = Convert(c.input, c.output);
        EXPECT_EQ(r.exit_code, 1) << c.output;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    struct stat st {};
    EXPECT_EQ(stat((dir_ + "/adir").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(ReadFile(input), elf_);
    EXPECT_EQ(ReadFile(kept), "an earlier image");
    // Nothing half-made is left beside the outputs either.
    EXPECT_EQ(RunProcess({"/bin/sh", "-c", "ls \"$0\" | wc -l", dir_}).out, "4\n");

    // The same ELF and resources make the same image, byte for byte.
    const ProcessOutput made =
        RunProcess({ELF2PE_PATH, "--resources", DEVICE_DIR "/res/nuv.res", input, kept});
    ASSERT_EQ(made.exit_code, 0) << made.err;
    EXPECT_EQ(ReadFile(kept), ReadFile(DEVICE_DIR "/nuv.exe"));
}

// A resource file that is not what llvm-rc writes is refused in one line
// naming it, and nothing is written.
TEST_F(Elf2pe, RefusesAResourceFileItCannotRead) {
    const std::string input = Write("in.elf", elf_);
    const std::string res = ReadFile(DEVICE_DIR "/res/nuv.res");
    const struct {
        std::string bytes;
        const char* says;
    } cases[] = {
        {"", "not a 32-bit .res file (no empty first entry)"},
        {res.substr(0, res.size() - 8), "a resource's data runs past the end of the file"},
        {res.substr(0, 40), "a resource header runs past the end of the file"},
        {res + res.substr(32), "a resource given twice"},
    };
    for (const auto& c : cases) {
        const std::string file = Write("bad.res", c.bytes);
        const ProcessOutput r =
            RunProcess({ELF2PE_PATH, "--resources", file, input, dir_ + "/out.exe"});
        EXPECT_EQ(r.exit_code, 1) << c.says;
        EXPECT_EQ(r.err, "elf2pe: " + file + ": " + c.says + "\n");
        EXPECT_NE(access((dir_ + "/out.exe").c_str(), F_OK), 0);
    }
}

}  // namespace
