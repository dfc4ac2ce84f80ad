// The trip display's block digits as they must look, one string per glyph row: '#' a full block,
// '^' an upper half block, '_' a lower half block, '.' a blank. Tests read the read-outs back off a
// canvas and compare them with these.
#pragma once

#include <string>

inline constexpr const char* BIG_GLYPHS[10][7] = {
    {"#######", "##...##", "##...##", "##...##", "##...##", "##...##", "#######"},
    {"..###..", "...##..", "...##..", "...##..", "...##..", "...##..", "..####."},
    {"#######", ".....##", ".....##", "#######", "##.....", "##.....", "#######"},
    {"#######", ".....##", ".....##", ".######", ".....##", ".....##", "#######"},
    {"##.....", "##..##.", "##..##.", "#######", "....##.", "....##.", "....##."},
    {"#######", "##.....", "##.....", "#######", ".....##", ".....##", "#######"},
    {"#######", "##.....", "##.....", "#######", "##...##", "##...##", "#######"},
    {"#######", "^....##", ".....##", ".....##", ".....##", ".....##", ".....##"},
    {"#######", "##...##", "##...##", "#######", "##...##", "##...##", "#######"},
    {"#######", "##...##", "##...##", "#######", ".....##", ".....##", ".....##"},
};
inline constexpr const char* BIG_BLANK_GLYPH[7] = {".......", ".......", ".......", ".......",
                                                   ".......", ".......", "......."};
inline constexpr const char* BIG_POINT_GLYPH[7] = {"....", "....", "....", "....", "....", "....", ".##."};

inline constexpr const char* SMALL_GLYPHS[10][4] = {
    {"____", "#..#", "#..#", "#__#"}, {".._.", "..#.", "..#.", "..#."}, {"____", "...#", "#^^^", "#___"},
    {"____", "...#", ".^^#", "___#"}, {"_...", "#.#.", "^^#^", "..#."}, {"____", "#...", "^^^#", "___#"},
    {"____", "#...", "#^^#", "#__#"}, {"____", "^..#", "...#", "...#"}, {"____", "#..#", "#^^#", "#__#"},
    {"____", "#..#", "^^^#", "...#"},
};
inline constexpr const char* SMALL_BLANK_GLYPH[4] = {"....", "....", "....", "...."};
inline constexpr const char* SMALL_POINT_GLYPH[4] = {"...", "...", "...", "_.."};

// The glyph whose rows are `rows` (each row as above, joined by '|' after each): '0'-'9', ' ' for
// a blank, '.' for a decimal point, '?' for anything else.
inline char glyph_named(const std::string& rows, bool big)
{
    int n = big ? 7 : 4;
    auto joined = [n](const char* const* glyph) {
        std::string out;
        for (int r = 0; r < n; ++r)
            out += std::string(glyph[r]) + "|";
        return out;
    };
    for (int d = 0; d < 10; ++d)
        if (rows == joined(big ? BIG_GLYPHS[d] : SMALL_GLYPHS[d]))
            return static_cast<char>('0' + d);
    if (rows == joined(big ? BIG_BLANK_GLYPH : SMALL_BLANK_GLYPH))
        return ' ';
    if (rows == joined(big ? BIG_POINT_GLYPH : SMALL_POINT_GLYPH))
        return '.';
    return '?';
}
