// vertexa_rc: compiles a resource script (.rc) into C++ tables for the
// platform stand-in.
//
//   vertexa_rc SCRIPT.rc OUTPUT.cpp [MODULE-NAME]
//
// Reads DIALOG and DIALOGEX templates (STYLE, EXSTYLE, CAPTION, FONT and the
// control statements DEFPUSHBUTTON, PUSHBUTTON, LTEXT, CTEXT, RTEXT,
// GROUPBOX, CHECKBOX, AUTOCHECKBOX, EDITTEXT, CONTROL) and STRINGTABLE
// blocks. Names come from #define lines of included headers and from the
// Windows constants below; headers of the Windows SDK (afxres.h, winres.h,
// windows.h, commctrl.h) are known and not read. Writes the tables and the
// module's AfxGetStaticModuleState, or exits 1 with "file:line: message".
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Failure {
    std::string message;
};

const std::map<std::string, long> kWindowsNames = {
    {"IDOK", 1}, {"IDCANCEL", 2}, {"IDABORT", 3}, {"IDRETRY", 4}, {"IDIGNORE", 5}, {"IDYES", 6}, {"IDNO", 7},
    {"IDC_STATIC", -1},
    {"WS_POPUP", 0x80000000L}, {"WS_CHILD", 0x40000000L}, {"WS_VISIBLE", 0x10000000L},
    {"WS_DISABLED", 0x08000000L}, {"WS_CAPTION", 0x00C00000L}, {"WS_BORDER", 0x00800000L},
    {"WS_VSCROLL", 0x00200000L}, {"WS_HSCROLL", 0x00100000L}, {"WS_SYSMENU", 0x00080000L},
    {"WS_GROUP", 0x00020000L}, {"WS_TABSTOP", 0x00010000L},
    {"DS_MODALFRAME", 0x80}, {"DS_SETFONT", 0x40}, {"DS_3DLOOK", 0x4}, {"DS_CENTER", 0x800},
    {"BS_PUSHBUTTON", 0}, {"BS_DEFPUSHBUTTON", 1}, {"BS_CHECKBOX", 2}, {"BS_AUTOCHECKBOX", 3},
    {"BS_GROUPBOX", 7},
    {"ES_LEFT", 0}, {"ES_CENTER", 1}, {"ES_RIGHT", 2}, {"ES_MULTILINE", 4}, {"ES_AUTOVSCROLL", 0x40},
    {"ES_AUTOHSCROLL", 0x80}, {"ES_READONLY", 0x800}, {"ES_WANTRETURN", 0x1000},
    {"SS_LEFT", 0}, {"SS_CENTER", 1}, {"SS_RIGHT", 2}, {"SS_SUNKEN", 0x1000},
    {"WS_EX_STATICEDGE", 0x20000}, {"WS_EX_CLIENTEDGE", 0x200},
};

const char* const kKnownHeaders[] = {"afxres.h", "winres.h", "windows.h", "commctrl.h", "winresrc.h"};

struct Token {
    enum Kind { name, number, text, punct, end } kind = end;
    std::string value;
    long number_value = 0;
    int line = 0;
};

class Lexer {
public:
    Lexer(std::string source, std::string file) : src_(std::move(source)), file_(std::move(file)) {}

