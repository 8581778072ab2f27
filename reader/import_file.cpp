#include "import_file.h"

#include <cstdio>
#include <cstring>

#include "chunk_stream.h"
#include "cob_import_options.h"
#include "field_readers.h"
#include "reader_state.h"
#include "vertexa/scene.h"
#include "vertexa/services.h"

namespace {

const char kTitle[] = "COB Import Plugin 1.0";
const char kSignature[] = "Caligari V00.01";
constexpr size_t kInputBufferSize = 64 * 1024;

#define VX_STR2(x) #x
#define VX_STR(x) VX_STR2(x)
#if defined(__clang__)
const char kBuildTool[] = "clang-" VX_STR(__clang_major__) "." VX_STR(__clang_minor__);
#elif defined(__GNUC__)
const char kBuildTool[] = "gcc-" VX_STR(__GNUC__) "." VX_STR(__GNUC_MINOR__);
#else
const char kBuildTool[] = "c++";
#endif

const char* byteswap_message(int code) {
    switch (code) {
        case 1: return "ERROR: Native longs are not the same size as Intel longs.";
        case 2: return "ERROR: Native shorts are not the same size as Intel shorts.";
        case 3: return "ERROR: Native floats are not the same size as Intel floats.";
        case 4: return "ERROR: Native doubles are not the same size as Intel doubles.";
        default: return nullptr;
    }
}

void finish_log() {
    delete reader_state.log;
    reader_state.log = nullptr;
}

}  // namespace

void parse_file(MScene* scene, CobImportOptions* options) {
    LogFile* log = reader_state.log;
    log->write(0, reader_state.binary != 0 ? "-> Parsing Binary File\n" : "-> Parsing ASCII File\n");
    reader_state.in = std::fopen(options->Get_Filename(), "rb");
    if (reader_state.in == nullptr) {
        log->write("File %s not found\n", options->Get_Filename());
        return;
    }
    // A larger buffer than stdio's 4 KiB: with it a large binary file took
    // one read system call per 4 KiB. glibc ignores the size unless it is
    // given the buffer; one import runs at a time, so one buffer serves all.
    static char input_buffer[kInputBufferSize];
    std::setvbuf(reader_state.in, input_buffer, _IOFBF, sizeof input_buffer);
    long file_size = m_filesize(reader_state.in);
    reader_state.material_refs_left = material_reference_budget(file_size);
    std::fseek(reader_state.in, 32, SEEK_SET);
    ChunkHeader top;
    top.start = static_cast<uint32_t>(std::ftell(reader_state.in));
    top.size = static_cast<uint32_t>(file_size - 32);
    top.end = top.start + top.size;
    parse_chunks(scene, top);
    std::fseek(reader_state.in, static_cast<long>(top.end), SEEK_SET);
    std::fclose(reader_state.in);
    reader_state.in = nullptr;
}

void import_file(MScene* scene, CobImportOptions* options, MessageCallBack1* callbacks) {
    reader_state.callbacks = callbacks;
    const char* log_name = options->Get_Verbose() == 1 ? options->Get_LogFileName() : nullptr;
    LogFile* log = new LogFile(options->Get_Filename(), log_name);
    if (log == nullptr) return;  // without memory for the log there is nothing to report to
    reader_state.log = log;

    log->write("%s %s %s %s\n", kTitle, __DATE__, __TIME__, kBuildTool);
    options->Print_Options(log->Get_FILE());
    log->write("Parsing %s started ...      \n", options->Get_Filename());

    int swap = init_byteswap();
    if (swap != 0) {
        const char* message = byteswap_message(swap);
        if (message != nullptr) log->write("%s", message);
        finish_log();
        return;
    }

    reader_state.in = std::fopen(options->Get_Filename(), "rb");
    if (reader_state.in == nullptr) {
        log->write("File %s not found\n", options->Get_Filename());
        finish_log();
        return;
    }
    const char* header = read_header_text();
    log->write(0, "-> %s\n", header);
    std::fclose(reader_state.in);
    reader_state.in = nullptr;

    char folder[260];
    m_getpath(folder, options->Get_Filename());
    MMapList* maps = scene->Get_MapList();
    maps->AddSearchPath(folder);
    maps->AddSearchPath(options->image_search_path);

    auto* fallback = new MSurface("DEFAULT");
    if (fallback != nullptr && !scene->Get_SurfaceList()->append(fallback)) {
        delete fallback;
    }

    if (std::strstr(header, kSignature) == nullptr) {
        log->write("No Truespace File\n");
    } else {
        callbacks->status_1("%s        ", options->Get_Filename());
        callbacks->progress_1(100, 100);
        if (header[15] == 'B') {
            reader_state.binary = 1;
            parse_file(scene, options);
        } else if (header[15] == 'A') {
            reader_state.binary = 0;
            parse_file(scene, options);
        } else {
            log->write("Unknown format\n");
        }
    }

    log->write("Postprocessing ...        \n");
    scene->CalculateBoundingBox(0);
    scene->MMake_Default_Cam();
    auto* camera = static_cast<MCamera*>(scene->Get_CameraList()->get(0));
    if (camera != nullptr) camera->camera_flag = 1;
    scene->MMake_Default_Light();
    log->write("Done                            \n");
    finish_log();
}
