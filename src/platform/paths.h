// Where the program lives and how file names are split.
#pragma once

#include <string>

// The directory that holds the running executable, without a trailing "/"; "." when unknown.
std::string program_directory();

// Where a desktop program keeps its configuration file `file_name`: in `program_folder` when this
// process may write there (the program runs from where it was built or unpacked), else in
// `user_folder` (an installed program: the user's own configuration folder), which is created
// when missing. When neither is usable the path beside the program is returned, so that opening
// it fails with that name.
std::string config_file_location(const std::string& program_folder, const std::string& user_folder,
                                 const std::string& file_name);
// Creates `folder` and the folders above it that are missing; 0, or -1.
int make_folders(const std::string& folder);

// "/a/b/c.dat" -> "/a/b" and "c.dat". A name without "/" has an empty directory part.
std::string directory_part(const std::string& path);
std::string file_name_part(const std::string& path);
// The directory part ending in "/", as the configuration keeps folders; empty for a bare name.
std::string folder_part(const std::string& path);
