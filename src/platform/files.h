// Files the programs read and write are regular files.
//
// A folder, a device, a pipe or a socket given where a log, a BIN file or a configuration is read
// would read as empty, block, or never end (/dev/zero); given where one is written it would be
// replaced by a regular file, or take the bytes and lose them (/dev/null). Every reader and writer
// goes through here and gets a plain "cannot open" for them instead.
//
// Writers follow symbolic links to their target, so that a file kept as a link (a configuration
// linked into the user's dotfiles) stays a link and the file it points to is what changes.
#pragma once

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>

// errno for a path that exists but is not a regular file (a folder gives EISDIR).
constexpr int NOT_A_REGULAR_FILE = EINVAL;

// The reason for errno `error` in words; "not a regular file" for NOT_A_REGULAR_FILE.
std::string file_error_text(int error);

// Opens `path` for reading in binary mode when it is a regular file (links followed); nullptr
// with errno set otherwise. Never blocks on a pipe.
FILE* open_regular_file(const std::string& path);
// Reads a small text file (a settings file) line by line, at most `max_bytes` of it: `take(line)`
// gets each line without its '\n', the last one too; a line longer than `max_line` arrives cut to
// max_line + 1 bytes, so the caller can tell it from one that fits and skip it. False when the
// file cannot be opened.
bool read_text_lines(const std::string& path, long max_bytes, size_t max_line,
                     const std::function<void(std::string& line)>& take);
// Writes `text` to `path` whole or not at all (a new file beside it, renamed over it); 0 or -1.
int write_text_file(const std::string& path, const std::string& text);
// The size of an open file in bytes, leaving it at its start (for progress over a whole read).
long file_size_rewound(FILE* f);
// Whether open_regular_file would open `path` (a log or BIN to read: a regular file, readable).
bool regular_file_readable(const std::string& path);

// The file a writer of `path` writes: `path` with symbolic links followed, to a target that need
// not exist yet. Returns 0, or -1 with errno set when the target exists but is not a regular
// file, or the links loop.
int resolve_write_target(const std::string& path, std::string& target);

// A file written whole: the bytes go to a new file beside the target, which replaces the target
// by a rename only once everything is written, so a full disk or a crash leaves the old file as
// it was. The new file keeps the permissions of the one it replaces. A target we may not write
// (a read-only file) is refused as opening it for writing would be; in a folder where no new file
// may be created, an existing target is written in place.
class ReplacingFile {
public:
    explicit ReplacingFile(const std::string& path);
    // Not committed: the new file is removed and the target stays as it was.
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Open for reading and writing ("w+b"), or nullptr with errno set when it could not be opened.
    FILE* get() const { return file_; }
    const std::string& target() const { return target_; }
    // Flushes and closes the new file and puts it in the target's place. 0, or -1 when anything
    // could not be written (the target then stays as it was, unless it was written in place).
    int commit();

private:
    std::string target_;
    std::string temp_;   // empty when writing in place
    FILE* file_ = nullptr;
};
