// The system's ANSI code page: conversion of 8-bit text between it and UTF-8.
//
// The code page is named by the environment variable BREVIX_ANSI_CODEPAGE (any name iconv
// knows, e.g. "CP1252", "CP1250", "CP932"), "CP1252" when unset or empty. It is read on every
// call, so a test may change it between calls.
//
// Conversion never fails on the text itself:
// - AnsiToUtf8: a byte (or incomplete sequence) the code page does not define becomes U+FFFD,
//   except that under CP1252 the five undefined bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D become
//   the control characters U+0081, U+008D, U+008F, U+0090 and U+009D, as the Windows tables
//   map them.
// - Utf8ToAnsi: a character the code page cannot hold, and every byte of invalid UTF-8,
//   becomes "?"; under CP1252 those five control characters go back to their bytes.
// Pure 7-bit ASCII is passed through unchanged without consulting iconv.
//
// Failure: an unknown code page name throws std::runtime_error naming it and the system's
// reason (only for text that is not pure ASCII). std::bad_alloc when out of memory.
// Threads: any; each thread keeps its own conversion descriptors.
#pragma once

#include <string>
#include <string_view>

namespace bx {

// The configured code page name, upper-cased as given ("CP1252" by default).
std::string AnsiCodePageName();

std::string AnsiToUtf8(std::string_view ansi);
// Whether every byte is below 0x80: text that every code page and UTF-8 read alike.
bool IsAscii(std::string_view text);
std::string Utf8ToAnsi(std::string_view utf8);

}  // namespace bx
