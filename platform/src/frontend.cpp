// Front-end selection and the headless front end with its script.
#include <cstdio>
#include <memory>
#include <unistd.h>

#include "internal.h"

using namespace vxp::detail;

namespace {

enum class StepKind { type, key, focus, click, close, call, browse_select, browse_choose, browse_cancel, file_choose, file_cancel };

struct Step {
    StepKind kind = StepKind::type;
    std::string text{};
    int value = 0;
    bool shift = false;
    std::function<void(HWND)> call{};
};

std::deque<Step> script;
size_t mismatches = 0;

bool is_dialog_step(StepKind k) { return k <= StepKind::call; }
bool is_browser_step(StepKind k) { return k >= StepKind::browse_select && k <= StepKind::browse_cancel; }
bool is_file_step(StepKind k) { return k == StepKind::file_choose || k == StepKind::file_cancel; }

void mismatch(const char* waiting) {
    ++mismatches;
    std::fprintf(stderr, "headless script: the next step is not for the %s that waits; answered as a cancel\n",
                 waiting);
}

HWND key_target(HWND dialog) {
    HWND focus = GetFocus();
    return focus != nullptr && is_inside(focus, dialog) ? focus : dialog;
}

class Headless : public FrontEndImpl {
public:
    bool wait_input(HWND dialog) override {
        if (script.empty()) return false;
        if (!is_dialog_step(script.front().kind)) {
            mismatch("dialog");
            return false;
        }
        Step step = std::move(script.front());
        script.pop_front();
        switch (step.kind) {
        case StepKind::type:
            for (char c : step.text)
                PostMessageA(key_target(dialog), WM_CHAR, static_cast<unsigned char>(c), 0);
            break;
        case StepKind::key:
            PostMessageA(key_target(dialog), WM_KEYDOWN, static_cast<WPARAM>(step.value), step.shift ? 1 : 0);
            break;
        case StepKind::focus:
            SetFocus(vxp::dialog_item(dialog, step.value));
            break;
        case StepKind::click:
            PostMessageA(vxp::dialog_item(dialog, step.value), BM_CLICK, 0, 0);
            break;
        case StepKind::close:
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            break;
        case StepKind::call:
            step.call(dialog);
            break;
        default:
            break;
        }
        return true;
    }

    bool run_browser(HWND, const std::function<void(const std::string&, bool)>& select, std::string& chosen) override {
        while (!script.empty()) {
            if (!is_browser_step(script.front().kind)) {
                mismatch("folder browser");
                return false;
            }
            Step step = std::move(script.front());
            script.pop_front();
            if (step.kind == StepKind::browse_cancel) return false;
            select(step.text, !step.text.empty());
            if (step.kind == StepKind::browse_choose) {
                if (step.text.empty()) return false;  // an item without a path cannot be chosen
                chosen = step.text;
                return true;
            }
        }
        return false;
    }

    bool run_file_dialog(const CFileDialog&, std::string& path) override {
        if (script.empty()) return false;
        if (!is_file_step(script.front().kind)) {
            mismatch("file dialog");
            return false;
        }
        Step step = std::move(script.front());
        script.pop_front();
        if (step.kind == StepKind::file_cancel) return false;
        path = step.text;
        return true;
    }
};

std::unique_ptr<FrontEndImpl> current;
vxp::FrontEnd current_kind = vxp::FrontEnd::headless;

void push(Step step) { script.push_back(std::move(step)); }

}  // namespace

namespace vxp::detail {

FrontEndImpl* make_headless() { return new Headless; }

FrontEndImpl& front_end() {
    if (!current) current.reset(make_headless());
    return *current;
}

}  // namespace vxp::detail

namespace vxp {

void select_front_end(FrontEnd front_end) {
    current.reset(front_end == FrontEnd::terminal ? make_terminal() : make_headless());
    current_kind = front_end;
}

FrontEnd current_front_end() { return current_kind; }

bool terminal_available() { return isatty(STDIN_FILENO) == 1 && isatty(STDOUT_FILENO) == 1; }

void script_type(const std::string& text) { push({StepKind::type, text}); }
void script_key(int vk, bool shift) { push({StepKind::key, {}, vk, shift}); }
void script_focus(int control_id) { push({StepKind::focus, {}, control_id}); }
void script_click(int control_id) { push({StepKind::click, {}, control_id}); }
void script_close() { push({StepKind::close}); }
void script_call(std::function<void(HWND)> check) { push({StepKind::call, {}, 0, false, std::move(check)}); }
void script_browse_select(const std::string& path) { push({StepKind::browse_select, path}); }
void script_browse_choose(const std::string& path) { push({StepKind::browse_choose, path}); }
void script_browse_cancel() { push({StepKind::browse_cancel}); }
void script_file_choose(const std::string& path) { push({StepKind::file_choose, path}); }
void script_file_cancel() { push({StepKind::file_cancel}); }
size_t script_remaining() { return script.size(); }
size_t script_mismatches() { return mismatches; }
void script_clear() {
    script.clear();
    mismatches = 0;
}

}  // namespace vxp
