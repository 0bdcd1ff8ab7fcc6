#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Everything zok says goes through here: names and paths are made printable in one place
// (control bytes shown as \xNN, so that no name can drive the terminal), and a failed write to
// the standard output or error is remembered, so that the exit status can tell.

// The text with control bytes shown as \xNN.
std::string Printable(std::string_view text);

// "zok: " + line on stderr, for each line of message.
void ReportError(const std::string& message);
// "zok: warning: " + line on stderr.
void Warn(const std::string& message);
// The text and a line end on stdout.
void Say(const std::string& text);
// The text and a line end on stderr, without a prefix (names listed while stdout carries an
// archive).
void SayOnStderr(const std::string& text);

// "1 entry", "2 entries": the count with its noun in the singular or the plural.
std::string Counted(uint64_t count, const char* singular, const char* plural);

// True when something could not be written to the standard output or error (a full disk, a
// closed pipe); flushes both first.
bool OutputFailed();
