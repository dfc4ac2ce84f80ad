// GlanzoFlash's entry: options, start-up in order, the message loop.
//
//   GlanzoFlash [--config FILE] [--display N] [--datalog LOG] [--screenshot PNG --after SECONDS]
//   GlanzoFlash [--config FILE] --graph LOG [--channels NAME,NAME,...]
//               [--compare LOG2 [--align start|marker:N|run]] [--screenshot PNG]
//   GlanzoFlash [--config FILE] --cells LOG [cells options] [--screenshot PNG]
#pragma once

#include <string>
#include <vector>

struct AppOptions {
    std::string config;       // the configuration file (else the one beside the program)
    int display = 0;          // display to show after start-up (1 to 7), 0 for the gauges
    std::string playback;     // a data log to play back after start-up
    std::string datalog;      // a data log to record into from start-up, as "&DataLog..." does
    std::string screenshot;   // write the window to this PNG after `after` seconds, then exit
    double after = 0;
    std::string graph;        // a data log to graph (fit-all) instead of the main window
    std::string channels;     // the channels to graph, comma-separated
    bool version = false;     // print the version and exit
    bool help = false;        // print the usage and exit
    std::string compare;      // a second data log drawn over the graph
    std::string align;        // how it is aligned: start, marker:N or run
    std::vector<std::string> cells;   // after --cells: the log and the cell table's options
};

// The usage, several lines, as --help prints it.
extern const char* const APP_USAGE;

// Parses the options; 0, or -1 with the reason in `error`.
int parse_app_options(int argc, char** argv, AppOptions& options, std::string& error);

// Runs the program; the exit code. A QApplication must exist.
int app_main(const AppOptions& options);
