#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace zok {
struct Error;
struct BuildReport;
}  // namespace zok

namespace zoktest {

// An error for test messages: its code's name, path, entry and errno.
std::string DescribeProblem(const zok::Error& error);
// A build's problems, one a line: "path: code-name: the system's reason".
std::string Problems(const zok::BuildReport& report);

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // The path of name inside the folder, as a string.
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
// The names a folder holds (hidden ones and subfolders included), and how many there are.
std::set<std::string> NamesIn(const std::filesystem::path& folder);
size_t CountIn(const std::filesystem::path& folder);

// Deterministic bytes: random-looking (incompressible) or repetitive text.
std::string RandomBytes(size_t size, uint32_t seed = 1);
std::string TextBytes(size_t size);

// Little-endian helpers for hand-made files.
uint32_t U32At(const std::string& bytes, size_t offset);
void AppendU32(std::string& out, uint32_t value);
void AppendU16(std::string& out, uint16_t value);

// One directory record of a version 1.1.0 archive, as stored (name in CP949 bytes).
struct DirectoryRecord {
    std::string name;
    uint32_t offset = 0, sourceSize = 0, storedSize = 0;
    uint8_t kind = 0;
};
// The records of a version 1.1.0 archive's directory, in file order.
std::vector<DirectoryRecord> ReadDirectory(const std::string& archive);

// Result of running a program.
struct CommandResult {
    int exitStatus = -1;
    std::string out;
    std::string err;
};
// Runs argv (argv[0] a path) with no shell, capturing stdout and stderr.
CommandResult RunProgram(const std::vector<std::string>& argv, const std::string& stdinText = "");

// How a program is run beyond its arguments.
struct RunOptions {
    std::string stdinText;
    // The child's cap on private writable memory (RLIMIT_DATA), 0 for none: an allocation
    // past it fails, so a test that passes under a cap proves the program needs no more.
    uint64_t dataLimit = 0;
    // Standard output goes to /dev/null instead of being captured.
    bool discardOutput = false;
    // Standard output, or standard error, goes to this file instead (for example /dev/full).
    std::string stdoutPath;
    std::string stderrPath;
};
CommandResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options);

// True when the tests run under AddressSanitizer, whose shadow memory no data cap allows.
bool UnderAddressSanitizer();
// The same for ThreadSanitizer.
bool UnderThreadSanitizer();

// The zok binary built beside the tests.
std::string ZokPath();
// ../shared/testdata, or an empty string when it is not there.
std::string TestDataDir();

// Runs body in a child process and returns its exit status (128 + the signal that ended it).
// With dropPrivileges, a child of root runs as nobody, so that permissions bind it.
int RunInChild(const std::function<int()>& body, bool dropPrivileges = false);

}  // namespace zoktest
