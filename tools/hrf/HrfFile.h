#pragma once
// The resource file that carries the skin ("NIVOLO.HRF"): reading, checking, unpacking
// and writing. Shared by the packer, the reader and the tests; the module itself only
// links the packed bytes and never looks inside them.
//
// Layout, little-endian, no alignment:
//   header line   "Halvernik Resource File" CR LF (25 bytes)
//   data          the entries' bytes one after the other, in directory order
//   directory     per entry: u32 flags, u64 offset, u64 stored size,
//                 [u64 unpacked size when flags has 0x4], name, zero byte
//   trailer       32 upper-case hex digits (identifier), u32 directory size,
//                 u32 entry count, u32 trailer size (48), "HRF3"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Hrf {

inline constexpr std::string_view kHeaderLine{"Halvernik Resource File\r\n"};
inline constexpr size_t kHeaderSize = 25;
inline constexpr size_t kTrailerSize = 48;
inline constexpr std::string_view kMagic{"HRF3"};
inline constexpr size_t kIdentifierLength = 32;

inline constexpr uint32_t kFlagDeflated = 0x4; // a zlib stream; the unpacked size follows the stored size
inline constexpr uint32_t kFlagsAlways = 0x2 | 0x8; // set on every entry; a file without them is not ours
inline constexpr uint32_t kFlagsKnown = kFlagsAlways | kFlagDeflated;

struct Entry {
    std::string name;
    uint32_t flags = 0;
    uint64_t offset = 0;
    uint64_t storedSize = 0;
    uint64_t unpackedSize = 0; // equals storedSize for entries kept as they are
    bool deflated() const { return (flags & kFlagDeflated) != 0; }
};

struct Directory {
    std::string identifier;
    uint64_t directoryOffset = 0;
    uint32_t directorySize = 0;
    std::vector<Entry> entries;
};

// Reads header, trailer and directory, trusting no size: every field is checked
// against the file's length and the layout's invariants (entries follow one another
// from offset 25 without gaps up to the directory; names are unique without regard
// to case). Entry data is not inflated here. On failure, error is one line.
bool readDirectory(const uint8_t* data, size_t size, Directory& out, std::string& error);

// The entry's content: stored bytes as they are, a deflated entry inflated, which must
// end exactly at its stored size and give exactly its unpacked size.
bool unpackEntry(const uint8_t* data, size_t size, const Entry& entry, std::vector<uint8_t>& out,
                 std::string& error);

// readDirectory, then unpackEntry for every deflated entry.
bool verify(const uint8_t* data, size_t size, Directory& out, std::string& error);

// Names compare as the host compares them: ASCII letters without regard to case.
bool sameName(std::string_view a, std::string_view b);
const Entry* findEntry(const Directory& directory, std::string_view name);

// 32 upper-case hexadecimal digits.
bool isIdentifier(std::string_view text);

struct PackItem {
    std::string name;
    std::vector<uint8_t> bytes;
    bool deflate = false; // zlib at best compression
};

// Writes a whole file; fails on an empty or duplicate name (without regard to case),
// a name with a zero byte, or an identifier that is not 32 upper-case hex digits.
bool pack(const std::vector<PackItem>& items, std::string_view identifier, std::vector<uint8_t>& out,
          std::string& error);

bool loadFile(const std::string& path, std::vector<uint8_t>& out, std::string& error);
bool saveFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

} // namespace Hrf
