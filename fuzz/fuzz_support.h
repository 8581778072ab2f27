// What the fuzz targets share: a scratch folder of their own process, where
// each input is written as a file, and a profile that cannot be written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// A folder for this process only, in /dev/shm when there is one (writing an
// input there costs no disk), created on first use.
const std::string& scratch_dir();

// Writes the bytes to scratch_dir()/name and returns the path; aborts when
// the file cannot be written, since every later input would test nothing.
std::string write_scratch(const std::string& name, const uint8_t* data, size_t size);

// Points $VERTEXA_PROFILE at a path below /dev/null: it reads as empty and
// every write of it fails at once, so that options objects, which store their
// settings when destroyed, do not write a file per input.
void use_unwritable_profile();

// Aborts, naming `what`, when the host allocator holds another number of
// blocks than `live` (what it held before the input).
void expect_host_blocks(uint64_t live, const char* what);

}  // namespace fuzz
