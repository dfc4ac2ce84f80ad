// glanzo-cli smooth and velearn: the VE table smoother on a table from stdin, and a learn run
// over a data log played back at full speed.
#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "cli.h"
#include "datalog/playback.h"
#include "displays/display_routines.h"
#include "platform/files.h"
#include "platform/numbers.h"
#include "stream/display_thread.h"
#include "stream/reader.h"
#include "velearn/smoother.h"
#include "velearn/ve_learn_state.h"

int cmd_smooth(const Args& args)
{
    if (args.size() != 1)
        return fail("usage: glanzo-cli smooth FACTOR   (490 integers on stdin, 35 rows of 14)");
    double factor = 0;
    if (!parse_real_number(args[0], 0, DBL_MAX, factor))
        return fail("FACTOR must be a number of at least 0, not '" + args[0] + "'");

    VeTable table = empty_ve_table();
    int n = 0;
    std::string word;
    while (std::cin >> word) {
        int64_t v = 0;
        if (!parse_whole_number(word, 0, 255, v))
            return fail("table values must be integers from 0 to 255, not '" + word + "'");
        if (n == VE_ROWS * VE_COLS)
            return fail("more than 490 values on stdin");
        table[1 + n / VE_COLS][1 + n % VE_COLS] = static_cast<uint32_t>(v);
        ++n;
    }
    if (n != VE_ROWS * VE_COLS)
        return fail("expected 490 values on stdin, got " + std::to_string(n));

    int ier = smooth_ve_table(table, factor);
    if (ier > 0) {
        std::printf("ier %d\n", ier);
        fail("the smoother failed with ier " + std::to_string(ier) + "; the table is unchanged");
        return 3;
    }
    for (int i = 1; i <= VE_ROWS; ++i)
        for (int j = 1; j <= VE_COLS; ++j)
            std::printf("%u%c", table[i][j], j == VE_COLS ? '\n' : ' ');
    return 0;
}

int cmd_velearn(const Args& args)
{
    const char* usage = "usage: glanzo-cli velearn LOG --from SRC.bin --to NEW.bin";
    std::string log, from, to;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--from" && i + 1 < args.size())
            from = args[++i];
        else if (args[i] == "--to" && i + 1 < args.size())
            to = args[++i];
        else if (log.empty() && args[i].rfind("--", 0) != 0)
            log = args[i];
        else
            return fail(usage);
    }
    if (log.empty() || from.empty() || to.empty())
        return fail(usage);
    FILE* file = open_regular_file(log);
    if (file == nullptr)
        return fail(open_error(log));

    install_display_routines();
    if (start_ve_learn(from, to) != 0) {
        std::fclose(file);
        return 1;   // the reason has been printed
    }
    long frames = replay_log(file);
    std::fclose(file);

    if (stop_ve_learn() != 0)
        return 1;   // "File Write Error: ..." has been printed
    std::fprintf(stderr, "glanzo-cli: learned from %ld frames into %s\n", frames, g_ve_learn.new_path.c_str());
    return 0;
}
