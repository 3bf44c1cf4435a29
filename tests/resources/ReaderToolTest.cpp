// hrf-read as a user runs it: on the built module, on damaged files, and extracting
// only plain file names.

#include "ResourceTestSupport.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace ResourceTest {
namespace {

struct ToolRun {
    int status = -1;
    std::string out, err;
};

class ReaderTool : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/nivolo-hrf-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    ToolRun run(const std::string& args) {
        const std::string out = dir_ + "/.out", err = dir_ + "/.err";
        const std::string command = std::string("'") + NIVOLO_HRF_READ_PATH + "' " + args + " >'" + out + "' 2>'" + err + "'";
        ToolRun r;
        const int raw = std::system(command.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        const auto slurp = [](const std::string& path) {
            const std::vector<uint8_t> b = readFile(path);
            return std::string(b.begin(), b.end());
        };
        r.out = slurp(out);
        r.err = slurp(err);
        return r;
    }
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = dir_ + "/" + name;
        std::string error;
        EXPECT_TRUE(Hrf::saveFile(path, bytes, error)) << error;
        return path;
    }

    std::string dir_;
};

TEST_F(ReaderTool, ListsAndExtractsTheModulesResourceFromTheModuleFile) {
    const ToolRun r = run(std::string("list --module '") + NIVOLO_MODULE_PATH + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::vector<std::string> names, methods; // methods as the pack list words them: "store NAME", "deflate NAME"
    std::getline(lines, line);
    EXPECT_NE(line.find("\"nivolo.hrf\""), std::string::npos) << line; // asked for by the module's base name
    std::getline(lines, line); // column titles
    while (std::getline(lines, line)) {
        names.push_back(line.substr(line.rfind("  ") + 2));
        methods.push_back((line.find(" -  ") != std::string::npos ? "store " : "deflate ") + names.back());
    }
    std::ifstream packList(std::string(NIVOLO_RESOURCES_DIR) + "/pack.list");
    std::vector<std::string> listed;
    for (std::string l; std::getline(packList, l);)
        if (l.rfind("store ", 0) == 0 || l.rfind("deflate ", 0) == 0) listed.push_back(l);
    EXPECT_EQ(methods, listed) << "every entry of the pack list, in its order, packed as the list says";

    const ToolRun x = run(std::string("extract --module '") + NIVOLO_MODULE_PATH + "' '" + dir_ + "'");
    ASSERT_EQ(x.status, 0) << x.err;
    for (const std::string& name : names)
        EXPECT_EQ(readFile(dir_ + "/" + name), readFile(std::string(NIVOLO_RESOURCES_DIR) + "/" + name)) << name;
}

TEST_F(ReaderTool, DamageGivesOneLineAndFailure) {
    std::vector<uint8_t> file = readFile(NIVOLO_HRF_PATH);
    ASSERT_FALSE(file.empty());
    file.back() = '!';
    const std::string bad = write("bad.hrf", file);
    file.pop_back();
    const std::string cut = write("cut.hrf", file);
    for (const std::string& command : {"verify '" + bad + "'", "list '" + cut + "'", "extract '" + bad + "' '" + dir_ + "'",
                                       "verify '" + dir_ + "/missing.hrf'", "list --module '" + bad + "'"}) {
        const ToolRun r = run(command);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_TRUE(r.out.empty()) << command;
        ASSERT_FALSE(r.err.empty()) << command;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << command << ": " << r.err;
    }
    EXPECT_NE(run("verify '" + bad + "'").err.find("wrong magic"), std::string::npos);
}

TEST_F(ReaderTool, RefusesToWriteOutsideTheTargetFolder) {
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(Hrf::pack({{"fine.txt", {'a'}, false}, {"../escaped.txt", {'b'}, true}}, "0123456789ABCDEF0123456789ABCDEF",
                          file, error))
        << error;
    const std::string path = write("names.hrf", file);
    mkdir((dir_ + "/out").c_str(), 0700);
    const ToolRun r = run("extract '" + path + "' '" + dir_ + "/out'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not a plain file name"), std::string::npos) << r.err;
    struct stat info{};
    EXPECT_NE(stat((dir_ + "/escaped.txt").c_str(), &info), 0);
    EXPECT_NE(stat((dir_ + "/out/fine.txt").c_str(), &info), 0); // nothing is written when anything is wrong
}

} // namespace
} // namespace ResourceTest
