// nivolo-host info against the real module, and against libraries that are not one.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "host/InfoCommand.h"

namespace {

struct InfoRun {
    int status;
    std::string out, err;
};

InfoRun info(const std::string& path) {
    std::ostringstream out, err;
    int status = NivoloHost::runInfo(path, out, err);
    return {status, out.str(), err.str()};
}

TEST(InfoCommand, MissingModuleIsOneErrorLineAndFailure) {
    InfoRun run = info("/nonexistent.so");
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.out.empty());
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    EXPECT_NE(run.err.find("/nonexistent.so"), std::string::npos);
}

TEST(InfoCommand, ForeignLibraryIsRefusedWithOneLine) {
    // A real shared library that is no plug-in module.
    InfoRun run = info("libm.so.6");
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    EXPECT_NE(run.err.find("not a plug-in module"), std::string::npos) << run.err;
}

TEST(InfoCommand, NonLibraryFileIsRefused) {
    InfoRun run = info(__FILE__);
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
}

TEST(InfoCommand, PrintsBothClassesOfTheModule) {
    InfoRun run = info(NIVOLO_MODULE_PATH);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string& out = run.out;
    for (const char* expected :
         {"\"Halvernik\"", "flags:   24", "Classes: 2", "[0] {42613CDE-3556-4653-B0D4-0AD6BDC2AA79}",
          "\"Audio Module Class\"", "\"Nivolo\"", "\"Fx|Analyzer\"", "[1] {6D826A83-82B4-4A8D-B374-804FBE779C68}",
          "\"Component Controller Class\"", "\"Nivolo Controller\"", "\"1.0.0.181\"", "\"ZEL 3.5.2\"",
          "cardinality:    2147483647"})
        EXPECT_NE(out.find(expected), std::string::npos) << "missing " << expected << " in\n" << out;
}

} // namespace
