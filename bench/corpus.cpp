#include "bench/corpus.h"

#include <png.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zokbench {

namespace {

const char* const kWords[] = {
    "archive", "entry",  "picture",   "the",    "of",       "and",   "to",     "a",
    "in",      "is",     "that",      "for",    "it",       "as",    "was",    "with",
    "be",      "by",     "on",        "not",    "he",       "this",  "are",    "or",
    "his",     "from",   "at",        "which",  "but",      "have",  "an",     "had",
    "they",    "you",    "were",      "their",  "one",      "all",   "we",     "can",
    "her",     "has",    "there",     "been",   "if",       "more",  "when",   "will",
    "would",   "who",    "so",        "no",     "compress", "level", "window", "stream",
    "buffer",  "header", "directory", "offset", "record",   "name",  "size",   "kind"};
constexpr size_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);

void AppendU16(std::string& out, uint16_t v) {
    out.push_back(char(v & 0xFF));
    out.push_back(char(v >> 8));
}

void AppendU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(char((v >> (8 * i)) & 0xFF));
    }
}

uint8_t Clamp(int v) {
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

}  // namespace

std::string MakeText(size_t size, uint64_t seed) {
    Random rng(seed);
    std::string out;
    out.reserve(size + 64);
    size_t lineStart = 0;
    bool sentenceStart = true;
    while (out.size() < size) {
        std::string word = kWords[rng.Below(uint32_t(kWordCount))];
        if (sentenceStart) {
            word[0] = char(std::toupper(static_cast<unsigned char>(word[0])));
        }
        out += word;
        sentenceStart = rng.Below(12) == 0;
        if (sentenceStart) {
            out += '.';
        } else if (rng.Below(15) == 0) {
            out += ',';
        }
        if (out.size() - lineStart > 72) {
            out += '\n';
            lineStart = out.size();
        } else {
            out += ' ';
        }
    }
    out.resize(size);
    return out;
}

std::string MakeSource(size_t size, uint64_t seed) {
    Random rng(seed);
    static const char* const kTypes[] = {"int", "uint32_t", "size_t", "bool", "double"};
    static const char* const kNames[] = {"count",  "offset", "length", "index", "result",
                                         "buffer", "stream", "entry",  "width", "height"};
    std::ostringstream out;
    int function = 0;
    while (size_t(out.tellp()) < size) {
        out << "// " << MakeText(40 + rng.Below(60), rng.Next()) << "\n";
        out << "static " << kTypes[rng.Below(5)] << " Function" << function++ << "(const "
            << kTypes[rng.Below(5)] << "* " << kNames[rng.Below(10)] << ", " << kTypes[rng.Below(5)]
            << " " << kNames[rng.Below(10)] << ") {\n";
        const int lines = 3 + int(rng.Below(12));
        for (int i = 0; i < lines; ++i) {
            const char* name = kNames[rng.Below(10)];
            switch (rng.Below(4)) {
                case 0:
                    out << "    " << kTypes[rng.Below(5)] << " " << name << i << " = "
                        << rng.Below(1000) << ";\n";
                    break;
                case 1:
                    out << "    if (" << name << " > " << rng.Below(256) << ") {\n        return "
                        << kNames[rng.Below(10)] << ";\n    }\n";
                    break;
                case 2:
                    out << "    for (size_t i = 0; i < " << name << "; ++i) {\n        "
                        << kNames[rng.Below(10)] << " += i * " << rng.Below(16) << ";\n    }\n";
                    break;
                default:
                    out << "    " << name << " = Function" << rng.Below(uint32_t(function)) << "(&"
                        << kNames[rng.Below(10)] << ", " << rng.Below(100) << ");\n";
            }
        }
        out << "    return " << kNames[rng.Below(10)] << ";\n}\n\n";
    }
    std::string text = out.str();
    text.resize(size);
    return text;
}

std::string MakeBinary(size_t size, uint64_t seed) {
    Random rng(seed);
    std::string out;
    out.reserve(size + 4096);
    // A pool of "instructions" that recur, as machine code does.
    std::vector<std::string> ops;
    for (int i = 0; i < 200; ++i) {
        std::string op;
        const int len = 1 + int(rng.Below(7));
        for (int b = 0; b < len; ++b) {
            op.push_back(char(rng.Below(256)));
        }
        ops.push_back(op);
    }
    while (out.size() < size) {
        switch (rng.Below(8)) {
            case 0: {  // a table of small increasing numbers
                uint32_t value = rng.Below(100000);
                for (int i = 0, n = 64 + int(rng.Below(512)); i < n; ++i) {
                    value += rng.Below(64);
                    AppendU32(out, value);
                }
                break;
            }
            case 1:  // padding
                out.append(16 + rng.Below(2048), '\0');
                break;
            case 2:  // noise: packed or encrypted data
                for (int i = 0, n = 64 + int(rng.Below(1024)); i < n; ++i) {
                    out.push_back(char(rng.Next() >> 56));
                }
                break;
            case 3:  // strings
                out += MakeText(16 + rng.Below(200), rng.Next());
                out.push_back('\0');
                break;
            default:  // code
                for (int i = 0, n = 200 + int(rng.Below(2000)); i < n; ++i) {
                    // Mostly common instructions, some rare ones with varying operands.
                    const uint32_t pick = rng.Below(100) < 80 ? rng.Below(24) : rng.Below(200);
                    out += ops[pick];
                    if (rng.Below(3) == 0) {
                        AppendU32(out, rng.Below(1 << 16));
                    }
                }
        }
    }
    out.resize(size);
    return out;
}

