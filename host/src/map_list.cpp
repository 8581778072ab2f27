#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <string>

#include "vertexa/scene.h"

namespace {

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
    return s.substr(b, e - b);
}

// A search folder is a path of this system, taken as it stands: on POSIX a
// backslash in it is part of a name. Only image names from the file are
// Windows paths, and of those only the last component is used.
std::string native_folder(const std::string& folder) {
    std::string f = folder;
    if (f.empty()) return f;
    if (f.back() != '/') f.push_back('/');
    return f;
}

// stat follows symbolic links: a link inside a search folder is followed
// wherever it leads (names from the file cannot leave the folders, links are
// made by whoever may write into them).
bool is_regular_file(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool is_folder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int MMapList::AddSearchPath(const char* text) {
    if (text == nullptr) return 0;
    search_texts_.emplace_back(text);
    int added = 0;
    std::string all(text);
    // A text that names a folder as a whole is that folder, ';' and all (the
    // imported file's own folder may hold one); split, it would name others.
    if (all.find(';') != std::string::npos && is_folder(all)) {
        folders_.push_back(all);
        return 1;
    }
    size_t pos = 0;
    while (pos <= all.size()) {
        size_t semi = all.find(';', pos);
        std::string piece = trim(all.substr(pos, semi == std::string::npos ? std::string::npos : semi - pos));
        if (!piece.empty()) {
            folders_.push_back(piece);
            ++added;
        }
        if (semi == std::string::npos) break;
        pos = semi + 1;
    }
    return added;
}

int MMapList::AddMap(const char* name) {
    if (name == nullptr || name[0] == '\0') return -1;
    for (size_t i = 0; i < maps_.size(); ++i)
        if (maps_[i] == name) return static_cast<int>(i);
    maps_.emplace_back(name);
    return static_cast<int>(maps_.size() - 1);
}

std::string MMapList::Resolve(const std::string& name) const {
    size_t cut = name.find_last_of("/\\");
    std::string last = trim(cut == std::string::npos ? name : name.substr(cut + 1));
    if (last.empty() || last == "." || last == "..") return {};
    // A drive prefix without a folder ("c:wood.bmp") leaves the name after it.
    if (last.size() > 2 && last[1] == ':') last = last.substr(2);

    for (const std::string& folder : folders_) {
        std::string dir = native_folder(folder);
        if (dir.empty()) continue;
        std::string exact = dir + last;
        if (is_regular_file(exact)) return exact;
    }
    for (const std::string& folder : folders_) {
        std::string dir = native_folder(folder);
        if (dir.empty()) continue;
        DIR* d = ::opendir(dir.c_str());
        if (d == nullptr) continue;
        std::string found;
        while (dirent* e = ::readdir(d)) {
            if (::strcasecmp(e->d_name, last.c_str()) == 0 && is_regular_file(dir + e->d_name)) {
                found = dir + e->d_name;
                break;
            }
        }
        ::closedir(d);
        if (!found.empty()) return found;
    }
    return {};
}
