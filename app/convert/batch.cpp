#include "batch.h"

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
#include "workers.h"

namespace fs = std::filesystem;

namespace vertexa::convert {

namespace {

// A path as it is shown.
std::string shown(const std::string& path) { return utf8_from_native(path); }
std::string shown(const fs::path& path) { return utf8_from_native(name_of(path)); }

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

// `relative` below `folder`, joined with '/' on every system (Windows takes
// it too), so that messages read the same everywhere.
fs::path joined(fs::path folder, const fs::path& relative) {
    if (folder.has_filename()) folder += "/";
    folder += relative;
    return folder;
}

// Finds the files to convert and where each goes; inputs that cannot be read
// and outputs claimed twice are failures in `report`.
class Planner {
public:
    Planner(const Batch& batch, Report& report) : batch_(batch), report_(report) {}
    std::vector<Item> items;

    void plan() {
        for (const std::string& in : batch_.inputs) {
            std::error_code ec;
            const fs::file_status st = fs::status(path_of(in), ec);
            if (ec || !fs::exists(st)) {
                report_.fail("vertexa: cannot read " + shown(in) + ": " +
                             (ec ? ec.message() : std::string(std::strerror(ENOENT))));
            } else if (fs::is_directory(st)) {
                walk(path_of(in), fs::path());
            } else {
                add(path_of(in), path_of(in).filename());
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
                walk(joined(folder, name), joined(relative, name));
            } else if (is_truespace_name(name) && entry.is_regular_file(kind_ec)) {
                add(joined(folder, name), joined(relative, name));
            }
        }
    }

    void add(const fs::path& in, const fs::path& relative) {
        fs::path out = joined(path_of(batch_.out_dir), relative);
        out.replace_extension(extension_of(batch_.format));
        if (path_of(name_of(in)) != in) {
            report_.fail("vertexa: " + shown(in) + ": not converted: its name has characters this system's "
                         "code page cannot pass on");
            return;
        }
        auto [known, fresh] = claimed_.emplace(output_key(out), name_of(in));
        if (!fresh) {
            report_.fail("vertexa: " + shown(in) + ": not converted: its output " + shown(out) + " is that of " +
                         shown(known->second));
            return;
        }
        items.push_back({name_of(in), name_of(out)});
    }

    const Batch& batch_;
    Report& report_;
    std::map<fs::path::string_type, std::string> claimed_;
};

// A worker's line without the command's prefix, naming its file unless it
// does already.
std::string about(const Item& item, std::string text) {
    if (text.rfind("vertexa: ", 0) == 0) text.erase(0, 9);
    const std::string name = shown(item.in);
    if (text.find(name) == std::string::npos && text.find(item.in) == std::string::npos) text = name + ": " + text;
    return "vertexa: " + text;
}

void finished(const Ended& w, Report& report) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < w.said.size();) {
        size_t end = w.said.find_first_of("\r\n", start);
        if (end == std::string::npos) end = w.said.size();
        if (end > start) lines.push_back(w.said.substr(start, end - start));
        start = end + 1;
    }
    std::string failure;
    if (!w.stopped.empty()) {
        failure = about(*w.item, "the conversion stopped: " + w.stopped);
    } else if (!w.status) {
        failure = about(*w.item, "the conversion's outcome is unknown: its worker was lost");
    } else if (std::error_code ec; *w.status == 0 && !fs::exists(path_of(w.item->out), ec)) {
        // Under Wine a worker killed from outside ends with status 0.
        failure = about(*w.item, "the conversion's outcome is unknown: its worker ended without writing " +
                                     shown(w.item->out));
    } else if (*w.status != 0) {
        if (lines.empty()) {
            failure = about(*w.item, "failed with status " + std::to_string(*w.status));
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

// What a worker does: converts its file; 0 when it was converted, else 1.
int convert_one(const Item& item, const Options& options) {
    int status = kExitFailure;
    try {
        status = convert_file(item.in, item.out, options, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "vertexa: " << shown(item.in) << ": " << e.what() << "\n";
    }
    std::cerr.flush();
    std::cout.flush();
    std::fflush(nullptr);
    return status == kExitOk ? kExitOk : kExitFailure;
}

}  // namespace

int convert_batch(const Batch& batch, const Options& options, std::ostream& err) {
    const size_t limit = static_cast<size_t>(batch.workers > 0 ? batch.workers : processors());
    Options child_options = options;
    child_options.format = batch.format;
    // Several workers keep the processors busy already.
    child_options.two_threads = limit == 1;
    if (batch.worker) {
        become_worker();
        return convert_one({batch.worker->first, batch.worker->second}, child_options);
    }

    Report report(err, batch.progress);
    std::error_code ec;
    fs::create_directories(path_of(batch.out_dir), ec);
    if (ec || !fs::is_directory(path_of(batch.out_dir))) {
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

    std::deque<const Item*> queue;
    for (const Item& item : items) queue.push_back(&item);
    const BatchLogs logs;
    Workers workers([&](const Item& item) {
        logs.divert(&item - items.data());
        const int status = convert_one(item, child_options);
        logs.keep(&item - items.data());
        return status;
    });

    while (!queue.empty() || workers.running() > 0) {
        while (!queue.empty() && workers.running() < limit) {
            const Item& item = *queue.front();
            const fs::path folder = path_of(item.out).parent_path();
            if (!folder.empty() && !fs::create_directories(folder, ec) && ec) {
                queue.pop_front();
                report.fail(about(item, "cannot make the folder " + shown(folder) + ": " + ec.message()));
                continue;
            }
            err.flush();
            const std::string why = workers.start(item);
            if (why.empty()) {
                queue.pop_front();
            } else if (workers.running() > 0) {
                break;  // try again when a worker is done
            } else {
                queue.pop_front();
                report.fail(about(item, "cannot start a worker: " + why));
            }
        }
        if (workers.running() == 0) continue;
        std::string problem;
        const std::optional<Ended> ended = workers.wait(problem);
        if (!ended) {
            err << "vertexa: cannot wait for the workers: " << problem << "\n";
            return kExitFailure;
        }
        finished(*ended, report);
    }
    if (const std::string problem = logs.gather(items.size()); !problem.empty()) report.line(problem);
    report.finish();
    return report.failed == 0 ? kExitOk : kExitFailure;
}

}  // namespace vertexa::convert
