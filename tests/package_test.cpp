// What the owner gets: the installer cabinet, read back by cabextract and
// by the published layout of its install description, and the guide.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <regex>
#include <set>

#include "fixers.h"
#include "built.h"
#include "status.h"
#include "run_process.h"

namespace {

std::string Member(const std::string& pattern) {
    return RunProcess({"/usr/bin/cabextract", "-q", "-p", "-F", pattern, CAB_FILE}).out;
}

// cabextract's listing of the cabinet: each member's date and name, in
// the cabinet's order.
struct Listed {
    std::string date;
    std::string name;
};
std::vector<Listed> Listing() {
    const ProcessOutput r = RunProcess({"/usr/bin/cabextract", "-l", CAB_FILE});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::vector<Listed> listed;
    for (const std::string& line : SplitLines(r.out)) {
        const size_t first = line.find(" | ");
        const size_t last = line.rfind(" | ");
        if (first != last && line.find("Name") == std::string::npos) {
            listed.push_back({line.substr(first + 3, last - first - 3), line.substr(last + 3)});
        }
    }
    return listed;
}

TEST(Package, CabextractListsExactlyTheMembersInTheInstallersOrder) {
    std::vector<std::string> names;
    for (const Listed& member : Listing()) {
        names.push_back(member.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"clockfix.000", "000setup.999", "clockfix.004",
                                               "000nuv29.003", "000nuv28.002", "00000nuv.001"}));
    EXPECT_EQ(Member("*.999"), ReadFile(DEVICE_DIR "/setup.dll"));
    for (int i = 0; i < sim::kFixerCount; ++i) {
        const std::string image = std::string(DEVICE_DIR "/") + sim::kFixers[i].name + ".exe";
        EXPECT_EQ(Member("*.00" + std::to_string(i + 1)), ReadFile(image)) << image;
    }
    EXPECT_EQ(Member("*.00" + std::to_string(sim::kFixerCount + 1)),
              ReadFile(std::string(DEVICE_DIR "/") + sim::kStatusProgram.name + ".exe"));
}

// The same sources give the same cabinet: every member is dated the day the
// release was made, at noon, whenever it was built.
TEST(Package, EveryMemberIsDatedTheReleaseDayNotTheBuild) {
    char day[32];
    std::snprintf(day, sizeof day, "%02u.%02u.%04u 12:00:00", BUILT_DAY, BUILT_MONTH, BUILT_YEAR);
    const std::vector<Listed> listed = Listing();
    for (const Listed& member : listed) {
        EXPECT_EQ(member.date, day) << member.name;
    }
    EXPECT_EQ(listed.size(), static_cast<size_t>(sim::kFixerCount + 3));
}

// The files the cabinet installs, in member order: the fixers, then the
// status program.
std::vector<std::string> InstalledFiles() {
    std::vector<std::string> files;
    for (const sim::Fixer& f : sim::kFixers) {
        files.push_back(std::string(f.name) + ".exe");
    }
    files.push_back(std::string(sim::kStatusProgram.name) + ".exe");
    return files;
}

