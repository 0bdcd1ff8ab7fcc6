#include "job/compression_job.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive/zok_error.h"
#include "job/formatting.h"
#include "tests/support/test_support.h"

namespace {

// Records every window operation and answers the two questions from queues.
class RecordingWindow : public JobWindow {
public:
    RecordingWindow() {
        // The progress window's layout texts.
        fields = {{JobField::Status, "대기 중..."},
                  {JobField::FileCounter, "0 / 0"},
                  {JobField::ByteCounter, "0 byte / 0 byte"},
                  {JobField::ArchiveSize, "0 byte"},
                  {JobField::CurrentFile, ""}};
    }

    void SetFieldText(JobField field, const std::string& text) override {
        fields[field] = text;
        history.emplace_back(field, text);
        events.push_back("text");
    }
    void EnableButton(JobButton button, bool enabled) override {
        (button == JobButton::Compress ? compressEnabled : cancelEnabled) = enabled;
        events.push_back(std::string(enabled ? "enable " : "disable ") +
                         (button == JobButton::Compress ? "compress" : "cancel"));
    }
    void SetCancelCaption(const std::string& caption) override {
        cancelCaption = caption;
        events.push_back("caption");
    }
    void SetBarPosition(int position) override {
        bar = position;
        bars.push_back(position);
        events.push_back("bar");
    }
    void RepaintProgressWindow() override { events.push_back("repaint progress"); }
    void RepaintMainWindow() override { events.push_back("repaint main"); }
    std::string AskOutputName() override {
        ++namesAsked;
        if (onAsk) {
            onAsk();
        }
        std::string name = names.empty() ? std::string() : names.front();
        if (!names.empty()) {
            names.pop_front();
        }
        return name;
    }
    bool AskYesNo(const std::string& question) override {
        questions.push_back(question);
        if (onQuestion) {
            onQuestion();
        }
        const bool answer = !answers.empty() && answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        return answer;
    }
    void ShowMessage(const std::string& message) override {
        messages.push_back(message);
        events.push_back("message");
    }

    // Texts written to one field, in order.
    std::vector<std::string> Written(JobField field) const {
        std::vector<std::string> texts;
        for (const auto& [f, text] : history) {
            if (f == field) {
                texts.push_back(text);
            }
        }
        return texts;
    }

    std::map<JobField, std::string> fields;
    std::vector<std::pair<JobField, std::string>> history;
    std::vector<std::string> events;
    bool compressEnabled = true;
    bool cancelEnabled = true;
    std::string cancelCaption = "Cancel";
    int bar = 0;
    std::vector<int> bars;
    std::deque<std::string> names;
    std::deque<bool> answers;
    int namesAsked = 0;
    std::vector<std::string> questions;
    std::vector<std::string> messages;
    std::function<void()> onAsk;
    std::function<void()> onQuestion;
};

// A builder that replays set reports and then ends as told; it records how it was called.
struct ScriptedBuild {
    struct Report {
        int32_t files;
        uint32_t bytes;
        uint32_t archive;
    };
    enum class End { Succeed, Fail, ThrowZokError, ThrowOther };

    std::vector<Report> reports;
    End end = End::Succeed;
    std::string error;
    std::vector<std::string> unencoded;

    int calls = 0;
    std::vector<std::string> paths;
    std::string output;
    int32_t count = -1;
    ProgressCallback callback = nullptr;
};
ScriptedBuild g_build;

bool ScriptedBuilder(const char* const* paths, const char* outputPath, int32_t count,
                     ProgressCallback callback, BuildReport* report) {
    ++g_build.calls;
    g_build.paths.assign(paths, paths + count);
    g_build.output = outputPath;
    g_build.count = count;
    g_build.callback = callback;
    for (const ScriptedBuild::Report& r : g_build.reports) {
        callback(r.files, r.bytes, r.archive);
    }
    switch (g_build.end) {
        case ScriptedBuild::End::Fail:
            report->error = g_build.error;
            return false;
        case ScriptedBuild::End::ThrowZokError:
            throw ZokError(g_build.error);
        case ScriptedBuild::End::ThrowOther:
            throw 42;
        case ScriptedBuild::End::Succeed:
            break;
    }
    report->unencoded = g_build.unencoded;
    return true;
}

class CompressionJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_build = ScriptedBuild();
        job.SetBuilder(&ScriptedBuilder);
    }

    void ExpectFinished() {
        EXPECT_EQ(job.GetState(), JobState::Finished);
        EXPECT_EQ(window.fields[JobField::Status], "압축 종료");
        EXPECT_EQ(window.cancelCaption, "OK");
        EXPECT_TRUE(window.cancelEnabled);
        EXPECT_FALSE(window.compressEnabled);
    }

    RecordingWindow window;
    CompressionJob job{window};
};

