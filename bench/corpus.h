#pragma once

// Deterministic test material for the benchmarks: text and source files, binaries, and
// photographic and flat pictures written as 24-bit BMP and 8-bit PNG files.

#include <cstdint>
#include <string>
#include <vector>

namespace zokbench {

// A small, fast, seeded generator (xorshift64*), the same on every machine.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint64_t Next() {
        m_state ^= m_state >> 12;
        m_state ^= m_state << 25;
        m_state ^= m_state >> 27;
        return m_state * 0x2545F4914F6CDD1Dull;
    }
    // A number below bound.
    uint32_t Below(uint32_t bound) { return uint32_t((Next() >> 32) % bound); }

private:
    uint64_t m_state;
};

// Prose-like text of the given size from a fixed vocabulary.
std::string MakeText(size_t size, uint64_t seed);
// C-like source code of the given size.
std::string MakeSource(size_t size, uint64_t seed);
// Binary data compressing about as well as executables do: tables of small numbers, code-like
// byte patterns, runs of zeros and some noise.
std::string MakeBinary(size_t size, uint64_t seed);
// Log lines with counters and timestamps, as a large generated file holds.
std::string MakeLog(size_t size, uint64_t seed);

// An 8-bit RGB picture, rows top-down, 3 bytes a pixel.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

// Smooth shapes with fine grain noise, compressing about as badly as a photograph.
Picture MakePhoto(int width, int height, uint64_t seed);
// A few flat colour areas, as diagrams and interface art are.
Picture MakeFlat(int width, int height, uint64_t seed);

// A 24-bit bottom-up BMP file of the picture.
std::string EncodeBmp(const Picture& picture);
// An 8-bit RGB PNG file of the picture (libpng defaults, level 6).
std::string EncodePng(const Picture& picture);

void WriteWholeFile(const std::string& path, const std::string& bytes);
std::string ReadWholeFile(const std::string& path);

}  // namespace zokbench
