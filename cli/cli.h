// glanzo-cli: the core without a window, one subcommand per task.
#pragma once

#include <string>
#include <vector>

using Args = std::vector<std::string>;

// Prints "glanzo-cli: MESSAGE" on stderr and returns 1, so commands can `return fail(...)`.
int fail(const std::string& message);
// "cannot open PATH: reason" from errno.
std::string open_error(const std::string& path);

// Subcommands; each gets the arguments after its name and returns the exit code.
int cmd_frames(const Args& args);
int cmd_config(const Args& args);
int cmd_record(const Args& args);
int cmd_flash(const Args& args);
int cmd_bin(const Args& args);
int cmd_table(const Args& args);
int cmd_export(const Args& args);
int cmd_qmile(const Args& args);
int cmd_smooth(const Args& args);
int cmd_velearn(const Args& args);
int cmd_trip(const Args& args);
int cmd_knock(const Args& args);
