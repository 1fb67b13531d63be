// kvreg: the operator tool for the registry, in the manner of reg.exe.
//   kvreg query KEY [/v NAME | /ve]
//   kvreg add KEY [/v NAME | /ve] [/t REG_SZ|REG_DWORD] [/d DATA] [/f]
//   kvreg delete KEY [/v NAME | /ve | /va] /f
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/cli/HelpSwitch.h"
#include "platform/registry/Registry.h"
#include "platform/root/MachineRoot.h"

namespace {

struct Hive {
    const char* shortName;
    const char* longName;
    HKEY key;
};

const Hive kHives[] = {
    {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKU", "HKEY_USERS", HKEY_USERS},
    {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
};

struct Options {
    std::string verb;
    const Hive* hive = nullptr;
    std::string subKey;
    bool haveValue = false;  // /v or /ve given
    std::string valueName;
    bool allValues = false;  // /va
    bool haveType = false;
    DWORD type = REG_SZ;
    bool haveData = false;
    std::string data;
    bool force = false;
};

int Fail(const char* message) {
    std::fprintf(stderr, "ERROR: %s\n", message);
    return 1;
}

void PrintUsage(FILE* to) {
    std::fprintf(to,
                 "usage: kvreg query KEY [/v NAME | /ve]\n"
                 "       kvreg add KEY [/v NAME | /ve] [/t REG_SZ|REG_DWORD] [/d DATA] [/f]\n"
                 "       kvreg delete KEY [/v NAME | /ve | /va] /f\n"
                 "KEY is HIVE\\path, HIVE one of HKLM, HKCR, HKU, HKCU (or their long names).\n"
                 "The registry lies under the machine root $KESTRAVA_ROOT (default /var/lib/kestrava).\n");
}

int Usage() {
    PrintUsage(stderr);
    return 1;
}

bool SameIgnoringCase(const std::string& a, const char* b) {
    return strcasecmp(a.c_str(), b) == 0;
}

bool ParseKey(const std::string& text, Options& options) {
    std::string hive = text.substr(0, text.find('\\'));
    for (const Hive& h : kHives)
        if (SameIgnoringCase(hive, h.shortName) || SameIgnoringCase(hive, h.longName)) options.hive = &h;
    if (options.hive == nullptr) return false;
    options.subKey = hive.size() < text.size() ? text.substr(hive.size() + 1) : std::string();
    while (!options.subKey.empty() && options.subKey.back() == '\\') options.subKey.pop_back();
    return true;
}

std::string FullKeyName(const Options& options) {
    std::string name = options.hive->longName;
    if (!options.subKey.empty()) name += "\\" + options.subKey;
    return name;
}

const char* TypeName(DWORD type) {
    switch (type) {
        case REG_SZ: return "REG_SZ";
        case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
        case REG_BINARY: return "REG_BINARY";
        case REG_DWORD: return "REG_DWORD";
        default: return "REG_NONE";
    }
}

std::string DataText(DWORD type, const std::vector<unsigned char>& data) {
    char buffer[32];
    if (type == REG_DWORD && data.size() >= 4) {
        DWORD value = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
                      static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
        std::snprintf(buffer, sizeof buffer, "0x%x", value);
        return buffer;
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::string text(data.begin(), data.end());
        return text.substr(0, text.find('\0'));
    }
    std::string hex;
    for (unsigned char c : data) {
        std::snprintf(buffer, sizeof buffer, "%02X", c);
        hex += buffer;
    }
    return hex;
}

bool QueryOne(HKEY key, const std::string& name, DWORD& type, std::vector<unsigned char>& data) {
    DWORD size = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    data.assign(size, 0);
    if (size == 0) return true;
    return RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
}

void PrintValue(const std::string& name, DWORD type, const std::vector<unsigned char>& data) {
    std::printf("    %s    %s    %s\n", name.empty() ? "(Default)" : name.c_str(), TypeName(type),
                DataText(type, data).c_str());
}

// The value's name as stored, whatever spelling the operator typed.
std::string StoredValueName(HKEY key, const std::string& typed) {
    char name[1024];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return typed;
        if (strcasecmp(name, typed.c_str()) == 0) return name;
    }
}

int Query(const Options& options) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(options.hive->key, options.subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return Fail("The system was unable to find the specified registry key or value.");
    std::printf("\n%s\n", FullKeyName(options).c_str());
    DWORD type = 0;
    std::vector<unsigned char> data;
    if (options.haveValue) {
        bool found = QueryOne(key, options.valueName, type, data);
        std::string stored = StoredValueName(key, options.valueName);
        RegCloseKey(key);
        if (!found) return Fail("The system was unable to find the specified registry key or value.");
        PrintValue(stored, type, data);
        std::printf("\n");
        return 0;
    }
    char name[1024];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (QueryOne(key, name, type, data)) PrintValue(name, type, data);
    }
    std::printf("\n");
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        std::printf("%s\\%s\n", FullKeyName(options).c_str(), name);
    }
    RegCloseKey(key);
    return 0;
}

bool ParseDword(const std::string& text, DWORD& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    int base = (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) ? 16 : 10;
    unsigned long long parsed = std::strtoull(text.c_str(), &end, base);
    if (errno != 0 || end == nullptr || *end != '\0' || parsed > 0xFFFFFFFFull || text[0] == '-')
        return false;
    value = static_cast<DWORD>(parsed);
    return true;
}

