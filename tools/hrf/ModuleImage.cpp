#include "tools/hrf/ModuleImage.h"

#include "tools/hrf/HrfFile.h"

#include <cstring>

namespace Hrf {

namespace {

uint16_t readU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t readU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
uint64_t readU64(const uint8_t* p) { return readU32(p) | static_cast<uint64_t>(readU32(p + 4)) << 32; }

bool fail(std::string& error, std::string message) {
    error = std::move(message);
    return false;
}

// True when [offset, offset + length) lies within size, without overflow.
bool within(uint64_t offset, uint64_t length, uint64_t size) { return offset <= size && length <= size - offset; }

uint64_t padded(uint64_t n, uint64_t align) { return n + (align - n % align) % align; }

// A zero-terminated string at offset inside [0, size).
bool stringAt(const uint8_t* base, size_t size, uint32_t offset, std::string_view& out) {
    if (offset >= size) return false;
    const void* zero = std::memchr(base + offset, 0, size - offset);
    if (!zero) return false;
    out = std::string_view(reinterpret_cast<const char*>(base + offset),
                           static_cast<size_t>(static_cast<const uint8_t*>(zero) - (base + offset)));
    return true;
}

enum class TableResult { Found, Missing, Damaged };

TableResult searchTable(const uint8_t* table, size_t size, std::string_view name, std::string_view type,
                        uint16_t language, size_t& dataOffset, size_t& dataSize) {
    constexpr size_t kRecord = 20;
    if (size < 4) return TableResult::Damaged;
    const uint32_t count = readU32(table);
    if (count > (size - 4) / kRecord) return TableResult::Damaged;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* r = table + 4 + static_cast<size_t>(i) * kRecord;
        std::string_view entryType, entryName;
        const uint32_t offset = readU32(r + 8), length = readU32(r + 12), entryLanguage = readU32(r + 16);
        if (!stringAt(table, size, readU32(r), entryType) || !stringAt(table, size, readU32(r + 4), entryName) ||
            !within(offset, length, size))
            return TableResult::Damaged;
        if (sameName(entryType, type) && sameName(entryName, name) &&
            (language == kLanguageAny || entryLanguage == language)) {
            dataOffset = offset;
            dataSize = length;
            return TableResult::Found;
        }
    }
    return TableResult::Missing;
}

// ---- Windows modules (PE32+): the resource directory of the .rsrc data ----------
// Three levels (type, name, language) of directories, each a 16-byte header with
// named then numbered 8-byte entries; offsets are counted from the directory's
// start, names are length-prefixed UTF-16. Only what a lookup touches is read,
// each piece bounds-checked against the file.

constexpr uint32_t kRcDataTypeId = 10;
constexpr uint32_t kSubdirectoryBit = 0x80000000u;

struct PeImage {
    const uint8_t* image;
    size_t size;
    const uint8_t* sections;
    uint16_t sectionCount;
    uint32_t resourceRva;
    uint32_t resourceSize;