std::string MakeLog(size_t size, uint64_t seed) {
    Random rng(seed);
    static const char* const kLevels[] = {"INFO", "INFO", "INFO", "DEBUG", "WARN", "ERROR"};
    static const char* const kModules[] = {"loader", "render", "net", "audio", "physics", "ui"};
    std::string out;
    out.reserve(size + 256);
    uint64_t millis = 1700000000000ull;
    char line[256];
    while (out.size() < size) {
        millis += rng.Below(1500);
        const int n = std::snprintf(
            line, sizeof line, "%llu.%03u [%s] %s: request %u took %u ms, %u bytes (%s)\n",
            static_cast<unsigned long long>(millis / 1000), unsigned(millis % 1000),
            kLevels[rng.Below(6)], kModules[rng.Below(6)], rng.Below(1000000), rng.Below(900),
            rng.Below(1 << 20), kWords[rng.Below(uint32_t(kWordCount))]);
        out.append(line, size_t(n));
    }
    out.resize(size);
    return out;
}

Picture MakePhoto(int width, int height, uint64_t seed) {
    Random rng(seed);
    Picture p{width, height, std::vector<uint8_t>(size_t(width) * size_t(height) * 3)};
    // A few soft light sources over a sloping background, then sensor grain.
    struct Blob {
        double x, y, r, cr, cg, cb;
    };
    std::vector<Blob> blobs;
    for (int i = 0; i < 6; ++i) {
        blobs.push_back({double(rng.Below(uint32_t(width))), double(rng.Below(uint32_t(height))),
                         double(width) / (3.0 + rng.Below(5)), double(rng.Below(200)),
                         double(rng.Below(200)), double(rng.Below(200))});
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double r = 40.0 + 60.0 * x / width, g = 50.0 + 50.0 * y / height, b = 70.0;
            for (const Blob& blob : blobs) {
                const double dx = x - blob.x, dy = y - blob.y;
                const double w = std::exp(-(dx * dx + dy * dy) / (2 * blob.r * blob.r));
                r += blob.cr * w;
                g += blob.cg * w;
                b += blob.cb * w;
            }
            const uint64_t noise = rng.Next();
            uint8_t* px = &p.rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
            px[0] = Clamp(int(r) + int(noise & 15) - 8);
            px[1] = Clamp(int(g) + int((noise >> 8) & 15) - 8);
            px[2] = Clamp(int(b) + int((noise >> 16) & 15) - 8);
        }
    }
    return p;
}

Picture MakeFlat(int width, int height, uint64_t seed) {
    Random rng(seed);
    Picture p{width, height, std::vector<uint8_t>(size_t(width) * size_t(height) * 3, 255)};
    for (int i = 0; i < 40; ++i) {
        const int x0 = int(rng.Below(uint32_t(width))), y0 = int(rng.Below(uint32_t(height)));
        const int x1 = std::min(width, x0 + 20 + int(rng.Below(uint32_t(width) / 3)));
        const int y1 = std::min(height, y0 + 20 + int(rng.Below(uint32_t(height) / 3)));
        const uint8_t c[3] = {uint8_t(rng.Below(256)), uint8_t(rng.Below(256)),
                              uint8_t(rng.Below(256))};
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                uint8_t* px = &p.rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
                px[0] = c[0];
                px[1] = c[1];
                px[2] = c[2];
            }
        }
    }
    return p;
}

std::string EncodeBmp(const Picture& picture) {
    const uint32_t stride = (uint32_t(picture.width) * 3 + 3) & ~3u;
    const uint32_t pixels = stride * uint32_t(picture.height);
    std::string out = "BM";
    AppendU32(out, 54 + pixels);
    AppendU32(out, 0);
    AppendU32(out, 54);
    AppendU32(out, 40);
    AppendU32(out, uint32_t(picture.width));
    AppendU32(out, uint32_t(picture.height));
    AppendU16(out, 1);
    AppendU16(out, 24);
    AppendU32(out, 0);
    AppendU32(out, pixels);
    AppendU32(out, 2835);
    AppendU32(out, 2835);
    AppendU32(out, 0);
    AppendU32(out, 0);
    std::string row(stride, '\0');
    for (int y = picture.height - 1; y >= 0; --y) {
        const uint8_t* src = &picture.rgb[size_t(y) * size_t(picture.width) * 3];
        for (int x = 0; x < picture.width; ++x) {
            row[size_t(x) * 3] = char(src[x * 3 + 2]);
            row[size_t(x) * 3 + 1] = char(src[x * 3 + 1]);
            row[size_t(x) * 3 + 2] = char(src[x * 3]);
        }
        out += row;
    }
    return out;
}

std::string EncodePng(const Picture& picture) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("libpng refused the picture");
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, size_t size) {
            static_cast<std::string*>(png_get_io_ptr(p))
                ->append(reinterpret_cast<char*>(data), size);
        },
        nullptr);
    png_set_IHDR(png, info, uint32_t(picture.width), uint32_t(picture.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < picture.height; ++y) {
        png_write_row(png, &picture.rgb[size_t(y) * size_t(picture.width) * 3]);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace zokbench
