// Part of the build tool rcgen: dialog template files to the C++ source of a
// module's dialog table.
#include "platform/resource/DialogCompiler.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "platform/ui/CommCtrl.h"
#include "platform/ui/DialogTemplate.h"
#include "platform/ui/WinUser.h"

namespace kv::rcgen {
namespace {

#define KV_STYLE(name) {#name, static_cast<uint32_t>(name)}
const std::map<std::string, uint32_t>& Styles() {
    static const std::map<std::string, uint32_t> styles = {
        KV_STYLE(WS_POPUP), KV_STYLE(WS_CHILD), KV_STYLE(WS_VISIBLE), KV_STYLE(WS_DISABLED),
        KV_STYLE(WS_CAPTION), KV_STYLE(WS_BORDER), KV_STYLE(WS_DLGFRAME), KV_STYLE(WS_VSCROLL),
        KV_STYLE(WS_HSCROLL), KV_STYLE(WS_SYSMENU), KV_STYLE(WS_THICKFRAME), KV_STYLE(WS_GROUP),
        KV_STYLE(WS_TABSTOP), KV_STYLE(WS_EX_CLIENTEDGE), KV_STYLE(WS_EX_CONTROLPARENT),
        KV_STYLE(DS_MODALFRAME), KV_STYLE(DS_SETFONT), KV_STYLE(DS_CENTER), KV_STYLE(DS_CONTROL),
        KV_STYLE(SS_LEFT), KV_STYLE(SS_CENTER), KV_STYLE(SS_RIGHT), KV_STYLE(SS_ICON), KV_STYLE(SS_NOPREFIX),
        KV_STYLE(BS_PUSHBUTTON), KV_STYLE(BS_DEFPUSHBUTTON), KV_STYLE(BS_CHECKBOX), KV_STYLE(BS_AUTOCHECKBOX),
        KV_STYLE(BS_RADIOBUTTON), KV_STYLE(BS_3STATE), KV_STYLE(BS_AUTO3STATE), KV_STYLE(BS_GROUPBOX),
        KV_STYLE(BS_AUTORADIOBUTTON),
        KV_STYLE(ES_LEFT), KV_STYLE(ES_CENTER), KV_STYLE(ES_RIGHT), KV_STYLE(ES_MULTILINE),
        KV_STYLE(ES_UPPERCASE), KV_STYLE(ES_LOWERCASE), KV_STYLE(ES_PASSWORD), KV_STYLE(ES_AUTOVSCROLL),
        KV_STYLE(ES_AUTOHSCROLL), KV_STYLE(ES_READONLY), KV_STYLE(ES_WANTRETURN), KV_STYLE(ES_NUMBER),
        KV_STYLE(LVS_ICON), KV_STYLE(LVS_REPORT), KV_STYLE(LVS_SMALLICON), KV_STYLE(LVS_LIST),
        KV_STYLE(LVS_SINGLESEL), KV_STYLE(LVS_SHOWSELALWAYS), KV_STYLE(LVS_SORTASCENDING),
        KV_STYLE(LVS_SORTDESCENDING), KV_STYLE(LVS_SHAREIMAGELISTS), KV_STYLE(LVS_NOLABELWRAP),
        KV_STYLE(LVS_EDITLABELS), KV_STYLE(LVS_NOCOLUMNHEADER), KV_STYLE(LVS_NOSORTHEADER),
        KV_STYLE(UDS_WRAP), KV_STYLE(UDS_SETBUDDYINT), KV_STYLE(UDS_ALIGNRIGHT), KV_STYLE(UDS_ALIGNLEFT),
        KV_STYLE(UDS_AUTOBUDDY), KV_STYLE(UDS_ARROWKEYS), KV_STYLE(UDS_HORZ), KV_STYLE(UDS_NOTHOUSANDS),
        KV_STYLE(DTS_UPDOWN), KV_STYLE(DTS_SHOWNONE), KV_STYLE(DTS_SHORTDATEFORMAT),
        KV_STYLE(DTS_LONGDATEFORMAT), KV_STYLE(DTS_TIMEFORMAT),
        KV_STYLE(ACS_CENTER), KV_STYLE(ACS_TRANSPARENT), KV_STYLE(ACS_AUTOPLAY), KV_STYLE(ACS_TIMER),
    };
    return styles;
}
#undef KV_STYLE

struct Kind {
    const char* className;
    uint32_t style;
    uint32_t exStyle;
};

const std::map<std::string, Kind>& Kinds() {
    constexpr uint32_t base = WS_CHILD | WS_VISIBLE;
    static const std::map<std::string, Kind> kinds = {
        {"LTEXT", {WC_STATIC, base | WS_GROUP | SS_LEFT, 0}},
        {"CTEXT", {WC_STATIC, base | WS_GROUP | SS_CENTER, 0}},
        {"RTEXT", {WC_STATIC, base | WS_GROUP | SS_RIGHT, 0}},
        {"ICON", {WC_STATIC, base | SS_ICON, 0}},
        {"EDITTEXT", {WC_EDIT, base | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE}},
        {"PUSHBUTTON", {WC_BUTTON, base | WS_TABSTOP | BS_PUSHBUTTON, 0}},
        {"DEFPUSHBUTTON", {WC_BUTTON, base | WS_TABSTOP | BS_DEFPUSHBUTTON, 0}},
        {"CHECKBOX", {WC_BUTTON, base | WS_TABSTOP | BS_AUTOCHECKBOX, 0}},
        {"RADIOBUTTON", {WC_BUTTON, base | WS_TABSTOP | BS_AUTORADIOBUTTON, 0}},
        {"GROUPBOX", {WC_BUTTON, base | BS_GROUPBOX, 0}},
        {"LISTVIEW", {WC_LISTVIEW, base | WS_TABSTOP | WS_BORDER, WS_EX_CLIENTEDGE}},
        {"UPDOWN", {UPDOWN_CLASS, base, 0}},
        {"DATETIMEPICKER", {DATETIMEPICK_CLASS, base | WS_TABSTOP, 0}},
        {"ANIMATION", {ANIMATE_CLASS, base, 0}},
    };
    return kinds;
}

struct Item {
    std::string className;
    long id = 0;
    long x = 0, y = 0, cx = 0, cy = 0;
    uint32_t style = 0;
    uint32_t exStyle = 0;
    std::string text;
};

struct Dialog {
    long id = 0;
    long x = 0, y = 0, cx = 0, cy = 0;
    uint32_t style = 0;
    std::string caption;
    std::vector<Item> items;
};

struct Failure {
    std::string message;
};

// A line cut into words and quoted texts (marked by a leading '"').
std::vector<std::string> Tokens(const std::string& line) {
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '|' || c == ',') {
            ++i;
            continue;
        }
        if (c == '#') break;
        if (c == '"') {
            std::string text = "\"";
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char d = line[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d != '\\') {
                    text.push_back(d);
                    continue;
                }
                if (i >= line.size()) break;
                char e = line[i++];
                switch (e) {
                    case 'n': text.push_back('\n'); break;
                    case 't': text.push_back('\t'); break;
                    case 'r': text.push_back('\r'); break;
                    case '"': text.push_back('"'); break;
                    case '\\': text.push_back('\\'); break;
                    default: throw Failure{std::string("unknown escape \\") + e};
                }
            }
            if (!closed) throw Failure{"unterminated text"};
            tokens.push_back(text);
            continue;
        }
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '|' && line[i] != ',' &&
               line[i] != '"')
            ++i;
        tokens.push_back(line.substr(start, i - start));
    }
    return tokens;
}

