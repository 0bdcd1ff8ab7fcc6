// The entry codecs one call at a time: deflate, stored, PNG and BMP encoding and picture
// decoding, in bytes of input per second and pictures per second.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <vector>

#include "bench/corpus.h"
#include "codecs/bmp_codec.h"
#include "codecs/png_codec.h"
#include "codecs/stored_codec.h"
#include "codecs/text_codec.h"
#include "io/file_handle.h"

using namespace zok;

using namespace zokbench;

namespace {

// Inputs written once per run into a private folder, removed at exit.
class Inputs {
public:
    Inputs() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zokbench.XXXXXX");
        m_dir = ::mkdtemp(pattern.data()) != nullptr ? pattern : "";
    }
    ~Inputs() {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    // The path of a file made by make the first time the key is asked for.
    template <typename Make>
    const std::string& Get(const std::string& key, Make make) {
        auto it = m_files.find(key);
        if (it == m_files.end()) {
            const std::string path = (std::filesystem::path(m_dir) / key).string();
            WriteWholeFile(path, make());
            it = m_files.emplace(key, path).first;
        }
        return it->second;
    }

private:
    std::string m_dir;
    std::map<std::string, std::string> m_files;
};

Inputs& TheInputs() {
    static Inputs inputs;
    return inputs;
}

// Encodes one file with codec per iteration into the same scratch archive; counts the input's
// bytes and one item.
void RunEncode(benchmark::State& state, CEntryCodec& codec, const std::string& path) {
    FileHandle input = FileHandle::Open(path, "rb");
    FileHandle archive(std::tmpfile());
    const auto size = int64_t(std::filesystem::file_size(path));
    for (auto _ : state) {
        std::rewind(archive.Get());
        std::rewind(input.Get());
        const int32_t stored = codec.Encode(input.Get(), archive.Get());
        if (stored <= 0 && size > 0) {
            state.SkipWithError("the codec did not encode the input");
            break;
        }
        benchmark::DoNotOptimize(stored);
    }
    state.SetBytesProcessed(state.iterations() * size);
    state.SetItemsProcessed(state.iterations());
}

void BM_DeflateText(benchmark::State& state) {
    const size_t size = size_t(state.range(0));
    const std::string& path =
        TheInputs().Get("text" + std::to_string(size) + ".txt", [&] { return MakeText(size, 1); });
    CTextCodec codec;
    RunEncode(state, codec, path);
}
BENCHMARK(BM_DeflateText)
    ->Arg(4 << 10)
    ->Arg(64 << 10)
    ->Arg(16 << 20)
    ->Unit(benchmark::kMicrosecond);

// zlib's one-shot compress2 at level 5 on the same text, for comparison.
void BM_Compress2Text(benchmark::State& state) {
    const std::string data = MakeText(size_t(state.range(0)), 1);
    std::vector<Bytef> out(compressBound(uLong(data.size())));
    for (auto _ : state) {
        uLongf length = uLongf(out.size());
        compress2(out.data(), &length, reinterpret_cast<const Bytef*>(data.data()),
                  uLong(data.size()), 5);
        benchmark::DoNotOptimize(length);
    }
    state.SetBytesProcessed(state.iterations() * int64_t(data.size()));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Compress2Text)
    ->Arg(4 << 10)
    ->Arg(64 << 10)
    ->Arg(16 << 20)
    ->Unit(benchmark::kMicrosecond);

void BM_DeflateBinary(benchmark::State& state) {
    const size_t size = size_t(state.range(0));
    const std::string& path =
        TheInputs().Get("bin" + std::to_string(size) + ".bin", [&] { return MakeBinary(size, 2); });
    CTextCodec codec;
    RunEncode(state, codec, path);
}
BENCHMARK(BM_DeflateBinary)->Arg(64 << 10)->Arg(16 << 20)->Unit(benchmark::kMicrosecond);

void BM_Stored(benchmark::State& state) {
    const size_t size = size_t(state.range(0));
    const std::string& path = TheInputs().Get("stored" + std::to_string(size) + ".old",
                                              [&] { return MakeBinary(size, 3); });
    CStoredCodec codec;
    RunEncode(state, codec, path);
}
BENCHMARK(BM_Stored)->Arg(64 << 10)->Arg(16 << 20)->Unit(benchmark::kMicrosecond);

// Pictures of about 2 megapixels.
const std::string& PhotoPng() {
    return TheInputs().Get("photo.png", [] { return EncodePng(MakePhoto(1600, 1200, 4)); });
}
const std::string& PhotoBmp() {
    return TheInputs().Get("photo.bmp", [] { return EncodeBmp(MakePhoto(1600, 1200, 4)); });
}
const std::string& FlatBmp() {
    return TheInputs().Get("flat.bmp", [] { return EncodeBmp(MakeFlat(1600, 1200, 5)); });
}

void BM_PngEncodePhoto(benchmark::State& state) {
    CPngCodec codec;
    RunEncode(state, codec, PhotoPng());
}
BENCHMARK(BM_PngEncodePhoto)->Unit(benchmark::kMillisecond);

void BM_BmpEncodePhoto(benchmark::State& state) {
    CBmpCodec codec;
    RunEncode(state, codec, PhotoBmp());
}
BENCHMARK(BM_BmpEncodePhoto)->Unit(benchmark::kMillisecond);

void BM_BmpEncodeFlat(benchmark::State& state) {
    CBmpCodec codec;
    RunEncode(state, codec, FlatBmp());
}
BENCHMARK(BM_BmpEncodeFlat)->Unit(benchmark::kMillisecond);

// Decoding a PNG entry (as the BMP codec wrote it) into the bitmap form.
void BM_DecodeBitmap(benchmark::State& state) {
    const std::string& entryPath = TheInputs().Get("entry.png", [] {
        CBmpCodec codec;
        FileHandle input = FileHandle::Open(PhotoBmp(), "rb");
        FileHandle entry(std::tmpfile());
        codec.Encode(input.Get(), entry.Get());
        std::rewind(entry.Get());
        std::string bytes;
        char buf[65536];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, entry.Get())) > 0;) {
            bytes.append(buf, n);
        }
        return bytes;
    });
    FileHandle archive = FileHandle::Open(entryPath, "rb");
    CPngCodec codec;
    int64_t pixelBytes = 0;
    for (auto _ : state) {
        std::rewind(archive.Get());
        BITMAPINFOHEADER header{};
        PixelBuffer alpha;
        PixelBuffer pixels = codec.DecodeBitmap(archive.Get(), &header, &alpha);
        if (!pixels) {
            state.SkipWithError("the entry did not decode");
            break;
        }
        pixelBytes = int64_t(header.biWidth) * int64_t(header.biHeight) * 3;
        benchmark::DoNotOptimize(pixels.get());
    }
    state.SetBytesProcessed(state.iterations() * pixelBytes);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeBitmap)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
