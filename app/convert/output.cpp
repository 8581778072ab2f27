#include "output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(_WIN32)
#include <windows.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>

#include <stb_image.h>
#include <stb_image_write.h>

#include "vertexa/scene.h"

namespace vertexa::convert {

namespace {

// Images larger than this are not read: a texture map of a trueSpace model
// is a few megabytes at most, and a damaged header must not make us allocate
// without bound.
constexpr long kMaxImageFileBytes = 256L << 20;
constexpr long long kMaxImagePixels = 64LL << 20;

bool read_whole(const std::string& path, std::string& bytes, std::string& why) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        why = std::strerror(errno);
        return false;
    }
    bytes.clear();
    char buf[65536];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) {
        bytes.append(buf, got);
        if (static_cast<long>(bytes.size()) > kMaxImageFileBytes) {
            std::fclose(f);
            why = "larger than 256 MB";
            return false;
        }
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) why = "read error";
    return !failed;
}

// Renames `from` over `to`. Windows' rename refuses an existing target.
bool move_into_place(const std::string& from, const std::string& to) {
#if defined(_WIN32)
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return false;
#else
    return ::rename(from.c_str(), to.c_str()) == 0;
#endif
}

void append_png(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
}

}  // namespace

std::string file_stem(const std::string& path) {
    size_t cut = path.find_last_of("/\\");
    std::string last = cut == std::string::npos ? path : path.substr(cut + 1);
    size_t dot = last.rfind('.');
    if (dot != std::string::npos && dot > 0) last.resize(dot);
    return last;
}

std::string folder_of(const std::string& path) {
    size_t cut = path.rfind('/');
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string to_utf8(const std::string& text) {
    bool valid = true;
    for (size_t i = 0; i < text.size() && valid;) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t extra = c < 0x80 ? 0 : (c >= 0xC2 && c <= 0xDF) ? 1 : (c >= 0xE0 && c <= 0xEF) ? 2
                           : (c >= 0xF0 && c <= 0xF4) ? 3 : 9;
        if (extra == 9 || i + extra >= text.size() + (extra == 0 ? 1 : 0)) {
            valid = extra == 0;
            break;
        }
        for (size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) valid = false;
        i += extra + 1;
    }
    if (valid) return text;
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

int ImageCache::get(const std::string& name) {
    auto known = by_name_.find(name);
    if (known != by_name_.end()) return known->second;
    int& slot = by_name_[name];
    slot = -1;
    const std::string path = maps_.Resolve(name);
    if (path.empty()) {
        err_ << "vertexa: warning: image " << to_utf8(name) << " not found in the searched folders; material left untextured\n";
        return -1;
    }
    Image image;
    image.stem = file_stem(path);
    std::string bytes, why;
    if (!read_whole(path, bytes, why)) {
        err_ << "vertexa: warning: cannot read image " << path << ": " << why << "; material left untextured\n";
        return -1;
    }
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    // The kind comes from the bytes, not the name.
    if (bytes.size() >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0) {
        image.mime = "image/png";
        image.bytes = std::move(bytes);
    } else if (bytes.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
        image.mime = "image/jpeg";
        image.bytes = std::move(bytes);
    } else {
        int w = 0, h = 0, channels = 0;
        const int len = static_cast<int>(bytes.size());
        if (stbi_info_from_memory(data, len, &w, &h, &channels) == 0 || w <= 0 || h <= 0 ||
            static_cast<long long>(w) * h > kMaxImagePixels) {
            err_ << "vertexa: warning: image " << path << " is not an image that can be converted; material left untextured\n";
            return -1;
        }
        unsigned char* pixels = stbi_load_from_memory(data, len, &w, &h, &channels, 0);
        if (pixels == nullptr) {
            err_ << "vertexa: warning: cannot decode image " << path << ": " << stbi_failure_reason()
                 << "; material left untextured\n";
            return -1;
        }
        std::string png;
        const int ok = stbi_write_png_to_func(append_png, &png, w, h, channels, pixels, w * channels);
        stbi_image_free(pixels);
        if (ok == 0) {
            err_ << "vertexa: warning: cannot convert image " << path << " to PNG; material left untextured\n";
            return -1;
        }
        image.mime = "image/png";
        image.bytes = std::move(png);
    }
    images_.push_back(std::move(image));
    slot = static_cast<int>(images_.size() - 1);
    return slot;
}

void OutputFiles::add(const std::string& path, std::string bytes) { files_.emplace_back(path, std::move(bytes)); }

std::string OutputFiles::commit() {
    std::vector<std::string> temps;
    auto remove_temps = [&] {
        for (const std::string& t : temps) ::unlink(t.c_str());
    };
    for (const auto& [path, bytes] : files_) {
        std::string tmpl = folder_of(path) + "." + file_stem(path) + ".vertexa-XXXXXX";
        std::vector<char> name(tmpl.begin(), tmpl.end());
        name.push_back('\0');
        const int fd = ::mkstemp(name.data());
        if (fd < 0) {
            const std::string why = std::strerror(errno);
            remove_temps();
            return "cannot write " + path + ": " + why;
        }
        temps.emplace_back(name.data());
        size_t done = 0;
        bool failed = false;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                failed = true;
                break;
            }
            done += static_cast<size_t>(n);
        }
        const int saved = errno;
#if !defined(_WIN32)
        // Files made by mkstemp are private; outputs get the usual permissions.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
#endif
        if (::close(fd) != 0 && !failed) failed = true;
        if (failed) {
            remove_temps();
            return "cannot write " + path + ": " + std::strerror(saved != 0 ? saved : EIO);
        }
    }
    // The first file (the one the user named) goes into place last, so that
    // it never refers to files that are not there yet.
    for (size_t i = files_.size(); i-- > 0;) {
        if (!move_into_place(temps[i], files_[i].first)) {
            const std::string why = std::strerror(errno);
            for (size_t k = 0; k <= i; ++k) ::unlink(temps[k].c_str());
            for (size_t k = i + 1; k < files_.size(); ++k) ::unlink(files_[k].first.c_str());
            return "cannot write " + files_[i].first + ": " + why;
        }
    }
    return {};
}

}  // namespace vertexa::convert
