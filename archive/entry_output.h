#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>

#include "zok/error.h"

namespace zok {

class CZokFile;

// Writes what an entry becomes as a file into out (a new file's stream, at its start): its
// content as OpenEntry gives it, or, for a picture entry named *.bmp, its picture as a 24-bit
// BMP file, decoded row by row. onBytes (may be empty) hears of the entry's bytes read, in
// pieces. Errors: the entry's damage, PictureTooLarge(ForBmp), Cancelled, CannotWrite with the
// system's reason, OutOfMemory; path and entry are left for the caller.
Error WriteEntryFile(const CZokFile& archive, size_t index, FILE* out,
                     const std::atomic<bool>* cancel, const std::function<void(uint64_t)>& onBytes);

// The bytes WriteEntryFile reads for the entry: its content's size, or the stored PNG stream's
// for an entry written as BMP.
uint64_t EntryFileBytes(const CZokFile& archive, size_t index);

// A picture entry's rows written as a BMP file into bmpFd and, when pgmFd >= 0, its alpha plane
// as a PGM file into pgmFd.
Error WritePictureFiles(const CZokFile& archive, size_t index, int bmpFd, int pgmFd,
                        const std::atomic<bool>* cancel,
                        const std::function<void(uint64_t)>& onBytes);

}  // namespace zok
