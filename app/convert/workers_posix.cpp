// Workers on POSIX systems: forked from the command after the plug-in module
// is loaded, each telling its output through a pipe.
#include <poll.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <vector>

#include "workers.h"

namespace vertexa::convert {

std::filesystem::path path_of(const std::string& name) { return name; }
std::string name_of(const std::filesystem::path& path) { return path.string(); }
std::filesystem::path::string_type output_key(const std::filesystem::path& path) {
    return path.lexically_normal().native();
}

int processors() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

void become_worker() {}  // forked workers die of their signal

struct Workers::State {
    struct Running {
        const Item* item;
        int fd;
        std::string said;
    };
    std::map<pid_t, Running> running;
};

Workers::Workers(std::function<int(const Item&)> work) : work_(std::move(work)), state_(new State) {}
Workers::~Workers() = default;
size_t Workers::running() const { return state_->running.size(); }

std::string Workers::start(const Item& item) {
    int fds[2];
    if (::pipe(fds) != 0) return std::strerror(errno);
    std::cerr.flush();
    std::cout.flush();
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const auto& [other, w] : state_->running) ::close(w.fd);
        ::close(fds[0]);
        ::dup2(fds[1], STDOUT_FILENO);
        ::dup2(fds[1], STDERR_FILENO);
        ::close(fds[1]);
        ::_exit(work_(item));
    }
    const int fork_errno = errno;
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return std::strerror(fork_errno);
    }
    state_->running.emplace(pid, State::Running{&item, fds[0], {}});
    return {};
}

std::optional<Ended> Workers::wait(std::string& problem) {
    for (;;) {
        std::vector<pollfd> polls;
        std::vector<pid_t> pids;
        for (const auto& [pid, w] : state_->running) {
            polls.push_back({w.fd, POLLIN, 0});
            pids.push_back(pid);
        }
        if (::poll(polls.data(), polls.size(), -1) < 0) {
            if (errno == EINTR) continue;
            problem = std::strerror(errno);
            return std::nullopt;
        }
        for (size_t i = 0; i < polls.size(); ++i) {
            if (polls[i].revents == 0) continue;
            State::Running& w = state_->running.at(pids[i]);
            char buf[4096];
            const ssize_t n = ::read(w.fd, buf, sizeof buf);
            if (n > 0) {
                // A worker says a few lines; one that says without end is
                // cut short rather than held in memory.
                if (w.said.size() < (1u << 20)) w.said.append(buf, static_cast<size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            ::close(w.fd);
            int status = 0;
            pid_t waited;
            while ((waited = ::waitpid(pids[i], &status, 0)) < 0 && errno == EINTR) {
            }
            Ended ended{w.item, std::move(w.said), std::nullopt, {}};
            state_->running.erase(pids[i]);
            if (waited >= 0 && WIFSIGNALED(status)) ended.stopped = strsignal(WTERMSIG(status));
            else if (waited >= 0 && WIFEXITED(status)) ended.status = WEXITSTATUS(status);
            return ended;
        }
    }
}

}  // namespace vertexa::convert
