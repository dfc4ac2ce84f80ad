// glanzo-cli: the core without a window, one subcommand per task.
#pragma once

#include <string>
#include <vector>

using Args = std::vector<std::string>;

// Prints "glanzo-cli: MESSAGE" on stderr and returns 1, so commands can `return fail(...)`.
// A command that fails prints exactly one line on stderr: its own, or the core's message box.
int fail(const std::string& message);
// `message` through fail() when `rc` is a failure and nothing has been printed on stderr yet;
// returns rc.
int fail_unless_reported(int rc, const std::string& message);
// "cannot open PATH: reason" from errno.
std::string open_error(const std::string& path);
// 0 when the device a port name stands for can be opened now; else fail()'s 1 with the reason
// (and the remedy, when the user lacks permission or another program holds the device).
int check_device(const std::string& port);

// Subcommands; each gets the arguments after its name and returns the exit code.
int cmd_frames(const Args& args);
int cmd_config(const Args& args);
int cmd_record(const Args& args);
int cmd_flash(const Args& args);
int cmd_bin(const Args& args);
int cmd_table(const Args& args);
int cmd_export(const Args& args);
int cmd_qmile(const Args& args);
int cmd_runs(const Args& args);
int cmd_smooth(const Args& args);
int cmd_velearn(const Args& args);
int cmd_trip(const Args& args);
int cmd_knock(const Args& args);
// The log graph's channel names, one a line.
int cmd_channels(const Args& args);
int cmd_cells(const Args& args);
