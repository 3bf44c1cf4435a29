// hrf-read: lists, checks and unpacks a resource file.
//
//   hrf-read list    SOURCE
//   hrf-read verify  SOURCE
//   hrf-read extract SOURCE DIR [NAME...]
//
// SOURCE is a resource file, or "--module MODULE" for the resource linked into a module:
// as a host does, it asks the module for the RCDATA resource named after the module's
// base name with ".hrf" ("nivolo.so" -> "nivolo.hrf", names without regard to case),
// reading the module file without loading it, so none of the module's code runs.
// Any damage gives one line on stderr and exit status 1.

#include "tools/hrf/HrfFile.h"
#include "tools/hrf/ModuleImage.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "hrf-read: %s\n", message.c_str());
    return 1;
}

int usage() {
    return fail("usage: hrf-read list|verify SOURCE, or hrf-read extract SOURCE DIR [NAME...]; "
                "SOURCE is FILE or --module MODULE");
}

// Entry names come from the file: only plain file names are written out.
bool safeFileName(const std::string& name) {
    if (name == "." || name == "..") return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return false;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 2) return usage();
    const std::string command = args[0];
    size_t next = 1;
    std::string label, modulePath, filePath;
    if (args[1] == "--module") {
        if (args.size() < 3) return usage();
        modulePath = args[2];
        next = 3;
    } else {
        filePath = args[1];
        next = 2;
    }

    std::vector<uint8_t> bytes;
    std::string error;
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!modulePath.empty()) {
        if (!Hrf::loadFile(modulePath, bytes, error)) return fail(error);
        const std::string name = Hrf::resourceNameForModule(modulePath);
        size_t offset = 0;
        if (!Hrf::findModuleResource(bytes.data(), bytes.size(), name, Hrf::kResourceTypeRcData, Hrf::kLanguageAny,
                                     offset, size, error))
            return fail(modulePath + ": " + error);
        data = bytes.data() + offset;
        label = modulePath + " (resource \"" + name + "\")";
    } else {
        if (!Hrf::loadFile(filePath, bytes, error)) return fail(error);
        data = bytes.data();
        size = bytes.size();
        label = filePath;
    }

    Hrf::Directory directory;
    if (command == "list") {
        if (next != args.size()) return usage();
        if (!Hrf::readDirectory(data, size, directory, error)) return fail(label + ": " + error);
        std::printf("%s: %zu bytes, identifier %s, %zu entries, directory at %llu (%u bytes)\n", label.c_str(), size,
                    directory.identifier.c_str(), directory.entries.size(),
                    static_cast<unsigned long long>(directory.directoryOffset), directory.directorySize);
        std::printf("%-6s %10s %10s %10s  %s\n", "flags", "offset", "stored", "unpacked", "name");
        for (const Hrf::Entry& e : directory.entries) {
            char unpacked[24] = "-";
            if (e.deflated()) std::snprintf(unpacked, sizeof unpacked, "%llu", static_cast<unsigned long long>(e.unpackedSize));
            std::printf("0x%-4X %10llu %10llu %10s  %s\n", e.flags, static_cast<unsigned long long>(e.offset),
                        static_cast<unsigned long long>(e.storedSize), unpacked, e.name.c_str());
        }
        return 0;
    }
    if (command == "verify") {
        if (next != args.size()) return usage();
        if (!Hrf::verify(data, size, directory, error)) return fail(label + ": " + error);
        size_t deflated = 0;
        for (const Hrf::Entry& e : directory.entries) deflated += e.deflated() ? 1 : 0;
        std::printf("%s: ok, %zu entries (%zu deflated)\n", label.c_str(), directory.entries.size(), deflated);
        return 0;
    }
    if (command == "extract") {
        if (next >= args.size()) return usage();
        const std::string dir = args[next++];
        const std::vector<std::string> wanted(args.begin() + static_cast<ptrdiff_t>(next), args.end());
        if (!Hrf::readDirectory(data, size, directory, error)) return fail(label + ": " + error);
        std::vector<const Hrf::Entry*> chosen;
        if (wanted.empty()) {
            for (const Hrf::Entry& e : directory.entries) chosen.push_back(&e);
        } else {
            for (const std::string& name : wanted) {
                const Hrf::Entry* e = Hrf::findEntry(directory, name);
                if (!e) return fail(label + ": no entry \"" + name + "\"");
                chosen.push_back(e);
            }
        }
        // Everything is checked before anything is written.
        for (const Hrf::Entry* e : chosen)
            if (!safeFileName(e->name)) return fail(label + ": entry name \"" + e->name + "\" is not a plain file name");
        std::vector<std::vector<uint8_t>> contents(chosen.size());
        for (size_t i = 0; i < chosen.size(); ++i)
            if (!Hrf::unpackEntry(data, size, *chosen[i], contents[i], error)) return fail(label + ": " + error);
        for (size_t i = 0; i < chosen.size(); ++i)
            if (!Hrf::saveFile(dir + "/" + chosen[i]->name, contents[i], error)) return fail(error);
        return 0;
    }
    return usage();
}
