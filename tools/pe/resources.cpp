#include "resources.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>
#include <tuple>

namespace pe {

bool operator<(const ResourceId& a, const ResourceId& b) {
    return std::make_tuple(a.name.empty(), a.name, a.number) <
           std::make_tuple(b.name.empty(), b.name, b.number);
}

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kMaxNameUnits = 256;
constexpr size_t kMaxResources = 4096;
constexpr uint32_t kSubdirectory = 0x80000000;  // an entry's offset names a directory
constexpr uint32_t kNamedEntry = 0x80000000;    // an entry's id is a string's offset
constexpr size_t kDirectorySize = 16;
constexpr size_t kEntrySize = 8;
constexpr size_t kDataEntrySize = 16;

uint64_t Align(uint64_t v, uint64_t a) { return (v + a - 1) / a * a; }

// Reads the .res file's fields, each checked against the file's end.
struct Reader {
    const Bytes& file;
    uint64_t at;

    uint32_t Word(size_t bytes) {
        if (at + bytes > file.size()) {
            throw std::runtime_error("a resource header runs past the end of the file");
        }
        uint32_t v = 0;
        for (size_t i = bytes; i > 0; --i) {
            v = (v << 8) | file[at + i - 1];
        }
        at += bytes;
        return v;
    }

    // A type or name: 0xFFFF and a number, or a NUL-terminated UTF-16 string.
    ResourceId Id() {
        ResourceId id;
        const auto first = static_cast<uint16_t>(Word(2));
        if (first == 0xFFFF) {
            id.number = static_cast<uint16_t>(Word(2));
            return id;
        }
        for (uint16_t c = first; c != 0; c = static_cast<uint16_t>(Word(2))) {
            if (id.name.size() == kMaxNameUnits) {
                throw std::runtime_error("a resource name longer than 256 characters");
            }
            id.name += static_cast<char16_t>(c);
        }
        return id;
    }
};

// The resource whose header starts at `at`; `at` moved to the next one.
Resource ReadOne(const Bytes& file, uint64_t& at) {
    Reader r{file, at};
    const uint32_t data_size = r.Word(4);
    const uint32_t header_size = r.Word(4);
    Resource res;
    res.type = r.Id();
    res.name = r.Id();
    r.at = at + Align(r.at - at, 4);
    r.Word(4);  // data version
    r.Word(2);  // memory flags
    res.language = static_cast<uint16_t>(r.Word(2));
    r.Word(4);  // version
    r.Word(4);  // characteristics
    if (r.at - at != header_size) {
        throw std::runtime_error("a resource header of " + std::to_string(header_size) +
                                 " bytes holds " + std::to_string(r.at - at));
    }
    if (r.at + data_size > file.size()) {
        throw std::runtime_error("a resource's data runs past the end of the file");
    }
    res.data.assign(file.begin() + static_cast<std::ptrdiff_t>(r.at),
                    file.begin() + static_cast<std::ptrdiff_t>(r.at + data_size));
    at = Align(r.at + data_size, 4);
    return res;
}

}  // namespace

sim::Result<std::vector<Resource>> ReadResFile(const std::vector<uint8_t>& file) {
    static const uint8_t kEmptyEntry[] = {0, 0, 0, 0, 0x20, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0};
    if (file.size() < 32 || std::memcmp(file.data(), kEmptyEntry, sizeof kEmptyEntry) != 0) {
        return sim::Fail("not a 32-bit .res file (no empty first entry)");
    }
    std::vector<Resource> resources;
    std::set<std::tuple<ResourceId, ResourceId, uint16_t>> seen;
    try {
        for (uint64_t at = 32; at < file.size();) {
            Resource res = ReadOne(file, at);
            if (res.type.name.empty() && res.type.number == 0) {
                continue;  // another empty entry
            }
            if (resources.size() == kMaxResources ||
                !seen.emplace(res.type, res.name, res.language).second) {
                throw std::runtime_error(resources.size() == kMaxResources
                                             ? "more than 4096 resources"
                                             : "a resource given twice");
            }
            resources.push_back(std::move(res));
        }
    } catch (const std::runtime_error& e) {
        return sim::Fail(e.what());
    }
    return resources;
}

