#pragma once

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "io/file_handle.h"
#include "io/unique_fd.h"
#include "zok/build_archive.h"

namespace zok {

// What one fstat told about an input: which file it is, its size and its times. An input is
// read as it was measured when these are the same before and after the read.
struct InputStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static InputStamp Of(const struct stat& status);
    bool SameFile(const InputStamp& other) const;
    bool operator==(const InputStamp& other) const;
};

// One input of a build, measured once and then watched while a codec reads it: its reads are
// counted (for progress), a cancel makes them fail, and a file that changes while it is read —
// its size or time stamps differ from when it was measured, or it ends before its measured
// size — is found afterwards. Seeks only move the position the next read starts from, so a
// codec that measures the file by seeking costs no system call.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens path without blocking and measures it: a regular file below 2 GiB. False with
    // *problem otherwise.
    bool Open(const std::string& path, Error* problem);
    // Reads a descriptor that was opened, at the file's first byte, and measured when the
    // inputs were checked (a regular file below 2 GiB, as stamp says); it is not measured again.
    // False with *problem when no stream can be set up.
    bool Adopt(UniqueFd fd, const InputStamp& stamp, const std::string& label, Error* problem);
    // Reads an already open stream (the upgrade's temporary file) the same way; it stays the
    // caller's. label names it in problems.
    bool Adopt(FILE* file, const std::string& label, Error* problem);

    uint32_t Size() const { return uint32_t(m_stamp.size); }

    // The stream a codec reads, at the file's first byte.
    FILE* Stream() const { return m_stream.Get(); }

    // Called after reads with the bytes read so far, at most about once a megabyte.
    void OnRead(std::function<void(uint64_t)> hook) { m_onRead = std::move(hook); }
    // Reads fail once *cancel is set.
    void SetCancel(const std::atomic<bool>* cancel) { m_cancel = cancel; }
    bool Cancelled() const { return m_cancel != nullptr && m_cancel->load(); }

    // After the codec ran: true when the file is as it was measured; else *problem says so.
    bool Unchanged(Error* problem) const;
    // A read of the file failed (not a cancel): *problem names it with the system's reason.
    bool ReadFailed(Error* problem) const;

private:
    bool Measure(int fd, const std::string& label, Error* problem);
    bool Start(const std::string& label, Error* problem);
    static ssize_t Read(void* cookie, char* buffer, size_t size);
    static int Seek(void* cookie, off64_t* offset, int whence);

    // Reads of small files and the first piece of large ones take one system call.
    static constexpr size_t kBufferSize = 128 * 1024;

    std::string m_label;
    UniqueFd m_owned;
    std::unique_ptr<char[]> m_buffer;
    int m_fd = -1;
    InputStamp m_stamp;
    FileHandle m_stream;
    uint64_t m_pos = 0;
    int64_t m_fdPos = 0;  // the descriptor's offset, -1 when unknown
    uint64_t m_read = 0;
    uint64_t m_reported = 0;
    bool m_endedEarly = false;
    int m_readError = 0;
    std::function<void(uint64_t)> m_onRead;
    const std::atomic<bool>* m_cancel = nullptr;
};

}  // namespace zok
