#include "output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(_WIN32)
#include <windows.h>
#include <io.h>
#else
#include <sys/uio.h>
#endif

#include <algorithm>
#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>

#include <stb_image.h>
#include <stb_image_write.h>

#include "vertexa/scene.h"
#include "vertexa/services.h"

namespace vertexa::convert {

namespace {

// Images larger than this are not read: a texture map of a trueSpace model
// is a few megabytes at most, and a damaged header must not make us allocate
// without bound.
constexpr long kMaxImageFileBytes = 256L << 20;
constexpr long long kMaxImagePixels = 64LL << 20;

bool read_whole(const std::string& path, std::string& bytes, std::string& why) {
    // Only a regular file is read; a FIFO put in its place is not waited on.
#if defined(_WIN32)
    const int fd = ::open(path.c_str(), O_RDONLY | O_BINARY);
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
#endif
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = fd < 0 ? std::strerror(errno) : "not a regular file";
        if (fd >= 0) ::close(fd);
        return false;
    }
    bytes.clear();
    char buf[65536];
    bool failed = false;
    for (;;) {
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        failed = got < 0;
        if (got <= 0) break;
        bytes.append(buf, static_cast<size_t>(got));
        if (static_cast<long>(bytes.size()) > kMaxImageFileBytes) {
            ::close(fd);
            why = "larger than 256 MB";
            return false;
        }
    }
    ::close(fd);
    if (failed) why = "read error";
    return !failed;
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
    return to_utf8(last);
}

std::string folder_of(const std::string& path) {
    size_t cut = path.rfind('/');
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string to_utf8(const std::string& text) { return vertexa::utf8_from_native(text); }

int ImageCache::get(const std::string& name) {
    auto known = by_name_.find(name);
    if (known != by_name_.end()) return known->second;
    int& slot = by_name_[name];
    slot = -1;
    const std::string path = maps_.Resolve(name);
    if (path.empty()) {
        err_ << "vertexa: warning: image " << vertexa::utf8_from_cp1252(name) << " not found in the searched folders; material left untextured\n";
        return -1;
    }
    Image image;
    image.stem = file_stem(path);
    std::string bytes, why;
    if (!read_whole(path, bytes, why)) {
        err_ << "vertexa: warning: cannot read image " << to_utf8(path) << ": " << why << "; material left untextured\n";
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
            err_ << "vertexa: warning: image " << to_utf8(path) << " is not an image that can be converted; material left untextured\n";
            return -1;
        }
        unsigned char* pixels = stbi_load_from_memory(data, len, &w, &h, &channels, 0);
        if (pixels == nullptr) {
            err_ << "vertexa: warning: cannot decode image " << to_utf8(path) << ": " << stbi_failure_reason()
                 << "; material left untextured\n";
            return -1;
        }
        std::string png;
        const int ok = stbi_write_png_to_func(append_png, &png, w, h, channels, pixels, w * channels);
        stbi_image_free(pixels);
        if (ok == 0) {
            err_ << "vertexa: warning: cannot convert image " << to_utf8(path) << " to PNG; material left untextured\n";
            return -1;
        }
        image.mime = "image/png";
        image.bytes = std::move(png);
    }
    images_.push_back(std::move(image));
    slot = static_cast<int>(images_.size() - 1);
    return slot;
}

void OutputFiles::Bytes::append(std::string text) {
    if (text.empty()) return;
    size_ += text.size();
    pieces_.push_back({nullptr, text.size(), owned_.size()});
    owned_.push_back(std::move(text));
}

void OutputFiles::Bytes::append_view(const void* data, size_t size) {
    if (size == 0) return;
    size_ += size;
    pieces_.push_back({static_cast<const char*>(data), size, 0});
}

void OutputFiles::Bytes::pad4() {
    static const char zeros[4] = {};
    append_view(zeros, (4 - size_ % 4) % 4);
}

void OutputFiles::add(const std::string& path, std::string bytes) {
    Bytes b;
    b.append(std::move(bytes));
    add(path, std::move(b));
}

void OutputFiles::add(const std::string& path, Bytes bytes) { files_.emplace_back(path, std::move(bytes)); }

#if defined(_WIN32)
// Windows: the same order without signals, hard links or file modes. The
// files are written to temporaries beside their targets and flushed; then
// every old file is moved aside, the new ones go in (the one the user named
// last), and on a failure the old ones come back.

namespace {

// A file's identity: its volume and its index on that volume.
bool file_identity(const std::string& path, unsigned long long* volume, unsigned long long* index) {
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    *volume = info.dwVolumeSerialNumber;
    *index = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return ok;
}

std::string failure(const std::string& path, const std::string& why) {
    return "cannot write " + to_utf8(path) + ": " + why;
}

std::string system_error() {
    char text[256] = "";
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, GetLastError(), 0, text,
                       sizeof text, nullptr) == 0)
        return "error " + std::to_string(GetLastError());
    std::string why = text;
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' ' || why.back() == '.'))
        why.pop_back();
    return why;
}

