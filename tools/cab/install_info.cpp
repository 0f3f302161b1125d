#include "install_info.h"

#include <cstring>

namespace cab {

namespace {

using Bytes = std::vector<uint8_t>;

template <typename T>
void Put(Bytes& out, size_t at, T value) {
    std::memcpy(out.data() + at, &value, sizeof value);
}

template <typename T>
void Append(Bytes& out, T value) {
    out.resize(out.size() + sizeof value);
    Put(out, out.size() - sizeof value, value);
}

void AppendText(Bytes& out, const std::string& text, size_t length) {
    const size_t at = out.size();
    out.resize(at + length, 0);
    std::memcpy(out.data() + at, text.data(), text.size());
}

// A STRINGS entry: its id and its length with the NUL, then the text; no
// padding between entries, as the platform's own cabinet builder writes.
void AppendString(Bytes& out, uint16_t id, const std::string& text) {
    const auto length = static_cast<uint16_t>(text.size() + 1);
    Append(out, id);
    Append(out, length);
    AppendText(out, text, length);
}

// A path of string ids, ended by 0, with its byte length first.
void AppendStringPath(Bytes& out, uint16_t string_id) {
    Append(out, uint16_t{4});
    Append(out, string_id);
    Append(out, uint16_t{0});
}

// The name strings: APPNAME, PROVIDER and an empty UNSUPPORTED list.
void AppendNames(Bytes& out, const InstallInfo& info) {
    const std::string names[] = {info.app_name, info.provider, ""};
    for (int i = 0; i < 3; ++i) {
        Put(out, 84 + 4 * static_cast<size_t>(i), static_cast<uint16_t>(out.size()));
        Put(out, 86 + 4 * static_cast<size_t>(i), static_cast<uint16_t>(names[i].size() + 1));
        AppendText(out, names[i], names[i].size() + 1);
    }
}

// STRINGS (1: "%CE2%", 2: the shortcut's file name) and DIRS (1: \Windows).
// The installer makes the shortcut under the name as stored, so it carries
// the ".lnk" the builder adds; without it the Start menu would not show it.
void AppendStringsAndDirs(Bytes& out, const InstallInfo& info) {
    Put(out, 48, uint16_t{2});
    Put(out, 60, static_cast<uint32_t>(out.size()));
    AppendString(out, 1, "%CE" + std::to_string(kWindowsDir) + "%");
    AppendString(out, 2, info.shortcut + kLinkExtension);
    Put(out, 50, uint16_t{1});
    Put(out, 64, static_cast<uint32_t>(out.size()));
    Append(out, uint16_t{1});
    AppendStringPath(out, 1);
}

void AppendFiles(Bytes& out, const InstallInfo& info) {
    Put(out, 52, static_cast<uint16_t>(info.files.size()));
    Put(out, 68, static_cast<uint32_t>(out.size()));
    for (size_t i = 0; i < info.files.size(); ++i) {
        const auto member = static_cast<uint16_t>(i + 1);
        Append(out, member);
        Append(out, uint16_t{1});  // into \Windows
        Append(out, member);
        Append(out, kNoSkip | kIgnoreDate);
        Append(out, static_cast<uint16_t>(info.files[i].size() + 1));
        AppendText(out, info.files[i], info.files[i].size() + 1);
    }
}

// No registry entries: both sections empty, at the LINKS section's offset.
void AppendLinks(Bytes& out, const InstallInfo& info) {
    for (const size_t field : {size_t{72}, size_t{76}, size_t{80}}) {
        Put(out, field, static_cast<uint32_t>(out.size()));
    }
    Put(out, 58, uint16_t{1});
    Append(out, uint16_t{1});             // link id
    Append(out, uint16_t{0});             // unknown
    Append(out, kProgramsDir);            // base directory %CE11%
    Append(out, static_cast<uint16_t>(info.shortcut_file + 1));  // target: that file's id
    Append(out, uint16_t{1});             // a file, not a directory
    AppendStringPath(out, 2);                   // named by string 2
}

}  // namespace

Bytes WriteInstallInfo(const InstallInfo& info) {
    Bytes out(kHeaderSize, 0);
    Put(out, 0, kSignature);
    Put(out, 16, uint32_t{1});
    Put(out, 20, kStrongArm);
    Put(out, 24, info.min_major);
    Put(out, 28, info.min_minor);
    AppendNames(out, info);
    AppendStringsAndDirs(out, info);
    AppendFiles(out, info);
    AppendLinks(out, info);
    Put(out, 8, static_cast<uint32_t>(out.size()));
    return out;
}

}  // namespace cab