bool ParseNumber(const std::string& text, long& value) {
    std::string digits = text;
    bool negative = false;
    if (!digits.empty() && digits[0] == '-') {
        negative = true;
        digits = digits.substr(1);
    }
    if (digits.empty()) return false;
    size_t used = 0;
    try {
        value = std::stol(digits, &used, 0);
    } catch (...) {
        return false;
    }
    if (used != digits.size()) return false;
    if (negative) value = -value;
    return true;
}

class Compiler {
public:
    void File(const std::string& path) {
        std::ifstream in(path);
        if (!in) throw Failure{path + ": cannot open"};
        std::string line;
        Dialog* open = nullptr;
        for (int number = 1; std::getline(in, line); ++number) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            try {
                std::vector<std::string> tokens = Tokens(line);
                if (tokens.empty()) continue;
                const std::string& keyword = tokens[0];
                if (keyword == "INCLUDE") {
                    if (tokens.size() != 2 || tokens[1][0] != '"') throw Failure{"INCLUDE takes one quoted file name"};
                    Include(FolderOf(path) + tokens[1].substr(1));
                } else if (keyword == "DIALOG") {
                    if (open != nullptr) throw Failure{"DIALOG inside a DIALOG (END missing)"};
                    open = Begin(tokens);
                } else if (keyword == "END") {
                    if (open == nullptr) throw Failure{"END without DIALOG"};
                    open = nullptr;
                } else {
                    if (open == nullptr) throw Failure{"control outside a DIALOG"};
                    open->items.push_back(Control(tokens));
                }
            } catch (const Failure& failure) {
                throw Failure{path + ":" + std::to_string(number) + ": " + failure.message};
            }
        }
        if (open != nullptr) throw Failure{path + ": DIALOG " + std::to_string(open->id) + " has no END"};
    }

    std::string Source(const std::vector<std::string>& inputs) const {
        std::ostringstream out;
        out << "// Generated by rcgen from";
        for (const std::string& input : inputs) out << " " << input;
        out << "; edit those files instead.\n#include \"platform/ui/DialogTemplate.h\"\n\nnamespace {\n";
        for (const auto& [id, dialog] : m_dialogs) {
            if (dialog.items.empty()) continue;
            out << "const KvDialogItem kItems" << id << "[] = {\n";
            for (const Item& item : dialog.items) {
                out << "    {" << CLiteral(item.className) << ", " << item.id << ", " << item.x << ", " << item.y
                    << ", " << item.cx << ", " << item.cy << ", " << item.style << "u, " << item.exStyle << "u, "
                    << CLiteral(item.text) << "},\n";
            }
            out << "};\n";
        }
        out << "const KvDialogTemplate kDialogs[] = {\n";
        for (const auto& [id, dialog] : m_dialogs) {
            out << "    {" << id << "u, " << dialog.x << ", " << dialog.y << ", " << dialog.cx << ", " << dialog.cy
                << ", " << dialog.style << "u, " << CLiteral(dialog.caption) << ", " << dialog.items.size() << "u, "
                << (dialog.items.empty() ? std::string("nullptr") : "kItems" + std::to_string(id)) << "},\n";
        }
        if (m_dialogs.empty()) out << "    {0u, 0, 0, 0, 0, 0u, \"\", 0u, nullptr},\n";
        out << "};\nconst KvDialogTableData kTable = {" << m_dialogs.size() << "u, kDialogs};\n"
            << "}  // namespace\n\n"
            << "extern \"C\" __attribute__((visibility(\"default\"))) const void* " << KV_DIALOG_TABLE_SYMBOL
            << "() { return &kTable; }\n";
        return out.str();
    }