// A new, empty file beside `target` whose name is returned; empty on failure.
std::string make_temporary(const std::string& target) {
    static unsigned serial = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[40];
        std::snprintf(suffix, sizeof suffix, ".vx%lx%04x", GetCurrentProcessId(), ++serial & 0xffff);
        const std::string name = folder_of(target) + suffix;
        HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return name;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return {};
}

}  // namespace

void OutputFiles::protect(const std::string& path) {
    unsigned long long volume = 0, index = 0;
    if (file_identity(path, &volume, &index)) protected_.emplace_back(volume, index);
}

// The C runtime has no gathering write: one write per piece.
bool OutputFiles::write_pieces(int fd, const Bytes& bytes) {
    for (const Bytes::Piece& p : bytes.pieces_) {
        const char* data = p.data != nullptr ? p.data : bytes.owned_[p.index].data();
        for (size_t done = 0; done < p.size;) {
            const int n = ::_write(fd, data + done, static_cast<unsigned>(std::min<size_t>(p.size - done, 1u << 30)));
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
    }
    return true;
}

std::string OutputFiles::commit() {
    const size_t n = files_.size();
    std::vector<std::string> targets(n);
    for (size_t i = 0; i < n; ++i) {
        const std::string& path = files_[i].first;
        targets[i] = path;
        char full[MAX_PATH];
        const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
        const std::string name = length > 0 && length < sizeof full ? std::string(full) : path;
        for (size_t k = 0; k < i; ++k) {
            char other[MAX_PATH];
            const DWORD l = GetFullPathNameA(targets[k].c_str(), sizeof other, other, nullptr);
            if (l > 0 && l < sizeof other && lstrcmpiA(other, name.c_str()) == 0)
                return failure(path, "two of the files to write have this name");
        }
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return failure(path, "it is a folder");
        unsigned long long volume = 0, index = 0;
        if (file_identity(path, &volume, &index))
            for (const auto& [v, i2] : protected_)
                if (v == volume && i2 == index) return failure(path, "it is the input file");
    }

    std::vector<std::string> temps;
    auto remove_temps = [&] {
        for (const std::string& t : temps) DeleteFileA(t.c_str());
    };
    for (size_t i = 0; i < n; ++i) {
        const auto& [path, bytes] = files_[i];
        const std::string temp = make_temporary(targets[i]);
        if (temp.empty()) {
            const std::string why = system_error();
            remove_temps();
            return failure(path, why);
        }
        temps.push_back(temp);
        const int fd = ::_open(temp.c_str(), _O_WRONLY | _O_BINARY | _O_TRUNC);
        const bool written = fd >= 0 && write_pieces(fd, bytes) && ::_commit(fd) == 0;
        const std::string why = written ? std::string() : std::strerror(errno);
        if (fd >= 0) ::_close(fd);
        if (!written) {
            remove_temps();
            return failure(path, why);
        }
        if (after_write) after_write(temp);
    }

    std::vector<std::string> backups(n);
    auto undo = [&](size_t replaced_from, const std::string& message) {
        std::string out = message;
        for (size_t k = 0; k < n; ++k) {
            const bool replaced = k >= replaced_from;
            if (!replaced) DeleteFileA(temps[k].c_str());
            if (!backups[k].empty()) {
                if (!MoveFileExA(backups[k].c_str(), targets[k].c_str(), MOVEFILE_REPLACE_EXISTING))
                    out += "; the old " + to_utf8(targets[k]) + " is kept as " + to_utf8(backups[k]);
            } else if (replaced) {
                DeleteFileA(targets[k].c_str());
            }
        }
        return out;
    };
    for (size_t i = 0; i < n; ++i) {
        // Only files are set aside; a move over anything else fails and
        // leaves it as it is.
        const DWORD attributes = GetFileAttributesA(targets[i].c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        const std::string backup = make_temporary(targets[i]);
        if (backup.empty() || !MoveFileExA(targets[i].c_str(), backup.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            const std::string why = system_error();
            if (!backup.empty()) DeleteFileA(backup.c_str());
            return undo(n, failure(targets[i], "cannot keep the old file aside: " + why));
        }
        backups[i] = backup;
    }
    // The first file (the one the user named) goes into place last, so that
    // it never refers to files that are not there yet.
    for (size_t i = n; i-- > 0;) {
        if (!MoveFileExA(temps[i].c_str(), targets[i].c_str(), MOVEFILE_WRITE_THROUGH))
            return undo(i + 1, failure(files_[i].first, system_error()));
    }
    for (const std::string& b : backups)
        if (!b.empty()) DeleteFileA(b.c_str());
    return {};
}

void remove_host_temporaries_on_signal() {}
#else
void OutputFiles::protect(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) protected_.emplace_back(st.st_dev, st.st_ino);
}

namespace {

// The temporary files of the commit under way, for the signal handler: the
// names are fixed before a file is created and `temp_count` is raised only
// once its name is complete, so the handler reads nothing half made.
const std::string* temp_names = nullptr;
volatile std::sig_atomic_t temp_count = 0;

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction previous_actions[std::size(kCleanupSignals)];
bool installed[std::size(kCleanupSignals)] = {};

extern "C" void remove_temps_on_signal(int sig) {
    const int saved = errno;
    for (std::sig_atomic_t i = 0; i < temp_count; ++i) ::unlink(temp_names[i].c_str());
    temp_count = 0;
    // The signal goes on to what was there before us (usually: the end of
    // the process); it is blocked while this handler runs and arrives when
    // the handler returns.
    for (size_t k = 0; k < std::size(kCleanupSignals); ++k)
        if (kCleanupSignals[k] == sig) ::sigaction(sig, &previous_actions[k], nullptr);
    ::raise(sig);
    errno = saved;
}

sigset_t cleanup_set() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kCleanupSignals) sigaddset(&set, sig);
    return set;
}

// Blocks the cleanup signals for as long as it lives.
class SignalsHeld {
public:
    SignalsHeld() {
        const sigset_t set = cleanup_set();
        ::pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t old_;
};

// Installs the handler for the signals that are not ignored, and puts the
// previous actions back when it goes (called with the signals held).
class TempCleanup {
public:
    explicit TempCleanup(const std::string* names) {
        temp_names = names;
        temp_count = 0;
        struct sigaction action = {};
        action.sa_handler = remove_temps_on_signal;
        action.sa_mask = cleanup_set();
        for (size_t k = 0; k < std::size(kCleanupSignals); ++k) {
            installed[k] = false;
            if (::sigaction(kCleanupSignals[k], nullptr, &previous_actions[k]) != 0) continue;
            if (previous_actions[k].sa_handler == SIG_IGN) continue;
            installed[k] = ::sigaction(kCleanupSignals[k], &action, nullptr) == 0;
        }
    }
    ~TempCleanup() {
        SignalsHeld hold;
        for (size_t k = 0; k < std::size(kCleanupSignals); ++k)
            if (installed[k]) ::sigaction(kCleanupSignals[k], &previous_actions[k], nullptr);
        temp_count = 0;
        temp_names = nullptr;
    }
    TempCleanup(const TempCleanup&) = delete;
    TempCleanup& operator=(const TempCleanup&) = delete;
};

// The host library's temporary file while it exists: registered as an
// output commit's are (the two never overlap: a commit writes no profile).
std::string host_temporary;
std::optional<TempCleanup> host_cleanup;

extern "C" void track_host_temporary(const char* name, int exists) {
    SignalsHeld hold;
    if (exists == 0) {
        host_cleanup.reset();
        return;
    }
    if (temp_names != nullptr) return;  // a commit's files are registered
    host_temporary = name;
    host_cleanup.emplace(&host_temporary);
    temp_count = 1;
}

}  // namespace

void remove_host_temporaries_on_signal() { m_replace_set_hook(track_host_temporary); }


// Many small pieces (the arrays of a scene of many objects) go out a batch
// of them per system call, and large ones in parts of kChunk bytes whose
// writing to the disk starts at once: the disk works while the rest is
// copied, and the sync at the end waits for less.
bool OutputFiles::write_pieces(int fd, const Bytes& bytes) {
    constexpr size_t kBatch = 512;
    constexpr size_t kChunk = size_t{8} << 20;
    struct iovec batch[kBatch];
    const auto& pieces = bytes.pieces_;
    size_t piece = 0, offset = 0;  // what is not written yet starts `offset` bytes into `piece`
    off_t written = 0;
    while (piece < pieces.size()) {
        size_t count = 0, total = 0;
        for (size_t i = piece, at = offset; i < pieces.size() && count < kBatch && total < kChunk; ++i, at = 0) {
            const Bytes::Piece& p = pieces[i];
            const char* data = p.data != nullptr ? p.data : bytes.owned_[p.index].data();
            const size_t size = std::min(p.size - at, kChunk - total);
            batch[count].iov_base = const_cast<char*>(data + at);
            batch[count].iov_len = size;
            ++count;
            total += size;
        }
        const ssize_t n = ::writev(fd, batch, static_cast<int>(count));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0 && total != 0) {
            errno = EIO;
            return false;
        }
#if defined(__linux__)
        if (n > 0) ::sync_file_range(fd, written, n, SYNC_FILE_RANGE_WRITE);
#endif
        written += n;
        for (size_t left = static_cast<size_t>(n);;) {
            if (piece == pieces.size()) break;
            const size_t rest = pieces[piece].size - offset;
            if (left < rest) {
                offset += left;
                break;
            }
            left -= rest;
            ++piece;
            offset = 0;
        }
    }
    return true;
}

