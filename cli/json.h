#pragma once

#include <cstddef>
#include <string>

// Appends `len` bytes as a JSON string literal, quotes included. Each byte 0..255 stands for the
// character U+0000..U+00FF, written as UTF-8; quote, backslash and control characters are escaped.
void append_json_text(std::string& out, const char* bytes, size_t len);
// The shortest text that reads back as `v`.
std::string json_number(double v);
