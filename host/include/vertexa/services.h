// Host services: log, progress record, byte order, file helpers, settings
// profile, command-line reader and the option base class of importers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "vertexa/api.h"
#include "vertexa/memory.h"

// ---------------------------------------------------------------------------
// Log of one import. Every message is written exactly as formatted, whatever
// its level, when the log has a file; without a file, writes are accepted and
// dropped.
class VX_API LogFile : public vertexa::HostObject {
public:
    // `name` is the file being imported; `log_file_name` the log to create
    // (truncated), or null for a log without a file. A log file that cannot
    // be created also leaves the log without a file.
    LogFile(const char* name, const char* log_file_name);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    void write(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void write(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // The log's stream, null when it has no file.
    FILE* Get_FILE() { return file_; }

private:
    FILE* file_ = nullptr;
};

// For a program that imports in several processes at once (a batch): the
// logs of this process that get a file are written to `path` instead (each
// log truncates it), and the name the log was to have is kept for
// m_log_diverted_name. Null ends the diversion.
VX_API void m_log_divert(const char* path);
// The file name the last diverted log was given, or null when none was.
VX_API const char* m_log_diverted_name();

// ---------------------------------------------------------------------------
// The progress record: two functions per row, a status text (printf-style)
// and a progress (current, maximum), for rows 1 to 3.
typedef void (*MStatusFunc)(const char* format, ...);
typedef void (*MProgressFunc)(long current, long maximum);

struct VX_API MessageCallBack1 : vertexa::HostObject {
    MessageCallBack1(MStatusFunc s1, MProgressFunc p1, MStatusFunc s2, MProgressFunc p2,
                     MStatusFunc s3, MProgressFunc p3)
        : status_1(s1), progress_1(p1), status_2(s2), progress_2(p2), status_3(s3), progress_3(p3) {}
    MStatusFunc status_1;
    MProgressFunc progress_1;
    MStatusFunc status_2;
    MProgressFunc progress_2;
    MStatusFunc status_3;
    MProgressFunc progress_3;
};

// ---------------------------------------------------------------------------
// Byte order. Files store little-endian (Intel) numbers.

// 0 when the native long, short, float and double have the sizes of the Intel
// ones (4, 2, 4, 8 bytes: the 32-bit long is the file's, held here in int32_t),
// else 1 to 4 for the first that differs.
VX_API int init_byteswap();
VX_API void I2NWord(const void* file_bytes, void* native_value);   // 2 bytes -> uint16_t
VX_API void I2NDWord(const void* file_bytes, void* native_value);  // 4 bytes -> uint32_t
VX_API void I2NFloat(const void* file_bytes, void* native_value);  // 4 bytes -> float

// ---------------------------------------------------------------------------
// File helpers.

// The size of the stream's file; the position is left where it was. -1 when
// the stream cannot seek.
VX_API long m_filesize(FILE* f);
VX_API long m_filepos(FILE* f);
// Reads the rest of the current line into `buffer` (at most size - 1
// characters and a NUL). The line feed, and a carriage return before it, are
// consumed but not stored; of a longer line the rest stays unread. Null at end
// of file with nothing read, else `buffer`.
VX_API char* m_read_line(char* buffer, int size, FILE* f);
// The directory part of `path` (up to and including its last /, on Windows
// also \); "./" for a bare file name. `directory` must hold 260 characters; a directory
// longer than 259 characters gives the empty text.
VX_API void m_getpath(char* directory, const char* path);

// Writing a file whole or not at all. m_replace_open opens a new temporary
// file beside `path` for writing in binary mode (through a symbolic link, the
// file it names is the one replaced); m_replace_commit flushes it to disk and
// renames it over `path`, keeping the old file's permissions, and returns 1,
// or 0 when anything failed (errno tells). Until the commit `path` is
// untouched, and whatever fails, the temporary file is removed. Both commit
// and abandon release the handle. Null from m_replace_open (errno set) when
// the folder cannot take a new file or `path` is not a regular file.
struct MReplaceFile;
VX_API MReplaceFile* m_replace_open(const char* path);
VX_API FILE* m_replace_stream(MReplaceFile* file);
VX_API int m_replace_commit(MReplaceFile* file);
VX_API void m_replace_abandon(MReplaceFile* file);
#if !defined(_WIN32)
// For a program that removes its temporary files when a signal ends it: the
// hook hears of every temporary file m_replace_open makes (the profile's
// among them), with 1 once it exists and 0 once it is renamed or removed.
// SIGINT, SIGTERM, SIGHUP and SIGQUIT are held from the file's creation
// until the hook returns, so a signal finds it either registered or not yet
// made. The library itself installs no signal handler. Null removes the hook.
typedef void (*MReplaceHook)(const char* temporary, int exists);
VX_API void m_replace_set_hook(MReplaceHook hook);
#endif

// ---------------------------------------------------------------------------
// Command line.
//
// Arguments name settings as "-key=value" (one argument), "-key = value" or
// "-key= value" (several), with an optional ";" ending the value. An argument
// "@file" reads the arguments of that file, one per line ("-key = value;"
// lines; lines starting with "//" are comments), nested files included up to
// a depth of 8. The last occurrence of a key wins.
//
// Writes into `out` (at most size - 1 characters and a NUL) the key's value, or
// `default_value` when the key does not occur. `out` and `default_value` may
// be the same buffer. Returns 1 when the key was found, 0 otherwise.
VX_API int m_get_cmdl_string(int argc, char** argv, const char* key, char* out,
                             const char* default_value, int size);

// ---------------------------------------------------------------------------
// Settings profile: an INI file. Its path is $VERTEXA_PROFILE when set, else
// $XDG_CONFIG_HOME/vertexa/<name>.ini (or ~/.config/vertexa/<name>.ini).
// A missing or unreadable file reads as empty. Changes are written when the
// profile is destroyed, atomically (a temporary file renamed over the old one);
// lines and sections it does not know are kept. Processes that write the same
// profile at once lose nothing: a write takes a lock (a file beside the
// profile, "<profile>.lock"), reads the file again and applies only the keys
// this profile changed since it was read.
class VX_API Profile : public vertexa::HostObject {
public:
    explicit Profile(const char* name);
    ~Profile();
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;

    // Copies the value of section/key, or `default_value` when there is none,
    // into `out` (at most size - 1 characters and a NUL). Returns the number of
    // characters delivered: 0 for an empty or absent value with an empty default.
    unsigned long GetString(const char* section, const char* key, const char* default_value,
                            char* out, unsigned long size);
    // Sets section/key to value; returns 1.
    unsigned long WriteString(const char* section, const char* key, const char* value);
    // Writes pending changes now; returns false when the file could not be
    // written (errno tells why), which TakeWriteFailure then reports.
    bool Flush();
    // The path of the last profile of this process whose changes could not
    // be written, and why (an errno value); false when every write since the
    // last call succeeded. The call forgets the failure.
    static bool TakeWriteFailure(std::string* path, int* error);
    const std::string& Path() const { return path_; }

    static std::string PathFor(const char* name);

private:
    // A key set since the file was read: its value then (absent or not) and now.
    struct Change {
        std::string section, key, value, loaded;
        bool was_set = false;
    };
    std::string path_;
    std::vector<std::string> lines_;
    std::vector<Change> changes_;
};

// ---------------------------------------------------------------------------
// Base of importer options. It keeps the file to import, the file filter, the
// log file name, the verbose flag and the host's data, reads them from the
// command line, prints and saves them, and keeps the log file name and the
// verbose flag in the profile section "Common Settings" (keys "verbose" and
// "log_file_name"): loaded on construction, stored on destruction. The profile
// read on construction is kept till then, so that what is stored is only what
// changed since (another process may have changed the rest meanwhile).
class VX_API Import_FileOption : public vertexa::HostObject {
public:
    Import_FileOption(const char* name, const char* log_file_name);
    Import_FileOption(int argc, char** argv, const char* log_file_name);
    ~Import_FileOption();
    Import_FileOption(const Import_FileOption&) = delete;
    Import_FileOption& operator=(const Import_FileOption&) = delete;

    const char* Get_Filename() const { return filename_; }
    void Set_Filename(const char* name);
    const char* Get_Filter() const { return filter_; }
    void Set_Filter(const char* filter);
    const char* Get_LogFileName() const { return log_file_name_; }
    void Set_LogFileName(const char* name);
    int Get_Verbose() const { return verbose_; }
    void Set_Verbose(int verbose) { verbose_ = verbose; }
    void* Get_HostData() const { return host_data_; }
    void Set_HostData(void* data) { host_data_ = data; }
    const char* Get_ProfileName() const { return profile_name_; }

    // Reads "verbose" and "log_file_name" from the arguments.
    void Load(int argc, char** argv);
    // Writes "-verbose = %d;\n" and "-log_file_name = %s;\n".
    void Save(FILE* f);
    // Writes "\t Verbose: %d\n" and "\t Log File: %s\n"; nothing for a null stream.
    void Print_Options(FILE* f);

    static constexpr int kTextSize = 4096;

protected:
    int argc_ = 0;
    char** argv_ = nullptr;

private:
    void load_common_settings();
    void save_common_settings();

    Profile* profile_ = nullptr;  // as read on construction
    char profile_name_[256] = {};
    char filename_[kTextSize] = {};
    char log_file_name_[kTextSize] = {};
    char* filter_ = nullptr;
    int verbose_ = 0;
    void* host_data_ = nullptr;
};
