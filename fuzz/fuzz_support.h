// What the fuzz targets share: a scratch folder of their own process, where
// each input is written as a file, a profile that cannot be written, and the
// run of a trueSpace input that checks the host allocator afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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

// Writes the input to scratch_dir()/input.cob and runs `run` on that path;
// aborts, naming `what`, when the host allocator then holds another number
// of blocks than before (whatever `run` made of the file must be freed).
void run_on_cob_file(const uint8_t* data, size_t size, const char* what,
                     const std::function<void(const std::string& path)>& run);

}  // namespace fuzz
