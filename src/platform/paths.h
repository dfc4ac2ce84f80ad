// Where the program lives and how file names are split.
#pragma once

#include <string>

// The directory that holds the running executable, without a trailing "/"; "." when unknown.
std::string program_directory();

// "/a/b/c.dat" -> "/a/b" and "c.dat". A name without "/" has an empty directory part.
std::string directory_part(const std::string& path);
std::string file_name_part(const std::string& path);
// The directory part ending in "/", as the configuration keeps folders; empty for a bare name.
std::string folder_part(const std::string& path);