// The .000 member, read field by field as the format's description lays it out.
class InstallDescription {
public:
    explicit InstallDescription(std::string bytes) : b_(std::move(bytes)) {}
    size_t size() const { return b_.size(); }
    uint32_t U32(size_t at) const { return Get<uint32_t>(at); }
    uint16_t U16(size_t at) const { return Get<uint16_t>(at); }
    // A NUL-terminated string of `length` bytes, the NUL its last.
    std::string Text(size_t at, size_t length) const {
        EXPECT_LE(at + length, b_.size());
        EXPECT_GT(length, 0U);
        const std::string s = b_.substr(at, length);
        EXPECT_EQ(s.find('\0'), length - 1) << "no padding after the NUL";
        return s.substr(0, s.find('\0'));
    }
    // The STRINGS section as id -> text; its entries fill it exactly, with
    // no padding between them, as the platform's builder writes it.
    std::map<uint16_t, std::string> Strings() const {
        std::map<uint16_t, std::string> out;
        size_t at = U32(60);
        for (unsigned i = 0; i < U16(48); ++i) {
            const uint16_t length = U16(at + 2);
            out[U16(at)] = Text(at + 4, length);
            at += 4U + length;
        }
        EXPECT_EQ(at, U32(64)) << "the DIRS section follows the last string at once";
        return out;
    }
    // A path of string ids ended by 0, of `length` bytes at `at`.
    std::string StringPath(size_t at, size_t length) const {
        std::string path;
        const std::map<uint16_t, std::string> strings = Strings();
        for (size_t i = 0; i + 2 < length; i += 2) {
            path += (path.empty() ? "" : "\\") + strings.at(U16(at + i));
        }
        EXPECT_EQ(U16(at + length - 2), 0U);
        return path;
    }

private:
    template <typename T>
    T Get(size_t at) const {
        EXPECT_LE(at + sizeof(T), b_.size()) << "field at " << at << " past the end";
        T v{};
        if (at + sizeof(T) <= b_.size()) {
            std::memcpy(&v, b_.data() + at, sizeof v);
        }
        return v;
    }
    std::string b_;
};

TEST(Package, TheInstallDescriptionReadsBackByThePublishedLayout) {
    const InstallDescription d(Member("*.000"));
    ASSERT_GT(d.size(), 100U);
    EXPECT_EQ(d.U32(0), 0x4543534DU);  // "MSCE"
    EXPECT_EQ(d.U32(8), d.size());
    EXPECT_EQ((std::vector<uint32_t>{d.U32(4), d.U32(12), d.U32(16), d.U16(96), d.U16(98)}),
              (std::vector<uint32_t>{0, 0, 1, 0, 0}));
    EXPECT_EQ(d.U32(20), 2577U);  // StrongARM
    EXPECT_EQ((std::vector<uint32_t>{d.U32(24), d.U32(28), d.U32(32), d.U32(36), d.U32(40),
                                     d.U32(44)}),
              (std::vector<uint32_t>{4, 20, 0, 0, 0, 0}));  // from Windows CE 4.20 on
    for (size_t field = 60; field <= 80; field += 4) {
        EXPECT_LE(d.U32(field), d.size()) << "section offset at " << field;
    }
    EXPECT_EQ(d.Text(d.U16(84), d.U16(86)), CAB_APP_NAME);
    EXPECT_EQ(d.Text(d.U16(88), d.U16(90)), CAB_PROVIDER);
    EXPECT_EQ(d.Text(d.U16(92), d.U16(94)), "");  // no unsupported platform
    // DIRS: one, \Windows.
    ASSERT_EQ(d.U16(50), 1U);
    const size_t dir = d.U32(64);
    EXPECT_EQ(d.U16(dir), 1U);
    EXPECT_EQ(d.StringPath(dir + 4, d.U16(dir + 2)), "%CE2%");
    // FILES: member n is the n-th file, into \Windows, overwritten without asking.
    const std::vector<std::string> files = InstalledFiles();
    ASSERT_EQ(d.U16(52), files.size());
    size_t at = d.U32(68);
    for (size_t n = 1; n <= files.size(); ++n) {
        EXPECT_EQ((std::vector<uint16_t>{d.U16(at), d.U16(at + 2), d.U16(at + 4)}),
                  (std::vector<uint16_t>{static_cast<uint16_t>(n), 1, static_cast<uint16_t>(n)}));
        EXPECT_EQ(d.U32(at + 6), 0x40000002U);
        EXPECT_EQ(d.Text(at + 12, d.U16(at + 10)), files[n - 1]);
        at += 12U + d.U16(at + 10);
    }
    EXPECT_EQ((std::vector<uint16_t>{d.U16(54), d.U16(56)}), (std::vector<uint16_t>{0, 0}));
    // LINKS: the one shortcut, in %CE11% (Start menu, Programs), to the
    // status program, the last file.
    ASSERT_EQ(d.U16(58), 1U);
    const size_t link = d.U32(80);
    EXPECT_EQ((std::vector<uint16_t>{d.U16(link + 4), d.U16(link + 6), d.U16(link + 8)}),
              (std::vector<uint16_t>{11, static_cast<uint16_t>(files.size()), 1}));
    EXPECT_EQ(d.StringPath(link + 12, d.U16(link + 10)), CAB_SHORTCUT + std::string(".lnk"));
    EXPECT_EQ(link + 12 + d.U16(link + 10), d.size());
}

