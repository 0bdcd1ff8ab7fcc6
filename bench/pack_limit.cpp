// The fastest a set of files could be packed, the archive aside: each file read whole and done
// in memory as its entry would be — a picture (a name ending in "bmp" or "png") decoded with
// libpng, or read directly for a 24-bit BMP, and written again as an 8-bit PNG at the archive's
// settings (level 5, memory level 9, libpng's other defaults); a name ending in "old" only read;
// anything else deflated at level 5 through one zlib state per thread, reset between files.
// The files are taken in order by N threads as each becomes free; nothing of the archive
// (checks, hand-offs, directory, writing) is done. Prints the wall time in seconds.
//   pack_limit [-j N] FILE...

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Rows {
    int width = 0;
    int height = 0;
    int channels = 3;
    std::vector<uint8_t> pixels;  // top-down, RGB or RGBA
};

uint32_t U32(const std::string& b, size_t o) {
    return uint32_t(uint8_t(b[o])) | uint32_t(uint8_t(b[o + 1])) << 8 |
           uint32_t(uint8_t(b[o + 2])) << 16 | uint32_t(uint8_t(b[o + 3])) << 24;
}

bool ReadBmp24(const std::string& file, Rows* rows) {
    if (file.size() < 54 || file.compare(0, 2, "BM") != 0 || U32(file, 28) % 65536 != 24) {
        return false;
    }
    const int width = int(U32(file, 18));
    const int height = int(U32(file, 22));
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    const size_t offset = U32(file, 10);
    if (width <= 0 || height <= 0 || offset + stride * size_t(height) > file.size()) {
        return false;
    }
    rows->width = width;
    rows->height = height;
    rows->channels = 3;
    rows->pixels.resize(size_t(width) * size_t(height) * 3);
    for (int y = 0; y < height; ++y) {
        const char* src = &file[offset + stride * size_t(height - 1 - y)];
        uint8_t* dst = &rows->pixels[size_t(y) * size_t(width) * 3];
        for (int x = 0; x < width; ++x) {
            dst[x * 3] = uint8_t(src[x * 3 + 2]);
            dst[x * 3 + 1] = uint8_t(src[x * 3 + 1]);
            dst[x * 3 + 2] = uint8_t(src[x * 3]);
        }
    }
    return true;
}

struct Reader {
    const std::string* data;
    size_t pos;
};

bool ReadPng(const std::string& file, Rows* rows) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Reader reader{&file, 0};
    if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &reader, [](png_structp p, png_bytep out, size_t size) {
        auto* r = static_cast<Reader*>(png_get_io_ptr(p));
        if (r->pos + size > r->data->size()) {
            png_error(p, "short");
        }
        std::memcpy(out, r->data->data() + r->pos, size);
        r->pos += size;
    });
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_read_update_info(png, info);
    rows->width = int(png_get_image_width(png, info));
    rows->height = int(png_get_image_height(png, info));
    rows->channels = png_get_channels(png, info);
    rows->pixels.resize(png_get_rowbytes(png, info) * size_t(rows->height));
    std::vector<png_bytep> pointers(size_t(rows->height));
    for (int y = 0; y < rows->height; ++y) {
        pointers[size_t(y)] = &rows->pixels[size_t(y) * png_get_rowbytes(png, info)];
    }
    png_read_image(png, pointers.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

size_t WritePng(const Rows& rows) {
    size_t written = 0;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return 0;
    }
    png_set_write_fn(
        png, &written,
        [](png_structp p, png_bytep, size_t size) {
            *static_cast<size_t*>(png_get_io_ptr(p)) += size;
        },
        nullptr);
    png_set_compression_level(png, 5);
    png_set_compression_mem_level(png, 9);
    png_set_IHDR(png, info, uint32_t(rows.width), uint32_t(rows.height), 8,
                 rows.channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t stride = size_t(rows.width) * size_t(rows.channels);
    for (int y = 0; y < rows.height; ++y) {
        png_write_row(png, &rows.pixels[size_t(y) * stride]);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return written;
}

// The file's bytes, read with one open and as few reads as its size allows; false on failure.
bool ReadFile(const std::string& path, std::string* data) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    data->resize(size_t(st.st_size));
    size_t done = 0;
    while (done < data->size()) {
        const ssize_t n = ::read(fd, data->data() + done, data->size() - done);
        if (n <= 0) {
            break;
        }
        done += size_t(n);
    }
    ::close(fd);
    return done == data->size();
}

// One thread's deflate state, set up once and reset for every file.
class Deflater {
public:
    Deflater() { m_ready = deflateInit(&m_stream, 5) == Z_OK; }
    ~Deflater() {
        if (m_ready) {
            deflateEnd(&m_stream);
        }
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // The length of data's zlib stream, or 0 on failure.
    size_t Pack(const std::string& data) {
        if (!m_ready || deflateReset(&m_stream) != Z_OK) {
            return 0;
        }
        m_out.resize(deflateBound(&m_stream, uLong(data.size())));
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        m_stream.avail_in = uInt(data.size());
        m_stream.next_out = m_out.data();
        m_stream.avail_out = uInt(m_out.size());
        return deflate(&m_stream, Z_FINISH) == Z_STREAM_END ? size_t(m_stream.total_out) : 0;
    }

private:
    z_stream m_stream{};
    bool m_ready = false;
    std::vector<Bytef> m_out;
};

// The last three bytes of the file's name, in lower case: what chooses its entry's codec.
std::string Kind(const std::string& path) {
    const std::string name = path.substr(path.find_last_of('/') + 1);
    std::string kind = name.size() >= 3 ? name.substr(name.size() - 3) : name;
    std::transform(kind.begin(), kind.end(), kind.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return kind;
}

// Does for one file what the archive does for its entry; false when it cannot.
bool Pack(const std::string& path, Deflater& deflater, std::string& data) {
    if (!ReadFile(path, &data)) {
        return false;
    }
    const std::string kind = Kind(path);
    if (kind == "bmp" || kind == "png") {
        Rows rows;
        const bool ok =
            data.compare(0, 2, "BM") == 0 ? ReadBmp24(data, &rows) : ReadPng(data, &rows);
        return ok && WritePng(rows) > 0;
    }
    return kind == "old" || deflater.Pack(data) > 0;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-j") == 0 && i + 1 < argc) {
            threads = unsigned(std::max(1, std::atoi(argv[++i])));
        } else {
            files.push_back(argv[i]);
        }
    }
    const auto start = std::chrono::steady_clock::now();
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            Deflater deflater;
            std::string data;
            for (size_t i = next++; i < files.size(); i = next++) {
                // Reading the file is part of the work, as it is for the archive builder.
                if (!Pack(files[i], deflater, data)) {
                    std::fprintf(stderr, "pack_limit: %s: cannot be packed\n", files[i].c_str());
                    failed = true;
                }
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", took.count());
    return failed ? 1 : 0;
}
