// Reading small files of the user's (profiles, argument files) with a bound.
#pragma once

#include <cstddef>
#include <string>

namespace vertexa::detail {

// Reads at most `limit` bytes of a regular file; anything else (a missing
// file, a folder, a FIFO that would block) reads as nothing and gives false.
// `cut` tells whether the file went on past the limit.
bool read_regular_file(const std::string& path, std::size_t limit, std::string* data, bool* cut);

}  // namespace vertexa::detail
