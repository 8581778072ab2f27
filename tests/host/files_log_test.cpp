// File helpers, whole-file replacement, image lookup, the import log, the
// host allocator, the host object list and text in UTF-8. (The byte order
// helpers are checked through the reader's field readers.)
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>

#include "host_test_util.h"
#include "vertexa/list.h"
#include "vertexa/memory.h"
#include "vertexa/scene.h"
#include "vertexa/services.h"
#include "vertexa/text.h"

namespace {

using host_test::read_file;
using host_test::scratch_folder;
using host_test::write_file;

TEST(FileHelpers, SizeKeepsThePositionReadLineDropsLineEndsAndLeavesTheRestOfLongLines) {
    const std::string path = scratch_folder() + "/data.txt";
    write_file(path, "first\r\n\nlone\rcr\nabcdefghij\nabcd\r\nijkl\rm\nlast");
    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 2, SEEK_SET);
    EXPECT_EQ(m_filesize(f), 44);
    EXPECT_EQ(m_filepos(f), 2);
    EXPECT_EQ(m_filesize(nullptr), -1);
    std::rewind(f);
    // Each read: the size given and the line read. A CR alone is data; a line
    // that exactly fits takes its line end too; size 1 leaves room for the
    // NUL only.
    const std::pair<int, const char*> reads[] = {
        {64, "first"}, {64, ""}, {64, "lone\rcr"}, {5, "abcd"}, {5, "efgh"}, {5, "ij"}, {5, "abcd"}, {5, "ijkl"},
        {5, "\rm"}, {1, ""}, {0, nullptr}, {-1, nullptr}, {64, "last"}, {64, nullptr},
    };
    char line[64];
    for (const auto& [size, text] : reads) EXPECT_STREQ(m_read_line(line, size, f), text) << size;
    std::fclose(f);
}

TEST(FileHelpers, GetPathCutsAtTheLastSlashOnly) {
    struct {
        char directory[260];
        char guard[4] = {'G', 'G', 'G', 'G'};
    } out;
    const struct {
        std::string path, folder;
    } cases[] = {
        {"/home/user/ship.cob", "/home/user/"},
#if defined(_WIN32)  // a backslash separates folders too (elsewhere: see the image lookup)
        {"/x/model/..\\outside\\m.cob", "/x/model/..\\outside\\"},
        {"a\\b/ship.scn", "a\\b/"},
        {"C:\\maps\\ship.scn", "C:\\maps\\"},
#endif
        {"ship.cob", "./"},
        {std::string(400, 'x') + "/file.cob", ""},  // too long: not cut into another folder
        {std::string(258, 'x') + "/file.cob", std::string(258, 'x') + "/"},
    };
    for (const auto& c : cases) {
        m_getpath(out.directory, c.path.c_str());
        EXPECT_EQ(std::string(out.directory), c.folder) << c.path.substr(0, 30);
    }
    m_getpath(out.directory, nullptr);
    EXPECT_STREQ(out.directory, "");
    EXPECT_EQ(std::string(out.guard, 4), "GGGG");
}

// Images are looked for in the model's folder (as the import driver adds it)
// and in the given folders, by the last component of their name, never
// anywhere else: backslashes in the model's path or a folder name, a ';' in
// the model's folder, Windows paths in image names lead nowhere else.
TEST(ImageLookup, OnlyInTheModelsFolderAndTheGivenOnes) {
#if defined(_WIN32)
    GTEST_SKIP() << "the cases are of a system where a backslash is part of a name";
#endif
    const std::string root = scratch_folder() + "/";
    for (const char* folder : {"model", "outside", "a\\b", "a/b", "x;y", "x", "y"})
        std::filesystem::create_directories(root + folder);
    for (const char* file : {"outside/wood.png", "model/in.png", "a\\b/tex.png", "a/b/tex.png", "x;y/p.png",
                             "x/q.png", "y/q.png"})
        write_file(root + file, "image");
    std::filesystem::create_symlink(root + "outside/wood.png", root + "model/link.png");
    const struct {
        std::string model, search, image, found;
    } cases[] = {
        {"model/..\\outside\\m.cob", "", "wood.png", ""},
        {"model/..\\outside\\m.cob", "", "C:\\maps\\IN.PNG", "model/in.png"},
        {"model/m.cob", "", "..\\outside\\wood.png", ""},
        {"a\\b/m.cob", "", "tex.png", "a\\b/tex.png"},
        {"model/m.cob", root + "a\\b;", "d:\\tS\\tex.png", "a\\b/tex.png"},
        {"x;y/m.cob", "", "p.png", "x;y/p.png"},
        {"x;y/m.cob", "", "q.png", ""},                       // not in x/ nor y/
        {"model/m.cob", root + "x;" + root + "y/;", "q.png", "x/q.png"},
        {"model/m.cob", "", "link.png", "model/link.png"},  // a link in a folder is followed
    };
    for (const auto& c : cases) {
        MMapList maps;
        char folder[260];
        m_getpath(folder, (root + c.model).c_str());
        maps.AddSearchPath(folder);
        maps.AddSearchPath(c.search.c_str());
        EXPECT_EQ(maps.Resolve(c.image), c.found.empty() ? "" : root + c.found) << c.model << " " << c.image;
    }
}

