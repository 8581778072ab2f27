// Writing a file whole or not at all: the new contents go to a temporary file
// in the same folder, which replaces the old file by a rename only once it is
// complete and on disk.
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "vertexa/services.h"

struct MReplaceFile {
    std::string target;
    std::string temp;
    FILE* stream = nullptr;
};

namespace {

// Makes the rename durable: the folder's entry is flushed too.
void sync_folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

MReplaceHook replace_hook = nullptr;

// Tells the hook that the temporary file is gone (renamed or removed).
void forget_temporary(const MReplaceFile* file) {
    if (const MReplaceHook hook = replace_hook) hook(file->temp.c_str(), 0);
}

}  // namespace

void m_replace_set_hook(MReplaceHook hook) { replace_hook = hook; }

MReplaceFile* m_replace_open(const char* path) {
    if (path == nullptr || path[0] == '\0') {
        errno = ENOENT;
        return nullptr;
    }
    auto* file = new (std::nothrow) MReplaceFile;
    if (file == nullptr) return nullptr;
    file->target = path;
    // Through a symbolic link the file it names is replaced, not the link.
    struct stat st;
    if (::lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* resolved = ::realpath(path, nullptr)) {
            file->target = resolved;
            std::free(resolved);
        }
    }
    const bool exists = ::stat(file->target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        delete file;
        return nullptr;
    }
    // A short name beside the target: a target name as long as the folder
    // allows must not make the temporary one too long.
    const std::size_t slash = file->target.rfind('/');
    file->temp = (slash == std::string::npos ? std::string() : file->target.substr(0, slash + 1)) + ".vx" + "XXXXXX";
    const MReplaceHook hook = replace_hook;
    sigset_t held, previous;
    sigemptyset(&held);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&held, sig);
    if (hook != nullptr) ::pthread_sigmask(SIG_BLOCK, &held, &previous);
    const int fd = ::mkostemp(file->temp.data(), O_CLOEXEC);
    const int created_errno = errno;
    if (hook != nullptr) {
        if (fd >= 0) hook(file->temp.c_str(), 1);
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    errno = created_errno;
    if (fd < 0) {
        delete file;
        return nullptr;
    }
    // The new file keeps the old one's permissions, or gets the usual ones.
    mode_t mode = 0;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    file->stream = ::fdopen(fd, "wb");
    if (file->stream == nullptr) {
        const int saved = errno;
        ::close(fd);
        ::unlink(file->temp.c_str());
        forget_temporary(file);
        delete file;
        errno = saved;
        return nullptr;
    }
    return file;
}

FILE* m_replace_stream(MReplaceFile* file) { return file != nullptr ? file->stream : nullptr; }

int m_replace_commit(MReplaceFile* file) {
    if (file == nullptr) return 0;
    bool ok = std::fflush(file->stream) == 0 && std::ferror(file->stream) == 0;
    if (ok) ok = ::fsync(::fileno(file->stream)) == 0;
    int saved = errno;
    if (std::fclose(file->stream) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && ::rename(file->temp.c_str(), file->target.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (ok) {
        sync_folder_of(file->target);
    } else {
        ::unlink(file->temp.c_str());
    }
    forget_temporary(file);
    delete file;
    errno = saved;
    return ok ? 1 : 0;
}

void m_replace_abandon(MReplaceFile* file) {
    if (file == nullptr) return;
    std::fclose(file->stream);
    ::unlink(file->temp.c_str());
    forget_temporary(file);
    delete file;
}
