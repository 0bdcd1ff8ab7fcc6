#pragma once

// Marks what the shared library exports: its public API and nothing else (it is built with
// hidden visibility).
// ZOK_LOCAL keeps a nested part of an exported class (its private state) out of it.
#if defined(__GNUC__)
#define ZOK_API __attribute__((visibility("default")))
#define ZOK_LOCAL __attribute__((visibility("hidden")))
#else
#define ZOK_API
#define ZOK_LOCAL
#endif