    // The next token; directive lines are handed to `directive` whole.
    template <class Directive>
    Token next(Directive&& directive) {
        for (;;) {
            skip_blanks();
            if (pos_ >= src_.size()) return Token{Token::end, "", 0, line_};
            if (src_[pos_] == '#' && at_line_start()) {
                size_t e = src_.find('\n', pos_);
                if (e == std::string::npos) e = src_.size();
                std::string text = src_.substr(pos_, e - pos_);
                int line = line_;
                pos_ = e;
                directive(text, line);
                continue;
            }
            break;
        }
        Token t;
        t.line = line_;
        char c = src_[pos_];
        if (c == '"') {
            t.kind = Token::text;
            t.value = read_text();
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '-' && pos_ + 1 < src_.size() && std::isdigit(static_cast<unsigned char>(src_[pos_ + 1])))) {
            size_t start = pos_;
            ++pos_;
            while (pos_ < src_.size() && std::isalnum(static_cast<unsigned char>(src_[pos_]))) ++pos_;
            std::string digits = src_.substr(start, pos_ - start);
            if (!digits.empty() && (digits.back() == 'L' || digits.back() == 'l')) digits.pop_back();
            char* stop = nullptr;
            t.number_value = std::strtol(digits.c_str(), &stop, 0);
            if (stop == nullptr || *stop != '\0') fail("bad number " + digits);
            t.kind = Token::number;
            t.value = digits;
        } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t start = pos_;
            while (pos_ < src_.size() && (std::isalnum(static_cast<unsigned char>(src_[pos_])) || src_[pos_] == '_')) ++pos_;
            t.kind = Token::name;
            t.value = src_.substr(start, pos_ - start);
        } else {
            t.kind = Token::punct;
            t.value = std::string(1, c);
            ++pos_;
        }
        return t;
    }

    [[noreturn]] void fail(const std::string& message) const {
        throw Failure{file_ + ":" + std::to_string(line_) + ": " + message};
    }

private:
    bool at_line_start() const {
        for (size_t i = pos_; i > 0; --i) {
            char p = src_[i - 1];
            if (p == '\n') return true;
            if (p != ' ' && p != '\t') return false;
        }
        return true;
    }

    void skip_blanks() {
        while (pos_ < src_.size()) {
            char c = src_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                ++pos_;
            } else if (src_.compare(pos_, 2, "//") == 0) {
                while (pos_ < src_.size() && src_[pos_] != '\n') ++pos_;
            } else if (src_.compare(pos_, 2, "/*") == 0) {
                size_t e = src_.find("*/", pos_ + 2);
                if (e == std::string::npos) fail("unterminated comment");
                for (size_t i = pos_; i < e; ++i)
                    if (src_[i] == '\n') ++line_;
                pos_ = e + 2;
            } else {
                break;
            }
        }
    }

    // A quoted text with the resource compiler's escapes: \n \t \r \a \\ \"
    // and "" for one quote.
    std::string read_text() {
        std::string out;
        ++pos_;
        for (;;) {
            if (pos_ >= src_.size() || src_[pos_] == '\n') fail("unterminated text");
            char c = src_[pos_++];
            if (c == '"') {
                if (pos_ < src_.size() && src_[pos_] == '"') {
                    out += '"';
                    ++pos_;
                    continue;
                }
                return out;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= src_.size()) fail("unterminated text");
            char e = src_[pos_++];
            switch (e) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'a': out += '\a'; break;
            case '\\': out += '\\'; break;
            case '"': out += '"'; break;
            default: fail(std::string("unknown escape \\") + e);
            }
        }
    }

    std::string src_;
    std::string file_;
    size_t pos_ = 0;
    int line_ = 1;
};

struct Control {
    std::string cls, text;
    long id = 0;
    long x = 0, y = 0, w = 0, h = 0;
    unsigned long style = 0;
};

struct Dialog {
    long id = 0;
    std::string caption, font;
    long font_size = 0;
    long x = 0, y = 0, w = 0, h = 0;
    unsigned long style = 0;
    std::vector<Control> controls;
};

