// The conversion elf2pe makes: a fixer program, linked by ld.lld into an
// ARM ELF at the image base (device/image.ld, --emit-relocs), written as the
// PE32 executable the Windows CE 4.20 loader takes: its sections as they
// are, an import directory for COREDLL.dll built from the thunks' __imp_
// slots, and a base relocation for every absolute address. A DLL (the setup
// library) also gets an export directory naming its functions. Every
// offset, size and index the ELF gives is checked before it is used.
#include "elf_to_pe.h"

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "pe_format.h"
#include "text.h"

namespace {

constexpr uint32_t kMaxImageSize = 0x01000000;  // what the runner maps of an image

using Bytes = std::vector<uint8_t>;

constexpr const char* kDll = "COREDLL.dll";
constexpr const char* kImportPrefix = "__imp_";

struct Section {
    std::string name;
    uint32_t va = 0;
    uint32_t characteristics = 0;
    Bytes data;
};

struct Import {
    uint32_t slot_va;
    std::string name;
};

struct Elf {
    Bytes file;
    Elf32_Ehdr header{};
    std::vector<Elf32_Shdr> sections;

    // Offsets are taken in 64 bits: no sum of ELF fields wraps.
    template <typename T>
    T At(uint64_t offset) const {
        if (offset > file.size() || file.size() - offset < sizeof(T)) {
            throw std::runtime_error("truncated ELF file");
        }
        T value;
        std::memcpy(&value, file.data() + offset, sizeof value);
        return value;
    }
    // Section `index`, which `what` names; a bad index is the file's fault.
    const Elf32_Shdr& Section(uint32_t index, const char* what) const {
        if (index >= sections.size()) {
            throw std::runtime_error(std::string(what) + " is section " + std::to_string(index) +
                                     " of " + std::to_string(sections.size()));
        }
        return sections[index];
    }
    std::string Name(const Elf32_Shdr& strtab, uint32_t offset) const {
        const uint64_t at = uint64_t{strtab.sh_offset} + offset;
        if (offset >= strtab.sh_size || at >= file.size()) {
            throw std::runtime_error("name outside its string table");
        }
        const char* s = reinterpret_cast<const char*>(file.data() + at);
        return {s, strnlen(s, file.size() - at)};
    }
    std::string SectionName(const Elf32_Shdr& s) const {
        return Name(Section(header.e_shstrndx, "the section name table"), s.sh_name);
    }
};

Elf LoadElf(Bytes file) {
    Elf elf;
    elf.file = std::move(file);
    elf.header = elf.At<Elf32_Ehdr>(0);
    const Elf32_Ehdr& h = elf.header;
    if (std::memcmp(h.e_ident, ELFMAG, SELFMAG) != 0 || h.e_ident[EI_CLASS] != ELFCLASS32 ||
        h.e_ident[EI_DATA] != ELFDATA2LSB || h.e_machine != EM_ARM || h.e_type != ET_EXEC) {
        throw std::runtime_error("not a little-endian 32-bit ARM ELF executable");
    }
    for (unsigned i = 0; i < h.e_shnum; ++i) {
        elf.sections.push_back(elf.At<Elf32_Shdr>(h.e_shoff + uint64_t{i} * sizeof(Elf32_Shdr)));
    }
    return elf;
}

// The image's sections, from the ELF's allocated ones; anything the layout
// has no place for (a static constructor table, say) is refused.
std::vector<Section> ImageSections(const Elf& elf) {
    static const std::map<std::string, uint32_t> kKinds = {
        {".text", pe::kCode | pe::kExecute | pe::kRead},
        {".rdata", pe::kInitializedData | pe::kRead},
        {".data", pe::kInitializedData | pe::kRead | pe::kWrite},
    };
    std::vector<Section> out;
    for (const Elf32_Shdr& s : elf.sections) {
        if ((s.sh_flags & SHF_ALLOC) == 0 || s.sh_size == 0) {
            continue;
        }
        const std::string raw_name = elf.SectionName(s);
        const auto kind = kKinds.find(raw_name);
        const std::string name = sim::Escaped(raw_name);  // a damaged file's bytes, said safely
        if (kind == kKinds.end() || s.sh_type != SHT_PROGBITS) {
            throw std::runtime_error("section " + name + " has no place in the image");
        }
        if (s.sh_addr < pe::kImageBase + pe::kSectionAlignment ||
            s.sh_addr % pe::kSectionAlignment != 0) {
            throw std::runtime_error("section " + name + " does not start a page above the base");
        }
        if (uint64_t{s.sh_offset} + s.sh_size > elf.file.size()) {
            throw std::runtime_error("section " + name + " outside the ELF file");
        }
        if (uint64_t{s.sh_addr} + s.sh_size > pe::kImageBase + kMaxImageSize ||
            (!out.empty() && s.sh_addr < out.back().va + out.back().data.size())) {
            throw std::runtime_error("section " + name + " lies out of order or past 16 MiB");
        }
        Section section{raw_name, s.sh_addr, kind->second, {}};
        const auto begin = elf.file.begin() + s.sh_offset;
        section.data.assign(begin, begin + s.sh_size);
        out.push_back(std::move(section));
    }
    return out;
}

const Elf32_Shdr& SymbolTable(const Elf& elf) {
    for (const Elf32_Shdr& s : elf.sections) {
        if (s.sh_type == SHT_SYMTAB) {
            return s;
        }
    }
    throw std::runtime_error("no symbol table");
}

std::vector<Elf32_Sym> Symbols(const Elf& elf) {
    const Elf32_Shdr& table = SymbolTable(elf);
    std::vector<Elf32_Sym> out;
    for (size_t at = 0; at + sizeof(Elf32_Sym) <= table.sh_size; at += sizeof(Elf32_Sym)) {
        out.push_back(elf.At<Elf32_Sym>(uint64_t{table.sh_offset} + at));
    }
    return out;
}

// The import slots, in address order; they must form one table.
std::vector<Import> Imports(const Elf& elf) {
    const Elf32_Shdr& strtab = elf.Section(SymbolTable(elf).sh_link, "the symbol names");
    std::vector<Import> out;
    for (const Elf32_Sym& sym : Symbols(elf)) {
        const std::string name = elf.Name(strtab, sym.st_name);
        if (name.rfind(kImportPrefix, 0) == 0 && sym.st_shndx != SHN_UNDEF) {
            out.push_back({sym.st_value, name.substr(std::strlen(kImportPrefix))});
        }
    }
    std::sort(out.begin(), out.end(),
              [](const Import& a, const Import& b) { return a.slot_va < b.slot_va; });
    for (size_t i = 1; i < out.size(); ++i) {
        if (out[i].slot_va != out[0].slot_va + 4 * i) {
            throw std::runtime_error("import slot of " + out[i].name + " is not next in the table");
        }
    }
    return out;
}

bool IsPcRelative(uint32_t type) {
    switch (type) {
        case R_ARM_NONE:
        case R_ARM_PC24:
        case R_ARM_REL32:
        case R_ARM_CALL:
        case R_ARM_JUMP24:
        case R_ARM_V4BX:
        case R_ARM_PREL31: return true;
        default: return false;
    }
}

// Whether `rel` makes its word an absolute address of the image.
bool IsAbsoluteWord(const Elf32_Rel& rel, const std::vector<Elf32_Sym>& symbols) {
    const uint32_t type = ELF32_R_TYPE(rel.r_info);
    if (IsPcRelative(type)) {
        return false;
    }
    const std::string at = " at " + std::to_string(rel.r_offset);
    if (type != R_ARM_ABS32 && type != R_ARM_TARGET1) {
        throw std::runtime_error("relocation type " + std::to_string(type) + at +
                                 " cannot be based");
    }
    const uint32_t symbol = ELF32_R_SYM(rel.r_info);
    if (symbol >= symbols.size()) {
        throw std::runtime_error("relocation" + at + " names symbol " + std::to_string(symbol) +
                                 " of " + std::to_string(symbols.size()));
    }
    return symbols[symbol].st_shndx != SHN_ABS;
}

// The address of every word that holds an absolute address of the image.
std::vector<uint32_t> AbsoluteWords(const Elf& elf) {
    const std::vector<Elf32_Sym> symbols = Symbols(elf);
    std::vector<uint32_t> out;
    for (const Elf32_Shdr& s : elf.sections) {
        if (s.sh_type != SHT_REL ||
            (elf.Section(s.sh_info, "what relocations apply to").sh_flags & SHF_ALLOC) == 0) {
            continue;
        }
        for (size_t at = 0; at + sizeof(Elf32_Rel) <= s.sh_size; at += sizeof(Elf32_Rel)) {
            const auto rel = elf.At<Elf32_Rel>(uint64_t{s.sh_offset} + at);
            if (IsAbsoluteWord(rel, symbols)) {
                out.push_back(rel.r_offset);
            }
        }
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

uint32_t AlignUp(uint32_t v, uint32_t a) {
    return (v + a - 1) / a * a;
}

template <typename T>
void Put(Bytes& out, size_t at, const T& value) {
    if (out.size() < at + sizeof value) {
        out.resize(at + sizeof value);
    }
    std::memcpy(out.data() + at, &value, sizeof value);
}

Section* SectionAt(std::vector<Section>& sections, uint32_t va, uint32_t size) {
    for (Section& s : sections) {
        if (va >= s.va && uint64_t{va} + size <= s.va + s.data.size()) {
            return &s;
        }
    }
    return nullptr;
}

// The import directory, lookup table, hint/name entries and DLL name, at
// `va`; also points every IAT slot at its hint/name entry, as the loader
// expects of an image on disk.
Section BuildImports(const std::vector<Import>& imports, uint32_t va,
                     std::vector<Section>& sections) {
    Section idata{".idata", va, pe::kInitializedData | pe::kRead, {}};
    const uint32_t lookup = 2 * sizeof(pe::ImportDescriptor);
    uint32_t names = lookup + 4 * static_cast<uint32_t>(imports.size() + 1);
    for (size_t i = 0; i < imports.size(); ++i) {
        const uint32_t hint_name_rva = va + names - pe::kImageBase;
        Put(idata.data, lookup + 4 * i, hint_name_rva);
        Put(idata.data, names, uint16_t{0});
        const std::string& name = imports[i].name;
        idata.data.insert(idata.data.end(), name.begin(), name.end());
        idata.data.resize(AlignUp(static_cast<uint32_t>(idata.data.size()) + 1, 2));
        names = static_cast<uint32_t>(idata.data.size());
        Section* slot = SectionAt(sections, imports[i].slot_va, 4);
        if (slot == nullptr) {
            throw std::runtime_error("import slot of " + sim::Escaped(name) + " outside the image");
        }
        Put(slot->data, imports[i].slot_va - slot->va, hint_name_rva);
    }
    Put(idata.data, lookup + 4 * imports.size(), uint32_t{0});
    const uint32_t dll = static_cast<uint32_t>(idata.data.size());
    idata.data.insert(idata.data.end(), kDll, kDll + std::strlen(kDll) + 1);
    pe::ImportDescriptor d{};
    d.lookup_table_rva = va + lookup - pe::kImageBase;
    d.name_rva = va + dll - pe::kImageBase;
    d.address_table_rva = imports.empty() ? 0 : imports[0].slot_va - pe::kImageBase;
    Put(idata.data, 0, d);
    return idata;
}

// Each exported function (its address and name, as an import's record), in
// name order: the loader looks names up by binary search. Each must be a
// global function in the code.
std::vector<Import> ExportedFunctions(const Elf& elf, std::vector<std::string> names,
                                      std::vector<Section>& sections) {
    std::sort(names.begin(), names.end());
    if (names.size() > pe::kMaxExports) {
        throw std::runtime_error("more than " + std::to_string(pe::kMaxExports) + " exports");
    }
    const Elf32_Shdr& strtab = elf.Section(SymbolTable(elf).sh_link, "the symbol names");
    std::vector<Import> out;
    for (const std::string& name : names) {
        if (name.size() > pe::kMaxNameLength) {
            throw std::runtime_error("export " + name.substr(0, 16) + "... is longer than " +
                                     std::to_string(pe::kMaxNameLength) + " characters");
        }
        uint32_t at = 0;
        for (const Elf32_Sym& sym : Symbols(elf)) {
            if (ELF32_ST_TYPE(sym.st_info) == STT_FUNC && sym.st_shndx != SHN_UNDEF &&
                ELF32_ST_BIND(sym.st_info) == STB_GLOBAL && elf.Name(strtab, sym.st_name) == name) {
                at = sym.st_value;
            }
        }
        const Section* code = SectionAt(sections, at, 4);
        if (at == 0 || code == nullptr || (code->characteristics & pe::kCode) == 0) {
            throw std::runtime_error("export " + name + " is not a global function in the code");
        }
        if (!out.empty() && out.back().name == name) {
            throw std::runtime_error("export " + name + " named twice");
        }
        out.push_back({at, name});
    }
    return out;
}

// The export directory, address, name and ordinal tables and the names, at `va`.
Section BuildExports(const std::vector<Import>& functions, const std::string& dll, uint32_t va) {
    Section edata{".edata", va, pe::kInitializedData | pe::kRead, {}};
    const auto n = static_cast<uint32_t>(functions.size());
    const uint32_t addresses = sizeof(pe::ExportDirectory);
    const uint32_t names = addresses + 4 * n;
    const uint32_t ordinals = names + 4 * n;
    edata.data.resize(AlignUp(ordinals + 2 * n, 4));
    for (uint32_t i = 0; i < n; ++i) {
        Put(edata.data, addresses + 4 * i, functions[i].slot_va - pe::kImageBase);
        Put(edata.data, names + 4 * i, static_cast<uint32_t>(va + edata.data.size()) - pe::kImageBase);
        Put(edata.data, ordinals + 2 * i, static_cast<uint16_t>(i));
        const std::string& name = functions[i].name;
        edata.data.insert(edata.data.end(), name.c_str(), name.c_str() + name.size() + 1);
    }
    pe::ExportDirectory d{};
    d.name_rva = static_cast<uint32_t>(va + edata.data.size()) - pe::kImageBase;
    edata.data.insert(edata.data.end(), dll.c_str(), dll.c_str() + dll.size() + 1);
    d.ordinal_base = 1;
    d.function_count = d.name_count = n;
    d.functions_rva = va + addresses - pe::kImageBase;
    d.names_rva = va + names - pe::kImageBase;
    d.ordinals_rva = va + ordinals - pe::kImageBase;
    Put(edata.data, 0, d);
    return edata;
}

// One block of HIGHLOW entries per 4 KiB page, each padded to a word.
Section BuildRelocations(const std::vector<uint32_t>& words, uint32_t va) {
    Section reloc{".reloc", va, pe::kInitializedData | pe::kDiscardable | pe::kRead, {}};
    size_t i = 0;
    while (i < words.size()) {
        const uint32_t page = words[i] & ~(pe::kSectionAlignment - 1);
        const size_t block = reloc.data.size();
        reloc.data.resize(block + sizeof(pe::BaseRelocBlock));
        for (; i < words.size() && (words[i] & ~(pe::kSectionAlignment - 1)) == page; ++i) {
            const auto entry =
                static_cast<uint16_t>((pe::kRelBasedHighLow << 12) | (words[i] - page));
            Put(reloc.data, reloc.data.size(), entry);
        }
        if (reloc.data.size() % 4 != 0) {
            Put(reloc.data, reloc.data.size(), pe::kRelBasedAbsolute);
        }
        const pe::BaseRelocBlock header{page - pe::kImageBase,
                                        static_cast<uint32_t>(reloc.data.size() - block)};
        Put(reloc.data, block, header);
    }
    return reloc;
}

pe::OptionalHeader OptionalHeaderFor(const std::vector<Section>& sections, uint32_t entry_va) {
    pe::OptionalHeader o{};
    o.magic = pe::kOptionalMagic;
    o.entry_rva = entry_va - pe::kImageBase;
    o.image_base = pe::kImageBase;
    o.section_alignment = pe::kSectionAlignment;
    o.file_alignment = pe::kFileAlignment;
    o.os_major = o.subsystem_major = pe::kCeMajor;
    o.os_minor = o.subsystem_minor = pe::kCeMinor;
    o.subsystem = pe::kSubsystemWindowsCeGui;
    o.stack_reserve = pe::kStackReserve;
    o.stack_commit = pe::kSectionAlignment;
    o.heap_reserve = 0x100000;
    o.heap_commit = pe::kSectionAlignment;
    o.directory_count = pe::kDataDirectories;
    for (const Section& s : sections) {
        const auto size = AlignUp(static_cast<uint32_t>(s.data.size()), pe::kFileAlignment);
        if ((s.characteristics & pe::kCode) != 0) {
            o.code_size += size;
            o.code_base = o.code_base != 0 ? o.code_base : s.va - pe::kImageBase;
        } else {
            o.initialized_size += size;
            o.data_base = o.data_base != 0 ? o.data_base : s.va - pe::kImageBase;
        }
    }
    const Section& last = sections.back();
    o.image_size =
        AlignUp(last.va + static_cast<uint32_t>(last.data.size()), pe::kSectionAlignment) -
        pe::kImageBase;
    return o;
}

Bytes WriteImage(const std::vector<Section>& sections, pe::OptionalHeader optional, bool dll) {
    const uint32_t nt_at = sizeof(pe::DosHeader);
    const uint32_t headers = nt_at + sizeof(pe::NtHeaders) +
                             static_cast<uint32_t>(sections.size() * sizeof(pe::SectionHeader));
    optional.headers_size = AlignUp(headers, pe::kFileAlignment);
    Bytes out(optional.headers_size, 0);
    pe::DosHeader dos{};
    dos.magic = pe::kDosMagic;
    dos.pe_offset = nt_at;
    Put(out, 0, dos);
    uint32_t raw = optional.headers_size;
    for (size_t i = 0; i < sections.size(); ++i) {
        const Section& s = sections[i];
        pe::SectionHeader h{};
        std::memcpy(h.name, s.name.data(), std::min(s.name.size(), sizeof h.name));
        h.virtual_size = static_cast<uint32_t>(s.data.size());
        h.rva = s.va - pe::kImageBase;
        h.raw_size = AlignUp(h.virtual_size, pe::kFileAlignment);
        h.raw_offset = raw;
        h.characteristics = s.characteristics;
        Put(out, nt_at + sizeof(pe::NtHeaders) + i * sizeof h, h);
        out.resize(raw + h.raw_size, 0);
        std::copy(s.data.begin(), s.data.end(), out.begin() + raw);
        raw += h.raw_size;
    }
    pe::NtHeaders nt{};
    nt.signature = pe::kPeSignature;
    nt.file.machine = pe::kMachineArm;
    nt.file.section_count = static_cast<uint16_t>(sections.size());
    nt.file.optional_header_size = sizeof(pe::OptionalHeader);
    nt.file.characteristics = static_cast<uint16_t>(pe::kExecutableImage | pe::k32BitMachine |
                                                    (dll ? pe::kDllImage : 0));
    nt.optional = optional;
    Put(out, nt_at, nt);
    Put(out, nt_at + pe::kChecksumInNtHeaders,
        pe::ImageChecksum(out, nt_at + pe::kChecksumInNtHeaders));
    return out;
}

// Every relocated word inside a section, and the entry in the code.
void CheckPlaces(std::vector<Section>& sections, const std::vector<uint32_t>& words,
                 uint32_t entry_va) {
    for (const uint32_t word : words) {
        if (SectionAt(sections, word, 4) == nullptr) {
            throw std::runtime_error("relocation at " + std::to_string(word) +
                                     " lies outside the image's sections");
        }
    }
    const Section* entry = SectionAt(sections, entry_va, 4);
    if (entry == nullptr || (entry->characteristics & pe::kCode) == 0) {
        throw std::runtime_error("entry point " + std::to_string(entry_va) +
                                 " is not in the image's code");
    }
}

uint32_t After(const Section& s) {
    return AlignUp(s.va + static_cast<uint32_t>(s.data.size()), pe::kSectionAlignment);
}

pe::DataDirectory DirectoryOf(const Section& s, uint32_t size) {
    return {s.va - pe::kImageBase, size};
}

Bytes Convert(const Elf& elf, const pe::DllExports& dll,
              const std::vector<pe::Resource>& resources) {
    std::vector<Section> sections = ImageSections(elf);
    if (sections.empty()) {
        throw std::runtime_error("nothing to place in the image");
    }
    const std::vector<Import> imports = Imports(elf);
    const std::vector<uint32_t> words = AbsoluteWords(elf);
    CheckPlaces(sections, words, elf.header.e_entry);
    const std::vector<Import> exports = ExportedFunctions(elf, dll.names, sections);
    Section idata = BuildImports(imports, After(sections.back()), sections);
    pe::OptionalHeader optional{};
    optional.directories[pe::kImportDirectory] =
        DirectoryOf(idata, 2 * sizeof(pe::ImportDescriptor));
    sections.push_back(std::move(idata));
    if (!exports.empty()) {
        Section edata = BuildExports(exports, dll.name, After(sections.back()));
        optional.directories[pe::kExportDirectory] =
            DirectoryOf(edata, static_cast<uint32_t>(edata.data.size()));
        sections.push_back(std::move(edata));
    }
    if (!resources.empty()) {
        const uint32_t va = After(sections.back());
        Section rsrc{".rsrc", va, pe::kInitializedData | pe::kRead,
                     pe::ResourceSection(resources, va - pe::kImageBase)};
        optional.directories[pe::kResourceDirectory] =
            DirectoryOf(rsrc, static_cast<uint32_t>(rsrc.data.size()));
        sections.push_back(std::move(rsrc));
    }
    Section reloc = BuildRelocations(words, After(sections.back()));
    optional.directories[pe::kBaseRelocDirectory] =
        DirectoryOf(reloc, static_cast<uint32_t>(reloc.data.size()));
    sections.push_back(std::move(reloc));
    if (!imports.empty()) {
        optional.directories[pe::kIatDirectory] = {imports[0].slot_va - pe::kImageBase,
                                                   4 * static_cast<uint32_t>(imports.size() + 1)};
    }
    pe::OptionalHeader laid_out = OptionalHeaderFor(sections, elf.header.e_entry);
    std::copy(std::begin(optional.directories), std::end(optional.directories),
              std::begin(laid_out.directories));
    return WriteImage(sections, laid_out, !exports.empty());
}

}  // namespace

namespace pe {

sim::Result<std::vector<uint8_t>> ElfToPe(std::vector<uint8_t> elf_file, const DllExports& dll,
                                          const std::vector<Resource>& resources) {
    try {
        return Convert(LoadElf(std::move(elf_file)), dll, resources);
    } catch (const std::runtime_error& e) {
        return sim::Fail(e.what());
    }
}

}  // namespace pe