TEST_F(CompressionJobTest, RunsTheWorkedExampleFromReadyToFinished) {
    job.SetJob(4000, {"/data/first.txt", "/data/second.bin"});
    EXPECT_EQ(job.GetState(), JobState::Ready);
    window.names = {"/out/result.zok"};
    window.answers = {true};
    window.onQuestion = [this] {
        EXPECT_EQ(job.GetState(), JobState::Confirming);
        EXPECT_EQ(window.fields[JobField::Status], "압축 중...");
        EXPECT_FALSE(window.compressEnabled);
        EXPECT_FALSE(window.cancelEnabled);
        EXPECT_EQ(window.fields[JobField::CurrentFile], "first.txt");
        EXPECT_EQ(window.fields[JobField::FileCounter], "0 / 2");
        EXPECT_EQ(window.fields[JobField::ByteCounter], "0 byte / 4,000 byte");
    };
    g_build.reports = {{1, 1500, 1234}, {2, 4000, 70000}};

    job.OnCompress();

    EXPECT_EQ(window.questions,
              std::vector<std::string>{
                  "압축을 시작하여, /out/result.zok파일에 압축된 결과를 저장합니다.\n"});
    ASSERT_EQ(g_build.calls, 1);
    EXPECT_EQ(g_build.paths, (std::vector<std::string>{"/data/first.txt", "/data/second.bin"}));
    EXPECT_EQ(g_build.output, "/out/result.zok");
    EXPECT_EQ(g_build.count, 2);
    EXPECT_EQ(g_build.callback, &ReportProgress);

    EXPECT_EQ(window.bars, (std::vector<int>{38, 100}));
    EXPECT_EQ(window.Written(JobField::FileCounter),
              (std::vector<std::string>{"0 / 2", "1 / 2", "2 / 2"}));
    EXPECT_EQ(window.Written(JobField::ByteCounter),
              (std::vector<std::string>{"0 byte / 4,000 byte", "1,500 byte / 4,000 byte",
                                        "4,000 byte / 4,000 byte"}));
    EXPECT_EQ(window.Written(JobField::ArchiveSize),
              (std::vector<std::string>{"1,234 byte", "70,000 byte"}));
    // The next file's name after the first report; the last report keeps it.
    EXPECT_EQ(window.Written(JobField::CurrentFile),
              (std::vector<std::string>{"first.txt", "second.bin"}));
    EXPECT_EQ(window.Written(JobField::Status),
              (std::vector<std::string>{"압축 중...", "압축 종료"}));
    ExpectFinished();
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(CompressionJobTest, EveryReportRepaintsBothWindowsBeforeChangingAnything) {
    job.SetJob(10, {"/a", "/b", "/c"});
    window.names = {"out.zok"};
    window.answers = {true};
    g_build.reports = {{1, 2, 20}, {2, 5, 30}, {3, 10, 40}};
    job.OnCompress();

    int reports = 0;
    for (size_t i = 0; i < window.events.size(); ++i) {
        if (window.events[i] == "bar") {
            ++reports;
            ASSERT_GE(i, 2u);
            EXPECT_EQ(window.events[i - 2], "repaint progress");
            EXPECT_EQ(window.events[i - 1], "repaint main");
        }
    }
    EXPECT_EQ(reports, 3);
}

TEST_F(CompressionJobTest, AnEmptyNameChangesOnlyTheTwoCounters) {
    job.SetJob(12345, {"/x/one", "/x/two", "/x/three"});
    window.onAsk = [this] { EXPECT_EQ(job.GetState(), JobState::Naming); };
    job.OnCompress();

    EXPECT_EQ(job.GetState(), JobState::Ready);
    EXPECT_EQ(window.namesAsked, 1);
    EXPECT_EQ(window.history, (std::vector<std::pair<JobField, std::string>>{
                                  {JobField::FileCounter, "0 / 3"},
                                  {JobField::ByteCounter, "0 byte / 12,345 byte"}}));
    EXPECT_EQ(window.events.size(), 2u);
    EXPECT_TRUE(window.questions.empty());
    EXPECT_EQ(g_build.calls, 0);

    // The button stays live: the next press asks again.
    window.names = {"later.zok"};
    window.answers = {true};
    job.OnCompress();
    EXPECT_EQ(window.namesAsked, 2);
    EXPECT_EQ(g_build.calls, 1);
    ExpectFinished();
}

TEST_F(CompressionJobTest, DecliningReenablesBothButtonsAndKeepsTheTexts) {
    job.SetJob(3000, {"/in/사진.png", "/in/b.txt"});
    window.names = {"/out/a.zok", "/out/b.zok"};
    window.answers = {false};
    job.OnCompress();

    EXPECT_EQ(job.GetState(), JobState::Declined);
    EXPECT_EQ(g_build.calls, 0);
    EXPECT_TRUE(window.compressEnabled);
    EXPECT_TRUE(window.cancelEnabled);
    EXPECT_EQ(window.fields[JobField::Status], "압축 중...");
    EXPECT_EQ(window.fields[JobField::CurrentFile], "사진.png");
    EXPECT_EQ(window.fields[JobField::FileCounter], "0 / 2");
    EXPECT_EQ(window.fields[JobField::ByteCounter], "0 byte / 3,000 byte");
    EXPECT_EQ(window.cancelCaption, "Cancel");
    EXPECT_TRUE(window.messages.empty());

    // An empty name after a decline returns to Declined; a name starts over at step 1.
    window.names = {""};
    job.OnCompress();
    EXPECT_EQ(job.GetState(), JobState::Declined);
    window.names = {"/out/b.zok"};
    window.answers = {true};
    job.OnCompress();
    EXPECT_EQ(window.Written(JobField::FileCounter).size(), 3u);
    EXPECT_EQ(g_build.output, "/out/b.zok");
    ExpectFinished();
}

TEST_F(CompressionJobTest, CompressDoesNothingOnceFinished) {
    job.SetJob(1, {"/only"});
    window.names = {"a.zok", "b.zok"};
    window.answers = {true, true};
    job.OnCompress();
    ExpectFinished();
    const size_t events = window.events.size();

    job.OnCompress();
    EXPECT_EQ(window.namesAsked, 1);
    EXPECT_EQ(g_build.calls, 1);
    EXPECT_EQ(window.events.size(), events);
    ExpectFinished();
}

TEST_F(CompressionJobTest, EmptyFilesKeepTheBarAtZeroWhileCountersAdvance) {
    job.SetJob(0, {"/e/one", "/e/two"});
    window.names = {"o.zok"};
    window.answers = {true};
    g_build.reports = {{1, 0, 100}, {2, 0, 200}};
    job.OnCompress();

    EXPECT_EQ(window.bars, (std::vector<int>{0, 0}));
    EXPECT_EQ(window.fields[JobField::FileCounter], "2 / 2");
    EXPECT_EQ(window.fields[JobField::ByteCounter], "0 byte / 0 byte");
    EXPECT_EQ(window.fields[JobField::ArchiveSize], "200 byte");
    ExpectFinished();
}

TEST(CompressionJobBar, TruncatesCapsAndGuardsAgainstZeroTotal) {
    struct Row {
        uint32_t done;
        uint32_t total;
        int position;
    };
    for (const Row& row :
         {Row{1500, 4000, 38}, Row{4000, 4000, 100}, Row{0, 4000, 0}, Row{991, 1000, 100},
          Row{990, 1000, 99}, Row{5000, 4000, 100}, Row{0, 0, 0}, Row{7, 0, 0},
          Row{UINT32_MAX, 1, 100}, Row{UINT32_MAX / 2, UINT32_MAX, 50},
          Row{3000000000u, 4000000000u, 75}}) {
        EXPECT_EQ(CompressionJob::BarPosition(row.done, row.total), row.position)
            << row.done << " of " << row.total;
    }
}

TEST_F(CompressionJobTest, CurrentFileNamesTheNextFileAndKeepsTheLast) {
    // A path without a separator is shown whole; a backslash is an ordinary byte.
    job.SetJob(30, {"plain.txt", "C:\\dos\\name.txt", "/last/z.bin"});
    window.names = {"o.zok"};
    window.answers = {true};
    g_build.reports = {{1, 10, 1}, {2, 20, 2}, {3, 30, 3}};
    job.OnCompress();
    EXPECT_EQ(window.Written(JobField::CurrentFile),
              (std::vector<std::string>{"plain.txt", "C:\\dos\\name.txt", "z.bin"}));
    EXPECT_EQ(window.Written(JobField::FileCounter).back(), "3 / 3");
}

TEST_F(CompressionJobTest, ASingleFileKeepsItsNameThroughTheOnlyReport) {
    job.SetJob(65536, {"/big/only.dat"});
    window.names = {"o.zok"};
    window.answers = {true};
    g_build.reports = {{1, 65536, 70000}};
    job.OnCompress();
    EXPECT_EQ(window.Written(JobField::CurrentFile), std::vector<std::string>{"only.dat"});
    EXPECT_EQ(window.fields[JobField::ByteCounter], "65,536 byte / 65,536 byte");
    EXPECT_EQ(window.bars, std::vector<int>{100});
}

TEST_F(CompressionJobTest, AFailedBuildEndsFinishedWithOneMessage) {
    job.SetJob(10, {"/in/a.txt", "/in/b.txt"});
    window.names = {"/nowhere/o.zok"};
    window.answers = {true};
    g_build.end = ScriptedBuild::End::Fail;
    g_build.error = "/nowhere/o.zok: No such file or directory";
    job.OnCompress();

    ExpectFinished();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0],
              "압축하지 못했습니다.\n/nowhere/o.zok: No such file or directory");
    // The message comes after the window shows the Finished state.
    EXPECT_EQ(window.events.back(), "message");
}

