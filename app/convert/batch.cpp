#include "batch.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <ostream>
#include <system_error>

#include "output.h"
#include "vertexa/text.h"

namespace fs = std::filesystem;

namespace vertexa::convert {

namespace {

// A path as it is shown.
std::string shown(const std::string& path) { return utf8_from_native(path); }
std::string shown(const fs::path& path) { return utf8_from_native(path.string()); }

struct Item {
    std::string in;
    std::string out;
};

bool is_truespace_name(const fs::path& p) {
    std::string ext = p.extension().string();
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext == ".cob" || ext == ".scn";
}

const char* extension_of(Format format) {
    switch (format) {
        case Format::Glb: return ".glb";
        case Format::Gltf: return ".gltf";
        case Format::Obj: return ".obj";
    }
    return ".glb";
}

// The report of a batch: lines on the stream, and the progress line below
// them when there is one.
class Report {
public:
    Report(std::ostream& err, bool progress) : err_(err), progress_(progress) {}
    size_t total = 0, converted = 0, failed = 0;

    // A line above the progress line; draw() puts that back.
    void line(const std::string& text) {
        if (progress_) err_ << "\r\033[K";
        err_ << text << "\n";
    }
    void fail(const std::string& text) {
        ++failed;
        line(text);
        draw();
    }
    // Shown once the files are known (`total` is set).
    void draw() {
        if (!progress_ || total == 0) return;
        err_ << "\r\033[K" << (converted + failed) << " of " << total << " files done, " << failed << " failed"
             << std::flush;
    }
    void finish() {
        if (progress_) err_ << "\r\033[K";
        err_ << converted << " converted, " << failed << " failed\n" << std::flush;
    }

private:
    std::ostream& err_;
    bool progress_;
};

// Finds the files to convert and where each goes; inputs that cannot be read
// and outputs claimed twice are failures in `report`.
class Planner {
public:
    Planner(const Batch& batch, Report& report) : batch_(batch), report_(report) {}
    std::vector<Item> items;

    void plan() {
        for (const std::string& in : batch_.inputs) {
            std::error_code ec;
            const fs::file_status st = fs::status(in, ec);
            if (ec || !fs::exists(st)) {
                report_.fail("vertexa: cannot read " + shown(in) + ": " +
                             (ec ? ec.message() : std::string(std::strerror(ENOENT))));
            } else if (fs::is_directory(st)) {
                walk(in, fs::path());
            } else {
                add(in, fs::path(in).filename());
            }
        }
    }

private:
    void walk(const fs::path& folder, const fs::path& relative) {
        std::error_code ec;
        std::vector<fs::directory_entry> entries;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
        if (ec) {
            report_.fail("vertexa: cannot read folder " + shown(folder) + ": " + ec.message());
            return;
        }
        std::sort(entries.begin(), entries.end());
        for (const fs::directory_entry& entry : entries) {
            const fs::path name = entry.path().filename();
            std::error_code kind_ec;
            // Folders are entered only when they are folders themselves, not
            // links to one: a link back up would never end.
            if (entry.is_directory(kind_ec) && !entry.is_symlink(kind_ec)) {
                walk(entry.path(), relative / name);
            } else if (is_truespace_name(name) && entry.is_regular_file(kind_ec)) {
                add(entry.path().string(), relative / name);
            }
        }
    }

    void add(const std::string& in, const fs::path& relative) {
        fs::path out = fs::path(batch_.out_dir) / relative;
        out.replace_extension(extension_of(batch_.format));
        const std::string key = out.lexically_normal().string();
        auto [known, fresh] = claimed_.emplace(key, in);
        if (!fresh) {
            report_.fail("vertexa: " + shown(in) + ": not converted: its output " + shown(out) + " is that of " +
                         shown(known->second));
            return;
        }
        items.push_back({in, out.string()});
    }

    const Batch& batch_;
    Report& report_;
    std::map<std::string, std::string> claimed_;
};

int processors() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

struct Worker {
    const Item* item;
    int fd;
    std::string said;  // what it wrote on stdout and stderr
};

// A worker's line without the command's prefix, naming its file unless it
// does already.
std::string about(const Item& item, std::string text) {
    if (text.rfind("vertexa: ", 0) == 0) text.erase(0, 9);
    const std::string name = shown(item.in);
    if (text.find(name) == std::string::npos && text.find(item.in) == std::string::npos) text = name + ": " + text;
    return "vertexa: " + text;
}

// `status` is the worker's wait status; none when it could not be had.
void finished(const Worker& w, std::optional<int> status, Report& report) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < w.said.size();) {
        size_t end = w.said.find('\n', start);
        if (end == std::string::npos) end = w.said.size();
        if (end > start) lines.push_back(w.said.substr(start, end - start));
        start = end + 1;
    }
    std::string failure;
    if (!status) {
        failure = about(*w.item, "the conversion's outcome is unknown: its worker was lost");
    } else if (WIFSIGNALED(*status)) {
        failure = about(*w.item, std::string("the conversion stopped: ") + strsignal(WTERMSIG(*status)));
    } else if (!WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
        if (lines.empty()) {
            failure = about(*w.item, "failed with status " + std::to_string(WEXITSTATUS(*status)));
        } else {
            failure = about(*w.item, lines.back());
            lines.pop_back();
        }
    }
    for (const std::string& text : lines) report.line(about(*w.item, text));
    if (failure.empty()) {
        ++report.converted;
        report.draw();
    } else {
        report.fail(failure);
    }
}

}  // namespace