// How the status program's box opens when all is well, up to its dates,
// as the program itself composes it: the guide quotes it.
std::string StatusBoxOpening() {
    SYSTEMTIME day{};
    day.wYear = 2026;
    day.wMonth = 12;
    day.wDay = 31;
    FixerStatus on = {L"\\Windows\\nuv.exe", true, true, day, true, HELD_AT_DUE};
    WCHAR text[STATUS_TEXT_SIZE];
    ComposeStatus(day, &on, 1, text);
    const std::wstring wide(text);
    const std::string narrow(wide.begin(), wide.end());
    return narrow.substr(0, narrow.find(" on ") + 4) + "31 December";
}

TEST(Package, TheGuideIsAPlainWindowsTextThatNamesWhatThePackageHolds) {
    const std::string guide = ReadFile(GUIDE_FILE);
    ASSERT_GT(guide.size(), 1000U);
    std::string text;  // without the CRs, once each line is checked for its own
    for (const std::string& line : SplitLines(guide)) {
        if (line.empty()) {
            continue;  // after the last line end
        }
        ASSERT_EQ(line.back(), '\r') << "not a CRLF line: " << line;
        const std::string body = line.substr(0, line.size() - 1);
        EXPECT_LE(body.size(), 72U) << body;
        for (const char c : body) {
            EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "not plain ASCII: " << body;
        }
        const std::string start = body.substr(std::min(body.find_first_not_of(' '), body.size()));
        for (const char* mark : {"**", "`", "]("}) {
            EXPECT_EQ(body.find(mark), std::string::npos) << "Markdown '" << mark << "': " << body;
        }
        for (const char* mark : {"#", "- ", "* ", "> ", "===", "---"}) {
            EXPECT_NE(start.rfind(mark, 0), 0U) << "Markdown '" << mark << "': " << body;
        }
        text += body + "\n";
    }
    const std::string cab = CAB_FILE;
    std::set<std::string> package = {cab.substr(cab.rfind('/') + 1)};
    for (const std::string& f : InstalledFiles()) {
        package.insert(f);
    }
    const std::regex file_name(R"([A-Za-z0-9_.-]+\.(exe|cab|dll|txt))");
    for (std::sregex_iterator m(text.begin(), text.end(), file_name), end; m != end; ++m) {
        EXPECT_EQ(package.count(m->str()), 1U) << "not in the package: " << m->str();
    }
    const std::string unwrapped = std::regex_replace(text, std::regex(R"(\s+)"), " ");
    // Remove Programs lists the installer's record as "<provider> <application>".
    const InstallDescription d(Member("*.000"));
    const std::string entry = d.Text(d.U16(88), d.U16(90)) + " " + d.Text(d.U16(84), d.U16(86));
    for (const std::string& phrase :
         {std::string("Start, Programs, ") + CAB_SHORTCUT, std::string("My Device, then Windows"),
          "Remove Programs, choose " + entry + " and tap Remove",
          std::string("Keep the download on your PC"), std::string("manual-install"),
          std::string("23:59 (11:59 PM)"), StatusBoxOpening(),
          std::string("31 December"), std::string("28 February"), std::string("29 February")}) {
        EXPECT_NE(unwrapped.find(phrase), std::string::npos) << phrase;
    }
}

}  // namespace
