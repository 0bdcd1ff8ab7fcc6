#pragma once

#include <string>

#include "zok/error.h"

// The command line's English for the library's error codes: one table over the codes, so that
// every failure reads the same whichever command meets it.

// Why, in words, without the file or entry it concerns ("already exists", "its compressed data
// is corrupt", "No space left on device").
std::string ErrorReason(const zok::Error& error);

// The whole line: "PATH: entry "NAME": reason", with the parts the error has.
std::string DescribeError(const zok::Error& error);
