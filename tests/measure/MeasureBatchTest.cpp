// Several files and folders at once: one row per file in the order given, a
// folder's files recursively in sorted order, files without audio skipped,
// a file that fails reported without stopping the others, the same results
// whatever the number of jobs, and verdicts against delivery targets.

#include <algorithm>

#include "MeasureTestSupport.h"

namespace {

using namespace MeasureTesting;

class MeasureBatch : public ::testing::Test {
protected:
    // A folder of 20 files: 15 WAV at levels of their own (some in a subfolder),
    // a FLAC and an Ogg Vorbis made from one of them, a WAV cut short (measured,
    // with a warning), a WAV header with no audio after it (an error), a text
    // file (skipped), and a hidden file and folder left out.
    static void SetUpTestSuite() {
        ASSERT_TRUE(std::filesystem::create_directories(file("mixed/sub")));
        ASSERT_TRUE(std::filesystem::create_directories(file("mixed/.cache")));
        for (int i = 0; i < 15; ++i) {
            const std::string name = (i % 3 == 0 ? "mixed/sub/tone-" : "mixed/tone-") + std::to_string(10 + i) + ".wav";
            ASSERT_TRUE(makeAudio(file(name), i % 2 ? 44100 : 48000, 1.0 + 0.1 * i, {sine({-40.0 + i})}, 1 + i % 3));
            measurable_.push_back(file(name));
        }
        for (const auto& [codec, name] : {std::pair{"flac", "mixed/b.flac"}, {"libvorbis", "mixed/c.ogg"}})
            ASSERT_TRUE(ffmpeg("-i " + quoted(file("mixed/tone-11.wav")) + " -c:a " + codec + " " + quoted(file(name))));
        ASSERT_TRUE(makeAudio(file("mixed/cut.wav"), 48000, 4.0, {sine({-20.0})}, 2, "-c:a pcm_s16le"));
        std::filesystem::resize_file(file("mixed/cut.wav"), 44 + 48000 * 4 + 2); // 1 s and half a frame of 4
        std::filesystem::copy_file(file("mixed/cut.wav"), file("mixed/empty.wav"));
        std::filesystem::resize_file(file("mixed/empty.wav"), 44);
        ASSERT_TRUE(writeBytes(file("mixed/notes.txt"), "Masters for the spring release: check the loudness.\n"));
        ASSERT_TRUE(writeBytes(file("mixed/.hidden.wav"), "not listed"));
        std::filesystem::copy_file(file("mixed/tone-11.wav"), file("mixed/.cache/tone.wav"));
        for (const char* name : {"mixed/b.flac", "mixed/c.ogg", "mixed/cut.wav"}) measurable_.push_back(file(name));
        std::sort(measurable_.begin(), measurable_.end());
        listed_ = measurable_;
        listed_.insert(std::upper_bound(listed_.begin(), listed_.end(), file("mixed/empty.wav")), file("mixed/empty.wav"));
        for (double level : {-23.0, -20.0}) // the broadcast reference level, and 3 LU louder
            ASSERT_TRUE(makeAudio(file("at" + std::to_string(std::lround(level)) + ".wav"), 48000, 5.0, {sine({level}, 1e9, 1000.0)}, 2, "-c:a pcm_s24le"));
    }
    static inline std::vector<std::string> measurable_; // the folder's files with audio, sorted
    static inline std::vector<std::string> listed_;     // and the one that fails, in its place
};

TEST_F(MeasureBatch, AMixedFolderGivesARowPerFileOneErrorAndOneSkipped) {
    const std::string folder = file("mixed"), empty = file("mixed/empty.wav"), cut = file("mixed/cut.wav");

    // The table: its header, a row per file in sorted order, the error in its place, the summary.
    Outcome run = host({"measure", folder});
    EXPECT_EQ(run.status, 1) << run.err;
    std::vector<std::string> table = lines(run.out);
    ASSERT_EQ(table.size(), 1 + 18 + 1 + 1u) << run.out;
    EXPECT_EQ(table.back(), "20 files: 18 measured, 1 error, 1 skipped");
    std::vector<std::string> rowFiles;
    for (auto row = table.begin() + 1; row != table.end() - 1; ++row) rowFiles.push_back(row->substr(0, row->find(' ')));
    EXPECT_EQ(rowFiles, listed_);
    const std::string& failed = table[1 + static_cast<size_t>(std::find(listed_.begin(), listed_.end(), empty) - listed_.begin())];
    EXPECT_EQ(failed.substr(failed.find("  error: ")), "  error: '" + empty + "' holds no audio");
    EXPECT_EQ(lines(run.err), (std::vector<std::string>{
                                  "nivolo-host: warning: '" + cut + "': decoding failed at 00:00:01.000: the file ends "
                                  "part-way through a sample frame (cut short); the readings are of the audio that decoded",
                                  "nivolo-host: skipped: " + file("mixed/notes.txt") + " (not audio)"}));

    // JSON Lines: 18 objects with readings and one with the error, each line valid JSON.
    run = host({"measure", folder, "--json"});
    EXPECT_EQ(run.status, 1);
    std::vector<std::string> jsonFiles;
    for (const std::string& line : lines(run.out)) {
        const JsonObject json = objectOf(line);
        jsonFiles.push_back(json["file"].string);
        EXPECT_EQ(json.has("error") ? line : "", jsonFiles.back() == empty ? "{\"file\": \"" + empty + "\", \"error\": \"'" + empty + "' holds no audio\"}" : "");
        EXPECT_EQ(json.size(), jsonFiles.back() == empty ? 2u : 16u) << "readings, no verdict without a target: " << line;
        EXPECT_EQ(json["warning"].kind, json["file"].string == cut ? JsonValue::String : JsonValue::Null);
    }
    EXPECT_EQ(jsonFiles, listed_) << "19 lines";

    // CSV: a header and 19 rows of as many fields, readings or the error.
    run = host({"measure", folder, "--csv"});
    EXPECT_EQ(run.status, 1);
    const std::vector<std::string> csv = lines(run.out);
    ASSERT_EQ(csv.size(), 20u) << run.out;
    const std::vector<std::string> header = csvFields(csv[0]);
    ASSERT_EQ(header.back(), "error");
    std::vector<std::string> csvFiles;
    for (size_t i = 1; i < csv.size(); ++i) {
        const std::vector<std::string> fields = csvFields(csv[i]);
        ASSERT_EQ(fields.size(), header.size()) << csv[i];
        csvFiles.push_back(fields[0]);
        EXPECT_EQ(fields[5].empty(), fields[0] == empty) << csv[i];
        EXPECT_EQ(fields.back(), fields[0] == empty ? "'" + empty + "' holds no audio" : "") << csv[i];
    }
    EXPECT_EQ(csvFiles, listed_);
}

// Each file through a processor of its own: as it measures alone, whatever
// the number of jobs and the order of the arguments.
TEST_F(MeasureBatch, ResultsAreThoseOfEachFileAloneWhateverTheJobs) {
    const Outcome one = host({"measure", file("mixed"), "--json", "--jobs", "1"});
    const Outcome many = host({"measure", file("mixed"), "--json", "--jobs", "5"});
    EXPECT_EQ(many.out, one.out);
    EXPECT_EQ(many.err, one.err);
    std::map<std::string, std::string> lineOf;
    for (const std::string& line : lines(one.out)) lineOf[objectOf(line)["file"].string] = line + "\n";
    for (const std::string& path : measurable_) EXPECT_EQ(measure(optionsFor(path, true)).out, lineOf[path]) << path;

    // Sessions on parallel threads: the guard watches every block of each, and none breaks the rules.
    const std::regex clean("audio-thread guard: ([1-9][0-9]*) blocks checked, 0 allocations, 0 blocking calls");
    std::string blocks[2];
    for (int i = 0; i < 2; ++i) {
        const Outcome guarded = shell("env NIVOLO_AUDIO_GUARD=1 NIVOLO_AUDIO_GUARD_QUIET=0 NIVOLO_AUDIO_GUARD_DEADLINE=0 " +
                                      hostCommand({"measure", file("mixed/sub"), "--jobs", i ? "4" : "1"}), file("guard.txt"));
        EXPECT_EQ(guarded.status, 0) << guarded.err;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(guarded.err, m, clean)) << guarded.err;
        blocks[i] = m[1];
    }
    EXPECT_EQ(blocks[0], blocks[1]);

