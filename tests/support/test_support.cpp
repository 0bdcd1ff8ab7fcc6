#include "tests/support/test_support.h"

#include "zok/build_archive.h"
#include "zok/error.h"

#include <fcntl.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstring>

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace zoktest {

std::string Problems(const zok::BuildReport& report) {
    std::string text;
    for (const zok::Error& problem : report.problems) {
        text += (text.empty() ? "" : "\n") + problem.path + ": " +
                zok::ErrorCodeName(problem.code) +
                (problem.errorNumber != 0 ? std::string(": ") + std::strerror(problem.errorNumber)
                                          : std::string());
    }
    return text;
}

std::string DescribeProblem(const zok::Error& error) {
    return std::string(zok::ErrorCodeName(error.code)) + " path=" + error.path +
           " entry=" + error.entry + " errno=" + std::to_string(error.errorNumber);
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zoktest.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Give back permissions that a test took away, so that everything can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

std::set<std::string> NamesIn(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

size_t CountIn(const std::filesystem::path& folder) {
    return size_t(std::distance(std::filesystem::directory_iterator(folder), {}));
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool FileExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

std::string RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string out(size, '\0');
    for (char& c : out) {
        c = static_cast<char>(rng() & 0xFF);
    }
    return out;
}

std::string TextBytes(size_t size) {
    static const std::string kLine = "The quick brown fox jumps over the lazy dog. 0123456789\n";
    std::string out;
    out.reserve(size);
    while (out.size() < size) {
        out += kLine;
    }
    out.resize(size);
    return out;
}

uint32_t U32At(const std::string& b, size_t o) {
    return uint32_t(uint8_t(b.at(o))) | uint32_t(uint8_t(b.at(o + 1))) << 8 |
           uint32_t(uint8_t(b.at(o + 2))) << 16 | uint32_t(uint8_t(b.at(o + 3))) << 24;
}

void AppendU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

void AppendU16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

std::vector<DirectoryRecord> ReadDirectory(const std::string& archive) {
    std::vector<DirectoryRecord> records;
    size_t pos = 10;
    for (uint32_t i = 0, count = U32At(archive, 6); i < count; ++i) {
        DirectoryRecord r;
        const uint32_t nameLength = U32At(archive, pos);
        r.name = archive.substr(pos + 4, nameLength);
        pos += 4 + nameLength;
        r.offset = U32At(archive, pos);
        r.sourceSize = U32At(archive, pos + 4);
        r.storedSize = U32At(archive, pos + 8);
        r.kind = uint8_t(archive.at(pos + 12));
        pos += 13;
        records.push_back(r);
    }
    return records;
}

namespace {

std::string Drain(int fd) {
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) {
        text.append(buf, size_t(n));
    }
    return text;
}

}  // namespace

CommandResult RunProgram(const std::vector<std::string>& argv, const std::string& stdinText) {
    RunOptions options;
    options.stdinText = stdinText;
    return RunProgram(argv, options);
}

bool UnderAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#else
    return false;
#endif
}

bool UnderThreadSanitizer() {
#if defined(__SANITIZE_THREAD__)
    return true;
#else
    return false;
#endif
}

CommandResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options) {
    // stdout and stderr go to temporary files so that large outputs cannot block the child.
    TempDir io;
    const std::string outPath = !options.stdoutPath.empty() ? options.stdoutPath
                                : options.discardOutput     ? "/dev/null"
                                                            : io.File("out");
    const std::string errPath = options.stderrPath.empty() ? io.File("err") : options.stderrPath;
    const std::string inPath = io.File("in");
    WriteFile(inPath, options.stdinText);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (options.dataLimit > 0) {
            const rlimit limit{options.dataLimit, options.dataLimit};
            ::setrlimit(RLIMIT_DATA, &limit);
        }
        const int in = ::open(inPath.c_str(), O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<char*> args;
        for (const std::string& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    CommandResult result;
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (options.stdoutPath.empty() && !options.discardOutput) {
        const int out = ::open(outPath.c_str(), O_RDONLY);
        result.out = Drain(out);
        ::close(out);
    }
    if (options.stderrPath.empty()) {
        const int err = ::open(errPath.c_str(), O_RDONLY);
        result.err = Drain(err);
        ::close(err);
    }
    return result;
}

std::string ZokPath() {
    return ZOK_CLI_PATH;
}

std::string TestDataDir() {
    const std::string dir = ZOK_TESTDATA_DIR;
    return FileExists(dir) ? dir : std::string();
}

int RunInChild(const std::function<int()>& body, bool dropPrivileges) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (dropPrivileges && ::geteuid() == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
                ::_exit(99);
            }
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace zoktest
