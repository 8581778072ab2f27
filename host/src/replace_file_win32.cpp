// Writing a file whole or not at all, on Windows: the new contents go to a
// temporary file in the same folder, which replaces the old file only once it
// is complete and flushed to disk. An existing file is replaced with
// ReplaceFileA, which keeps its attributes and security; a new one is moved
// into place.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "vertexa/services.h"

struct MReplaceFile {
    std::string target;
    std::string temp;
    FILE* stream = nullptr;
};

namespace {

int errno_of(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    default: return EIO;
    }
}

}  // namespace

MReplaceFile* m_replace_open(const char* path) {
    if (path == nullptr || path[0] == '\0') {
        errno = ENOENT;
        return nullptr;
    }
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        errno = EISDIR;
        return nullptr;
    }
    auto* file = new (std::nothrow) MReplaceFile;
    if (file == nullptr) return nullptr;
    file->target = path;
    int fd = -1;
    // A fresh name beside the target; taken only if nobody made it meanwhile.
    for (unsigned attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".tmp-%08lx%02x", GetTickCount() ^ GetCurrentProcessId(), attempt);
        file->temp = file->target + suffix;
        fd = ::_open(file->temp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                     _S_IREAD | _S_IWRITE);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        const int saved = errno;
        delete file;
        errno = saved;
        return nullptr;
    }
    file->stream = ::_fdopen(fd, "wb");
    if (file->stream == nullptr) {
        const int saved = errno;
        ::_close(fd);
        ::_unlink(file->temp.c_str());
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
    if (ok) ok = ::_commit(::_fileno(file->stream)) == 0;
    int saved = errno;
    if (std::fclose(file->stream) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok) {
        const bool exists = GetFileAttributesA(file->target.c_str()) != INVALID_FILE_ATTRIBUTES;
        const BOOL moved =
            exists ? ReplaceFileA(file->target.c_str(), file->temp.c_str(), nullptr, REPLACEFILE_WRITE_THROUGH,
                                  nullptr, nullptr)
                   : MoveFileExA(file->temp.c_str(), file->target.c_str(), MOVEFILE_WRITE_THROUGH);
        if (!moved) {
            ok = false;
            saved = errno_of(GetLastError());
        }
    }
    if (!ok) ::_unlink(file->temp.c_str());
    delete file;
    errno = saved;
    return ok ? 1 : 0;
}

void m_replace_abandon(MReplaceFile* file) {
    if (file == nullptr) return;
    std::fclose(file->stream);
    ::_unlink(file->temp.c_str());
    delete file;
}