    // The file offset of length bytes at a relative virtual address, if all of them are in the file.
    bool fileOffset(uint64_t rva, uint64_t length, uint64_t& at) const {
        for (uint16_t i = 0; i < sectionCount; ++i) {
            const uint8_t* section = sections + static_cast<size_t>(i) * 40;
            const uint64_t address = readU32(section + 12), rawSize = readU32(section + 16), raw = readU32(section + 20);
            if (rva < address || !within(rva - address, length, rawSize)) continue;
            at = raw + (rva - address);
            return within(at, length, size);
        }
        return false;
    }
    // length bytes at offset inside the resource directory.
    const uint8_t* inDirectory(uint64_t offset, uint64_t length) const {
        uint64_t at = 0;
        if (!within(offset, length, resourceSize) || !fileOffset(resourceRva + offset, length, at)) return nullptr;
        return image + at;
    }
};

enum class Match { Found, Missing, Damaged };

// The entry of the directory at dirOffset that wanted() accepts; its data offset in `found`.
template <class Wanted>
Match findEntry(const PeImage& pe, uint32_t dirOffset, Wanted wanted, uint32_t& found) {
    const uint8_t* dir = pe.inDirectory(dirOffset, 16);
    if (!dir) return Match::Damaged;
    const uint32_t count = uint32_t{readU16(dir + 12)} + readU16(dir + 14);
    const uint8_t* entries = pe.inDirectory(uint64_t{dirOffset} + 16, uint64_t{count} * 8);
    if (!entries) return Match::Damaged;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t id = readU32(entries + 8 * i), data = readU32(entries + 8 * i + 4);
        std::string text;
        if (id & kSubdirectoryBit) { // a name: u16 length, then UTF-16 units
            const uint8_t* length = pe.inDirectory(id & ~kSubdirectoryBit, 2);
            if (!length) return Match::Damaged;
            const uint8_t* units = pe.inDirectory(uint64_t{id & ~kSubdirectoryBit} + 2, uint64_t{readU16(length)} * 2);
            if (!units) return Match::Damaged;
            for (uint16_t u = 0; u < readU16(length); ++u) {
                const uint16_t unit = readU16(units + 2 * u);
                text += unit < 0x80 ? static_cast<char>(unit) : '?';
            }
        }
        if (wanted((id & kSubdirectoryBit) != 0, id, text)) {
            found = data;
            return Match::Found;
        }
    }
    return Match::Missing;
}

bool findPeResource(const uint8_t* image, size_t size, std::string_view name, std::string_view type,
                    uint16_t language, size_t& offset, size_t& length, std::string& error) {
    if (size < 64) return fail(error, "not a Windows module");
    const uint32_t header = readU32(image + 0x3C);
    if (!within(header, 24, size) || std::memcmp(image + header, "PE\0\0", 4) != 0)
        return fail(error, "not a Windows module");
    const uint16_t sectionCount = readU16(image + header + 6), optionalSize = readU16(image + header + 20);
    const uint64_t optional = uint64_t{header} + 24;
    if (optionalSize < 136 || !within(optional, optionalSize, size) || readU16(image + optional) != 0x20B)
        return fail(error, "not a 64-bit Windows module");
    if (readU32(image + optional + 108) < 3) return fail(error, "the module has no resources");
    const uint64_t sections = optional + optionalSize;
    if (!within(sections, uint64_t{sectionCount} * 40, size))
        return fail(error, "the module's section table lies outside the file");
    const PeImage pe{image, size, image + sections, sectionCount, readU32(image + optional + 128),
                     readU32(image + optional + 132)};
    if (pe.resourceSize == 0) return fail(error, "the module has no resources");

    const bool rcData = sameName(type, kResourceTypeRcData);
    uint32_t typeDir = 0, nameDir = 0, dataEntry = 0;
    Match m = findEntry(pe, 0, [&](bool named, uint32_t id, const std::string& text) {
        return named ? sameName(text, type) : rcData && id == kRcDataTypeId;
    }, typeDir);
    if (m == Match::Found) {
        m = (typeDir & kSubdirectoryBit) ? findEntry(pe, typeDir & ~kSubdirectoryBit, [&](bool named, uint32_t, const std::string& text) {
            return named && sameName(text, name);
        }, nameDir) : Match::Damaged;
    }
    if (m == Match::Found) {
        m = (nameDir & kSubdirectoryBit) ? findEntry(pe, nameDir & ~kSubdirectoryBit, [&](bool named, uint32_t id, const std::string&) {
            return !named && (language == kLanguageAny || id == language);
        }, dataEntry) : Match::Damaged;
    }
    if (m == Match::Found) {
        const uint8_t* entry = (dataEntry & kSubdirectoryBit) ? nullptr : pe.inDirectory(dataEntry, 16);
        uint64_t at = 0;
        if (entry && pe.fileOffset(readU32(entry), readU32(entry + 4), at)) {
            offset = static_cast<size_t>(at);
            length = readU32(entry + 4);
            return true;
        }
        m = Match::Damaged;
    }
    if (m == Match::Damaged) return fail(error, "the module's resource table is damaged");
    return fail(error, "the module has no " + std::string(type) + " resource \"" + std::string(name) + "\"" +
                           (language == kLanguageAny ? std::string() : " of language " + std::to_string(language)));
}

} // namespace

