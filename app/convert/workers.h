// The part of batch conversion that differs between systems: starting a
// worker process per file, waiting for the next one to end, and how the
// system's paths are held.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vertexa::convert {

struct Item {
    std::string in;
    std::string out;
};

// A path the command was given (in the system's code page) as a path, and
// back: on Windows through the code page, which std::filesystem does not use.
std::filesystem::path path_of(const std::string& name);
std::string name_of(const std::filesystem::path& path);
// Two outputs are the same file when these are equal (on Windows, names
// ignore case).
std::filesystem::path::string_type output_key(const std::filesystem::path& path);

// How many processors this process may run on.
int processors();

// Called first in a worker that is a process of its own: a crash ends it at
// once with the exception's code, without the system's error window or
// debugger.
void become_worker();

struct Ended {
    const Item* item;
    std::string said;           // what it wrote on stdout and stderr
    std::optional<int> status;  // its exit status; none when it was stopped or lost
    std::string stopped;        // what stopped it (a signal, an exception), if anything did
};

// The running workers. `work` is what a worker does with its file when it
// is a copy of this process (fork); on Windows a worker is the program
// started again with the same arguments and `--batch-worker IN OUT`.
class Workers {
public:
    explicit Workers(std::function<int(const Item&)> work);
    ~Workers();
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    // Starts a worker on `item`; "" when it runs, else why it does not.
    std::string start(const Item& item);
    size_t running() const;
    // Waits for a running worker to end. Fails (returns none, with why in
    // `problem`) only when waiting itself fails.
    std::optional<Ended> wait(std::string& problem);

private:
    struct State;
    std::function<int(const Item&)> work_;
    std::unique_ptr<State> state_;
};

}  // namespace vertexa::convert
