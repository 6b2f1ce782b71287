// record_writer FILE TAG COUNT: appends COUNT lines "TAG NUMBER <filler>",
// each with its own Append, as separate runs of melvorin-cli would.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "units/record.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    try {
        melvorin::units::RecordFile file(argv[1]);
        const int count = std::atoi(argv[3]);
        for (int i = 0; i < count; ++i) {
            // Long enough that a line torn apart by another writer would show.
            file.Append({std::string(argv[2]) + " " + std::to_string(i) + " " + std::string(300, 'x')});
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