int Add(const Options& options) {
    std::vector<unsigned char> bytes;
    if (options.type == REG_DWORD) {
        DWORD value = 0;
        if (options.haveData && !ParseDword(options.data, value))
            return Fail("Invalid syntax: the data of a REG_DWORD must be a number from 0 to 4294967295.");
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
    } else {
        bytes.assign(options.data.begin(), options.data.end());
        bytes.push_back('\0');
    }
    HKEY key = nullptr;
    if (RegCreateKeyExA(options.hive->key, options.subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return Fail("Access is denied.");
    if (!options.haveValue) {
        RegCloseKey(key);
        std::printf("The operation completed successfully.\n");
        return 0;
    }
    DWORD existingType = 0;
    std::vector<unsigned char> existing;
    if (!options.force && QueryOne(key, options.valueName, existingType, existing)) {
        RegCloseKey(key);
        return Fail("The value exists already; add /f to overwrite it.");
    }
    LONG rc = RegSetValueExA(key, options.valueName.c_str(), 0, options.type, bytes.data(),
                             static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return Fail("Access is denied.");
    std::printf("The operation completed successfully.\n");
    return 0;
}

int Delete(const Options& options) {
    if (!options.force) return Fail("Nothing was deleted: add /f to confirm the deletion.");
    if (!options.haveValue && !options.allValues) {
        if (options.subKey.empty()) return Fail("A whole hive cannot be deleted.");
        if (RegDeleteTreeA(options.hive->key, options.subKey.c_str()) != ERROR_SUCCESS)
            return Fail("The system was unable to find the specified registry key or value.");
        std::printf("The operation completed successfully.\n");
        return 0;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(options.hive->key, options.subKey.c_str(), 0, KEY_WRITE, &key) != ERROR_SUCCESS)
        return Fail("The system was unable to find the specified registry key or value.");
    LONG rc = ERROR_SUCCESS;
    if (options.allValues) {
        char name[1024];
        for (;;) {
            DWORD length = sizeof name;
            if (RegEnumValueA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            if ((rc = RegDeleteValueA(key, name)) != ERROR_SUCCESS) break;
        }
    } else {
        rc = RegDeleteValueA(key, options.valueName.c_str());
    }
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return Fail("The system was unable to find the specified registry key or value.");
    std::printf("The operation completed successfully.\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (kv::platform::HelpRequested(argc, argv)) {
        PrintUsage(stdout);
        return 0;
    }
    if (argc < 3) return Usage();
    Options options;
    options.verb = argv[1];
    if (!SameIgnoringCase(options.verb, "query") && !SameIgnoringCase(options.verb, "add") &&
        !SameIgnoringCase(options.verb, "delete"))
        return Usage();
    if (!ParseKey(argv[2], options))
        return Fail("Invalid key name: the key must start with HKLM, HKCR, HKU or HKCU.");
    for (int i = 3; i < argc; ++i) {
        std::string arg = argv[i];
        auto next = [&](const char* what, std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            (void)what;
            return true;
        };
        if (SameIgnoringCase(arg, "/v")) {
            if (options.haveValue || !next("/v", options.valueName))
                return Fail("Invalid syntax: /v needs one value name.");
            options.haveValue = true;
        } else if (SameIgnoringCase(arg, "/ve")) {
            if (options.haveValue) return Fail("Invalid syntax: give /v or /ve once.");
            options.haveValue = true;
            options.valueName.clear();
        } else if (SameIgnoringCase(arg, "/va")) {
            options.allValues = true;
        } else if (SameIgnoringCase(arg, "/t")) {
            std::string type;
            if (!next("/t", type)) return Fail("Invalid syntax: /t needs a type name.");
            if (SameIgnoringCase(type, "REG_SZ")) options.type = REG_SZ;
            else if (SameIgnoringCase(type, "REG_DWORD")) options.type = REG_DWORD;
            else return Fail("Invalid type: kvreg writes REG_SZ and REG_DWORD values.");
            options.haveType = true;
        } else if (SameIgnoringCase(arg, "/d")) {
            if (!next("/d", options.data)) return Fail("Invalid syntax: /d needs the data.");
            options.haveData = true;
        } else if (SameIgnoringCase(arg, "/f")) {
            options.force = true;
        } else {
            return Fail(("Invalid syntax: unknown option " + arg + ".").c_str());
        }
    }
    bool query = SameIgnoringCase(options.verb, "query");
    bool add = SameIgnoringCase(options.verb, "add");
    if (!add && (options.haveType || options.haveData))
        return Fail("Invalid syntax: /t and /d belong to add.");
    if (options.allValues && (!SameIgnoringCase(options.verb, "delete") || options.haveValue))
        return Fail("Invalid syntax: /va belongs to delete, without /v.");
    if (add && (options.haveType || options.haveData) && !options.haveValue)
        return Fail("Invalid syntax: /t and /d need /v or /ve.");
    if (!kv::platform::RequireMachineRoot("kvreg")) return 1;
    if (query) return Query(options);
    if (add) return Add(options);
    return Delete(options);
}