std::string read_file(const std::string& path, bool& ok) {
    std::ifstream in(path, std::ios::binary);
    ok = static_cast<bool>(in);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string folder_of(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

class Compiler {
public:
    explicit Compiler(const std::string& path) : path_(path) {}

    void run() {
        bool ok = false;
        std::string source = read_file(path_, ok);
        if (!ok) throw Failure{path_ + ": cannot read"};
        lexer_ = std::make_unique<Lexer>(source, path_);
        advance();
        while (tok_.kind != Token::end) statement();
    }

    std::vector<Dialog> dialogs;
    std::vector<std::pair<long, std::string>> strings;

private:
    void directive(const std::string& line, int number) {
        std::istringstream in(line.substr(1));
        std::string word;
        in >> word;
        if (word == "include") {
            std::string name;
            in >> name;
            if (name.size() < 2) throw Failure{path_ + ":" + std::to_string(number) + ": bad #include"};
            name = name.substr(1, name.size() - 2);
            for (const char* known : kKnownHeaders)
                if (name == known) return;
            bool ok = false;
            std::string header = read_file(folder_of(path_) + name, ok);
            if (!ok) throw Failure{path_ + ":" + std::to_string(number) + ": cannot read " + name};
            std::istringstream lines(header);
            std::string l;
            while (std::getline(lines, l)) {
                size_t p = l.find_first_not_of(" \t");
                if (p != std::string::npos && l[p] == '#') define_line(l.substr(p + 1));
            }
        } else if (word == "define") {
            define_line(line.substr(1));
        } else if (word != "pragma") {
            throw Failure{path_ + ":" + std::to_string(number) + ": unsupported directive #" + word};
        }
    }

    void define_line(const std::string& body) {
        std::istringstream in(body);
        std::string word, name, value;
        in >> word >> name >> value;
        if (word != "define" || name.empty() || value.empty()) return;
        char* stop = nullptr;
        long v = std::strtol(value.c_str(), &stop, 0);
        if (stop != nullptr && *stop == '\0') {
            defines_[name] = v;
        } else if (auto it = lookup(value); it.first) {
            defines_[name] = it.second;
        }
    }

    std::pair<bool, long> lookup(const std::string& name) const {
        if (auto it = defines_.find(name); it != defines_.end()) return {true, it->second};
        if (auto it = kWindowsNames.find(name); it != kWindowsNames.end()) return {true, it->second};
        return {false, 0};
    }

    void advance() {
        tok_ = lexer_->next([this](const std::string& l, int n) { directive(l, n); });
    }

    [[noreturn]] void fail(const std::string& message) const {
        throw Failure{path_ + ":" + std::to_string(tok_.line) + ": " + message};
    }

    bool is(const char* name) const { return tok_.kind == Token::name && tok_.value == name; }
    bool is_punct(char c) const { return tok_.kind == Token::punct && tok_.value[0] == c; }

    void comma() {
        if (!is_punct(',')) fail("',' expected");
        advance();
    }
    void optional_comma() {
        if (is_punct(',')) advance();
    }

    long term() {
        if (is_punct('(')) {
            advance();
            long v = expression(0);
            if (!is_punct(')')) fail("')' expected");
            advance();
            return v;
        }
        if (tok_.kind == Token::number) {
            long v = tok_.number_value;
            advance();
            return v;
        }
        if (tok_.kind == Token::name) {
            auto [found, v] = lookup(tok_.value);
            if (!found) fail("unknown name " + tok_.value);
            advance();
            return v;
        }
        fail("number or name expected");
    }

    // Terms joined with '|' (and '+'); "NOT x" clears x from what is built.
    long expression(long start) {
        long value = start;
        bool first = true;
        for (;;) {
            bool negate = false;
            if (is("NOT")) {
                negate = true;
                advance();
            }
            long v = term();
            if (negate) {
                value &= ~v;
            } else if (first && start == 0) {
                value = v;
            } else {
                value |= v;
            }
            first = false;
            if (is_punct('|') || is_punct('+')) {
                advance();
                continue;
            }
            return value;
        }
    }

    long number() { return expression(0); }

    std::string text() {
        if (tok_.kind != Token::text) fail("text expected");
        std::string t = tok_.value;
        advance();
        return t;
    }

    void statement() {
        if (is("STRINGTABLE")) {
            advance();
            while (is("DISCARDABLE") || is("MOVEABLE") || is("PURE") || is("PRELOAD") || is("LOADONCALL")) advance();
            begin();
            while (!at_end_of_block()) {
                long id = number();
                optional_comma();
                strings.emplace_back(id, text());
            }
            advance();
            return;
        }
        long id = number();
        if (!is("DIALOG") && !is("DIALOGEX")) fail("DIALOG, DIALOGEX or STRINGTABLE expected");
        bool ex = is("DIALOGEX");
        advance();
        dialog(id, ex);
    }

    void begin() {
        if (!is("BEGIN") && !is_punct('{')) fail("BEGIN expected");
        advance();
    }
    bool at_end_of_block() {
        if (tok_.kind == Token::end) fail("END expected");
        return is("END") || is_punct('}');
    }

    void dialog(long id, bool ex) {
        Dialog d;
        d.id = id;
        while (is("DISCARDABLE") || is("MOVEABLE") || is("PURE") || is("PRELOAD") || is("LOADONCALL")) advance();
        d.x = number();
        comma();
        d.y = number();
        comma();
        d.w = number();
        comma();
        d.h = number();
        if (ex && is_punct(',')) {  // help id
            advance();
            number();
        }
        bool styled = false;
        unsigned long extra = 0;
        for (;;) {
            if (is("STYLE")) {
                advance();
                d.style = static_cast<unsigned long>(expression(0));
                styled = true;
            } else if (is("EXSTYLE")) {
                advance();
                expression(0);
            } else if (is("CAPTION")) {
                advance();
                d.caption = text();
                extra |= 0x00C00000UL;
            } else if (is("FONT")) {
                advance();
                d.font_size = number();
                comma();
                d.font = text();
                while (is_punct(',')) {  // weight, italic, charset
                    advance();
                    number();
                }
                extra |= 0x40UL;
            } else {
                break;
            }
        }
        if (!styled) d.style = 0x80000000UL | 0x00800000UL | 0x00080000UL;
        d.style |= extra;
        begin();
        while (!at_end_of_block()) d.controls.push_back(control(ex));
        advance();
        dialogs.push_back(std::move(d));
    }

    Control control(bool ex) {
        const unsigned long child_visible = 0x40000000UL | 0x10000000UL;
        const unsigned long tabstop = 0x00010000UL, group = 0x00020000UL, border = 0x00800000UL;
        struct Kind {
            const char* keyword;
            const char* cls;
            unsigned long style;
        };
        static const Kind kinds[] = {
            {"DEFPUSHBUTTON", "Button", 1 | tabstop}, {"PUSHBUTTON", "Button", 0 | tabstop},
            {"LTEXT", "Static", 0 | group},           {"CTEXT", "Static", 1 | group},
            {"RTEXT", "Static", 2 | group},           {"GROUPBOX", "Button", 7},
            {"CHECKBOX", "Button", 2 | tabstop},      {"AUTOCHECKBOX", "Button", 3 | tabstop},
        };
        Control c;
        if (tok_.kind != Token::name) fail("control statement expected");
        std::string keyword = tok_.value;
        advance();
        if (keyword == "CONTROL") {
            c.text = text();
            comma();
            c.id = number();
            comma();
            c.cls = text();
            std::string upper;
            for (char ch : c.cls) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            if (upper == "BUTTON") c.cls = "Button";
            if (upper == "EDIT") c.cls = "Edit";
            if (upper == "STATIC") c.cls = "Static";
            comma();
            c.style = static_cast<unsigned long>(expression(static_cast<long>(child_visible)));
            comma();
            position(c);
        } else if (keyword == "EDITTEXT") {
            c.cls = "Edit";
            c.id = number();
            comma();
            position(c);
            c.style = child_visible | border | tabstop;
            if (is_punct(',')) {
                advance();
                c.style = static_cast<unsigned long>(expression(static_cast<long>(c.style)));
            }
        } else {
            const Kind* kind = nullptr;
            for (const Kind& k : kinds)
                if (keyword == k.keyword) kind = &k;
            if (kind == nullptr) fail("unknown control statement " + keyword);
            c.cls = kind->cls;
            c.text = text();
            comma();
            c.id = number();
            comma();
            position(c);
            c.style = child_visible | kind->style;
            if (is_punct(',')) {
                advance();
                c.style = static_cast<unsigned long>(expression(static_cast<long>(c.style)));
            }
        }
        while (is_punct(',')) {  // extended style, help id
            advance();
            expression(0);
        }
        (void)ex;
        c.id &= 0xFFFF;
        return c;
    }

    void position(Control& c) {
        c.x = number();
        comma();
        c.y = number();
        comma();
        c.w = number();
        comma();
        c.h = number();
    }

    std::string path_;
    std::unique_ptr<Lexer> lexer_;
    Token tok_;
    std::map<std::string, long> defines_;
};

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 32 && c < 127 && c != '?') {
            out += static_cast<char>(c);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\%03o", c);
            out += esc;
        }
    }
    return out + "\"";
}