TEST_F(CompressionJobTest, ACodecExceptionNamesTheFileBeingPacked) {
    job.SetJob(10, {"/in/a.txt", "/in/fake.png", "/in/c.txt"});
    window.names = {"o.zok"};
    window.answers = {true};
    g_build.reports = {{1, 4, 50}};
    g_build.end = ScriptedBuild::End::ThrowZokError;
    g_build.error = "Not a PNG";
    ASSERT_NO_THROW(job.OnCompress());

    ExpectFinished();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0], "압축하지 못했습니다.\n/in/fake.png: Not a PNG");
}

TEST_F(CompressionJobTest, AnyOtherExceptionIsCaughtToo) {
    job.SetJob(10, {"/in/a.txt"});
    window.names = {"o.zok"};
    window.answers = {true};
    g_build.end = ScriptedBuild::End::ThrowOther;
    ASSERT_NO_THROW(job.OnCompress());
    ExpectFinished();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_NE(window.messages[0].find("o.zok"), std::string::npos);
}

TEST_F(CompressionJobTest, UnencodedInputsAreNamedInOneMessage) {
    job.SetJob(10, {"/in/a.bmp", "/in/b.txt", "/in/c.png"});
    window.names = {"o.zok"};
    window.answers = {true};
    g_build.unencoded = {"/in/a.bmp", "/in/c.png"};
    job.OnCompress();

    ExpectFinished();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0],
              "다음 파일은 압축하지 못해 빈 항목으로 저장했습니다.\n/in/a.bmp\n/in/c.png");
}

