// Compiled resources of one module: dialog templates and the string table, as
// the resource compiler (vertexa_rc) writes them from a .rc script.
#pragma once

#include "platform/win_types.h"

namespace vxp {

struct ControlTemplate {
    const char* class_name;  // "Button", "Edit", "Static", "msctls_progress32"
    const char* text;
    int id;                  // 65535 for a control without an id
    int x, y, w, h;          // dialog units
    DWORD style;
};

struct DialogTemplate {
    int id;
    const char* caption;
    const char* font;
    int font_size;
    int x, y, w, h;
    DWORD style;
    const ControlTemplate* controls;
    int control_count;
};

struct StringEntry {
    int id;
    const char* text;
};

struct ModuleResources {
    const char* module_name;
    const DialogTemplate* dialogs;
    int dialog_count;
    const StringEntry* strings;
    int string_count;

    VXP_API const DialogTemplate* FindDialog(int id) const;
    VXP_API const char* FindString(int id) const;
};

}  // namespace vxp
