#include "platform/odbc/DataSource.h"

#include <set>

#include <dlfcn.h>

#include <stdlib.h>

#include <cctype>
#include <fstream>
#include <mutex>

#include "platform/root/MachineRoot.h"

namespace kv::platform {
namespace {

std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The value of one attribute of "NAME=value;NAME={value};..."; empty when absent.
std::string ConnectAttribute(const std::string& connect, const std::string& name) {
    size_t pos = 0;
    while (pos < connect.size()) {
        size_t eq = connect.find('=', pos);
        if (eq == std::string::npos) break;
        std::string key = Trim(connect.substr(pos, eq - pos));
        std::string value;
        size_t next;
        size_t start = eq + 1;
        if (start < connect.size() && connect[start] == '{') {
            size_t close = connect.find('}', start);
            value = connect.substr(start + 1, close == std::string::npos ? std::string::npos : close - start - 1);
            next = close == std::string::npos ? connect.size() : connect.find(';', close);
        } else {
            next = connect.find(';', start);
            value = connect.substr(start, next == std::string::npos ? std::string::npos : next - start);
        }
        if (SameName(key, name)) return Trim(value);
        if (next == std::string::npos) break;
        pos = next + 1;
    }
    return std::string();
}

// One value of a section of an ini file; empty when absent.
std::string IniValue(const std::string& file, const std::string& section, const std::string& name) {
    std::ifstream in(file);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        std::string text = Trim(line);
        if (text.empty() || text[0] == '#' || text[0] == ';') continue;
        if (text.front() == '[') {
            size_t close = text.find(']');
            inSection = SameName(Trim(text.substr(1, close == std::string::npos ? std::string::npos : close - 1)),
                                 section);
            continue;
        }
        if (!inSection) continue;
        size_t eq = text.find('=');
        if (eq != std::string::npos && SameName(Trim(text.substr(0, eq)), name)) return Trim(text.substr(eq + 1));
    }
    return std::string();
}

std::mutex g_environmentLock;

void SetIfDifferent(const char* name, const std::string& value) {
    const char* current = ::getenv(name);
    if (current == nullptr || value != current) ::setenv(name, value.c_str(), 1);
}

// The driver manager unloads a driver whenever its last environment goes,
// which the engine's restart after every 1000 rows does each time; a driver
// kept loaded for the life of the process is loaded once, and what it keeps
// for its own life stays attributable to it.
void PinDrivers(const std::string& driverFile) {
    static std::set<std::string> pinned;
    // The driver manager's own installer library is loaded and dropped the
    // same way.
    static const bool installerPinned = ::dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NODELETE) != nullptr;
    (void)installerPinned;
    std::ifstream in(driverFile);
    std::string line;
    while (std::getline(in, line)) {
        std::string text = Trim(line);
        size_t eq = text.find('=');
        if (eq == std::string::npos || !SameName(Trim(text.substr(0, eq)), "Driver")) continue;
        std::string path = Trim(text.substr(eq + 1));
        if (path.empty() || path[0] != '/' || pinned.count(path)) continue;
        if (::dlopen(path.c_str(), RTLD_NOW | RTLD_NODELETE) != nullptr) pinned.insert(path);
    }
}

}  // namespace

std::string DataSourceFolder() { return MachineRoot() + "/odbc"; }

void UseMachineDataSources() {
    std::lock_guard<std::mutex> hold(g_environmentLock);
    std::string folder = DataSourceFolder();
    SetIfDifferent("ODBCSYSINI", folder);
    SetIfDifferent("ODBCINSTINI", "odbcinst.ini");
    // The user data-source file is the root's too, so that nothing of the
    // account the process runs as (~/.odbc.ini) takes part.
    SetIfDifferent("ODBCINI", folder + "/odbc.ini");
    PinDrivers(folder + "/odbcinst.ini");
}

std::string DataSourceDatabaseFile(const std::string& connectString) {
    std::string database = ConnectAttribute(connectString, "Database");
    if (!database.empty()) return database;
    std::string dsn = ConnectAttribute(connectString, "DSN");
    if (dsn.empty()) return std::string();
    return IniValue(DataSourceFolder() + "/odbc.ini", dsn, "Database");
}

}  // namespace kv::platform
