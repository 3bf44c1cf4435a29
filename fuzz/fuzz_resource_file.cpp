// The skin's resource file as a reader meets it: any bytes, read, unpacked and
// verified; and the same bytes as a module image in which a host looks for the
// resource. Every answer must be a clean refusal or a result that keeps the
// format's promises.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/hrf/HrfFile.h"
#include "tools/hrf/ModuleImage.h"

namespace {

// A broken promise is a crash for libFuzzer to report.
void require(bool condition) {
    if (!condition) __builtin_trap();
}

bool oneLine(const std::string& error) { return !error.empty() && error.find('\n') == std::string::npos; }

void readResourceFile(const uint8_t* data, size_t size) {
    Hrf::Directory directory;
    std::string error;
    if (!Hrf::readDirectory(data, size, directory, error)) {
        require(oneLine(error) && directory.entries.empty());
        return;
    }
    // The entries fill the file from the header to the directory without gaps.
    uint64_t at = Hrf::kHeaderSize;
    for (const Hrf::Entry& entry : directory.entries) {
        require(entry.offset == at && !entry.name.empty());
        require(Hrf::findEntry(directory, entry.name) == &entry); // names are unique
        at += entry.storedSize;
        std::vector<uint8_t> bytes;
        std::string why;
        if (Hrf::unpackEntry(data, size, entry, bytes, why))
            require(bytes.size() == entry.unpackedSize);
        else
            require(entry.deflated() && oneLine(why) && bytes.size() <= entry.unpackedSize);
    }
    require(at == directory.directoryOffset);
    require(directory.directoryOffset + directory.directorySize + Hrf::kTrailerSize == size);
    require(Hrf::isIdentifier(directory.identifier));

    Hrf::Directory verified;
    if (!Hrf::verify(data, size, verified, error)) require(oneLine(error));
}

void readModuleImage(const uint8_t* data, size_t size) {
    for (uint16_t language : {Hrf::kLanguageAny, Hrf::kLanguageEnglishUS}) {
        size_t offset = 0, length = 0;
        std::string error;
        if (!Hrf::findModuleResource(data, size, "NIVOLO.HRF", Hrf::kResourceTypeRcData, language, offset, length,
                                     error)) {
            require(oneLine(error));
            continue;
        }
        require(offset <= size && length <= size - offset);
        readResourceFile(data + offset, length); // what a host does with it next
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    readResourceFile(data, size);
    readModuleImage(data, size);
    return 0;
}
