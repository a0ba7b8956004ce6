// Console backend: the controls of a dialog as records, addressed by identifier; list boxes.
#include "fw/console/console_window.h"
#include "sys/sys.h"
#include "sys/text.h"

#include <algorithm>

namespace fw {

using namespace console;

void CWnd::SetDlgItemText(int id, const std::string& text) {
    if (Control* c = FindControl(handle_, id)) {
        c->text = text;
        WindowOf(handle_)->shown = false;
    }
}

std::string CWnd::GetDlgItemText(int id) const {
    const Control* c = FindControl(handle_, id);
    return c != nullptr ? c->text : std::string();
}

void CWnd::ShowDlgItem(int id, bool show) {
    if (Control* c = FindControl(handle_, id)) {
        c->visible = show;
        WindowOf(handle_)->shown = false;
    }
}

void CWnd::EnableDlgItem(int id, bool enable) {
    if (Control* c = FindControl(handle_, id)) {
        c->enabled = enable;
        WindowOf(handle_)->shown = false;
    }
}

void CWnd::SetDlgItemFixedFont(int) {} // a terminal's font is fixed already

// The console prints a text whole, on as many lines as it takes.
bool CWnd::DlgItemTextFits(int, const std::string&) const {
    return true;
}

// A console program's session is its terminal's: hanging up is a signal, served as such.
void CWnd::BlockSessionEnd(const std::string&) {}
void CWnd::AllowSessionEnd() {}
void CWnd::PlaceCaretAtStart(int) {} // a printed pane has no caret

void CWnd::CheckDlgButton(int id, bool checked) {
    if (Control* c = FindControl(handle_, id)) {
        c->checked = checked;
        WindowOf(handle_)->shown = false;
    }
}

bool CWnd::IsDlgButtonChecked(int id) const {
    const Control* c = FindControl(handle_, id);
    return c != nullptr && c->checked;
}

int CWnd::ListAddString(int id, const std::string& text) {
    Control* c = FindControl(handle_, id);
    if (c == nullptr)
        return -1;
    auto at = c->items.end();
    if (c->spec.sorted)
        at = std::find_if(c->items.begin(), c->items.end(), [&](const auto& item) {
            return sys::LowerCase(text) < sys::LowerCase(item.first);
        });
    const int index = static_cast<int>(at - c->items.begin());
    c->items.insert(at, {text, 0});
    if (c->selection >= index)
        ++c->selection;
    WindowOf(handle_)->shown = false;
    return index;
}

void CWnd::ListSetItemData(int id, int index, LPARAM data) {
    Control* c = FindControl(handle_, id);
    if (c != nullptr && index >= 0 && index < static_cast<int>(c->items.size()))
        c->items[static_cast<size_t>(index)].second = data;
}

LPARAM CWnd::ListGetItemData(int id, int index) const {
    const Control* c = FindControl(handle_, id);
    if (c == nullptr || index < 0 || index >= static_cast<int>(c->items.size()))
        return -1;
    return c->items[static_cast<size_t>(index)].second;
}

int CWnd::ListGetCount(int id) const {
    const Control* c = FindControl(handle_, id);
    return c == nullptr ? -1 : static_cast<int>(c->items.size());
}

std::string CWnd::ListGetText(int id, int index) const {
    const Control* c = FindControl(handle_, id);
    if (c == nullptr || index < 0 || index >= static_cast<int>(c->items.size()))
        return std::string();
    return c->items[static_cast<size_t>(index)].first;
}

void CWnd::ListSetCurSel(int id, int index) {
    if (Control* c = FindControl(handle_, id)) {
        c->selection = index >= 0 && index < static_cast<int>(c->items.size()) ? index : -1;
        WindowOf(handle_)->shown = false;
    }
}

int CWnd::ListGetCurSel(int id) const {
    const Control* c = FindControl(handle_, id);
    return c == nullptr ? -1 : c->selection;
}

void CWnd::ListResetContent(int id) {
    if (Control* c = FindControl(handle_, id)) {
        c->items.clear();
        c->selection = -1;
        WindowOf(handle_)->shown = false;
    }
}

void CWnd::ListDir(int id, const std::string& pattern) {
    for (const auto& name : sys::ListPlainFiles(pattern))
        ListAddString(id, name);
}

bool CWnd::IsDlgItemVisible(int id) const {
    const Control* c = FindControl(handle_, id);
    return c != nullptr && c->visible;
}

} // namespace fw
