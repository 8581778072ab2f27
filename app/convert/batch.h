// Converting many files at once: `vertexa convert IN... -o DIR`.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "convert.h"

namespace vertexa::convert {

struct Batch {
    // Files, and folders searched for .cob and .scn files (any case) below
    // them. A folder's files land under `out_dir` by their path relative to
    // it; a file given by name lands in `out_dir` itself.
    std::vector<std::string> inputs;
    std::string out_dir;
    Format format = Format::Glb;
    int workers = 0;        // 0: one per processor this process may run on
    bool progress = false;  // redraw a progress line on `err` (a terminal)
    // Set in a worker that the batch started as a process of its own (IN,
    // OUT): only that file is converted, as the batch would.
    std::optional<std::pair<std::string, std::string>> worker;
};

// Each file is converted in a process of its own (forked from this one; on
// Windows, the program started again for the one file): the importer keeps
// its state for the whole library, and a worker that crashes costs only its
// file. Warnings and failures are one line each on `err`,
// naming the file; the last line is "N converted, M failed". Returns 0 when
// every file was converted, else 1 (the others are written all the same).
int convert_batch(const Batch& batch, const Options& options, std::ostream& err);

}  // namespace vertexa::convert
