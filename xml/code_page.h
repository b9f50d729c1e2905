#pragma once
// The reader's one dependency on the system: conversion from a Windows code
// page to UTF-16. Windows builds use MultiByteToWideChar; the native tool
// build (tools/native) supplies its own.

namespace kelm::xml_detail {

// Converts `byteCount` bytes in `codePage` (0 = the ANSI code page) to UTF-16.
// With `units` null, returns the number of units needed. Returns 0 on failure.
int MultiByteToUtf16(unsigned codePage, const char* bytes, int byteCount, wchar_t* units, int unitCapacity);

}  // namespace kelm::xml_detail
