// Writes the seed corpora of the fuzz targets:
//   make_fuzz_seeds DIR   ->  DIR/import/*, DIR/options/*, DIR/profile/*
// The trueSpace files come from the test suite's writer, in both encodings:
// every chunk kind the reader handles, hole faces, every map kind, CRLF
// lines, and files whose counts, lengths and sizes lie.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "cob_writer.h"

using namespace cobtest;

namespace {

std::string out_dir;
int serial = 0;

void put(const std::string& corpus, const std::string& name, const std::string& bytes) {
    const std::string dir = out_dir + "/" + corpus;
    std::filesystem::create_directories(dir);
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%03d-", ++serial);
    std::ofstream(dir + "/" + prefix + name, std::ios::binary | std::ios::trunc) << bytes;
}

// The everyday polygon with a hole record after its faces.
Polygon box(const std::string& name) {
    Polygon p = cobtest::sample_polygon(name);
    p.faces.push_back({true, 0, 0, {{0, 0}, {1, 1}, {2, 2}}, {}});
    return p;
}

Material mapped(uint16_t number) {
    Material m;
    m.number = number;
    m.red = 0.8f;
    m.alpha = 0.5f;
    m.maps = {{MapKind::Texture, 0, "C:\\tS\\maps\\wood.bmp", 0.25f, 0.5f, 2, 3, 1, {}, {}},
              {MapKind::Bump, 1, "bump.bmp", 0, 0, 1, 1, 0.5f, {}, {}},
              {MapKind::Environment, 2, "sky.bmp", 0, 0, 1, 1, 1, {}, {}}};
    return m;
}

void import_seeds(Encoding e) {
    const std::string tag = e == Encoding::Binary ? "bin" : "asc";
    {
        CobFile f(e);
        Polygon p = box("Box");
        Procedural proc;
        proc.head.number = 2;
        proc.parameters = "marble 1 2 3\n";
        f.group(1, 0, p.axes).polygon(2, 1, p).material(3, 2, mapped(0)).procedural(4, 2, proc).end();
        put("import", tag + "-everything.cob", f.bytes());
        f.crlf(true);
        if (e == Encoding::Ascii) put("import", tag + "-crlf.cob", f.bytes());
    }
    {
        CobFile f(e);
        f.polygon(1, 0, box("A")).polygon(2, 0, box("B")).material(3, 1, Material{}).end();
        put("import", tag + "-two-objects.scn", f.bytes());
    }
    for (int which = 0; which < 3; ++which) {
        CobFile f(e);
        Polygon p = box("Liar");
        if (which == 0) p.vertex_count = 4000000000u;
        if (which == 1) p.uv_count = 65535;
        if (which == 2) p.face_count = 0xFFFFFFFFu;
        p.faces[1].corner_count = 65535;
        f.polygon(1, 0, p).polygon(2, 0, box("Honest")).end();
        put("import", tag + "-lying-count-" + std::to_string(which) + ".cob", f.bytes());
    }
    {
        CobFile f(e);
        Material m = mapped(1);
        m.maps[0].binary_length = 65535;
        m.maps[0].ascii_length = 65535;
        Axes a;
        a.name = "Named";
        a.name_length = 65535;
        f.material(1, 0, m).group(2, 0, a).end();
        put("import", tag + "-lying-lengths.cob", f.bytes());
    }
    {
        CobFile f(e);
        f.chunk("Unkn", 1, 0, "data\n", 0xFFFFFFECll).polygon(2, 0, box("After")).end();
        put("import", tag + "-huge-chunk.cob", f.bytes());
        CobFile g(e);
        g.chunk("PolH", 1, 0, "", 0).chunk("Mat1", 2, 0, "", 0).chunk("Grou", 3, 0, "x", 1).end();
        put("import", tag + "-empty-chunks.cob", g.bytes());
    }
    {
        CobFile f(e);
        f.header("Caligari V00.01" + std::string(e == Encoding::Binary ? "B" : "A") + "HL").polygon(1, 0, box("X"));
        put("import", tag + "-big-endian-header.cob", f.bytes());
    }
}

void options_seeds() {
    // Pieces separated by NUL: a.opt, b.opt, c.opt, then arguments.
    const std::string nul(1, '\0');
    put("options", "file.opt",
        "-verbose = 1;\n-log_file_name = scnin.log;\n// COB in options\n// \n"
        "-home_path = c:\\Truespace\\;\n-image_search_path = d:\\map\\;c:\\map\\;;\n");
    put("options", "nested.opt",
        "@b.opt\n-home_path=/a;\n" + nul + "@c.opt\n  -image_search_path = x;y;  \n" + nul + "@a.opt\n@b.opt\n" + nul +
            "-verbose" + nul + "=" + nul + "2" + nul + "-home_path=" + nul + "/h;");
    put("options", "args.opt",
        "" + nul + nul + nul + "-home_path" + nul + "=/x" + nul + "@a.opt" + nul + "-log_file_name =" + nul +
            "l.log;" + nul + "-verbose=abc" + nul + "-image_search_path");
    put("options", "crlf.opt", "-verbose = 0;\r\n-home_path = c:\\tS\\;\r\n\r\n//x\r\n@a.opt\r\n");
}

void profile_seeds() {
    put("profile", "section-key-value.ini",
        "Specific Settings\nhome_path\nc:\\Truespace\\\n"
        "[Common Settings]\nverbose=1\nlog_file_name=scnin.log\n\n[Specific Settings]\n"
        "home_path=c:\\Truespace\\\nimage_search_path=/home/me/textures/;/mnt/old/tS/maps/;\n");
    put("profile", "crlf-comments.ini",
        "new section\n  new key  \n  spaced value\t\r\n; comment\r\n# other\r\n[common settings]\r\n"
        "VERBOSE = 2 \r\n=novalue\r\n[Common Settings]\r\nverbose=3\r\n[ Specific Settings ]\r\nhome_path\r\n");
    put("profile", "no-section.ini", "a\nb\nc\nkey=before any section\n[x]\n[y\nz=]\n[x]\nb=second x\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds DIR\n");
        return 2;
    }
    out_dir = argv[1];
    import_seeds(Encoding::Binary);
    import_seeds(Encoding::Ascii);
    options_seeds();
    profile_seeds();
    return 0;
}
