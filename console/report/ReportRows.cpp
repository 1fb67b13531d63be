#include "console/report/ReportRows.h"

#include <cstdio>
#include <vector>

#include "common/ResourceModule.h"
#include "console/data/Links.h"
#include "console/tree/FileRules.h"
#include "platform/file/File.h"
#include "platform/fs/Attributes.h"
#include "platform/fs/Drives.h"
#include "platform/shell/ShellInfo.h"

namespace {

struct FolderEntry {
    std::string name;
    bool folder;
    uint64_t size;
};

// A file the report cannot read shows no size, as its check would record none.
uint64_t ReadableSize(const std::string& path, uint64_t size) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    CloseHandle(file);
    return size;
}

std::string TypeName(const std::string& path) {
    SHFILEINFOA info{};
    if (SHGetFileInfoA(path.c_str(), 0, &info, sizeof info, SHGFI_TYPENAME) == 0) return std::string();
    return info.szTypeName;
}

class CReportWalk {
public:
    CReportWalk(CConsoleData& data, LONG profileId, CReportPageWriter& writer)
        : m_data(data), m_profileId(profileId), m_writer(writer) {}

    void WalkDrives() {
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            std::string root = std::string(1, letter) + ":\\";
            UINT type = GetDriveTypeA(root.c_str());
            if (type == DRIVE_REMOVABLE || type == DRIVE_REMOTE || type == DRIVE_CDROM || type == DRIVE_RAMDISK ||
                type == DRIVE_NO_ROOT_DIR)
                continue;
            if (GetEffectiveProfile(m_data, root) == m_profileId ||
                CountExceptions(m_data, root, ExceptionCount::Page) > 0)
                WalkFolder(root);
        }
    }

private:
    // The folder is listed completely before anything below it, so no
    // directory stays open per level of a deep tree.
    void WalkFolder(const std::string& folder) {
        std::vector<FolderEntry> entries;
        ListFolder(folder, [&](const WIN32_FIND_DATAA& found) {
            bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            uint64_t size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
            entries.push_back({found.cFileName, isFolder, isFolder ? 0 : size});
        });
        for (const FolderEntry& entry : entries) {
            std::string path = folder + entry.name;
            std::string itemPath = entry.folder ? path + "\\" : path;
            if (GetEffectiveProfile(m_data, itemPath) == m_profileId) {
                m_writer.WriteCell1(entry.name);
                m_writer.WriteCell2(ReportFolderText(path));
                m_writer.WriteCell3(TypeName(path));
                m_writer.WriteCell4(ReportSizeText(entry.folder ? 0 : ReadableSize(path, entry.size)));
                if (entry.folder) WalkFolder(itemPath);
            } else if (entry.folder && CountExceptions(m_data, itemPath, ExceptionCount::Page) > 0) {
                WalkFolder(itemPath);
            }
        }
    }

    CConsoleData& m_data;
    LONG m_profileId;
    CReportPageWriter& m_writer;
};

}  // namespace

std::string ReportSizeText(uint64_t size) {
    char text[64];
    if (size <= 1024) {
        std::snprintf(text, sizeof text, "%d Bytes", static_cast<int>(size));
        return text;
    }
    static const char* const units[] = {" KBytes", " MBytes", " GBytes", " TBytes"};
    double value = static_cast<double>(size);
    int divisions = 0;
    while (value > 1024.0 && divisions < 4) {
        value /= 1024.0;
        ++divisions;
    }
    std::snprintf(text, sizeof text, "%.3g%s", value, units[divisions - 1]);
    return text;
}

std::string ReportFolderText(const std::string& path) {
    size_t slash = path.rfind('\\');
    std::string folder = slash == std::string::npos ? path : path.substr(0, slash);
    if (folder.size() == 2 && folder[1] == ':') folder += "\\";
    return folder;
}

std::string ReportSubject(const CConsoleData& data, LONG profileId) {
    std::string subject;
    for (const CProfileEntry& profile : data.m_profiles)
        if (profile.id == profileId) subject = profile.name;
    if (profileId != 1) {
        std::string suffix;
        LoadResourceString(5, suffix);
        subject += " " + suffix;
    }
    return subject;
}

void WriteReportRows(CConsoleData& data, LONG profileId, CReportPageWriter& writer) {
    InitFileProfLnk(data);
    CReportWalk(data, profileId, writer).WalkDrives();
}
