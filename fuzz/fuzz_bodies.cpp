#include "fuzz/fuzz_bodies.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "codecs/bmp_codec.h"
#include "codecs/png_codec.h"
#include "codecs/stored_bitmap.h"
#include "io/file_handle.h"
#include "zok/upgrade_archive.h"
#include "zok/zok_error.h"
#include "zok/zok_file.h"

using namespace zok;

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

// Everything the reader gives for one entry, as text: its content (whole and streamed), its
// bitmap header and pixels, or the failures.
std::string Observe(const CZokFile& archive, size_t index) {
    std::string seen = std::string(ErrorCodeName(archive.EntryProblem(index).code)) + "|";
    // Sound entries are bounded by their stored bytes; the cap only keeps a fuzzer fast.
    constexpr uint64_t kCap = 64 << 20;
    const uint32_t needed = archive.GetEntrySizeAt(index);
    if (!archive.EntryProblem(index) && needed <= kCap) {
        std::string buffer(needed, '\0');
        seen += archive.ExtractEntryAt(index, reinterpret_cast<uint8_t*>(buffer.data()))
                    ? "extracted:" + buffer
                    : "not extracted";
    }
    std::unique_ptr<EntryReader> reader = archive.OpenEntry(index);
    std::string streamed;
    char piece[4096];
    for (size_t n; streamed.size() <= kCap && (n = reader->Read(piece, sizeof piece)) > 0;) {
        streamed.append(piece, n);
    }
    seen += "|streamed:" + (reader->Complete()
                                ? streamed
                                : std::string("damaged: ") + ErrorCodeName(reader->Problem().code));
    for (int pass = 0; pass < 3; ++pass) {
        seen += "|";
        try {
            BITMAPINFOHEADER header;
            if (pass == 0) {
                if (!archive.ReadEntryBitmapInfoAt(index, &header)) {
                    seen += "no info";
                    continue;
                }
            } else {
                PixelBuffer alpha;
                PixelBuffer pixels =
                    archive.DecodeEntryBitmapAt(index, &header, pass == 2 ? &alpha : nullptr);
                if (!pixels) {
                    seen += "no pixels";
                    continue;
                }
                seen.append(reinterpret_cast<const char*>(pixels.get()), header.biSizeImage);
                if (alpha) {
                    seen.append(reinterpret_cast<const char*>(alpha.get()),
                                size_t(header.biWidth) * size_t(header.biHeight));
                }
            }
            uint8_t bytes[kBitmapInfoHeaderSize];
            WriteBitmapInfoHeader(header, bytes);
            seen.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
        } catch (const ZokError& e) {
            seen += e.what();
        }
    }
    return seen;
}

// The entry's record and stored bytes (as far as the file holds them) alone in an archive.
std::string AloneInAnArchive(const CZokFile& archive, size_t index, const uint8_t* data,
                             size_t size) {
    const EntryRecord r = archive.Record(index);
    const std::string name = archive.RawName(index);
    std::string out = "ZOK110";
    const auto put = [&out](uint32_t v) {
        for (int shift = 0; shift < 32; shift += 8) {
            out.push_back(char(v >> shift));
        }
    };
    put(1);
    put(uint32_t(name.size()));
    out += name;
    put(uint32_t(10 + 17 + name.size()));
    put(r.sourceSize);
    put(r.storedSize);
    out.push_back(char(r.kind));
    const uint64_t begin = std::min<uint64_t>(r.offset, size);
    const uint64_t end = std::min<uint64_t>(uint64_t(r.offset) + r.storedSize, size);
    out.append(reinterpret_cast<const char*>(data) + begin, size_t(end - begin));
    return out;
}

}  // namespace

int FuzzArchive(const uint8_t* data, size_t size) {
    const std::string path = (WorkFolder() / "archive.zok").string();
    const std::string alonePath = (WorkFolder() / "alone.zok").string();
    WriteBytes(path, data, size);
    std::unique_ptr<CZokFile> archive;
    try {
        archive = std::make_unique<CZokFile>(path);
    } catch (const ZokError&) {
        return 0;
    }
    // The oracle: an entry read inside the archive gives what its bytes give alone, so any
    // read outside the entry's own bytes shows up as a difference.
    for (size_t i = 0; i < archive->Count(); ++i) {
        const std::string inside = Observe(*archive, i);
        const std::string alone = AloneInAnArchive(*archive, i, data, size);
        WriteBytes(alonePath, reinterpret_cast<const uint8_t*>(alone.data()), alone.size());
        const CZokFile single(alonePath);
        if (Observe(single, 0) != inside) {
            std::fprintf(stderr, "entry %zu reads differently inside the archive\n", i);
            std::abort();
        }
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
