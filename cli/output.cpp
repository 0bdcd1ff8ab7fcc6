#include "cli/output.h"

#include <cstdio>
#include <iostream>

#include "job/formatting.h"

using namespace zok;

namespace {

void PrintLines(FILE* stream, const char* prefix, const std::string& message) {
    size_t start = 0;
    do {
        const size_t end = message.find('\n', start);
        const std::string line = message.substr(start, end - start);
        std::fprintf(stream, "%s%s\n", prefix, Printable(line).c_str());
        start = end == std::string::npos ? end : end + 1;
    } while (start != std::string::npos);
}

}  // namespace

std::string Printable(std::string_view text) {
    return PrintableText(text);
}

void ReportError(const std::string& message) {
    PrintLines(stderr, "zok: ", message);
}

void Warn(const std::string& message) {
    PrintLines(stderr, "zok: warning: ", message);
}

void Say(const std::string& text) {
    std::fprintf(stdout, "%s\n", Printable(text).c_str());
}

void SayOnStderr(const std::string& text) {
    std::fprintf(stderr, "%s\n", Printable(text).c_str());
}

std::string Counted(uint64_t count, const char* singular, const char* plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

bool OutputFailed() {
    std::cout.flush();
    std::cerr.flush();
    const bool streams = std::fflush(stdout) != 0 || std::ferror(stdout) != 0 ||
                         std::fflush(stderr) != 0 || std::ferror(stderr) != 0;
    return streams || !std::cout.good() || !std::cerr.good();
}
