// The open and save dialogs over the drive map: a template of the window
// model's own, filled from the file-system stand-ins.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "platform/fs/Attributes.h"
#include "platform/fs/Drives.h"
#include "platform/fs/Find.h"
#include "platform/ui/CommCtrl.h"
#include "platform/ui/CommDlg.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/window/Dialogs.h"
#include "platform/ui/window/Window.h"
#include "platform/win/LastError.h"

namespace {

thread_local DWORD t_lastError = 0;

constexpr uint32_t kChild = WS_CHILD | WS_VISIBLE;

const KvDialogItem kItems[] = {
    {WC_STATIC, -1, 7, 9, 58, 9, kChild | WS_GROUP | SS_LEFT, 0, "Look in:"},
    {WC_EDIT, KV_FILEDLG_LOOKIN, 66, 7, 164, 14, kChild | ES_LEFT | ES_AUTOHSCROLL | ES_READONLY, WS_EX_CLIENTEDGE, ""},
    {WC_BUTTON, KV_FILEDLG_UP, 236, 7, 37, 14, kChild | WS_TABSTOP | BS_PUSHBUTTON, 0, "Up"},
    {WC_LISTVIEW, KV_FILEDLG_LIST, 7, 26, 266, 110,
     kChild | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, WS_EX_CLIENTEDGE, ""},
    {WC_STATIC, -1, 7, 144, 58, 9, kChild | WS_GROUP | SS_LEFT, 0, "File name:"},
    {WC_EDIT, KV_FILEDLG_NAME, 66, 142, 150, 14, kChild | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, ""},
    {WC_STATIC, -1, 7, 162, 58, 9, kChild | WS_GROUP | SS_LEFT, 0, "Files of type:"},
    {WC_LISTVIEW, KV_FILEDLG_TYPES, 66, 160, 150, 50,
     kChild | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOCOLUMNHEADER,
     WS_EX_CLIENTEDGE, ""},
    {WC_BUTTON, IDOK, 223, 142, 50, 14, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, "&Open"},
    {WC_BUTTON, IDCANCEL, 223, 160, 50, 14, kChild | WS_TABSTOP | BS_PUSHBUTTON, 0, "Cancel"},
};
const KvDialogTemplate kTemplate = {0, 0, 0, 280, 218, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
                                    "Open", static_cast<uint32_t>(std::size(kItems)), kItems};

enum class EntryKind { Up, Drive, Folder, File };

struct Entry {
    EntryKind kind;
    std::string name;
};

struct FilterType {
    std::string description;
    std::vector<std::string> patterns;
};

struct DialogState {
    OPENFILENAMEA* ofn = nullptr;
    bool save = false;
    std::string folder;  // Windows form; empty for the list of drives
    std::vector<FilterType> types;
    int type = 0;
    std::vector<std::string> typedPatterns;  // a pattern typed as the name replaces the type's
    std::vector<Entry> entries;
    HIMAGELIST images = nullptr;
};

bool Less(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

std::vector<std::string> SplitPatterns(const std::string& text) {
    std::vector<std::string> patterns;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find(';', at);
        if (end == std::string::npos) end = text.size();
        std::string one = text.substr(at, end - at);
        while (!one.empty() && one.front() == ' ') one.erase(0, 1);
        while (!one.empty() && one.back() == ' ') one.pop_back();
        if (!one.empty()) patterns.push_back(one);
        at = end + 1;
    }
    return patterns;
}

std::vector<FilterType> ParseFilter(LPCSTR filter) {
    std::vector<FilterType> types;
    while (filter != nullptr && *filter != '\0') {
        FilterType type;
        type.description = filter;
        filter += type.description.size() + 1;
        if (*filter == '\0') break;
        std::string patterns = filter;
        filter += patterns.size() + 1;
        type.patterns = SplitPatterns(patterns);
        types.push_back(type);
    }
    if (types.empty()) types.push_back({"All Files (*.*)", {"*.*"}});
    return types;
}

bool HasWildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

bool IsFolder(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

// "C:\a\.\b\..\c" as "C:\a\c"; a drive root keeps its "\".
std::string Normalize(const std::string& path) {
    if (path.size() < 2 || path[1] != ':') return path;
    std::vector<std::string> parts;
    size_t at = 2;
    while (at <= path.size()) {
        size_t end = path.find_first_of("\\/", at);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    std::string result(1, static_cast<char>(std::toupper(static_cast<unsigned char>(path[0]))));
    result += ":\\";
    for (size_t i = 0; i < parts.size(); ++i) result += (i == 0 ? "" : "\\") + parts[i];
    return result;
}

// A folder path as the folders are named, whatever case it was typed in.
std::string Canonical(const std::string& path) {
    if (path.size() < 3) return path;
    std::string result = path.substr(0, 3);
    size_t at = 3;
    while (at < path.size()) {
        size_t end = path.find('\\', at);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(at, end - at);
        WIN32_FIND_DATAA data{};
        HANDLE find = FindFirstFileA(Join(result, part).c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            part = data.cFileName;
            FindClose(find);
        }
        result = Join(result, part);
        at = end + 1;
    }
    return result;
}

std::string Parent(const std::string& folder) {
    if (folder.size() <= 3) return std::string();  // above a drive root: the drives
    size_t cut = folder.rfind('\\');
    if (cut == std::string::npos) return std::string();
    return cut <= 2 ? folder.substr(0, 3) : folder.substr(0, cut);
}

DialogState* StateOf(HWND dialog) { return reinterpret_cast<DialogState*>(GetWindowLongPtr(dialog, DWLP_USER)); }

void AddRow(HWND list, int index, const std::string& name, const char* type, int image) {
    LVITEM item{};
    item.mask = LVIF_TEXT | LVIF_PARAM | (image >= 0 ? LVIF_IMAGE : 0u);
    item.iItem = index;
    item.pszText = const_cast<LPSTR>(name.c_str());
    item.iImage = image;
    item.lParam = index;
    int row = static_cast<int>(SendMessage(list, LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(&item)));
    if (type == nullptr || row < 0) return;
    LVITEM sub{};
    sub.iSubItem = 1;
    sub.pszText = const_cast<LPSTR>(type);
    SendMessage(list, LVM_SETITEMTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&sub));
}

void ListFolder(DialogState& state) {
    std::vector<Entry> folders, files;
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA(Join(state.folder, "*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == ".." || !kv::platform::IsRepresentableName(data.cFileName)) continue;
            if (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) folders.push_back({EntryKind::Folder, name});
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    const std::vector<std::string>& patterns =
        state.typedPatterns.empty() ? state.types[static_cast<size_t>(state.type)].patterns : state.typedPatterns;
    for (const std::string& pattern : patterns) {
        find = FindFirstFileA(Join(state.folder, pattern).c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) continue;
        do {
            std::string name = data.cFileName;
            if (name == "." || name == ".." || !kv::platform::IsRepresentableName(data.cFileName)) continue;
            if (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))
                continue;
            bool listed = std::any_of(files.begin(), files.end(), [&](const Entry& e) { return e.name == name; });
            if (!listed) files.push_back({EntryKind::File, name});
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    auto byName = [](const Entry& a, const Entry& b) { return Less(a.name, b.name); };
    std::sort(folders.begin(), folders.end(), byName);
    std::sort(files.begin(), files.end(), byName);
    state.entries.push_back({EntryKind::Up, ".."});
    state.entries.insert(state.entries.end(), folders.begin(), folders.end());
    state.entries.insert(state.entries.end(), files.begin(), files.end());
}

void ListDrives(DialogState& state) {
    char drives[26 * 4 + 1] = {};
    DWORD length = GetLogicalDriveStringsA(sizeof drives, drives);
    for (const char* drive = drives; length > 0 && length < sizeof drives && *drive != '\0';
         drive += std::strlen(drive) + 1)
        state.entries.push_back({EntryKind::Drive, std::string(drive, 2)});
}

void Fill(HWND dialog) {
    DialogState& state = *StateOf(dialog);
    HWND list = GetDlgItem(dialog, KV_FILEDLG_LIST);
    SendMessage(list, LVM_DELETEALLITEMS, 0, 0);
    state.entries.clear();
    if (state.folder.empty()) ListDrives(state);
    else ListFolder(state);
    SetDlgItemText(dialog, KV_FILEDLG_LOOKIN, state.folder.empty() ? "My Computer" : state.folder.c_str());
    EnableWindow(GetDlgItem(dialog, KV_FILEDLG_UP), state.folder.empty() ? FALSE : TRUE);
    for (size_t i = 0; i < state.entries.size(); ++i) {
        const Entry& entry = state.entries[i];
        static const char* const kTypes[] = {"", "Drive", "Folder", "File"};
        int image = static_cast<int>(entry.kind);
        AddRow(list, static_cast<int>(i), entry.name, kTypes[image], image);
    }
}

void GoTo(HWND dialog, const std::string& folder) {
    StateOf(dialog)->folder = Canonical(folder);
    Fill(dialog);
}

void Activate(HWND dialog, int index);

BOOL Finish(HWND dialog, const std::string& path) {
    DialogState& state = *StateOf(dialog);
    OPENFILENAMEA& ofn = *state.ofn;
    if (ofn.lpstrFile == nullptr || path.size() + 1 > ofn.nMaxFile) {
        t_lastError = FNERR_BUFFERTOOSMALL;
        if (ofn.lpstrFile != nullptr && ofn.nMaxFile >= 2) {
            // The size needed, in the buffer's first two bytes, as Windows reports it.
            WORD needed = static_cast<WORD>(std::min<size_t>(path.size() + 1, 0xFFFF));
            std::memcpy(ofn.lpstrFile, &needed, sizeof needed);
        }
        EndDialog(dialog, IDABORT);
        return TRUE;
    }
    std::memcpy(ofn.lpstrFile, path.c_str(), path.size() + 1);
    size_t name = path.rfind('\\') + 1;
    size_t dot = path.rfind('.');
    ofn.nFileOffset = static_cast<WORD>(name);
    ofn.nFileExtension = static_cast<WORD>(dot != std::string::npos && dot > name ? dot + 1 : 0);
    if (ofn.lpstrFileTitle != nullptr && ofn.nMaxFileTitle > 0) {
        std::string title = path.substr(name);
        size_t n = std::min<size_t>(title.size(), ofn.nMaxFileTitle - 1);
        std::memcpy(ofn.lpstrFileTitle, title.c_str(), n);
        ofn.lpstrFileTitle[n] = '\0';
    }
    ofn.nFilterIndex = static_cast<DWORD>(state.type + 1);
    EndDialog(dialog, IDOK);
    return TRUE;
}

std::string Caption(HWND dialog) {
    char caption[256] = {};
    GetWindowText(dialog, caption, sizeof caption);
    return caption;
}

void Accept(HWND dialog) {
    DialogState& state = *StateOf(dialog);
    char buffer[1024] = {};
    GetDlgItemText(dialog, KV_FILEDLG_NAME, buffer, sizeof buffer);
    std::string text = buffer;
    while (!text.empty() && text.front() == ' ') text.erase(0, 1);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    if (text.empty()) {
        // Enter on a selected drive or folder goes there.
        int selected = static_cast<int>(
            SendMessage(GetDlgItem(dialog, KV_FILEDLG_LIST), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
        if (selected >= 0) Activate(dialog, selected);
        return;
    }
    std::string path;
    if (text.size() >= 2 && text[1] == ':') path = text;
    else if (!state.folder.empty() && (text[0] == '\\' || text[0] == '/')) path = state.folder.substr(0, 2) + text;
    else if (!state.folder.empty()) path = Join(state.folder, text);
    std::string caption = Caption(dialog);
    if (path.empty()) {
        MessageBoxA(dialog, (text + "\nThe file name is not valid.").c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    path = Normalize(path);
    std::string name = path.substr(path.rfind('\\') + 1);
    std::string folder = Parent(path);
    if (HasWildcard(name)) {
        state.typedPatterns = SplitPatterns(name);
        if (IsFolder(folder)) state.folder = Canonical(folder);
        Fill(dialog);
        return;
    }
    if (name.empty() || IsFolder(path)) {
        state.typedPatterns.clear();
        SetDlgItemText(dialog, KV_FILEDLG_NAME, "");
        GoTo(dialog, path);
        return;
    }
    if (!IsFolder(folder)) {
        MessageBoxA(dialog, (path + "\nPath does not exist.\nCheck the path and try again.").c_str(), caption.c_str(),
                    MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const OPENFILENAMEA& ofn = *state.ofn;
    bool exists = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (name.find('.') == std::string::npos && ofn.lpstrDefExt != nullptr && *ofn.lpstrDefExt != '\0' &&
        (state.save || !exists)) {
        std::string withExtension = path + "." + ofn.lpstrDefExt;
        if (state.save || GetFileAttributesA(withExtension.c_str()) != INVALID_FILE_ATTRIBUTES) {
            path = withExtension;
            name += std::string(".") + ofn.lpstrDefExt;
            exists = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
        }
    }
    if (!state.save && (ofn.Flags & OFN_FILEMUSTEXIST) != 0 && !exists) {
        MessageBoxA(dialog, (name + "\nFile not found.\nCheck the file name and try again.").c_str(), caption.c_str(),
                    MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (state.save && exists && (ofn.Flags & OFN_OVERWRITEPROMPT) != 0 &&
        MessageBoxA(dialog, (name + " already exists.\nDo you want to replace it?").c_str(), caption.c_str(),
                    MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
        return;
    Finish(dialog, path);
}

void Activate(HWND dialog, int index) {
    DialogState& state = *StateOf(dialog);
    if (index < 0 || static_cast<size_t>(index) >= state.entries.size()) return;
    const Entry entry = state.entries[static_cast<size_t>(index)];
    switch (entry.kind) {
        case EntryKind::Up: GoTo(dialog, Parent(state.folder)); break;
        case EntryKind::Drive: GoTo(dialog, entry.name + "\\"); break;
        case EntryKind::Folder: GoTo(dialog, Join(state.folder, entry.name)); break;
        case EntryKind::File:
            SetDlgItemText(dialog, KV_FILEDLG_NAME, entry.name.c_str());
            Accept(dialog);
            break;
    }
}

void SetUpLists(HWND dialog) {
    DialogState& state = *StateOf(dialog);
    HWND list = GetDlgItem(dialog, KV_FILEDLG_LIST);
    state.images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 4, 0);
    for (const char* icon : {"go-up", "drive-harddisk", "folder", "text-x-generic"}) ImageList_AddNamed(state.images, icon);
    SendMessage(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(state.images));
    LVCOLUMN column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = 300;
    column.pszText = const_cast<LPSTR>("Name");
    SendMessage(list, LVM_INSERTCOLUMN, 0, reinterpret_cast<LPARAM>(&column));
    column.cx = 90;
    column.pszText = const_cast<LPSTR>("Type");
    SendMessage(list, LVM_INSERTCOLUMN, 1, reinterpret_cast<LPARAM>(&column));

    HWND types = GetDlgItem(dialog, KV_FILEDLG_TYPES);
    // As wide as the list, so that no row needs scrolling sideways.
    RECT box{};
    GetClientRect(types, &box);
    column.cx = box.right > box.left + 24 ? box.right - box.left - 24 : 200;
    column.pszText = const_cast<LPSTR>("Type");
    SendMessage(types, LVM_INSERTCOLUMN, 0, reinterpret_cast<LPARAM>(&column));
    for (size_t i = 0; i < state.types.size(); ++i) AddRow(types, static_cast<int>(i), state.types[i].description, nullptr, -1);
    LVITEM selected{};
    selected.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    selected.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessage(types, LVM_SETITEMSTATE, static_cast<WPARAM>(state.type), reinterpret_cast<LPARAM>(&selected));
}

std::string InitialFolder(const OPENFILENAMEA& ofn, std::string& name) {
    std::string file = ofn.lpstrFile != nullptr ? ofn.lpstrFile : "";
    size_t cut = file.find_last_of("\\/");
    name = cut == std::string::npos ? file : file.substr(cut + 1);
    if (ofn.lpstrInitialDir != nullptr && IsFolder(Normalize(ofn.lpstrInitialDir))) return Normalize(ofn.lpstrInitialDir);
    if (cut != std::string::npos && IsFolder(Normalize(file.substr(0, cut + 1)))) return Normalize(file.substr(0, cut + 1));
    char current[MAX_PATH] = {};
    DWORD n = GetCurrentDirectoryA(sizeof current, current);
    if (n > 0 && n < sizeof current && IsFolder(Normalize(current))) return Normalize(current);
    return std::string();
}

INT_PTR FileDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtr(dialog, DWLP_USER, lParam);
            DialogState& state = *reinterpret_cast<DialogState*>(lParam);
            const OPENFILENAMEA& ofn = *state.ofn;
            SetWindowText(dialog, ofn.lpstrTitle != nullptr ? ofn.lpstrTitle : state.save ? "Save As" : "Open");
            SetDlgItemText(dialog, IDOK, state.save ? "&Save" : "&Open");
            SetUpLists(dialog);
            std::string name;
            state.folder = Canonical(InitialFolder(ofn, name));
            SetDlgItemText(dialog, KV_FILEDLG_NAME, name.c_str());
            Fill(dialog);
            return TRUE;
        }
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) return FALSE;
            switch (LOWORD(wParam)) {
                case IDOK: Accept(dialog); return TRUE;
                case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
                case KV_FILEDLG_UP: {
                    DialogState& state = *StateOf(dialog);
                    if (!state.folder.empty()) GoTo(dialog, Parent(state.folder));
                    return TRUE;
                }
                default: return FALSE;
            }
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            DialogState& state = *StateOf(dialog);
            if (header->idFrom == KV_FILEDLG_LIST && header->code == LVN_ITEMACTIVATE) {
                Activate(dialog, reinterpret_cast<NMITEMACTIVATE*>(lParam)->iItem);
            } else if (header->idFrom == KV_FILEDLG_LIST && header->code == LVN_ITEMCHANGED) {
                auto* change = reinterpret_cast<NMLISTVIEW*>(lParam);
                bool nowSelected = (change->uNewState & LVIS_SELECTED) != 0 && (change->uOldState & LVIS_SELECTED) == 0;
                if (nowSelected && change->iItem >= 0 && static_cast<size_t>(change->iItem) < state.entries.size() &&
                    state.entries[static_cast<size_t>(change->iItem)].kind == EntryKind::File)
                    SetDlgItemText(dialog, KV_FILEDLG_NAME, state.entries[static_cast<size_t>(change->iItem)].name.c_str());
            } else if (header->idFrom == KV_FILEDLG_TYPES && header->code == LVN_ITEMCHANGED) {
                auto* change = reinterpret_cast<NMLISTVIEW*>(lParam);
                bool nowSelected = (change->uNewState & LVIS_SELECTED) != 0 && (change->uOldState & LVIS_SELECTED) == 0;
                if (nowSelected && change->iItem >= 0 && static_cast<size_t>(change->iItem) < state.types.size() &&
                    change->iItem != state.type) {
                    state.type = change->iItem;
                    state.typedPatterns.clear();
                    Fill(dialog);
                }
            } else if (header->idFrom == KV_FILEDLG_LIST && header->code == LVN_KEYDOWN &&
                       reinterpret_cast<NMLVKEYDOWN*>(lParam)->wVKey == VK_BACK) {
                if (!state.folder.empty()) GoTo(dialog, Parent(state.folder));
            }
            return TRUE;
        }
        default:
            return FALSE;
    }
}

BOOL RunFileDialog(LPOPENFILENAMEA ofn, bool save) {
    t_lastError = 0;
    if (ofn == nullptr || ofn->lStructSize < sizeof(OPENFILENAMEA)) {
        t_lastError = CDERR_STRUCTSIZE;
        return FALSE;
    }
    DialogState state;
    state.ofn = ofn;
    state.save = save;
    state.types = ParseFilter(ofn->lpstrFilter);
    state.type = ofn->nFilterIndex >= 1 && ofn->nFilterIndex <= state.types.size()
                     ? static_cast<int>(ofn->nFilterIndex) - 1
                     : 0;
    HWND dialog = kv::ui::detail::CreateDialogFromTemplate(&kTemplate, nullptr, ofn->hwndOwner, FileDialogProc,
                                                           reinterpret_cast<LPARAM>(&state), nullptr, false);
    if (dialog == nullptr) {
        t_lastError = CDERR_INITIALIZATION;
        return FALSE;
    }
    INT_PTR result = kv::ui::detail::RunModalLoop(dialog);
    if (state.images != nullptr) ImageList_Destroy(state.images);
    return result == IDOK ? TRUE : FALSE;
}

}  // namespace

BOOL GetOpenFileNameA(LPOPENFILENAMEA ofn) { return RunFileDialog(ofn, false); }

BOOL GetSaveFileNameA(LPOPENFILENAMEA ofn) { return RunFileDialog(ofn, true); }

DWORD CommDlgExtendedError() { return t_lastError; }