private:
    static std::string FolderOf(const std::string& path) {
        size_t slash = path.rfind('/');
        return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    }

    void Include(const std::string& path) {
        std::ifstream in(path);
        if (!in) throw Failure{path + ": cannot open"};
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            std::string directive, name, value;
            if (!(words >> directive >> name >> value) || directive != "#define") continue;
            while (!value.empty() && value.front() == '(') value.erase(value.begin());
            while (!value.empty() && value.back() == ')') value.pop_back();
            long number = 0;
            if (ParseNumber(value, number)) m_names[name] = number;
        }
    }

    long Number(const std::string& token, const char* what) const {
        long value = 0;
        if (ParseNumber(token, value)) return value;
        throw Failure{std::string("expected a number for ") + what + ", found \"" + token + "\""};
    }

    long Coordinate(const std::string& token) const {
        long value = Number(token, "a coordinate");
        if (value < -32768 || value > 32767) throw Failure{"coordinate out of range: " + token};
        return value;
    }

    long Id(const std::string& token) const {
        static const std::map<std::string, long> builtin = {
            {"IDOK", IDOK},   {"IDCANCEL", IDCANCEL}, {"IDYES", IDYES},        {"IDNO", IDNO},
            {"IDHELP", IDHELP}, {"IDC_STATIC", IDC_STATIC}, {"ID_APPLY_NOW", ID_APPLY_NOW},
        };
        long value = 0;
        if (ParseNumber(token, value)) return value;
        if (auto it = builtin.find(token); it != builtin.end()) return it->second;
        if (auto it = m_names.find(token); it != m_names.end()) return it->second;
        throw Failure{"unknown id " + token};
    }

    // The styles after the fixed fields; NOT removes a default.
    static void Styles(const std::vector<std::string>& tokens, size_t from, uint32_t& style, uint32_t& exStyle) {
        for (size_t i = from; i < tokens.size(); ++i) {
            bool remove = tokens[i] == "NOT";
            if (remove && ++i >= tokens.size()) throw Failure{"NOT without a style"};
            long number = 0;
            uint32_t bits = 0;
            bool extended = tokens[i].rfind("WS_EX_", 0) == 0;
            if (ParseNumber(tokens[i], number)) {
                bits = static_cast<uint32_t>(number);
            } else {
                auto it = kv::rcgen::Styles().find(tokens[i]);
                if (it == kv::rcgen::Styles().end()) throw Failure{"unknown style " + tokens[i]};
                bits = it->second;
            }
            uint32_t& target = extended ? exStyle : style;
            if (remove) {
                target &= ~bits;
            } else {
                target |= bits;
            }
        }
    }

    static std::string Text(const std::string& token) {
        if (token.empty() || token[0] != '"') throw Failure{"expected a quoted text, found " + token};
        return token.substr(1);
    }

    Dialog* Begin(const std::vector<std::string>& tokens) {
        if (tokens.size() < 7) throw Failure{"DIALOG id x y cx cy \"Caption\" [STYLE...]"};
        Dialog dialog;
        dialog.id = Id(tokens[1]);
        if (dialog.id <= 0 || dialog.id > 0xFFFF) throw Failure{"dialog id out of range: " + tokens[1]};
        dialog.x = Coordinate(tokens[2]);
        dialog.y = Coordinate(tokens[3]);
        dialog.cx = Coordinate(tokens[4]);
        dialog.cy = Coordinate(tokens[5]);
        dialog.caption = Text(tokens[6]);
        dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
        uint32_t ignored = 0;
        Styles(tokens, 7, dialog.style, ignored);
        if (m_dialogs.count(dialog.id)) throw Failure{"dialog id " + tokens[1] + " given twice"};
        return &(m_dialogs[dialog.id] = std::move(dialog));
    }

    Item Control(const std::vector<std::string>& tokens) const {
        auto kind = Kinds().find(tokens[0]);
        if (kind == Kinds().end()) throw Failure{"unknown control kind " + tokens[0]};
        if (tokens.size() < 7) throw Failure{tokens[0] + " id x y cx cy \"Text\" [STYLE...]"};
        Item item;
        item.className = kind->second.className;
        item.id = Id(tokens[1]);
        item.x = Coordinate(tokens[2]);
        item.y = Coordinate(tokens[3]);
        item.cx = Coordinate(tokens[4]);
        item.cy = Coordinate(tokens[5]);
        item.text = Text(tokens[6]);
        item.style = kind->second.style;
        item.exStyle = kind->second.exStyle;
        Styles(tokens, 7, item.style, item.exStyle);
        return item;
    }

    std::map<std::string, long> m_names;
    std::map<long, Dialog> m_dialogs;
};

}  // namespace

std::string CLiteral(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20 || c >= 0x7F) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\%03o", c);
            out += buffer;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out + "\"";
}

int CompileDialogs(const std::vector<std::string>& inputs, const std::string& output) {
    Compiler compiler;
    try {
        for (const std::string& input : inputs) compiler.File(input);
    } catch (const Failure& failure) {
        std::cerr << failure.message << "\n";
        return 1;
    }
    std::ofstream file(output);
    file << compiler.Source(inputs);
    return file ? 0 : 1;
}

}  // namespace kv::rcgen
