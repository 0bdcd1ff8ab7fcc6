#include "job/compression_job.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "job/formatting.h"
#include "tests/support/test_support.h"
#include "zok/zok_error.h"

using namespace zok;

namespace {

using Texts = std::vector<std::string>;

// Records every window operation and answers the two questions from queues.
class RecordingWindow : public JobWindow {
public:
    void SetFieldText(JobField field, const std::string& text) override {
        fields[field] = text;
        written[field].push_back(text);
        events.push_back("text");
    }
    void EnableButton(JobButton button, bool enabled) override {
        (button == JobButton::Compress ? compressEnabled : cancelEnabled) = enabled;
        events.push_back("button");
    }
    void SetCancelCaption(const std::string& caption) override { cancelCaption = caption; }
    void SetBarPosition(int position) override {
        bars.push_back(position);
        events.push_back("bar");
    }
    void RepaintProgressWindow() override { events.push_back("repaint progress"); }
    void RepaintMainWindow() override { events.push_back("repaint main"); }
    std::string AskOutputName() override {
        if (onAsk) {
            onAsk();
        }
        return Next(names, std::string());
    }
    bool AskYesNo(const std::string& question) override {
        questions.push_back(question);
        if (onQuestion) {
            onQuestion();
        }
        return Next(answers, false);
    }
    void ShowMessage(const std::string& message) override {
        messages.push_back(message);
        events.push_back("message");
    }
    // Calls from the build's thread wait here until the test runs them, as the event loop would.
    void PostToWindow(std::function<void()> call) override {
        std::lock_guard<std::mutex> lock(postedLock);
        posted.push_back(std::move(call));
    }
    void CloseWindow() override { closed = true; }
    bool HasPosted() {
        std::lock_guard<std::mutex> lock(postedLock);
        return !posted.empty();
    }
    void RunPosted() {
        for (;;) {
            std::function<void()> call;
            {
                std::lock_guard<std::mutex> lock(postedLock);
                if (posted.empty()) {
                    return;
                }
                call = std::move(posted.front());
                posted.pop_front();
            }
            call();
        }
    }

    template <typename T>
    static T Next(std::deque<T>& queue, T fallback) {
        if (queue.empty()) {
            return fallback;
        }
        T value = queue.front();
        queue.pop_front();
        return value;
    }

