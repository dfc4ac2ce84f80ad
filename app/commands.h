// Menu and accelerator command numbers of the main window.
#pragma once

enum Command : int {
    CMD_ABOUT = 104,
    CMD_EXIT = 105,
    CMD_DATALOG = 32771,
    CMD_CLOSE_DATALOG = 32772,
    CMD_HELP = 32774,
    CMD_GLANZO = 32782,
    CMD_TRIP = 32783,
    CMD_VE_LEARN = 32784,
    CMD_PLAYBACK = 32785,
    CMD_STOP_PLAYBACK = 32786,
    CMD_PREFERENCES = 32787,
    CMD_LEARN_VE = 32791,
    CMD_STOP_LEARN_VE = 32792,
    CMD_SPK_KNOCK = 32795,
    CMD_MALF_CODES = 32806,
    CMD_ANALYSIS = 32808,
    CMD_QUICK_LABEL = 32809,
    CMD_QUICK_GZD = 32810,
    CMD_QUICK_TRIP = 32811,
    CMD_QUICK_VE = 32812,
    CMD_QUICK_SPK = 32813,
    CMD_BANK_SELECT = 32819,
    CMD_FLASH = 32821,
    CMD_DIAGNOSTIC = 32824,
    CMD_QUICK_DIAG = 32825,
    CMD_USER_DEVICES = 32826,
    // Serial devices found on this machine get numbers from here on.
    CMD_DEVICE_FIRST = 40000,
};

// COM1 to COM40: 32776-32781, 32814-32817, 32827-32856.
constexpr int com_command(int n)
{
    return n <= 6 ? 32775 + n : n <= 10 ? 32807 + n : 32816 + n;
}
