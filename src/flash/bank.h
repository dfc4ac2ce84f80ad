// The bank procedures: program a calibration bank from a BIN file (and verify it), and read a
// bank into a new BIN file. Each reports its progress line by line through the flash message sink
// and never shows a message box. The flash parameters (bank, verify, set-active, TxSlInfo values)
// are set by the caller before.
#pragma once

#include <cstdio>
#include <string>

// 0 on success, -1 on failure.
int program_bank_from_file(const std::string& path);
int read_bank_to_file(const std::string& path);

// Reads the file back and balances its checksum in place when it holds a whole image. Returns 0,
// or -1 on a read or write failure or when no balance is possible.
int balance_file_checksum(FILE* file);