TEST(ReplaceFile, ANameAsLongAsTheFolderTakesIsReplacedWithNothingLeftBeside) {
#if defined(_WIN32)
    GTEST_SKIP() << "a Windows path is at most 260 characters in all";
#endif
    const std::string folder = scratch_folder();
    const std::string path = folder + "/" + std::string(255, 'p');
    write_file(path, "old");
    MReplaceFile* file = m_replace_open(path.c_str());
    ASSERT_NE(file, nullptr) << std::strerror(errno);
    std::fputs("new", m_replace_stream(file));
    EXPECT_EQ(m_replace_commit(file), 1);
    EXPECT_EQ(read_file(path), "new");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
}

TEST(Log, WritesExactlyTheFormattedText) {
    const std::string folder = scratch_folder();
    const std::string path = folder + "/import.log";
    write_file(path, "old contents\n");
    {
        LogFile log("ship.cob", path.c_str());
        ASSERT_NE(log.Get_FILE(), nullptr);
        log.write(0, "Header %s\n", "OK");
        log.write(2, "vertex %d: %.2f\r\n", 7, 1.5);
        log.write("no level %c", '!');
    }
    EXPECT_EQ(read_file(path), "Header OK\nvertex 7: 1.50\r\nno level !");

    LogFile quiet("ship.cob", nullptr);
    EXPECT_EQ(quiet.Get_FILE(), nullptr);
    quiet.write(0, "dropped %d\n", 1);
    quiet.write("dropped\n");
    LogFile unwritable("ship.cob", (folder + "/missing/import.log").c_str());
    EXPECT_EQ(unwritable.Get_FILE(), nullptr);
    unwritable.write(1, "dropped\n");
}

using vertexa::alloc_fail_after;
using vertexa::alloc_stats;

// Turns failure injection off even when an assertion leaves the test early.
struct NoFailureAfterwards {
    ~NoFailureAfterwards() { alloc_fail_after(0); }
};

TEST(HostAllocator, BlocksAreAlignedCountedReleasedAndFailOnlyWhereTold) {
    NoFailureAfterwards guard;
    const vertexa::AllocStats before = alloc_stats();
    void* blocks[3] = {my_malloc(0), my_malloc(1000), my_strdup("d:\\map\\;")};
    for (void* b : blocks) {
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % alignof(std::max_align_t), 0u);
    }
    std::memset(blocks[1], 0xAB, 1000);
    EXPECT_STREQ(static_cast<char*>(blocks[2]), "d:\\map\\;");
    EXPECT_EQ(my_strdup(nullptr), nullptr);
    EXPECT_EQ(alloc_stats().live_blocks, before.live_blocks + 3);
    EXPECT_EQ(alloc_stats().live_bytes, before.live_bytes + 1009);
    EXPECT_EQ(alloc_stats().total_allocs, before.total_allocs + 3);
    for (void* b : blocks) my_free(b);
    my_free(nullptr);
    EXPECT_EQ(alloc_stats().live_bytes, before.live_bytes);
    EXPECT_GE(alloc_stats().peak_bytes, before.live_bytes + 1009);  // the high-water mark stays

    alloc_fail_after(2);
    void* first = my_malloc(8);
    EXPECT_EQ(my_malloc(8), nullptr);
    void* third = my_malloc(8);
    EXPECT_TRUE(first != nullptr && third != nullptr);
    my_free(first);
    my_free(third);
    alloc_fail_after(1);
    EXPECT_EQ(my_strdup("x"), nullptr);
    struct Thing : vertexa::HostObject {
        int value;
    };
    alloc_fail_after(1);
    EXPECT_EQ(new Thing, nullptr);  // a host object's new yields null, no exception
    EXPECT_EQ(alloc_stats().live_blocks, before.live_blocks);
}

