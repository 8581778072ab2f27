// Images for the output and files written whole or not at all.
#pragma once

#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "vertexa/text.h"

class MMapList;

namespace vertexa::convert {

// An image ready for glTF or OBJ: PNG or JPEG bytes.
struct Image {
    std::string bytes;
    std::string mime;  // "image/png" or "image/jpeg"
    std::string stem;  // the source file's name without folder and extension
    std::string extension() const { return mime == "image/png" ? ".png" : ".jpg"; }
};

// Finds and loads the images of texture layers, each once. An image name is
// resolved through the scene's map list (its last component in the searched
// folders); PNG and JPEG files are kept as they are, other formats that can
// be decoded (BMP, TGA, ...) become PNG. Failures are warnings on `err`.
class ImageCache {
public:
    ImageCache(const MMapList& maps, std::ostream& err) : maps_(maps), err_(err) {}
    // The index of the image for a name, or -1 when there is none.
    int get(const std::string& name);
    const std::vector<Image>& images() const { return images_; }

private:
    const MMapList& maps_;
    std::ostream& err_;
    std::map<std::string, int> by_name_;
    std::vector<Image> images_;
};

// Files to write together, all or nothing. Each goes to a temporary file in
// its folder first (a short name, so that any name the folder accepts works);
// a symbolic link is followed, and the file it names is replaced with its
// permissions kept.
// Before anything is written, a target that exists and is not a regular file,
// or that is one of the protected files (the input) under any name, is
// refused. Once all are written, every existing target is kept aside under a
// second name (a hard link where the file system has them), the new files
// are renamed into place, the first one added last, and the old ones are
// dropped. When a rename fails, the targets already replaced get their old
// files back and new ones are removed. While files are written, SIGINT,
// SIGTERM, SIGHUP and SIGQUIT remove the temporary files before the process
// ends; while they are renamed those signals wait until the end.
class OutputFiles {
public:
    // The bytes of one file as pieces written one after the other: texts it
    // keeps, and views of memory that the caller keeps unchanged until the
    // commit is over (large arrays are written from where they are).
    class Bytes {
    public:
        void append(std::string text);
        void append_view(const void* data, size_t size);
        // Zero bytes up to the next multiple of 4 of the size so far.
        void pad4();
        size_t size() const { return size_; }

    private:
        friend class OutputFiles;
        struct Piece {
            const char* data;  // null: owned_[index]
            size_t size, index;
        };
        std::vector<std::string> owned_;
        std::vector<Piece> pieces_;
        size_t size_ = 0;
    };
    void add(const std::string& path, std::string bytes);
    void add(const std::string& path, Bytes bytes);
    // A file that must not be written over (the input); ignored when absent.
    void protect(const std::string& path);
    // Returns an empty text on success, else what went wrong.
    std::string commit();
    // Runs after each temporary file is complete (tests use it to interfere).
    std::function<void(const std::string& temp)> after_write;

private:
    static bool write_pieces(int fd, const Bytes& bytes);
    std::vector<std::pair<std::string, Bytes>> files_;
    std::vector<std::pair<unsigned long long, unsigned long long>> protected_;  // device, inode
};

// The import logs of a batch, whose files are imported in processes of their
// own: the importer rewrites its log on every import, so each forked
// worker's log goes to a file of its own, and once all are done they are
// written into the log the importer names, one after the other in the order
// of the files. (Windows workers are programs of their own: their logs are
// written as the importer names them.)
class BatchLogs {
public:
    BatchLogs();   // a folder for the workers' logs (none: logs as the importer writes them)
    ~BatchLogs();  // removes it
    BatchLogs(const BatchLogs&) = delete;
    BatchLogs& operator=(const BatchLogs&) = delete;
    // In the worker of file `index`: before its import, and after it.
    void divert(size_t index) const;
    void keep(size_t index) const;
    // The logs of files 0 to count - 1 into the importer's log; a warning
    // when it cannot be written, else empty.
    std::string gather(size_t count) const;

private:
    std::string folder_;
};

// Makes the temporary files that the host library writes whole (the
// profile's) go on SIGINT, SIGTERM, SIGHUP and SIGQUIT as those of
// OutputFiles do. Windows has no such signals: nothing is done there.
void remove_host_temporaries_on_signal();

// The last component of a path without its extension, as UTF-8 (a name that
// is not UTF-8 is read as Windows-1252): companion files are named after it
// and their URIs must name them.
std::string file_stem(const std::string& path);
// The folder part of a path with its trailing '/', or "" for a bare name.
std::string folder_of(const std::string& path);

// A name the system gave (a path) as UTF-8: kept when it is UTF-8, else read
// as Windows-1252. Names from the trueSpace file are always Windows-1252
// (vertexa::utf8_from_cp1252).
std::string to_utf8(const std::string& text);

}  // namespace vertexa::convert
