#pragma once

#include <cstddef>
#include <cstdint>

// The work of each fuzz target, shared by the libFuzzer programs and the regression test
// that replays the seeds and every input a fuzzer once found.
namespace zokfuzz {

// The bytes as an archive file: open it and run every read operation on every entry.
int FuzzArchive(const uint8_t* data, size_t size);
// The bytes as a PNG entry, a PNG file and a PNG input to re-encode.
int FuzzPng(const uint8_t* data, size_t size);
// The bytes as a BMP input to encode and as a stored bitmap entry.
int FuzzBmp(const uint8_t* data, size_t size);
// The bytes as an archive to upgrade, beside and in place, in a private folder.
int FuzzUpgrade(const uint8_t* data, size_t size);

}  // namespace zokfuzz