TEST(HostAllocatorDeathTest, ForeignPointerOrDoubleFreeAborts) {
    // Inside a buffer of our own: only the allocator's check can object.
    alignas(64) static unsigned char buffer[128] = {};
    EXPECT_DEATH(my_free(buffer + 64), "not a live block");
    EXPECT_DEATH(my_free(buffer + 65), "not a block of the host allocator");
    // With the address sanitizer built in, it reports the second release first.
    EXPECT_DEATH(
        {
            void* block = my_malloc(32);
            my_free(block);
            my_free(block);
        },
#if defined(_WIN32)
        "released twice");  // GoogleTest's regular expressions on Windows have no '|'
#else
        "released twice|use-after-free");
#endif
}

// get walks the cursor from where it stands and clamps the index; append
// moves the cursor and the mark to the new tail; a cursor standing nowhere
// yields null and stays; a failed append links nothing.
TEST(HostList, GetWalksTheCursorClampsAndAppendsAreHostBlocks) {
    NoFailureAfterwards guard;
    const vertexa::AllocStats before = alloc_stats();
    MList list;
    int a = 1, b = 2, c = 3, d = 4;
    EXPECT_EQ(list.get(0), nullptr);
    ASSERT_TRUE(list.append(&a) && list.append(&b) && list.append(&c));
    EXPECT_EQ(alloc_stats().live_blocks, before.live_blocks + 3);
    EXPECT_EQ(list.mark, list.tail);
    const struct {
        int32_t index;
        int* item;
        int32_t cursor;
    } gets[] = {{0, &a, 0}, {1, &b, 1}, {7, &c, 2}, {-3, &a, 0}, {INT32_MAX, &c, 2}, {INT32_MIN, &a, 0}};
    for (const auto& g : gets) {
        EXPECT_EQ(list.get(g.index), g.item) << g.index;
        EXPECT_EQ(list.cursor_index, g.cursor) << g.index;
    }
    ASSERT_TRUE(list.append(&d));
    EXPECT_EQ(list.cursor_index, 3);
    EXPECT_EQ(list.mark_index, 3);
    EXPECT_EQ(list.cursor->item, &d);
    EXPECT_EQ(list.tail->prev->prev->prev, list.head);

    list.get(0);
    alloc_fail_after(1);
    EXPECT_FALSE(list.append(&c));
    EXPECT_EQ(list.size(), 4u);
    EXPECT_EQ(list.tail->next, nullptr);
    EXPECT_EQ(list.cursor_index, 0);

    list.cursor_index = -1;
    MListNode* const cursor = list.cursor;
    EXPECT_EQ(list.get(0), nullptr);
    EXPECT_EQ(list.move(1), 1);
    EXPECT_EQ(list.cursor_index, -1);
    EXPECT_EQ(list.cursor, cursor);
    list.free_nodes();
    EXPECT_EQ(list.get(0), nullptr);
    EXPECT_EQ(alloc_stats().live_blocks, before.live_blocks);
}

// Each row: bytes as the system or a trueSpace file gives them, and the UTF-8
// the host must print.
TEST(Text, WindowsCodePageAndNativeNamesBecomeUtf8) {
    struct Row { std::string in, cp1252, native; bool utf8; };
    const Row rows[] = {
        {"Cube", "Cube", "Cube", true},
        {"W\xFCrfel", "W\xC3\xBCrfel", "W\xC3\xBCrfel", false},                 // ü in the code page
        {"\x80\x81\x9F\xA0\xFF", "\xE2\x82\xAC\xC2\x81\xC5\xB8\xC2\xA0\xC3\xBF", "\xE2\x82\xAC\xC2\x81\xC5\xB8\xC2\xA0\xC3\xBF", false},
        {"mod\xC3\xA9le", "mod\xC3\x83\xC2\xA9le", "mod\xC3\xA9le", true},     // already UTF-8: kept as native
        {"\xC0\x80", "\xC3\x80\xE2\x82\xAC", "\xC3\x80\xE2\x82\xAC", false},    // overlong NUL
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC", "\xC3\xAD\xC2\xA0\xE2\x82\xAC", false},  // surrogate
        {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC", false},  // above U+10FFFF
        {"\xE2\x82", "\xC3\xA2\xE2\x80\x9A", "\xC3\xA2\xE2\x80\x9A", false},   // cut sequence
        {"\xF0\x9F\x98\x80", "\xC3\xB0\xC5\xB8\xCB\x9C\xE2\x82\xAC", "\xF0\x9F\x98\x80", true},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(vertexa::is_utf8(r.in), r.utf8) << r.in;
        EXPECT_EQ(vertexa::utf8_from_cp1252(r.in), r.cp1252) << r.in;
        EXPECT_EQ(vertexa::utf8_from_native(r.in), r.native) << r.in;
        EXPECT_TRUE(vertexa::is_utf8(vertexa::utf8_from_native(r.in))) << r.in;
    }
}

}  // namespace
