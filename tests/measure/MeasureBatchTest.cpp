// Several files and folders at once: one row per file in the order given, a
// folder's files recursively in sorted order, files without audio skipped,
// a file that fails reported without stopping the others, the same results
// whatever the number of jobs, and verdicts against delivery targets.

#include "MeasureTestSupport.h"

namespace {

using namespace MeasureTesting;

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool ffmpeg(const std::string& arguments) {
    return std::system(("ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments).c_str()) == 0;
}

// RFC 4180 fields of one line.
std::vector<std::string> csvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool inQuotes = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (inQuotes && c == '"' && i + 1 < line.size() && line[i + 1] == '"') fields.back() += line[++i];
        else if (c == '"') inQuotes = !inQuotes;
        else if (c == ',' && !inQuotes) fields.emplace_back();
        else fields.back() += c;
    }
    return fields;
}

// nivolo-host under its audio-thread guard (no deadline: no timing), reporting even when clean.
Outcome guardedHost(const std::vector<std::string>& args, const std::string& stderrPath) {
    std::string command = "env NIVOLO_AUDIO_GUARD=1 NIVOLO_AUDIO_GUARD_QUIET=0 NIVOLO_AUDIO_GUARD_DEADLINE=0 " +
                          quoted(NIVOLO_HOST_PATH);
    for (const std::string& a : args) command += " " + quoted(a);
    Outcome run;
    FILE* pipe = popen((command + " 2>" + quoted(stderrPath) + " </dev/null").c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
    const int wait = pclose(pipe);
    run.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
    run.err = readText(stderrPath);
    return run;
}

class MeasureBatch : public ::testing::Test {
protected:
    // A folder of 20 files: 16 WAV at levels of their own (some in a subfolder),
    // a FLAC and an Ogg Vorbis made from one of them, a WAV cut short (measured,
    // with a warning), a WAV header with no audio after it (an error), a text
    // file (skipped), and a hidden file left out.
    static void SetUpTestSuite() {
        dir_ = new ScratchDir;
        ASSERT_TRUE(dir_->ok());
        ASSERT_TRUE(std::filesystem::create_directories(file("mixed/sub")));
        for (int i = 0; i < 15; ++i) {
            const std::string name = (i % 3 == 0 ? "mixed/sub/tone-" : "mixed/tone-") + std::to_string(10 + i) + ".wav";
            ASSERT_TRUE(writeProgramme(file(name), tone(i % 2 ? 44100 : 48000, 1 + i % 3, 1.0 + 0.1 * i, -40.0 + i)));
            measurable_.push_back(file(name));
        }
        ASSERT_TRUE(ffmpeg("-i " + quoted(file("mixed/tone-11.wav")) + " -c:a flac " + quoted(file("mixed/b.flac"))));
        ASSERT_TRUE(ffmpeg("-i " + quoted(file("mixed/tone-11.wav")) + " -c:a libvorbis " + quoted(file("mixed/c.ogg"))));
        ASSERT_TRUE(writeProgramme(file("mixed/cut.wav"), tone(48000, 2, 4.0, -20.0), WavSamples::Pcm16));
        std::filesystem::resize_file(file("mixed/cut.wav"), 44 + 48000 * 4 + 2); // 1 s and half a frame of 4
        ASSERT_TRUE(writeSoundFile(file("mixed/empty.wav"), WavSamples::Pcm16, 48000, 2, {}));
        ASSERT_TRUE(writeBytes(file("mixed/notes.txt"), "Masters for the spring release: check the loudness.\n"));
        ASSERT_TRUE(writeBytes(file("mixed/.hidden.wav"), "not listed"));
        for (const char* name : {"mixed/b.flac", "mixed/c.ogg", "mixed/cut.wav"}) measurable_.push_back(file(name));
        std::sort(measurable_.begin(), measurable_.end());
        listed_ = measurable_;
        listed_.insert(std::upper_bound(listed_.begin(), listed_.end(), file("mixed/empty.wav")), file("mixed/empty.wav"));
        // The broadcast reference level, and 3 LU louder.
        ASSERT_TRUE(writeProgramme(file("at-23.wav"), tone(48000, 2, 5.0, -23.0), WavSamples::Pcm24));
        ASSERT_TRUE(writeProgramme(file("at-20.wav"), tone(48000, 2, 5.0, -20.0), WavSamples::Pcm24));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string file(const std::string& name) { return dir_->file(name); }
    static Outcome host(const std::vector<std::string>& args) { return runExecutable(args, file("stderr.txt")); }

    static inline ScratchDir* dir_ = nullptr;
    static inline std::vector<std::string> measurable_; // the folder's files with audio, sorted
    static inline std::vector<std::string> listed_;     // and the one that fails, in its place
};

TEST_F(MeasureBatch, AMixedFolderGivesARowPerFileOneErrorAndOneSkipped) {
    const std::string folder = file("mixed"), empty = file("mixed/empty.wav"), cut = file("mixed/cut.wav");
    const std::string skipped = "nivolo-host: skipped: " + file("mixed/notes.txt") + " (not audio)";

    // The table: its header, a row per file in sorted order, the error in its place, the summary.
    Outcome run = host({"measure", folder});
    EXPECT_EQ(run.status, 1) << run.err;
    std::vector<std::string> table = lines(run.out);
    ASSERT_EQ(table.size(), 1 + 18 + 1 + 1u) << run.out;
    EXPECT_EQ(table.front().rfind("File", 0), 0u) << table.front();
    EXPECT_EQ(table.back(), "20 files: 18 measured, 1 error, 1 skipped");
    std::vector<std::string> rows(table.begin() + 1, table.end() - 1), rowFiles;
    for (const std::string& row : rows) {
        rowFiles.push_back(row.substr(0, row.find(' ')));
        EXPECT_EQ(row.find("  error: '" + empty + "' holds no audio") != std::string::npos, rowFiles.back() == empty)
            << row;
    }
    EXPECT_EQ(rowFiles, listed_);
    EXPECT_NE(run.err.find(skipped + "\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("nivolo-host: warning: '" + cut + "': decoding failed at 00:00:01.000"), std::string::npos)
        << run.err;
    EXPECT_EQ(lines(run.err).size(), 2u) << run.err;

    // JSON Lines: 18 objects with readings and one with the error, each line valid JSON.
    run = host({"measure", folder, "--json"});
    EXPECT_EQ(run.status, 1);
    const std::vector<std::string> objects = lines(run.out);
    ASSERT_EQ(objects.size(), 19u) << run.out;
    std::vector<std::string> jsonFiles;
    for (const std::string& line : objects) {
        const std::optional<JsonObject> json = JsonObject::parse(line);
        ASSERT_TRUE(json.has_value()) << line;
        jsonFiles.push_back((*json)["file"].string);
        if (json->has("error")) {
            EXPECT_NE((*json)["error"].string.find("holds no audio"), std::string::npos) << line;
            EXPECT_EQ(json->size(), 2u) << line;
            continue;
        }
        EXPECT_EQ((*json)["integrated"].kind, JsonValue::Number) << line;
        EXPECT_FALSE(json->has("verdict")) << "no target, no verdict: " << line;
        EXPECT_EQ((*json)["warning"].kind, (*json)["file"].string == cut ? JsonValue::String : JsonValue::Null);
    }
    EXPECT_EQ(jsonFiles, listed_);

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
        EXPECT_EQ(fields.back().empty(), fields[0] != empty) << csv[i];
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
    for (const std::string& line : lines(one.out))
        lineOf[JsonObject::parse(line).value_or(JsonObject{})["file"].string] = line + "\n";
    for (const std::string& path : measurable_) {
        SCOPED_TRACE(path);
        EXPECT_EQ(measure(optionsFor(path, true)).out, lineOf[path]);
    }
    // Sessions on parallel threads: the guard watches every block of each, and none breaks the rules.
    const Outcome guardedOne = guardedHost({"measure", file("mixed/sub"), "--jobs", "1"}, file("guard1.txt"));
    const Outcome guardedMany = guardedHost({"measure", file("mixed/sub"), "--jobs", "4"}, file("guard4.txt"));
    EXPECT_EQ(guardedOne.status, 0) << guardedOne.err;
    EXPECT_EQ(guardedMany.status, 0) << guardedMany.err;
    const std::regex clean("audio-thread guard: ([1-9][0-9]*) blocks checked, 0 allocations, 0 blocking calls");
    std::smatch one1, many4;
    ASSERT_TRUE(std::regex_search(guardedOne.err, one1, clean)) << guardedOne.err;
    ASSERT_TRUE(std::regex_search(guardedMany.err, many4, clean)) << guardedMany.err;
    EXPECT_EQ(many4[1], one1[1]);

    // Files named one by one come in the order given, a folder's where it stands.
    const std::string a = measurable_[7], b = measurable_[2];
    const Outcome named = host({"measure", a, file("mixed/sub"), b, "--json", "--jobs", "3"});
    EXPECT_EQ(named.status, 0) << named.err;
    std::vector<std::string> expected = {lineOf[a]};
    for (const std::string& path : measurable_)
        if (path.rfind(file("mixed/sub/"), 0) == 0) expected.push_back(lineOf[path]);
    expected.push_back(lineOf[b]);
    std::vector<std::string> got;
    for (const std::string& line : lines(named.out)) got.push_back(line + "\n");
    EXPECT_EQ(got, expected);
}

TEST_F(MeasureBatch, DeliveryTargetsJudgeEachFileAndSetTheExitStatus) {
    const std::string quiet = file("at-23.wav"), loud = file("at-20.wav");
    // One file: its own report with a verdict line.
    Outcome run = host({"measure", loud, "--spec", "ebu-r128"});
    EXPECT_EQ(run.status, 4) << run.err;
    const JsonObject loudJson = jsonOf(measureJson(loud));
    char reason[96];
    std::snprintf(reason, sizeof reason, "integrated %.2f LUFS above -22.50", loudJson["integrated"].number);
    EXPECT_NEAR(loudJson["integrated"].number, -20.0, 0.05);
    EXPECT_EQ(lines(run.out).back(), std::string("Verdict:           FAIL: ") + reason);
    run = host({"measure", quiet, "--spec", "ebu-r128"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(lines(run.out).back(), "Verdict:           PASS");
    run = host({"measure", loud, "--spec", "ebu-r128", "--json"});
    EXPECT_EQ(run.status, 4);
    JsonObject json = JsonObject::parse(run.out).value_or(JsonObject{});
    EXPECT_EQ(json["verdict"].string, "FAIL");
    EXPECT_EQ(json["reasons"].strings, std::vector<std::string>{reason});

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
    for (const std::string& line : lines(run.out)) {
        json = JsonObject::parse(line).value_or(JsonObject{});
        EXPECT_EQ(json["verdict"].string, "PASS") << line;
        EXPECT_EQ(json["reasons"].kind, JsonValue::Array) << line;
        EXPECT_TRUE(json["reasons"].strings.empty()) << line;
    }
    // A file that cannot be measured outweighs one that fails its target.
    run = host({"measure", loud, file("mixed/empty.wav"), "--spec", "ebu-r128", "--csv"});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(lines(run.out).size(), 3u) << run.out;
    EXPECT_EQ(csvFields(lines(run.out)[1])[10], "FAIL");
    EXPECT_EQ(csvFields(lines(run.out)[1])[11], reason);
}

TEST_F(MeasureBatch, OptionsThatMeasureOneFileAloneAreRefusedForSeveral) {
    const std::string a = measurable_[0], b = measurable_[1];
    const std::vector<std::vector<std::string>> cases = {
        {"measure", a, b, "--plot", file("plot.png")},
        {"measure", file("mixed"), "--timeline", file("t.csv")},
        {"measure", a, "--csv", "--json"},
        {"measure", "-", a, "-"},
    };
    for (const std::vector<std::string>& args : cases) {
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