namespace {

using Languages = std::map<uint16_t, const Resource*>;
using Names = std::map<ResourceId, Languages>;
using Tree = std::map<ResourceId, Names>;

void PutWord(Bytes& out, size_t at, uint32_t v, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) {
        out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

size_t DirectoryBytes(size_t entries) { return kDirectorySize + kEntrySize * entries; }

// Where each directory goes, breadth first: the root, each type's, each
// name's (in the tree's order); then the names' strings.
struct Layout {
    std::vector<size_t> types;
    std::vector<size_t> names;
    size_t strings = 0;
    size_t strings_size = 0;
    size_t resources = 0;
};

Layout LayOut(const Tree& tree) {
    Layout l;
    size_t next = DirectoryBytes(tree.size());
    for (const auto& [type, names] : tree) {
        l.types.push_back(next);
        next += DirectoryBytes(names.size());
        l.strings_size += type.name.empty() ? 0 : 2 + 2 * type.name.size();
    }
    for (const auto& [type, names] : tree) {
        for (const auto& [name, languages] : names) {
            l.names.push_back(next);
            next += DirectoryBytes(languages.size());
            l.strings_size += name.name.empty() ? 0 : 2 + 2 * name.name.size();
            l.resources += languages.size();
        }
    }
    l.strings = next;
    return l;
}

// A directory's header at `at`: how many of its entries are named, how many numbered.
void PutDirectory(Bytes& out, size_t at, size_t named, size_t numbered) {
    PutWord(out, at + 12, static_cast<uint32_t>(named), 2);
    PutWord(out, at + 14, static_cast<uint32_t>(numbered), 2);
}

// Entry `i` of the directory at `at`: `id` (its name written at `strings`,
// which moves on) and what it points at.
void PutEntry(Bytes& out, size_t at, size_t i, const ResourceId& id, size_t& strings,
              uint32_t target) {
    uint32_t key = id.number;
    if (!id.name.empty()) {
        key = kNamedEntry | static_cast<uint32_t>(strings);
        PutWord(out, strings, static_cast<uint32_t>(id.name.size()), 2);
        for (size_t c = 0; c < id.name.size(); ++c) {
            PutWord(out, strings + 2 + 2 * c, id.name[c], 2);
        }
        strings += 2 + 2 * id.name.size();
    }
    PutWord(out, at + kDirectorySize + kEntrySize * i, key, 4);
    PutWord(out, at + kDirectorySize + kEntrySize * i + 4, target, 4);
}

template <typename Map>
size_t NamedCount(const Map& m) {
    return static_cast<size_t>(
        std::count_if(m.begin(), m.end(), [](const auto& e) { return !e.first.name.empty(); }));
}

// The directories, with their language entries pointing at the data
// entries from `entries_at` on, in the tree's order.
void WriteTree(Bytes& out, const Tree& tree, const Layout& l, size_t entries_at) {
    size_t strings = l.strings;
    size_t t = 0;
    size_t n = 0;
    size_t data_entry = entries_at;
    PutDirectory(out, 0, NamedCount(tree), tree.size() - NamedCount(tree));
    for (const auto& [type, names] : tree) {
        PutEntry(out, 0, t, type, strings, kSubdirectory | static_cast<uint32_t>(l.types[t]));
        PutDirectory(out, l.types[t], NamedCount(names), names.size() - NamedCount(names));
        size_t i = 0;
        for (const auto& [name, languages] : names) {
            PutEntry(out, l.types[t], i++, name, strings,
                     kSubdirectory | static_cast<uint32_t>(l.names[n]));
            PutDirectory(out, l.names[n], 0, languages.size());
            size_t k = 0;
            for (const auto& [language, resource] : languages) {
                PutEntry(out, l.names[n], k++, ResourceId{language, {}}, strings,
                         static_cast<uint32_t>(data_entry));
                data_entry += kDataEntrySize;
            }
            ++n;
        }
        ++t;
    }
}

// The resources in the tree's order: the order of the data entries.
std::vector<const Resource*> Ordered(const Tree& tree) {
    std::vector<const Resource*> ordered;
    for (const auto& [type, names] : tree) {
        for (const auto& [name, languages] : names) {
            for (const auto& [language, resource] : languages) {
                ordered.push_back(resource);
            }
        }
    }
    return ordered;
}

}  // namespace

std::vector<uint8_t> ResourceSection(const std::vector<Resource>& resources, uint32_t rva) {
    Tree tree;
    for (const Resource& r : resources) {
        tree[r.type][r.name][r.language] = &r;
    }
    const Layout l = LayOut(tree);
    const size_t entries_at = Align(l.strings + l.strings_size, 4);
    size_t data_at = Align(entries_at + kDataEntrySize * l.resources, 8);
    const std::vector<const Resource*> ordered = Ordered(tree);
    std::vector<size_t> places;
    for (const Resource* r : ordered) {
        places.push_back(data_at);
        data_at = Align(data_at + r->data.size(), 8);
    }
    Bytes out(std::max<size_t>(data_at, 4), 0);
    WriteTree(out, tree, l, entries_at);
    for (size_t i = 0; i < ordered.size(); ++i) {
        const size_t entry = entries_at + kDataEntrySize * i;
        PutWord(out, entry, rva + static_cast<uint32_t>(places[i]), 4);
        PutWord(out, entry + 4, static_cast<uint32_t>(ordered[i]->data.size()), 4);
        std::copy(ordered[i]->data.begin(), ordered[i]->data.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(places[i]));
    }
    return out;
}

}  // namespace pe