    // Files named one by one come in the order given, a folder's where it stands; --lu reaches every file.
    const std::string a = measurable_[7], b = measurable_[2];
    std::string expected = lineOf[a];
    for (const std::string& path : measurable_)
        if (path.rfind(file("mixed/sub/"), 0) == 0) expected += lineOf[path];
    EXPECT_EQ(host({"measure", a, file("mixed/sub"), b, "--json", "--jobs", "3"}).out, expected + lineOf[b]);
    NivoloHost::MeasureOptions lu = optionsFor(a, true);
    lu.lu = true;
    EXPECT_EQ(host({"measure", a, b, "--json", "--lu"}).out.substr(0, measure(lu).out.size()), measure(lu).out);
}

TEST_F(MeasureBatch, DeliveryTargetsJudgeEachFileAndSetTheExitStatus) {
    const std::string quiet = file("at-23.wav"), loud = file("at-20.wav");
    // One file: its own report with a verdict line.
    Outcome run = host({"measure", loud, "--spec", "ebu-r128"});
    EXPECT_EQ(run.status, 4) << run.err;
    const double integrated = jsonOf(measureJson(loud))["integrated"].number;
    char reason[96];
    std::snprintf(reason, sizeof reason, "integrated %.2f LUFS above -22.50", integrated);
    EXPECT_NEAR(integrated, -20.0, 0.05);
    EXPECT_EQ(lines(run.out).back(), std::string("Verdict:           FAIL: ") + reason);
    run = host({"measure", quiet, "--spec", "ebu-r128"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(lines(run.out).back(), "Verdict:           PASS");
    run = host({"measure", loud, "--spec", "ebu-r128", "--json"});
    EXPECT_EQ(run.status, 4);
    EXPECT_NE(run.out.find(std::string(", \"verdict\": \"FAIL\", \"reasons\": [\"") + reason + "\"]}"), std::string::npos) << run.out;

    // Several: the verdict per row, FAIL in the summary; an option overrides the preset's limit.
    run = host({"measure", quiet, loud, "--spec", "ebu-r128"});
    EXPECT_EQ(run.status, 4);
    std::vector<std::string> table = lines(run.out);
    ASSERT_EQ(table.size(), 4u) << run.out;
    EXPECT_NE(table[0].find("Verdict"), std::string::npos);
    EXPECT_EQ(table[1].substr(table[1].size() - 6), "  PASS");
    EXPECT_EQ(table[2].substr(table[2].find("  FAIL")), std::string("  FAIL: ") + reason);
    EXPECT_EQ(table[3], "2 files: 2 measured, 0 errors, 0 skipped; 1 PASS, 1 FAIL");
    run = host({"measure", quiet, loud, "--spec", "ebu-r128", "--tolerance", "3.5", "--json"});
    EXPECT_EQ(run.status, 0) << run.out;
    for (const std::string& line : lines(run.out)) EXPECT_NE(line.find(", \"verdict\": \"PASS\", \"reasons\": []}"), std::string::npos) << line;
    // A file that cannot be measured outweighs one that fails its target.
    run = host({"measure", loud, file("mixed/empty.wav"), "--spec", "ebu-r128", "--csv"});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(lines(run.out).size(), 3u) << run.out;
    EXPECT_EQ(csvFields(lines(run.out)[1])[10], "FAIL");
    EXPECT_EQ(csvFields(lines(run.out)[1])[11], reason);
}

TEST_F(MeasureBatch, OptionsThatMeasureOneFileAloneAreRefusedForSeveral) {
    const std::string a = measurable_[0], b = measurable_[1];
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"measure", a, b, "--plot", file("plot.png")}, {"measure", file("mixed"), "--timeline", file("t.csv")},
             {"measure", a, "--csv", "--json"}, {"measure", "-", a, "-"}}) {
        const Outcome run = host(args);
        EXPECT_EQ(run.status, 2) << args[2];
        EXPECT_TRUE(isOneLineFailure(run)) << args[2];
    }
    const Outcome nothing = host({"measure", file("mixed/sub"), file("mixed/notes.txt"), "--jobs", "2"});
    EXPECT_EQ(nothing.status, 0) << "the files with audio were measured: " << nothing.err;
    std::filesystem::create_directory(file("void"));
    const Outcome none = host({"measure", file("void"), "--json"});
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(isOneLineFailure(none)) << none.err;
}

} // namespace
