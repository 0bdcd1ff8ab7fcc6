#include "fuzz/fuzz_bodies.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "archive/file_handle.h"
#include "codecs/bmp_codec.h"
#include "codecs/png_codec.h"
#include "codecs/stored_bitmap.h"
#include "zok/upgrade_archive.h"
#include "zok/zok_error.h"
#include "zok/zok_file.h"

namespace zokfuzz {

namespace {

// A memory stream over the input bytes (never written).
FileHandle ReadStream(const uint8_t* data, size_t size) {
    if (size == 0) {
        return FileHandle(std::tmpfile());
    }
    return FileHandle(::fmemopen(const_cast<uint8_t*>(data), size, "rb"));
}

// A private folder for the file-based targets, made once per process.
const std::filesystem::path& WorkFolder() {
    static const std::filesystem::path folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "zokfuzz.XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        return std::filesystem::path(pattern);
    }();
    return folder;
}

void WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
    FileHandle f = FileHandle::Open(path, "wb");
    if (!f || (size > 0 && std::fwrite(data, 1, size, f.Get()) != size) || !f.Close()) {
        std::abort();
    }
}

// Touches every byte of a returned buffer so that the sanitizers see a short allocation.
uint32_t Touch(const uint8_t* p, size_t n) {
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        sum += p[i];
    }
    return sum;
}

// Runs one decoding call; the codec's documented exceptions are expected answers.
template <typename F>
void Expecting(F&& f) {
    try {
        f();
    } catch (const ZokError&) {
    }
}

void CheckBitmap(const PixelBuffer& pixels, const PixelBuffer* alpha, const BITMAPINFOHEADER& h) {
    if (!pixels) {
        return;
    }
    volatile uint32_t sink = Touch(pixels.get(), h.biSizeImage);
    if (alpha != nullptr && *alpha) {
        sink = sink + Touch(alpha->get(), size_t(h.biWidth) * size_t(h.biHeight));
    }
    (void)sink;
}

}  // namespace

int FuzzArchive(const uint8_t* data, size_t size) {
    const std::string path = (WorkFolder() / "archive.zok").string();
    WriteBytes(path, data, size);
    try {
        CZokFile archive(path);
        for (size_t i = 0; i < archive.Count(); ++i) {
            const std::string name = archive.Record(i).name;
            const uint32_t needed = archive.GetEntrySize(name);
            // Only entries that fit in the file are worth a buffer (a real reader checks too).
            if (!archive.EntryProblem(i) && needed <= archive.FileSize()) {
                std::unique_ptr<uint8_t[]> buffer(new uint8_t[needed == 0 ? 1 : needed]);
                Expecting([&] { archive.ExtractEntry(name, buffer.get()); });
            }
            BITMAPINFOHEADER header;
            Expecting([&] { archive.ReadEntryBitmapInfo(name, &header); });
            Expecting([&] {
                PixelBuffer pixels = archive.DecodeEntryBitmap(name, &header, nullptr);
                CheckBitmap(pixels, nullptr, header);
            });
            Expecting([&] {
                PixelBuffer alpha;
                PixelBuffer pixels = archive.DecodeEntryBitmap(name, &header, &alpha);
                CheckBitmap(pixels, &alpha, header);
            });
        }
    } catch (const ZokError&) {
    }
    return 0;
}

int FuzzPng(const uint8_t* data, size_t size) {
    CPngCodec codec;
    BITMAPINFOHEADER header;
    {
        FileHandle s = ReadStream(data, size);
        codec.ReadBitmapInfo(s.Get(), &header);
    }
    for (bool withAlpha : {false, true}) {
        Expecting([&] {
            FileHandle s = ReadStream(data, size);
            PixelBuffer alpha;
            PixelBuffer pixels = codec.DecodeBitmap(s.Get(), &header, withAlpha ? &alpha : nullptr);
            CheckBitmap(pixels, withAlpha ? &alpha : nullptr, header);
        });
        Expecting([&] {
            FileHandle s = ReadStream(data, size);
            PixelBuffer alpha;
            PixelBuffer pixels = DecodePngFile(s.Get(), &header, withAlpha ? &alpha : nullptr);
            CheckBitmap(pixels, withAlpha ? &alpha : nullptr, header);
        });
    }
    Expecting([&] {
        FileHandle in = ReadStream(data, size);
        FileHandle out(std::tmpfile());
        codec.Encode(in.Get(), out.Get());
    });
    return 0;
}

int FuzzBmp(const uint8_t* data, size_t size) {
    CBmpCodec codec;
    {
        FileHandle in = ReadStream(data, size);
        FileHandle out(std::tmpfile());
        codec.Encode(in.Get(), out.Get());
    }
    BITMAPINFOHEADER header;
    {
        FileHandle s = ReadStream(data, size);
        codec.ReadBitmapInfo(s.Get(), &header);
    }
    {
        FileHandle s = ReadStream(data, size);
        PixelBuffer pixels = ReadStoredBitmap(s.Get(), &header);
        CheckBitmap(pixels, nullptr, header);
    }
    return 0;
}

int FuzzUpgrade(const uint8_t* data, size_t size) {
    const std::filesystem::path folder = WorkFolder() / "upgrade";
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "pics.zok").string();
    for (bool inPlace : {false, true}) {
        WriteBytes(path, data, size);
        try {
            UpgradeReport report;
            UpgradeArchive(path, inPlace, nullptr, &report);
        } catch (const ZokError&) {
        }
        // Whatever happened, the archive is still there under its own name.
        if (::access(path.c_str(), F_OK) != 0) {
            std::abort();
        }
    }
    return 0;
}

}  // namespace zokfuzz
