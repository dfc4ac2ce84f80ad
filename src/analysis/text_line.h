// A line of text built field by field with the printf conversions the table and the export use,
// without printf's per-call cost. Fixed-point numbers go through std::to_chars, which rounds
// exactly as printf does (values like 12.5 are exact here and must round to even).
#pragma once

#include <charconv>
#include <cstddef>
#include <cstring>
#include <string>

class TextLine {
public:
    // "%*.*f"
    void fixed(double v, int width, int precision)
    {
        char tmp[64];
        auto r = std::to_chars(tmp, tmp + sizeof tmp, v, std::chars_format::fixed, precision);
        padded(tmp, static_cast<size_t>(r.ptr - tmp), width);
    }
    // "%*d"
    void integer(long v, int width)
    {
        char tmp[24];
        auto r = std::to_chars(tmp, tmp + sizeof tmp, v);
        padded(tmp, static_cast<size_t>(r.ptr - tmp), width);
    }
    // "%02d"
    void two_digits(long v)
    {
        if (v >= 0 && v < 10)
            ch('0');
        integer(v, 0);
    }
    // "%*s"
    void text(const char* s, int width = 0) { padded(s, std::strlen(s), width); }
    void text(const std::string& s, int width = 0) { padded(s.data(), s.size(), width); }
    void ch(char c)
    {
        if (len_ < sizeof buf_)
            buf_[len_++] = c;
    }

    const char* data() const { return buf_; }
    size_t size() const { return len_; }
    void clear() { len_ = 0; }

private:
    void padded(const char* s, size_t n, int width)
    {
        for (long pad = static_cast<long>(width) - static_cast<long>(n); pad > 0; --pad)
            ch(' ');
        n = n < sizeof buf_ - len_ ? n : sizeof buf_ - len_;
        std::memcpy(buf_ + len_, s, n);
        len_ += n;
    }

    char buf_[2048];
    size_t len_ = 0;
};