namespace {

void sync_folder(const std::string& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::string failure(const std::string& path, const std::string& why) {
    return "cannot write " + to_utf8(path) + ": " + why;
}

}  // namespace

std::string OutputFiles::commit() {
    const size_t n = files_.size();
    // What is replaced: through a symbolic link the file it names, so the
    // link stays as the user made it.
    std::vector<std::string> targets(n);
    // A replaced file keeps its permissions; a new one gets the usual ones.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    std::vector<mode_t> modes(n, 0666 & ~mask);
    // Refused before anything is written.
    for (size_t i = 0; i < n; ++i) {
        const std::string& path = files_[i].first;
        targets[i] = path;
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            if (char* resolved = ::realpath(path.c_str(), nullptr)) {
                targets[i] = resolved;
                std::free(resolved);
            }
        }
        for (size_t k = 0; k < i; ++k)
            if (targets[k] == targets[i]) return failure(path, "two of the files to write have this name");
        if (::stat(targets[i].c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) return failure(path, "it is a folder");
        if (!S_ISREG(st.st_mode)) return failure(path, "it exists and is not a regular file");
        for (const auto& [dev, ino] : protected_)
            if (st.st_dev == dev && st.st_ino == ino) return failure(path, "it is the input file");
        modes[i] = st.st_mode & 07777;
    }

    std::vector<std::string> temps(n);
    std::optional<TempCleanup> cleanup;
    {
        SignalsHeld hold;
        cleanup.emplace(temps.data());
    }
    auto remove_temps = [&] {
        SignalsHeld hold;
        for (std::sig_atomic_t i = 0; i < temp_count; ++i) ::unlink(temps[i].c_str());
        temp_count = 0;
    };
    for (size_t i = 0; i < n; ++i) {
        const auto& [path, bytes] = files_[i];
        int fd;
        {
            // Created and registered at once: a signal finds it either way.
            SignalsHeld hold;
            temps[i] = folder_of(targets[i]) + ".vx" + "XXXXXX";
            fd = ::mkostemp(temps[i].data(), O_CLOEXEC);
            if (fd >= 0) temp_count = static_cast<std::sig_atomic_t>(i + 1);
        }
        if (fd < 0) {
            const std::string why = std::strerror(errno);
            remove_temps();
            return failure(path, why);
        }
        bool ok = write_pieces(fd, bytes);
        int saved = errno;
        ::fchmod(fd, modes[i]);
        if (ok && ::fsync(fd) != 0 && errno != EINVAL) {
            ok = false;
            saved = errno;
        }
        if (::close(fd) != 0 && ok) {
            ok = false;
            saved = errno;
        }
        if (!ok) {
            remove_temps();
            return failure(path, std::strerror(saved != 0 ? saved : EIO));
        }
        if (after_write) after_write(temps[i]);
    }

    // From here on the signals wait: the old files are set aside, the new
    // ones go in, and on a failure the old ones come back.
    SignalsHeld hold;
    enum class Kept { none, linked, moved };
    std::vector<Kept> kept(n, Kept::none);
    std::vector<std::string> backups(n);
    auto undo = [&](size_t replaced_from, const std::string& message) {
        std::string out = message;
        for (size_t k = 0; k < n; ++k) {
            const bool replaced = k >= replaced_from;
            const std::string& target = targets[k];
            if (!replaced) ::unlink(temps[k].c_str());
            if (kept[k] == Kept::linked && !replaced) {
                ::unlink(backups[k].c_str());
            } else if (kept[k] != Kept::none) {
                if (::rename(backups[k].c_str(), target.c_str()) != 0)
                    out += "; the old " + to_utf8(target) + " is kept as " + to_utf8(backups[k]);
            } else if (replaced) {
                ::unlink(target.c_str());
            }
        }
        temp_count = 0;
        return out;
    };
    for (size_t i = 0; i < n; ++i) {
        const std::string& target = targets[i];
        struct stat st;
        // Only files and symbolic links are set aside; a rename over anything
        // else fails and leaves it as it is.
        if (::lstat(target.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) continue;
        for (char c = 'a'; c <= 'z' && kept[i] == Kept::none; ++c) {
            backups[i] = temps[i] + c;
            if (::link(target.c_str(), backups[i].c_str()) == 0) kept[i] = Kept::linked;
            else if (errno != EEXIST) break;
        }
        if (kept[i] != Kept::none) continue;
        // No hard links here: the old file is moved aside under a new name.
        backups[i] = folder_of(target) + ".vx" + "XXXXXX";
        const int fd = ::mkostemp(backups[i].data(), O_CLOEXEC);
        if (fd >= 0) ::close(fd);
        if (fd < 0 || ::rename(target.c_str(), backups[i].c_str()) != 0) {
            const std::string why = std::strerror(errno);
            if (fd >= 0) ::unlink(backups[i].c_str());
            return undo(n, failure(target, "cannot keep the old file aside: " + why));
        }
        kept[i] = Kept::moved;
    }
    // The first file (the one the user named) goes into place last, so that
    // it never refers to files that are not there yet.
    for (size_t i = n; i-- > 0;) {
        if (::rename(temps[i].c_str(), targets[i].c_str()) != 0)
            return undo(i + 1, failure(files_[i].first, std::strerror(errno)));
    }
    temp_count = 0;
    for (size_t k = 0; k < n; ++k)
        if (kept[k] != Kept::none) ::unlink(backups[k].c_str());
    for (size_t k = 0; k < n; ++k)
        if (k == 0 || folder_of(targets[k]) != folder_of(targets[k - 1])) sync_folder(folder_of(targets[k]));
    return {};
}

#endif

BatchLogs::BatchLogs() {
#if !defined(_WIN32)
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/vertexa-logs-XXXXXX";
    if (::mkdtemp(folder.data()) != nullptr) folder_ = folder;
#endif
}

BatchLogs::~BatchLogs() {
    if (folder_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

void BatchLogs::divert(size_t index) const {
    if (!folder_.empty()) m_log_divert((folder_ + "/" + std::to_string(index)).c_str());
}

void BatchLogs::keep(size_t index) const {
    const char* name = m_log_diverted_name();
    if (folder_.empty() || name == nullptr) return;
    std::ofstream(folder_ + "/" + std::to_string(index) + ".name", std::ios::binary) << name;
}

std::string BatchLogs::gather(size_t count) const {
    std::string log_name;
    std::ofstream log;
    for (size_t i = 0; i < count && !folder_.empty(); ++i) {
        const std::string piece = folder_ + "/" + std::to_string(i);
        std::ifstream named(piece + ".name", std::ios::binary);
        std::string name((std::istreambuf_iterator<char>(named)), std::istreambuf_iterator<char>());
        if (name.empty()) continue;  // no log (verbose off)
        if (log_name.empty()) {
            log_name = name;
            log.open(name, std::ios::binary | std::ios::trunc);
        }
        std::ifstream text(piece, std::ios::binary);
        if (log.is_open() && text.peek() != std::ifstream::traits_type::eof()) log << text.rdbuf();
    }
    if (log_name.empty() || (log.is_open() && log.flush())) return {};
    return "vertexa: warning: cannot write the import log " + to_utf8(log_name) + ": " + std::strerror(errno);
}

}  // namespace vertexa::convert