    std::map<JobField, std::string> fields{{JobField::Status, "대기 중..."}};
    std::map<JobField, Texts> written;
    std::vector<std::string> events;
    bool compressEnabled = true;
    bool cancelEnabled = true;
    std::string cancelCaption = "Cancel";
    std::vector<int> bars;
    std::deque<std::string> names;
    std::deque<bool> answers;
    Texts questions;
    Texts messages;
    std::function<void()> onAsk;
    std::function<void()> onQuestion;
    std::mutex postedLock;
    std::deque<std::function<void()>> posted;
    bool closed = false;
};

// Runs what the build posts until it has ended, as the progress window's event loop would.
void RunUntilBuilt(CompressionJob& job, RecordingWindow& window) {
    for (int i = 0; i < 10000 &&
                    (job.GetState() == JobState::Running || job.GetState() == JobState::Cancelling);
         ++i) {
        window.RunPosted();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    job.WaitForBuild();
    window.RunPosted();
}

// Presses Compress and lets the build run to its end.
void Compress(CompressionJob& job, RecordingWindow& window) {
    job.OnCompress();
    RunUntilBuilt(job, window);
}

// A stand-in builder: replays set reports (files done, bytes done, archive size; each ends a
// file), then returns or throws as told.
struct ScriptedBuild {
    enum class End { Succeed, Fail, ThrowZokError, ThrowOther };
    std::vector<std::array<uint32_t, 3>> reports;
    End end = End::Succeed;
    std::string error;
    std::vector<Error> problems;
    Texts unencoded;
    // How it was called.
    int calls = 0;
    Texts paths;
    std::string output;
    ProgressCallback callback = nullptr;
    bool hadProgress = false;
    // Runs on the build's thread after each report.
    std::function<void()> afterReport;
} g_build;

bool ScriptedBuilder(const std::vector<std::string>& paths, const std::string& outputPath,
                     ProgressCallback callback, BuildReport* report, const BuildOptions& options) {
    ++g_build.calls;
    g_build.paths = paths;
    g_build.output = outputPath;
    g_build.callback = callback;
    g_build.hadProgress = bool(options.progress);
    for (const auto& [files, bytes, archive] : g_build.reports) {
        options.progress({int32_t(files), bytes, bytes, archive, true});
        if (g_build.afterReport) {
            g_build.afterReport();
        }
    }
    switch (g_build.end) {
        case ScriptedBuild::End::Fail:
            report->problems = g_build.problems;
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
    window.names = {"/out/result.zok", "/out/again.zok"};
    window.answers = {true, true};
    window.onAsk = [this] { EXPECT_EQ(job.GetState(), JobState::Naming); };
    window.onQuestion = [this] {
        EXPECT_EQ(job.GetState(), JobState::Confirming);
        EXPECT_EQ(window.fields[JobField::Status], "압축 중...");
        EXPECT_FALSE(window.compressEnabled);
        EXPECT_FALSE(window.cancelEnabled);
        EXPECT_EQ(window.fields[JobField::CurrentFile], "first.txt");
    };
    g_build.reports = {{1, 1500, 1234}, {2, 4000, 70000}};
    // Each report is shown before the next comes, as with a slow builder.
    g_build.afterReport = [this] {
        while (window.HasPosted()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    job.OnCompress();
    // The builder works on its own thread; Cancel is there to stop it.
    EXPECT_EQ(job.GetState(), JobState::Running);
    EXPECT_TRUE(window.cancelEnabled);
    EXPECT_FALSE(window.compressEnabled);
    RunUntilBuilt(job, window);

    EXPECT_EQ(window.questions,
              Texts{"압축을 시작하여, /out/result.zok파일에 압축된 결과를 저장합니다.\n"});
    EXPECT_EQ(g_build.paths, (Texts{"/data/first.txt", "/data/second.bin"}));
    EXPECT_EQ(g_build.output, "/out/result.zok");
    EXPECT_EQ(g_build.callback, nullptr);
    EXPECT_TRUE(g_build.hadProgress) << "reports come through the options";
    EXPECT_EQ(window.bars, (std::vector<int>{38, 100}));
    EXPECT_EQ(window.written[JobField::FileCounter], (Texts{"0 / 2", "1 / 2", "2 / 2"}));
    EXPECT_EQ(window.written[JobField::ByteCounter],
              (Texts{"0 byte / 4,000 byte", "1,500 byte / 4,000 byte", "4,000 byte / 4,000 byte"}));
    EXPECT_EQ(window.written[JobField::ArchiveSize], (Texts{"1,234 byte", "70,000 byte"}));
    // The next file's name after the first report; the last report keeps it.
    EXPECT_EQ(window.written[JobField::CurrentFile], (Texts{"first.txt", "second.bin"}));
    EXPECT_TRUE(window.messages.empty());
    ExpectFinished();

    // Every report repaints both windows before it changes anything.
    for (size_t i = 0; i < window.events.size(); ++i) {
        if (window.events[i] == "bar") {
            ASSERT_GE(i, 2u);
            EXPECT_EQ(window.events[i - 2], "repaint progress");
            EXPECT_EQ(window.events[i - 1], "repaint main");
        }
    }

    // A finished window never runs a second job.
    const size_t events = window.events.size();
    job.OnCompress();
    EXPECT_EQ(g_build.calls, 1);
    EXPECT_EQ(window.names.size(), 1u);
    EXPECT_EQ(window.events.size(), events);
}

TEST_F(CompressionJobTest, AnEmptyNameChangesOnlyTheCountersAndDecliningReenablesTheButtons) {
    job.SetJob(12345, {"/x/사진.png", "/x/two", "/x/three"});
    job.OnCompress();
    EXPECT_EQ(job.GetState(), JobState::Ready);
    EXPECT_EQ(window.events, (Texts{"text", "text"}));
    EXPECT_EQ(window.fields[JobField::FileCounter], "0 / 3");
    EXPECT_EQ(window.fields[JobField::ByteCounter], "0 byte / 12,345 byte");
    EXPECT_TRUE(window.questions.empty());

    window.names = {"/out/a.zok", "", "/out/b.zok"};
    window.answers = {false, true};
    job.OnCompress();
    EXPECT_EQ(job.GetState(), JobState::Declined);
    EXPECT_EQ(g_build.calls, 0);
    EXPECT_TRUE(window.compressEnabled);
    EXPECT_TRUE(window.cancelEnabled);
    EXPECT_EQ(window.fields[JobField::Status], "압축 중...");
    EXPECT_EQ(window.fields[JobField::CurrentFile], "사진.png");
    EXPECT_EQ(window.cancelCaption, "Cancel");

    // An empty name after a decline goes back to Declined; each press rewrites the counters.
    job.OnCompress();
    EXPECT_EQ(job.GetState(), JobState::Declined);
    Compress(job, window);
    EXPECT_EQ(window.written[JobField::FileCounter].size(), 4u);
    EXPECT_EQ(g_build.output, "/out/b.zok");
    ExpectFinished();
}

TEST_F(CompressionJobTest, ReportsShowTheNextFileWithoutCuttingPathsWithoutSeparators) {
    // A path without a separator is shown whole; on Linux a backslash is a name byte.
    job.SetJob(0, {"plain.txt", "C:\\dos\\name.txt", "/last/z.bin"});
    for (int32_t k = 1; k <= 3; ++k) {
        job.UpdateProgress(k, 0, uint32_t(k) * 1000);
    }
    EXPECT_EQ(window.written[JobField::CurrentFile], (Texts{"C:\\dos\\name.txt", "z.bin"}));
    EXPECT_EQ(window.bars, (std::vector<int>{0, 0, 0})) << "T = 0 keeps the bar at 0";
    EXPECT_EQ(window.fields[JobField::FileCounter], "3 / 3");
    EXPECT_EQ(window.fields[JobField::ByteCounter], "0 byte / 0 byte");
    EXPECT_EQ(window.fields[JobField::ArchiveSize], "3,000 byte");
}

TEST(CompressionJobBar, TruncatesCapsAndGuardsAgainstZeroTotal) {
    const std::array<std::array<uint32_t, 3>, 9> rows{{{1500, 4000, 38},
                                                       {0, 4000, 0},
                                                       {991, 1000, 100},
                                                       {990, 1000, 99},
                                                       {5000, 4000, 100},
                                                       {7, 0, 0},
                                                       {UINT32_MAX, 1, 100},
                                                       {UINT32_MAX / 2, UINT32_MAX, 50},
                                                       {3000000000u, 4000000000u, 75}}};
    for (const auto& [done, total, position] : rows) {
        EXPECT_EQ(CompressionJob::BarPosition(done, total), int(position)) << done << "/" << total;
    }
}

TEST_F(CompressionJobTest, FailuresEndFinishedWithOneMessageNamingTheFile) {
    struct Case {
        ScriptedBuild::End end;
        std::string error;
        std::vector<Error> problems;
        Texts unencoded;
        std::string message;
        std::string status;
    };
    const std::string failed = "압축하지 못했습니다.";
    const Case cases[] = {
        // The library's problems, in Korean from their codes.
        {ScriptedBuild::End::Fail,
         "(the same in English)",
         {MakeError(ErrorCode::CannotRead, "/in/b.png", "", EACCES),
          MakeError(ErrorCode::IsAFolder, "/in/c.bmp"),
          MakeError(ErrorCode::CannotWrite, "/no/o.zok", "", ENOSPC)},
         {},
         failed + "\n/in/b.png: 읽을 수 없습니다: 권한이 없습니다\n/in/c.bmp: 폴더입니다\n"
                  "/no/o.zok: 쓸 수 없습니다: 디스크에 남은 공간이 없습니다",
         failed},
        // A codec gives up on the file after the last one reported.
        {ScriptedBuild::End::ThrowZokError,
         "Not a PNG",
         {},
         {},
         failed + "\n/in/b.png: 그림 파일로 읽을 수 없습니다",
         failed},
        {ScriptedBuild::End::ThrowOther,
         "",
         {},
         {},
         failed + "\n/in/b.png: 알 수 없는 오류",
         failed},
        // The archive is written, with empty entries for these.
        {ScriptedBuild::End::Succeed,
         "",
         {},
         {"/in/b.png", "/in/c.bmp"},
         "다음 파일은 압축하지 못해 빈 항목으로 저장했습니다.\n/in/b.png\n/in/c.bmp",
         "압축 종료"},
    };
    for (const Case& c : cases) {
        RecordingWindow window;
        CompressionJob job(window);
        job.SetBuilder(&ScriptedBuilder);
        job.SetJob(10, {"/in/a.txt", "/in/b.png", "/in/c.bmp"});
        g_build = ScriptedBuild();
        g_build.reports = {{1, 4, 50}};
        g_build.end = c.end;
        g_build.error = c.error;
        g_build.problems = c.problems;
        g_build.unencoded = c.unencoded;
        window.names = {"/no/o.zok"};
        window.answers = {true};
        ASSERT_NO_THROW(Compress(job, window));
        EXPECT_EQ(job.GetState(), JobState::Finished);
        EXPECT_EQ(window.fields[JobField::Status], c.status);
        EXPECT_EQ(window.cancelCaption, "OK");
        EXPECT_TRUE(window.cancelEnabled);
        EXPECT_FALSE(window.compressEnabled);
        EXPECT_EQ(window.messages, Texts{c.message});
        EXPECT_EQ(window.events.back(), "message") << "shown in the Finished state";
    }
}

// A builder that reads half of its one large input, then waits for Cancel and stops.
bool BuilderStoppedByCancel(const std::vector<std::string>&, const std::string&, ProgressCallback,
                            BuildReport* report, const BuildOptions& options) {
    options.progress({0, 0, 2000, 100, false});
    for (int i = 0; i < 10000 && !options.cancel->load(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    report->problems = {MakeError(ErrorCode::Cancelled, "/out/o.zok")};
    return false;
}

TEST_F(CompressionJobTest, TheBarMovesWithinAFileAndCancelStopsTheBuildAndClosesTheWindow) {
    job.SetBuilder(&BuilderStoppedByCancel);
    job.SetJob(4000, {"/in/large.bin"});
    window.names = {"/out/o.zok"};
    window.answers = {true};
    job.OnCompress();
    for (int i = 0; i < 10000 && window.bars.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        window.RunPosted();
    }
    EXPECT_EQ(window.bars, std::vector<int>{50}) << "half of the only file read";
    EXPECT_EQ(window.fields[JobField::FileCounter], "0 / 1");
    // The counters move with the bar, not only when a file ends.
    EXPECT_EQ(window.fields[JobField::ByteCounter], "2,000 byte / 4,000 byte");
    EXPECT_EQ(window.fields[JobField::ArchiveSize], "100 byte");
    EXPECT_EQ(job.GetState(), JobState::Running);
    job.OnCancel();
    EXPECT_EQ(job.GetState(), JobState::Cancelling);
    EXPECT_FALSE(window.cancelEnabled) << "pressed once; the window closes when the build stops";
    job.WaitForBuild();
    EXPECT_FALSE(window.closed);
    window.RunPosted();
    EXPECT_TRUE(window.closed);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(window.fields[JobField::Status], "압축 중...");
}

// The real builder, into a temporary folder.
class CompressionJobBuildTest : public ::testing::Test {
protected:
    void Run(Texts paths, uint32_t total, const std::string& output) {
        job.SetJob(total, std::move(paths));
        window.names = {output};
        window.answers = {true};
        ASSERT_NO_THROW(Compress(job, window));
        EXPECT_EQ(job.GetState(), JobState::Finished);
    }
    // A failed build: the status line says so and one message names path.
    void ExpectOneMessageNaming(const std::string& path) {
        EXPECT_EQ(window.fields[JobField::Status], "압축하지 못했습니다.");
        ASSERT_EQ(window.messages.size(), 1u);
        EXPECT_EQ(window.messages[0].rfind("압축하지 못했습니다.\n", 0), 0u) << window.messages[0];
        EXPECT_NE(window.messages[0].find(path), std::string::npos) << window.messages[0];
    }
    size_t FilesInDir() const { return zoktest::CountIn(dir.Path()); }

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

    EXPECT_EQ(window.fields[JobField::Status], "압축 종료");
    EXPECT_TRUE(window.messages.empty());
    const std::string archive = zoktest::ReadFile(output);
    ASSERT_GT(archive.size(), 2500u) << "the stored entry alone is 2,500 bytes";
    EXPECT_EQ(archive.substr(0, 6), "ZOK110");
    EXPECT_EQ(zoktest::U32At(archive, 6), 2u);
    // Reports that arrive while the window is busy come together; the end is shown whole.
    ASSERT_FALSE(window.bars.empty());
    EXPECT_EQ(window.bars.back(), 100);
    EXPECT_EQ(window.fields[JobField::FileCounter], "2 / 2");
    EXPECT_EQ(window.fields[JobField::ByteCounter], "4,000 byte / 4,000 byte");
    EXPECT_EQ(window.fields[JobField::ArchiveSize],
              FormatNumber(uint32_t(archive.size())) + " byte");
    EXPECT_EQ(window.fields[JobField::CurrentFile], "keep.old");

    // Packing to the name again: the question says that the file will be replaced.
    const std::string plain = "압축을 시작하여, " + output + "파일에 압축된 결과를 저장합니다.\n";
    EXPECT_EQ(window.questions, Texts{plain});
    CompressionJob again{window};
    window.names = {output};
    again.SetJob(4000, {a, b});
    again.OnCompress();
    EXPECT_EQ(window.questions.back(), plain + "같은 이름의 파일이 이미 있습니다. 바꾸시겠습니까?");
    EXPECT_EQ(again.GetState(), JobState::Declined) << "no answer left: declined";
}

TEST_F(CompressionJobBuildTest, AMissingInputLeavesNoArchive) {
    const std::string text = dir.File("here.txt");
    const std::string missing = dir.File("gone.txt");
    zoktest::WriteFile(text, "hello");
    Run({text, missing}, 10, dir.File("out.zok"));
    ExpectOneMessageNaming(missing);
    EXPECT_EQ(FilesInDir(), 1u) << "only the input is left";
}

TEST_F(CompressionJobBuildTest, APngThatIsNotAPngLeavesNoArchive) {
    const std::string text = dir.File("here.txt");
    const std::string fake = dir.File("picture.png");
    zoktest::WriteFile(text, "hello");
    zoktest::WriteFile(fake, "plain text, not a picture");
    Run({text, fake}, 30, dir.File("out.zok"));
    ExpectOneMessageNaming(fake);
    EXPECT_NE(window.messages[0].find("그림 파일로 읽을 수 없습니다"), std::string::npos);
    EXPECT_EQ(FilesInDir(), 2u) << "only the inputs are left";
}

TEST_F(CompressionJobBuildTest, AnOutputThatCannotBeCreatedGivesOneMessageAndNoReports) {
    const std::string a = dir.File("here.txt");
    zoktest::WriteFile(a, "hello");
    // A regular file where a folder should be: fails for every user, root included.
    const std::string output = a + "/out.zok";
    Run({a}, 5, output);
    ExpectOneMessageNaming(output);
    EXPECT_TRUE(window.bars.empty());
}

}  // namespace