TEST(CompressionJobReceiver, ReportsGoToTheJobMostRecentlyGivenOne) {
    RecordingWindow first;
    RecordingWindow second;
    {
        CompressionJob a(first);
        CompressionJob b(second);
        a.SetJob(100, {"/a0", "/a1"});
        b.SetJob(100, {"/b0", "/b1"});
        ReportProgress(1, 50, 60);
        EXPECT_TRUE(first.history.empty());
        EXPECT_EQ(second.fields[JobField::FileCounter], "1 / 2");
        EXPECT_EQ(second.fields[JobField::CurrentFile], "b1");
        EXPECT_EQ(second.bars, std::vector<int>{50});

        a.SetJob(100, {"/a0", "/a1"});
        ReportProgress(2, 100, 70);
        EXPECT_EQ(first.fields[JobField::FileCounter], "2 / 2");
    }
    // Once the job is gone, reports reach nobody instead of a dead object.
    ReportProgress(1, 1, 1);
}

TEST(CompressionJobSetJob, CopiesTheCallersPathArray) {
    RecordingWindow window;
    CompressionJob job(window);
    char first[] = "/in/one.txt";
    char second[] = "/in/two.txt";
    const char* paths[] = {first, second};
    job.SetJob(2, 77, paths);
    first[4] = 'X';
    EXPECT_EQ(job.GetFileCount(), 2);
    EXPECT_EQ(job.GetTotalSize(), 77u);
    EXPECT_EQ(job.GetPaths(), (std::vector<std::string>{"/in/one.txt", "/in/two.txt"}));

    job.SetJob(0, 0, nullptr);
    EXPECT_EQ(job.GetFileCount(), 0);
    EXPECT_TRUE(job.GetPaths().empty());
}

