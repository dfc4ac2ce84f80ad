// Turns a test case's sentence into a name GoogleTest accepts.
#pragma once

#include <cctype>
#include <string>

inline std::string sentence_name(const char* sentence)
{
    std::string n;
    for (const char* p = sentence; *p; ++p)
        n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return n;
}

// For INSTANTIATE_TEST_SUITE_P over cases with a `name` sentence.
struct NameFromSentence {
    template <class Info>
    std::string operator()(const Info& i) const
    {
        return sentence_name(i.param.name);
    }
};
