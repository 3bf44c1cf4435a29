// hrf-pack: writes a resource file from a pack list.
//
//   hrf-pack --list LIST --output FILE [--dir DIR]
//
// LIST names the identifier and the entries in directory order:
//   identifier 443752F15680439CAC5CB48A13A8D6DE
//   store NAME        kept as it is
//   deflate NAME      zlib at best compression
// Blank lines and lines starting with '#' are skipped. NAME (the rest of the line, blanks
// included) is a file in DIR, which defaults to the list's folder. The output appears
// only when complete, so a failed run never leaves a file the build would take as done.

#include "tools/hrf/HrfFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "hrf-pack: %s\n", message.c_str());
    return 1;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

} // namespace

int main(int argc, char** argv) {
    std::string listPath, outputPath, dir;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--list" && hasValue) listPath = argv[++i];
        else if (arg == "--output" && hasValue) outputPath = argv[++i];
        else if (arg == "--dir" && hasValue) dir = argv[++i];
        else return fail("usage: hrf-pack --list LIST --output FILE [--dir DIR]");
    }
    if (listPath.empty() || outputPath.empty()) return fail("usage: hrf-pack --list LIST --output FILE [--dir DIR]");
    if (dir.empty()) dir = folderOf(listPath);

    std::vector<uint8_t> listBytes;
    std::string error;
    if (!Hrf::loadFile(listPath, listBytes, error)) return fail(error);
    const std::string list(listBytes.begin(), listBytes.end());

    std::string identifier;
    std::vector<Hrf::PackItem> items;
    size_t lineNumber = 0;
    for (size_t start = 0; start < list.size();) {
        size_t stop = list.find('\n', start);
        if (stop == std::string::npos) stop = list.size();
        std::string line = list.substr(start, stop - start);
        start = stop + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;

        const size_t blank = line.find(' ');
        const std::string word = line.substr(0, blank);
        const std::string rest = blank == std::string::npos ? std::string() : line.substr(blank + 1);
        const std::string where = listPath + ":" + std::to_string(lineNumber) + ": ";
        if (word == "identifier") {
            identifier = rest;
        } else if ((word == "store" || word == "deflate") && !rest.empty()) {
            Hrf::PackItem item;
            item.name = rest;
            item.deflate = word == "deflate";
            if (!Hrf::loadFile(dir + "/" + rest, item.bytes, error)) return fail(where + error);
            items.push_back(std::move(item));
        } else {
            return fail(where + "expected \"identifier ID\", \"store NAME\" or \"deflate NAME\"");
        }
    }
    if (items.empty()) return fail(listPath + ": no entries");

    std::vector<uint8_t> packed;
    if (!Hrf::pack(items, identifier, packed, error)) return fail(listPath + ": " + error);
    // The packer checks its own output as any reader would.
    Hrf::Directory directory;
    if (!Hrf::verify(packed.data(), packed.size(), directory, error)) return fail("packed file fails its check: " + error);

    const std::string partial = outputPath + ".partial";
    if (!Hrf::saveFile(partial, packed, error)) return fail(error);
    // Replaces an older output in one step (a plain rename refuses to on Windows).
    std::error_code renamed;
    std::filesystem::rename(partial, outputPath, renamed);
    if (renamed) {
        std::remove(partial.c_str());
        return fail(outputPath + ": " + renamed.message());
    }
    return 0;
}
