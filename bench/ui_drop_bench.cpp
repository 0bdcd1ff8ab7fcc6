// The main window under a large drop: 10,000 local files dropped onto the list at once, and
// all of them removed again. Run on Qt's offscreen platform unless another is set.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "ui/user_prompts.h"
#include "ui/zok_compressor_dlg.h"

using namespace zok;

namespace {

constexpr int kFiles = 10000;

// Answers nothing; counts the messages, of which a sound run has none.
class SilentPrompts : public UserPrompts {
public:
    int messages = 0;
    std::vector<std::string> AskInputFiles(QWidget&, const QStringList&) override { return {}; }
    std::string AskArchivePath(QWidget&, const QStringList&) override { return {}; }
    void ShowMessage(QWidget&, const QString&) override { ++messages; }
    bool AskYesNo(QWidget&, const QString&) override { return false; }
    std::string AskArchiveToOpen(QWidget&) override { return {}; }
    std::string AskFolder(QWidget&) override { return {}; }
    zok::OverwriteAnswer AskOverwrite(QWidget&, const QString&) override {
        return zok::OverwriteAnswer::No;
    }
    bool OpenFile(QWidget&, const std::string&) override { return false; }
};

// kFiles small files in a folder of their own, made once.
const QList<QUrl>& DroppedUrls() {
    static const QList<QUrl> urls = [] {
        const std::filesystem::path folder =
            std::filesystem::temp_directory_path() / "zok_ui_drop_bench";
        std::filesystem::create_directories(folder);
        QList<QUrl> list;
        for (int i = 0; i < kFiles; ++i) {
            const std::filesystem::path file = folder / ("input_" + std::to_string(i) + ".txt");
            if (!std::filesystem::exists(file)) {
                FILE* out = std::fopen(file.c_str(), "wb");
                if (out == nullptr) {
                    std::perror(file.c_str());
                    std::exit(1);
                }
                std::fprintf(out, "file %d\n", i);
                std::fclose(out);
            }
            list << QUrl::fromLocalFile(QString::fromStdString(file.string()));
        }
        return list;
    }();
    return urls;
}

void Drop(CZokCompressorDlg& dlg, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    // A drop goes to the widget that took the drag's entry.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(dlg.List().viewport(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(dlg.List().viewport(), &drop);
}

void BM_DropTenThousandFiles(benchmark::State& state) {
    const QList<QUrl>& urls = DroppedUrls();
    for (auto _ : state) {
        state.PauseTiming();
        SilentPrompts prompts;
        auto dlg = std::make_unique<CZokCompressorDlg>(prompts);
        dlg->show();
        state.ResumeTiming();
        Drop(*dlg, urls);
        QApplication::processEvents();  // the list is laid out and painted once
        state.PauseTiming();
        if (dlg->FileCount() != kFiles || prompts.messages != 0) {
            std::fprintf(stderr, "listed %d files, %d messages\n", int(dlg->FileCount()),
                         prompts.messages);
            state.SkipWithError("the drop did not list every file");
            break;
        }
        dlg.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_DropTenThousandFiles)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RemoveTenThousandFiles(benchmark::State& state) {
    const QList<QUrl>& urls = DroppedUrls();
    for (auto _ : state) {
        state.PauseTiming();
        SilentPrompts prompts;
        auto dlg = std::make_unique<CZokCompressorDlg>(prompts);
        dlg->show();
        Drop(*dlg, urls);
        dlg->List().selectAll();
        state.ResumeTiming();
        dlg->OnRemove();
        QApplication::processEvents();
        state.PauseTiming();
        if (dlg->FileCount() != 0 || dlg->TotalSize() != 0) {
            state.SkipWithError("the list was not emptied");
            break;
        }
        dlg.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_RemoveTenThousandFiles)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
