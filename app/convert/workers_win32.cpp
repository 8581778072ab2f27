// Workers on Windows, which has no fork: each is the program started again
// with its own arguments and `--batch-worker IN OUT` first, its output going
// to a temporary file that is read when it ends. Paths go through the ANSI
// code page, as the program's arguments and file calls do.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "workers.h"

namespace vertexa::convert {

namespace fs = std::filesystem;

fs::path path_of(const std::string& name) {
    std::wstring wide(name.size(), L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), wide.data(),
                                      static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return wide;
}

std::string name_of(const fs::path& path) {
    const std::wstring& wide = path.native();
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string name(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), name.data(), n, nullptr, nullptr);
    return name;
}

fs::path::string_type output_key(const fs::path& path) {
    std::wstring key = path.lexically_normal().generic_wstring();
    if (!key.empty()) CharLowerBuffW(key.data(), static_cast<DWORD>(key.size()));
    return key;
}

int processors() {
    DWORD_PTR mine = 0, system = 0;
    int n = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &mine, &system))
        for (; mine != 0; mine &= mine - 1) ++n;
    return n > 0 ? n : 1;
}

namespace {

LONG WINAPI end_with_exception(EXCEPTION_POINTERS* exception) {
    TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

std::string last_error() {
    char text[256] = "";
    const DWORD error = GetLastError();
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                       sizeof text, nullptr) == 0)
        std::snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(error));
    std::string why = text;
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' ' || why.back() == '.'))
        why.pop_back();
    return why;
}

// One argument as the C runtime splits a command line: quoted when it has
// blanks or quotes, with the backslashes before a quote doubled.
std::string quoted(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string out = "\"";
    size_t slashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        out.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
        slashes = 0;
        out += c;
    }
    out.append(2 * slashes, '\\');
    return out + "\"";
}

}  // namespace

void become_worker() { SetUnhandledExceptionFilter(end_with_exception); }

struct Workers::State {
    struct Running {
        const Item* item;
        HANDLE process;
        HANDLE output;  // the temporary file it writes to, deleted when closed
    };
    std::vector<Running> running;
};

Workers::Workers(std::function<int(const Item&)> work) : work_(std::move(work)), state_(new State) {}
Workers::~Workers() {
    for (const State::Running& w : state_->running) {
        CloseHandle(w.process);
        CloseHandle(w.output);
    }
}
size_t Workers::running() const { return state_->running.size(); }

std::string Workers::start(const Item& item) {
    char program[MAX_PATH], folder[MAX_PATH], temporary[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, program, sizeof program);
    if (n == 0 || n >= sizeof program) return "cannot find the program: " + last_error();
    const DWORD f = GetTempPathA(sizeof folder, folder);
    if (f == 0 || f >= sizeof folder || GetTempFileNameA(folder, "vxw", 0, temporary) == 0)
        return "cannot make a temporary file: " + last_error();
    const HANDLE output = CreateFileA(temporary, GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (output == INVALID_HANDLE_VALUE) {
        const std::string why = last_error();
        DeleteFileA(temporary);
        return "cannot make a temporary file: " + why;
    }
    std::string command = quoted(program) + " --batch-worker " + quoted(item.in) + " " + quoted(item.out);
    for (int i = 1; i < __argc; ++i) command += " " + quoted(__argv[i]);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION info{};
    // Only this worker's file is inheritable while it starts; a worker that
    // crashes ends at once, without the system's error window (the error
    // mode is inherited).
    SetHandleInformation(output, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    const UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    const BOOL started =
        CreateProcessA(program, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info);
    const std::string why = started ? std::string() : last_error();
    SetErrorMode(mode);
    SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
    if (!started) {
        CloseHandle(output);
        return why;
    }
    CloseHandle(info.hThread);
    state_->running.push_back({&item, info.hProcess, output});
    return {};
}

std::optional<Ended> Workers::wait(std::string& problem) {
    std::vector<HANDLE> processes;
    for (const State::Running& w : state_->running) processes.push_back(w.process);
    // WaitForMultipleObjects takes 64 handles at most: more are waited for
    // in turns.
    size_t index = processes.size();
    for (DWORD pause = INFINITE; index == processes.size();) {
        if (processes.size() > MAXIMUM_WAIT_OBJECTS) pause = 10;
        for (size_t first = 0; first < processes.size() && index == processes.size(); first += MAXIMUM_WAIT_OBJECTS) {
            const DWORD count = static_cast<DWORD>(std::min<size_t>(processes.size() - first, MAXIMUM_WAIT_OBJECTS));
            const DWORD r = WaitForMultipleObjects(count, processes.data() + first, FALSE, pause);
            if (r == WAIT_FAILED) {
                problem = last_error();
                return std::nullopt;
            }
            if (r < WAIT_OBJECT_0 + count) index = first + (r - WAIT_OBJECT_0);
        }
    }
    const State::Running w = state_->running[index];
    state_->running.erase(state_->running.begin() + static_cast<std::ptrdiff_t>(index));
    Ended ended{w.item, {}, std::nullopt, {}};
    DWORD code = 0;
    if (GetExitCodeProcess(w.process, &code)) {
        // An exception that ended it is an NTSTATUS error code.
        if (code >= 0xC0000000u) {
            const char* what = code == 0xC0000005u   ? "access violation, "
                               : code == 0xC000001Du ? "illegal instruction, "
                               : code == 0xC00000FDu ? "stack overflow, "
                               : code == 0xC0000409u ? "stack buffer overrun, "
                                                     : "";
            char text[64];
            std::snprintf(text, sizeof text, "%sexception 0x%08lX", what, static_cast<unsigned long>(code));
            ended.stopped = text;
        } else {
            ended.status = static_cast<int>(code);
        }
    }
    CloseHandle(w.process);
    // What it said, up to 1 MB: one that says without end is cut short.
    SetFilePointer(w.output, 0, nullptr, FILE_BEGIN);
    char buf[4096];
    DWORD got = 0;
    while (ended.said.size() < (1u << 20) && ReadFile(w.output, buf, sizeof buf, &got, nullptr) && got > 0)
        ended.said.append(buf, got);
    CloseHandle(w.output);
    return ended;
}

}  // namespace vertexa::convert