// The real builder, into a temporary folder.
class CompressionJobBuildTest : public ::testing::Test {
protected:
    void Run(std::vector<std::string> paths, uint32_t total, const std::string& output) {
        job.SetJob(total, std::move(paths));
        window.names = {output};
        window.answers = {true};
        ASSERT_NO_THROW(job.OnCompress());
        EXPECT_EQ(job.GetState(), JobState::Finished);
        EXPECT_EQ(window.fields[JobField::Status], "압축 종료");
        EXPECT_EQ(window.cancelCaption, "OK");
        EXPECT_FALSE(window.compressEnabled);
        EXPECT_TRUE(window.cancelEnabled);
    }

    zoktest::TempDir dir;
    RecordingWindow window;
    CompressionJob job{window};
};

TEST_F(CompressionJobBuildTest, WritesTheArchiveAndReportsEachFile) {
    const std::string a = dir.File("notes.txt");
    const std::string b = dir.File("keep.old");
    zoktest::WriteFile(a, zoktest::TextBytes(1500));
    zoktest::WriteFile(b, zoktest::RandomBytes(2500));
    const std::string output = dir.File("out.zok");
    Run({a, b}, 4000, output);

    EXPECT_TRUE(window.messages.empty());
    ASSERT_TRUE(zoktest::FileExists(output));
    const std::string archive = zoktest::ReadFile(output);
    ASSERT_GE(archive.size(), 10u);
    EXPECT_EQ(archive.substr(0, 6), "ZOK110");
    EXPECT_EQ(zoktest::U32At(archive, 6), 2u);
    // The stored entry is copied unchanged, so the archive holds at least its bytes.
    EXPECT_GT(archive.size(), 2500u);

    EXPECT_EQ(window.bars, (std::vector<int>{38, 100}));
    EXPECT_EQ(window.Written(JobField::FileCounter),
              (std::vector<std::string>{"0 / 2", "1 / 2", "2 / 2"}));
    EXPECT_EQ(window.fields[JobField::ByteCounter], "4,000 byte / 4,000 byte");
    EXPECT_EQ(window.fields[JobField::ArchiveSize],
              FormatNumber(uint32_t(archive.size())) + " byte");
    EXPECT_EQ(window.Written(JobField::CurrentFile),
              (std::vector<std::string>{"notes.txt", "keep.old"}));
}

TEST_F(CompressionJobBuildTest, AMissingInputEndsWithOneMessageAndNoArchive) {
    const std::string a = dir.File("here.txt");
    const std::string missing = dir.File("gone.txt");
    zoktest::WriteFile(a, "hello");
    const std::string output = dir.File("out.zok");
    Run({a, missing}, 10, output);

    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].rfind("압축하지 못했습니다.\n", 0), 0u);
    EXPECT_NE(window.messages[0].find(missing), std::string::npos);
    EXPECT_FALSE(zoktest::FileExists(output));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1)
        << "only the input is left";
}

TEST_F(CompressionJobBuildTest, AnOutputThatCannotBeCreatedEndsWithOneMessage) {
    const std::string a = dir.File("here.txt");
    zoktest::WriteFile(a, "hello");
    // A regular file where a folder should be: fails for every user, root included.
    const std::string output = a + "/out.zok";
    Run({a}, 5, output);

    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_NE(window.messages[0].find(output), std::string::npos);
    EXPECT_FALSE(zoktest::FileExists(output));
    EXPECT_TRUE(window.bars.empty()) << "no reports without an output";
}

TEST_F(CompressionJobBuildTest, APngThatIsNotAPngEndsWithOneMessageAndNoArchive) {
    const std::string a = dir.File("first.txt");
    const std::string fake = dir.File("picture.png");
    zoktest::WriteFile(a, "some text");
    zoktest::WriteFile(fake, "this is plain text, not a picture");
    const std::string output = dir.File("out.zok");
    Run({a, fake}, 42, output);

    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_NE(window.messages[0].find(fake), std::string::npos);
    EXPECT_NE(window.messages[0].find("Not a PNG"), std::string::npos);
    EXPECT_FALSE(zoktest::FileExists(output));
}

}  // namespace