std::string generate(const Compiler& rc, const std::string& source, const std::string& module) {
    std::ostringstream o;
    o << "// Written by vertexa_rc from " << source << "; do not edit.\n"
      << "#include \"platform/mfc.h\"\n\nnamespace {\n\n";
    for (const Dialog& d : rc.dialogs) {
        o << "const vxp::ControlTemplate dialog_" << d.id << "_controls[] = {\n";
        for (const Control& c : d.controls)
            o << "    {" << quoted(c.cls) << ", " << quoted(c.text) << ", " << c.id << ", " << c.x << ", " << c.y
              << ", " << c.w << ", " << c.h << ", 0x" << std::hex << c.style << std::dec << "u},\n";
        if (d.controls.empty()) o << "    {\"\", \"\", 0, 0, 0, 0, 0, 0},\n";
        o << "};\n\n";
    }
    o << "const vxp::DialogTemplate dialogs[] = {\n";
    for (const Dialog& d : rc.dialogs)
        o << "    {" << d.id << ", " << quoted(d.caption) << ", " << quoted(d.font) << ", " << d.font_size << ", " << d.x
          << ", " << d.y << ", " << d.w << ", " << d.h << ", 0x" << std::hex << d.style << std::dec << "u, dialog_"
          << d.id << "_controls, " << d.controls.size() << "},\n";
    if (rc.dialogs.empty()) o << "    {0, \"\", \"\", 0, 0, 0, 0, 0, 0, nullptr, 0},\n";
    o << "};\n\nconst vxp::StringEntry strings[] = {\n";
    for (const auto& [id, text] : rc.strings) o << "    {" << id << ", " << quoted(text) << "},\n";
    if (rc.strings.empty()) o << "    {0, nullptr},\n";
    o << "};\n\n"
      << "const vxp::ModuleResources resources = {" << quoted(module) << ", dialogs, " << rc.dialogs.size()
      << ", strings, " << rc.strings.size() << "};\n"
      << "AFX_MODULE_STATE module_state = {&resources};\n\n}  // namespace\n\n"
      << "AFX_MODULE_STATE* AfxGetStaticModuleState() { return &module_state; }\n";
    return o.str();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: vertexa_rc SCRIPT.rc OUTPUT.cpp [MODULE-NAME]\n");
        return 2;
    }
    try {
        Compiler rc(argv[1]);
        rc.run();
        std::string module = argc == 4 ? argv[3] : "module";
        std::string out = generate(rc, argv[1], module);
        std::string temp = std::string(argv[2]) + ".tmp";
        {
            std::ofstream f(temp, std::ios::binary | std::ios::trunc);
            f << out;
            if (!f.good()) throw Failure{std::string(argv[2]) + ": cannot write"};
        }
        if (std::rename(temp.c_str(), argv[2]) != 0) throw Failure{std::string(argv[2]) + ": cannot write"};
    } catch (const Failure& f) {
        std::fprintf(stderr, "vertexa_rc: %s\n", f.message.c_str());
        return 1;
    }
    return 0;
}
