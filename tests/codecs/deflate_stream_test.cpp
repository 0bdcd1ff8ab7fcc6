#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <thread>

#include "codecs/text_codec.h"
#include "io/file_handle.h"
#include "tests/support/test_support.h"

using namespace zok;

using namespace zoktest;

namespace {

std::string Compress2(const std::string& data) {
    uLongf length = compressBound(uLong(data.size()));
    std::string out(length, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &length,
                        reinterpret_cast<const Bytef*>(data.data()), uLong(data.size()), 5),
              Z_OK);
    out.resize(length);
    return out;
}

std::string Inflate(const std::string& packed, size_t size) {
    std::string out(size, '\0');
    uLongf length = uLongf(size);
    Bytef dummy = 0;
    const int rc = uncompress(size > 0 ? reinterpret_cast<Bytef*>(out.data()) : &dummy, &length,
                              reinterpret_cast<const Bytef*>(packed.data()), uLong(packed.size()));
    EXPECT_EQ(rc, Z_OK);
    EXPECT_EQ(length, size);
    return out;
}

// Half text, half noise: both of zlib's block kinds in one stream.
std::string Mixed(size_t size) {
    std::string out = TextBytes(size / 2) + RandomBytes(size - size / 2, 7);
    return out;
}

// Encodes the file at inputPath behind a 5-byte prefix; returns the entry's bytes.
std::string EncodeFile(CTextCodec& codec, const std::string& inputPath, const std::string& scratch,
                       int32_t* stored) {
    FileHandle input = FileHandle::Open(inputPath, "rb");
    FileHandle archive = FileHandle::Open(scratch, "w+b");
    EXPECT_TRUE(input && archive);
    std::fwrite("ZOK..", 1, 5, archive.Get());
    *stored = codec.Encode(input.Get(), archive.Get());
    EXPECT_EQ(ftello(archive.Get()), 5 + off_t(*stored)) << "the stream ends where Encode says";
    EXPECT_TRUE(archive.Close());
    return ReadFile(scratch).substr(5);
}

constexpr size_t kChunk = DeflateStream::kInputChunk;

TEST(DeflateStream, SameBytesAsCompress2AndInflatesBack) {
    // One state, reset between entries, for every size: each stream is compress2's.
    TempDir dir;
    CTextCodec codec;
    const std::vector<size_t> sizes = {
        0, 1, 100, 65535, 65536, 65537, kChunk - 1, kChunk, kChunk + 1, 1 << 20, 3 * kChunk + 17};
    for (size_t size : sizes) {
        for (int kind = 0; kind < 3; ++kind) {
            const std::string data = kind == 0   ? TextBytes(size)
                                     : kind == 1 ? RandomBytes(size, uint32_t(size))
                                                 : Mixed(size);
            SCOPED_TRACE("size " + std::to_string(size) + " kind " + std::to_string(kind));
            WriteFile(dir.File("in"), data);
            int32_t stored = -1;
            const std::string entry = EncodeFile(codec, dir.File("in"), dir.File("out"), &stored);
            ASSERT_GT(stored, 0) << "even empty input gives a non-empty zlib stream";
            EXPECT_EQ(entry.size(), size_t(stored));
            EXPECT_EQ(entry, Compress2(data));
            EXPECT_EQ(Inflate(entry, size), data);
        }
    }
}

TEST(DeflateStream, WholeFileWhereverTheInputStands) {
    TempDir dir;
    const std::string data = Mixed(kChunk + 500);
    WriteFile(dir.File("in"), data);
    FileHandle input = FileHandle::Open(dir.File("in"), "rb");
    FileHandle archive = FileHandle::Open(dir.File("out"), "w+b");
    ASSERT_EQ(fseeko(input.Get(), 1234, SEEK_SET), 0);
    CTextCodec codec;
    const int32_t stored = codec.Encode(input.Get(), archive.Get());
    ASSERT_TRUE(archive.Close());
    EXPECT_EQ(ReadFile(dir.File("out")), Compress2(data));
    EXPECT_EQ(size_t(stored), ReadFile(dir.File("out")).size());
}

// An input stream that claims more bytes than it delivers, as a file that shrank after it
// was measured does.
struct ShrunkFile {
    std::string data;
    off_t claimed = 0;
    off_t pos = 0;
};

FILE* OpenShrunk(ShrunkFile* file) {
    cookie_io_functions_t io{};
    io.read = [](void* c, char* buf, size_t size) -> ssize_t {
        auto* f = static_cast<ShrunkFile*>(c);
        const size_t left = f->pos < off_t(f->data.size()) ? f->data.size() - size_t(f->pos) : 0;
        const size_t n = std::min(size, left);
        std::memcpy(buf, f->data.data() + f->pos, n);
        f->pos += off_t(n);
        return ssize_t(n);
    };
    io.seek = [](void* c, off64_t* offset, int whence) -> int {
        auto* f = static_cast<ShrunkFile*>(c);
        const off_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f->pos : f->claimed;
        f->pos = base + *offset;
        *offset = f->pos;
        return 0;
    };
    return fopencookie(file, "rb", io);
}

TEST(DeflateStream, InputThatShrankFailsAndLeavesNothingBehind) {
    TempDir dir;
    for (size_t real : {size_t(10), 2 * kChunk + 3}) {
        SCOPED_TRACE(real);
        ShrunkFile shrunk{TextBytes(real), off_t(real + 100), 0};
        FileHandle input(OpenShrunk(&shrunk));
        FileHandle archive = FileHandle::Open(dir.File("out"), "w+b");
        ASSERT_TRUE(input && archive);
        std::fwrite("prefix", 1, 6, archive.Get());
        CTextCodec codec;
        EXPECT_EQ(codec.Encode(input.Get(), archive.Get()), 0);
        EXPECT_EQ(ftello(archive.Get()), 6) << "the archive is put back where the entry began";

        // The codec's state is usable again after the failure.
        WriteFile(dir.File("in"), TextBytes(real));
        int32_t stored = 0;
        EXPECT_EQ(EncodeFile(codec, dir.File("in"), dir.File("again"), &stored),
                  Compress2(TextBytes(real)));
    }
}

TEST(DeflateStream, WriteFailureIsAFailedEntry) {
    TempDir dir;
    WriteFile(dir.File("in"), TextBytes(3 * kChunk));
    WriteFile(dir.File("out"), "");
    FileHandle input = FileHandle::Open(dir.File("in"), "rb");
    FileHandle readOnly = FileHandle::Open(dir.File("out"), "rb");
    CTextCodec codec;
    EXPECT_EQ(codec.Encode(input.Get(), readOnly.Get()), 0);
}

TEST(DeflateStream, ThreadsEachKeepTheirOwnState) {
    TempDir dir;
    const int kThreads = 4;
    std::vector<std::string> expected(kThreads);
    std::vector<std::string> got(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        const std::string data = t % 2 == 0 ? Mixed(kChunk * 2 + size_t(t)) : TextBytes(999);
        WriteFile(dir.File("in" + std::to_string(t)), data);
        expected[size_t(t)] = Compress2(data);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            CTextCodec codec;
            for (int round = 0; round < 3; ++round) {
                int32_t stored = 0;
                const std::string name = std::to_string(t);
                got[size_t(t)] =
                    EncodeFile(codec, dir.File("in" + name), dir.File("out" + name), &stored);
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(got[size_t(t)], expected[size_t(t)]) << "thread " << t;
    }
}

}  // namespace
