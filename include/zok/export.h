#pragma once

// Marks what the shared library exports: its public API and nothing else (it is built with
// hidden visibility).
#if defined(__GNUC__)
#define ZOK_API __attribute__((visibility("default")))
#else
#define ZOK_API
#endif