bool findModuleResource(const uint8_t* image, size_t size, std::string_view name, std::string_view type,
                        uint16_t language, size_t& offset, size_t& length, std::string& error) {
    if (image && size >= 2 && image[0] == 'M' && image[1] == 'Z')
        return findPeResource(image, size, name, type, language, offset, length, error);
    constexpr size_t kElfHeader = 64, kProgramHeader = 56;
    constexpr uint32_t kPtNote = 4;
    if (!image || size < kElfHeader || std::memcmp(image, "\x7F" "ELF", 4) != 0)
        return fail(error, "not an ELF module");
    if (image[4] != 2 || image[5] != 1) return fail(error, "not a 64-bit little-endian ELF module");
    const uint64_t phoff = readU64(image + 32);
    const uint16_t phentsize = readU16(image + 54), phnum = readU16(image + 56);
    if (phentsize < kProgramHeader || !within(phoff, static_cast<uint64_t>(phentsize) * phnum, size))
        return fail(error, "the module's program headers lie outside the file");

    bool damaged = false;
    for (uint16_t i = 0; i < phnum; ++i) {
        const uint8_t* ph = image + phoff + static_cast<uint64_t>(i) * phentsize;
        if (readU32(ph) != kPtNote) continue;
        const uint64_t segment = readU64(ph + 8), segmentSize = readU64(ph + 32), align = readU64(ph + 48);
        if (!within(segment, segmentSize, size)) {
            damaged = true;
            continue;
        }
        const uint64_t step = align == 8 ? 8 : 4; // note fields are padded to the segment's alignment
        uint64_t at = 0;
        while (at <= segmentSize && segmentSize - at >= 12) {
            const uint8_t* note = image + segment + at;
            const uint64_t nameSize = readU32(note), descSize = readU32(note + 4);
            const uint32_t noteType = readU32(note + 8);
            const uint64_t nameAt = at + 12, descAt = nameAt + padded(nameSize, step);
            if (!within(descAt, descSize, segmentSize)) {
                damaged = true;
                break;
            }
            const std::string_view owner(reinterpret_cast<const char*>(image + segment + nameAt),
                                         nameSize > 0 ? static_cast<size_t>(nameSize - 1) : 0);
            if (noteType == kResourceNoteType && nameSize == kResourceNoteOwner.size() + 1 && owner == kResourceNoteOwner) {
                size_t dataOffset = 0, dataSize = 0;
                const uint8_t* table = image + segment + descAt;
                switch (searchTable(table, static_cast<size_t>(descSize), name, type, language, dataOffset, dataSize)) {
                case TableResult::Found:
                    offset = static_cast<size_t>(segment + descAt + dataOffset);
                    length = dataSize;
                    return true;
                case TableResult::Damaged: damaged = true; break;
                case TableResult::Missing: break;
                }
            }
            at = descAt + padded(descSize, step);
        }
    }
    if (damaged) return fail(error, "the module's resource table is damaged");
    return fail(error, "the module has no " + std::string(type) + " resource \"" + std::string(name) + "\"" +
                           (language == kLanguageAny ? std::string() : " of language " + std::to_string(language)));
}

std::string resourceNameForModule(std::string_view modulePath) {
    const size_t slash = modulePath.find_last_of("/\\");
    std::string_view base = slash == std::string_view::npos ? modulePath : modulePath.substr(slash + 1);
    const size_t dot = base.find_last_of('.');
    if (dot != std::string_view::npos && dot > 0) base = base.substr(0, dot);
    return std::string(base) + ".hrf";
}

} // namespace Hrf