int convert_batch(const Batch& batch, const Options& options, std::ostream& err) {
    Report report(err, batch.progress);
    std::error_code ec;
    fs::create_directories(batch.out_dir, ec);
    if (ec || !fs::is_directory(batch.out_dir)) {
        err << "vertexa: cannot make the output folder " << shown(batch.out_dir) << ": "
            << (ec ? ec.message() : std::string("a file of that name is in the way")) << "\n";
        return kExitFailure;
    }
    Planner planner(batch, report);
    planner.plan();
    const std::vector<Item>& items = planner.items;
    if (items.empty() && report.failed == 0) {
        err << "vertexa: no .cob or .scn files to convert\n";
        return kExitFailure;
    }
    report.total = items.size() + report.failed;
    report.draw();

    const size_t limit = static_cast<size_t>(batch.workers > 0 ? batch.workers : processors());
    Options child_options = options;
    child_options.format = batch.format;
    // Several workers keep the processors busy already.
    child_options.two_threads = limit == 1;
    std::deque<const Item*> queue;
    for (const Item& item : items) queue.push_back(&item);
    std::map<pid_t, Worker> running;
    const BatchLogs logs;

    while (!queue.empty() || !running.empty()) {
        while (!queue.empty() && running.size() < limit) {
            const Item& item = *queue.front();
            const fs::path folder = fs::path(item.out).parent_path();
            if (!folder.empty() && !fs::create_directories(folder, ec) && ec) {
                queue.pop_front();
                report.fail(about(item, "cannot make the folder " + shown(folder) + ": " + ec.message()));
                continue;
            }
            int fds[2];
            if (::pipe(fds) != 0) {
                if (!running.empty()) break;  // try again when a worker is done
                queue.pop_front();
                report.fail(about(item, std::string("cannot start a worker: ") + std::strerror(errno)));
                continue;
            }
            err.flush();
            std::cout.flush();
            std::fflush(nullptr);
            const pid_t pid = ::fork();
            if (pid == 0) {
                for (const auto& [other, w] : running) ::close(w.fd);
                ::close(fds[0]);
                ::dup2(fds[1], STDOUT_FILENO);
                ::dup2(fds[1], STDERR_FILENO);
                ::close(fds[1]);
                int status = kExitFailure;
                try {
                    logs.divert(&item - items.data());
                    status = convert_file(item.in, item.out, child_options, std::cerr);
                    logs.keep(&item - items.data());
                } catch (const std::exception& e) {
                    std::cerr << "vertexa: " << shown(item.in) << ": " << e.what() << "\n";
                }
                std::cerr.flush();
                std::cout.flush();
                std::fflush(nullptr);
                ::_exit(status == kExitOk ? kExitOk : kExitFailure);
            }
            const int fork_errno = errno;
            ::close(fds[1]);
            if (pid < 0) {
                ::close(fds[0]);
                if (!running.empty()) break;
                queue.pop_front();
                report.fail(about(item, std::string("cannot start a worker: ") + std::strerror(fork_errno)));
                continue;
            }
            running.emplace(pid, Worker{&item, fds[0], {}});
            queue.pop_front();
        }
        if (running.empty()) continue;

        std::vector<pollfd> polls;
        std::vector<pid_t> pids;
        for (const auto& [pid, w] : running) {
            polls.push_back({w.fd, POLLIN, 0});
            pids.push_back(pid);
        }
        if (::poll(polls.data(), polls.size(), -1) < 0) {
            if (errno == EINTR) continue;
            err << "vertexa: cannot wait for the workers: " << std::strerror(errno) << "\n";
            return kExitFailure;
        }
        for (size_t i = 0; i < polls.size(); ++i) {
            if (polls[i].revents == 0) continue;
            Worker& w = running.at(pids[i]);
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
            finished(w, waited < 0 ? std::optional<int>() : status, report);
            running.erase(pids[i]);
        }
    }
    if (const std::string problem = logs.gather(items.size()); !problem.empty()) report.line(problem);
    report.finish();
    return report.failed == 0 ? kExitOk : kExitFailure;
}

}  // namespace vertexa::convert
