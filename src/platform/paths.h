// Where the program lives and how file names are split.
#pragma once

#include <cstdio>
#include <string>

// The directory that holds the running executable, without a trailing "/"; "." when unknown.
std::string program_directory();

// "/a/b/c.dat" -> "/a/b" and "c.dat". A name without "/" has an empty directory part.
std::string directory_part(const std::string& path);
std::string file_name_part(const std::string& path);
// The directory part ending in "/", as the configuration keeps folders; empty for a bare name.
std::string folder_part(const std::string& path);

// Opens a file for binary reading when it is a regular file; nullptr when it cannot be opened or
// is a folder or a device (which would read as empty, or as endless data).
FILE* open_regular_file(const std::string& path);
