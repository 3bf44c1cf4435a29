#include "tools/hrf/HrfFile.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_set>

namespace Hrf {

namespace {

uint32_t readU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

uint64_t readU64(const uint8_t* p) { return readU32(p) | static_cast<uint64_t>(readU32(p + 4)) << 32; }

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putU64(std::vector<uint8_t>& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string folded(std::string_view name) {
    std::string out(name);
    for (char& c : out) c = lower(c);
    return out;
}

std::string quoted(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string entryLabel(size_t index, std::string_view name) {
    return "entry " + std::to_string(index + 1) + (name.empty() ? std::string() : " " + quoted(name));
}

bool fail(std::string& error, std::string message) {
    error = std::move(message);
    return false;
}

// Smallest directory record: flags, offset, stored size and a one-character name.
constexpr size_t kMinRecord = 4 + 8 + 8 + 2;

} // namespace

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

const Entry* findEntry(const Directory& directory, std::string_view name) {
    for (const Entry& e : directory.entries)
        if (sameName(e.name, name)) return &e;
    return nullptr;
}

bool isIdentifier(std::string_view text) {
    return text.size() == kIdentifierLength &&
           std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

bool readDirectory(const uint8_t* data, size_t size, Directory& out, std::string& error) {
    out = Directory{};
    if (!data || size < kHeaderSize + kTrailerSize)
        return fail(error, "too short for a resource file (" + std::to_string(size) + " bytes)");
    if (std::memcmp(data, kHeaderLine.data(), kHeaderSize) != 0)
        return fail(error, "not a resource file: the header line is not \"Halvernik Resource File\"");

    const uint8_t* trailer = data + size - kTrailerSize;
    if (std::memcmp(trailer + 44, kMagic.data(), 4) != 0) return fail(error, "wrong magic: expected \"HRF3\" at the end");
    const uint32_t trailerSize = readU32(trailer + 40);
    if (trailerSize != kTrailerSize)
        return fail(error, "trailer size " + std::to_string(trailerSize) + " is not 48");
    const std::string identifier(reinterpret_cast<const char*>(trailer), kIdentifierLength);
    if (!isIdentifier(identifier)) return fail(error, "identifier " + quoted(identifier) + " is not 32 upper-case hex digits");

    const uint32_t directorySize = readU32(trailer + 32);
    const uint32_t count = readU32(trailer + 36);
    const size_t room = size - kHeaderSize - kTrailerSize;
    if (directorySize > room)
        return fail(error, "directory size " + std::to_string(directorySize) + " runs past the file (" +
                               std::to_string(room) + " bytes between header and trailer)");
    if (count > directorySize / kMinRecord)
        return fail(error, "entry count " + std::to_string(count) + " does not fit a directory of " +
                               std::to_string(directorySize) + " bytes");

    const size_t directoryOffset = size - kTrailerSize - directorySize;
    const uint8_t* p = data + directoryOffset;
    const uint8_t* const end = p + directorySize;
    std::vector<Entry> entries;
    entries.reserve(count);
    std::unordered_set<std::string> seen;
    uint64_t expectedOffset = kHeaderSize;

    for (uint32_t i = 0; i < count; ++i) {
        Entry e;
        if (static_cast<size_t>(end - p) < 20)
            return fail(error, entryLabel(i, {}) + " runs past the end of the directory");
        e.flags = readU32(p);
        e.offset = readU64(p + 4);
        e.storedSize = readU64(p + 12);
        p += 20;
        if ((e.flags & ~kFlagsKnown) != 0 || (e.flags & kFlagsAlways) != kFlagsAlways) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%X", e.flags);
            return fail(error, entryLabel(i, {}) + " has flags " + hex + " (0x2 and 0x8 always, 0x4 optional)");
        }
        if (e.deflated()) {
            if (end - p < 8) return fail(error, entryLabel(i, {}) + " runs past the end of the directory");
            e.unpackedSize = readU64(p);
            p += 8;
        } else {
            e.unpackedSize = e.storedSize;
        }
        const void* zero = std::memchr(p, 0, static_cast<size_t>(end - p));
        if (!zero) return fail(error, entryLabel(i, {}) + ": its name runs past the end of the directory");
        e.name.assign(reinterpret_cast<const char*>(p), static_cast<const uint8_t*>(zero) - p);
        p = static_cast<const uint8_t*>(zero) + 1;
        if (e.name.empty()) return fail(error, entryLabel(i, {}) + " has an empty name");
        if (!seen.insert(folded(e.name)).second)
            return fail(error, entryLabel(i, e.name) + ": the name is used twice (without regard to case)");

        if (e.offset != expectedOffset)
            return fail(error, entryLabel(i, e.name) + " starts at " + std::to_string(e.offset) + ", expected " +
                                   std::to_string(expectedOffset) + " (sizes do not add up)");
        if (e.storedSize > directoryOffset - e.offset)
            return fail(error, entryLabel(i, e.name) + " of " + std::to_string(e.storedSize) +
                                   " bytes runs into the directory at " + std::to_string(directoryOffset));
        expectedOffset = e.offset + e.storedSize;
        entries.push_back(std::move(e));
    }
    if (p != end)
        return fail(error, "directory has " + std::to_string(end - p) + " bytes after its " + std::to_string(count) +
                               " entries (sizes do not add up)");
    if (expectedOffset != directoryOffset)
        return fail(error, "entry data ends at " + std::to_string(expectedOffset) + " but the directory begins at " +
                               std::to_string(directoryOffset) + " (sizes do not add up)");

    out.identifier = identifier;
    out.directoryOffset = directoryOffset;
    out.directorySize = directorySize;
    out.entries = std::move(entries);
    return true;
}

bool unpackEntry(const uint8_t* data, size_t size, const Entry& entry, std::vector<uint8_t>& out,
                 std::string& error) {
    out.clear();
    // Entries that did not come from readDirectory get the same bounds check.
    if (entry.offset > size || entry.storedSize > size - entry.offset)
        return fail(error, quoted(entry.name) + " lies outside the file");
    const uint8_t* stored = data + entry.offset;
    if (!entry.deflated()) {
        out.assign(stored, stored + entry.storedSize);
        return true;
    }

    const std::string mismatch = quoted(entry.name) + ": compressed data does not inflate to its " +
                                 std::to_string(entry.unpackedSize) + " bytes";
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return fail(error, "zlib could not start inflating");
    // Output grows as it comes, never beyond the announced size: a forged size costs nothing.
    constexpr size_t kChunk = 64 * 1024;
    out.reserve(static_cast<size_t>(std::min<uint64_t>(entry.unpackedSize, 16 * kChunk)));
    uint64_t inputLeft = entry.storedSize;
    const uint8_t* next = stored;
    int rc = Z_OK;
    uint8_t buffer[kChunk];
    while (rc != Z_STREAM_END) {
        if (z.avail_in == 0 && inputLeft > 0) {
            const uInt take = static_cast<uInt>(std::min<uint64_t>(inputLeft, 1u << 30));
            z.next_in = const_cast<Bytef*>(next);
            z.avail_in = take;
            next += take;
            inputLeft -= take;
        }
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        rc = inflate(&z, Z_NO_FLUSH);
        const size_t produced = sizeof buffer - z.avail_out;
        if (out.size() + produced > entry.unpackedSize) {
            inflateEnd(&z);
            return fail(error, mismatch + " (it gives more)");
        }
        out.insert(out.end(), buffer, buffer + produced);
        if (rc == Z_BUF_ERROR && z.avail_in == 0 && inputLeft == 0) {
            inflateEnd(&z);
            return fail(error, mismatch + " (the stream is cut short)");
        }
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
            const std::string why = z.msg ? z.msg : "damaged stream";
            inflateEnd(&z);
            return fail(error, mismatch + " (" + why + ")");
        }
    }
    const uInt trailing = z.avail_in;
    inflateEnd(&z);
    if (trailing != 0 || inputLeft != 0) return fail(error, mismatch + " (bytes follow the stream)");
    if (out.size() != entry.unpackedSize)
        return fail(error, mismatch + " (it gives " + std::to_string(out.size()) + ")");
    return true;
}

bool verify(const uint8_t* data, size_t size, Directory& out, std::string& error) {
    if (!readDirectory(data, size, out, error)) return false;
    std::vector<uint8_t> scratch;
    for (const Entry& e : out.entries)
        if (e.deflated() && !unpackEntry(data, size, e, scratch, error)) return false;
    return true;
}

bool pack(const std::vector<PackItem>& items, std::string_view identifier, std::vector<uint8_t>& out,
          std::string& error) {
    out.clear();
    if (!isIdentifier(identifier))
        return fail(error, "identifier " + quoted(identifier) + " is not 32 upper-case hex digits");
    std::unordered_set<std::string> seen;
    for (const PackItem& item : items) {
        if (item.name.empty()) return fail(error, "an entry has an empty name");
        if (item.name.find('\0') != std::string::npos) return fail(error, quoted(item.name) + " has a zero byte in its name");
        if (!seen.insert(folded(item.name)).second)
            return fail(error, quoted(item.name) + " is named twice (names are compared without regard to case)");
    }

    std::vector<uint8_t> directory;
    out.assign(kHeaderLine.begin(), kHeaderLine.end());
    for (const PackItem& item : items) {
        uint32_t flags = kFlagsAlways;
        const uint64_t offset = out.size();
        if (item.deflate) {
            flags |= kFlagDeflated;
            uLongf packedSize = compressBound(static_cast<uLong>(item.bytes.size()));
            std::vector<uint8_t> packed(packedSize);
            if (compress2(packed.data(), &packedSize, item.bytes.data(), static_cast<uLong>(item.bytes.size()),
                          Z_BEST_COMPRESSION) != Z_OK)
                return fail(error, quoted(item.name) + ": zlib could not compress it");
            out.insert(out.end(), packed.begin(), packed.begin() + static_cast<ptrdiff_t>(packedSize));
        } else {
            out.insert(out.end(), item.bytes.begin(), item.bytes.end());
        }
        putU32(directory, flags);
        putU64(directory, offset);
        putU64(directory, out.size() - offset);
        if (item.deflate) putU64(directory, item.bytes.size());
        directory.insert(directory.end(), item.name.begin(), item.name.end());
        directory.push_back(0);
    }
    if (directory.size() > UINT32_MAX || items.size() > UINT32_MAX) return fail(error, "too many entries for one file");
    out.insert(out.end(), directory.begin(), directory.end());
    out.insert(out.end(), identifier.begin(), identifier.end());
    putU32(out, static_cast<uint32_t>(directory.size()));
    putU32(out, static_cast<uint32_t>(items.size()));
    putU32(out, static_cast<uint32_t>(kTrailerSize));
    out.insert(out.end(), kMagic.begin(), kMagic.end());
    return true;
}

bool loadFile(const std::string& path, std::vector<uint8_t>& out, std::string& error) {
    out.clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return fail(error, path + ": " + std::strerror(errno));
    uint8_t buffer[64 * 1024];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.insert(out.end(), buffer, buffer + n);
    const bool bad = std::ferror(f) != 0;
    std::fclose(f);
    if (bad) return fail(error, path + ": read error");
    return true;
}

bool saveFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return fail(error, path + ": " + std::strerror(errno));
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) return fail(error, path + ": write error");
    return true;
}

} // namespace Hrf
