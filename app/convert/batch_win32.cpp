// Converting many files at once, on Windows: each file is converted in a
// process of its own on the other systems (a fork of the command), which this
// build does not do yet. The command says so instead of converting some.
#include <ostream>

#include "batch.h"

namespace vertexa::convert {

int convert_batch(const Batch&, const Options&, std::ostream& err) {
    err << "vertexa: converting several files at once (-o DIR) is not available in the Windows build; "
           "convert them one at a time\n";
    return 1;
}

}  // namespace vertexa::convert
