#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

namespace zok {

// Owns one stdio stream and closes it when it goes out of scope.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(FILE* file) : m_file(file) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FileHandle(FileHandle&& other) noexcept : m_file(std::exchange(other.m_file, nullptr)) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.m_file, nullptr));
        }
        return *this;
    }
    ~FileHandle() { Reset(); }

    static FileHandle Open(const std::string& path, const char* mode) {
        return FileHandle(std::fopen(path.c_str(), mode));
    }

    FILE* Get() const { return m_file; }
    explicit operator bool() const { return m_file != nullptr; }

    // Closes the stream and reports whether everything buffered reached the file.
    bool Close() {
        if (m_file == nullptr) {
            return true;
        }
        FILE* file = std::exchange(m_file, nullptr);
        const bool hadError = std::ferror(file) != 0;
        return std::fclose(file) == 0 && !hadError;
    }

    void Reset(FILE* file = nullptr) {
        if (m_file != nullptr) {
            std::fclose(m_file);
        }
        m_file = file;
    }

    FILE* Release() { return std::exchange(m_file, nullptr); }

private:
    FILE* m_file = nullptr;
};

// The length of the stream's file, found by seeking to its end and back; -1 for a stream that
// cannot seek. For an archive entry's stream the end is the entry's end.
inline int64_t StreamLength(FILE* stream) {
    const off_t here = ftello(stream);
    if (here < 0 || fseeko(stream, 0, SEEK_END) != 0) {
        std::clearerr(stream);
        return -1;
    }
    const off_t end = ftello(stream);
    if (end < 0 || fseeko(stream, here, SEEK_SET) != 0) {
        return -1;
    }
    return int64_t(end);
}

}  // namespace zok
