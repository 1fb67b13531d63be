#include "engine/fingerprint/FingerPrint.h"

#include <cstring>

#include "common/DebugLog.h"
#include "engine/EngineState.h"
#include "platform/file/File.h"
#include "platform/fs/Find.h"

namespace {

thread_local DWORD t_dwReadCount = 0;

// Closes the file on every way out, exceptions included.
struct FileCloser {
    HANDLE file;
    ~FileCloser() {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
};

}  // namespace

HRESULT FingerPrintFile(const char* path, char* fingerprint) {
    t_dwReadCount = 0;
    if (fingerprint == nullptr) {
        WriteDebugLog(1, "NULL pointer for FingerPrint");
        return S_FALSE;
    }
    if (path == nullptr) path = "";
    if (path[0] == '\0') WriteDebugLog(1, "File is empty");
    try {
        // Sharing nothing, as the content must not change under the reading.
        FileCloser file {CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr)};
        if (file.file == INVALID_HANDLE_VALUE) {
            WriteDebugLogF(1, "Could not open the file %s", path);
            return E_FAIL;
        }
        return FingerPrintOpenFile(file.file, path, fingerprint);
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in FingerPrintFile");
        return E_FAIL;
    }
}

HRESULT FingerPrintOpenFile(HANDLE file, const char* path, char* fingerprint) {
    t_dwReadCount = 0;
    if (fingerprint == nullptr) {
        WriteDebugLog(1, "NULL pointer for FingerPrint");
        return S_FALSE;
    }
    try {
        MD5Context context;
        MD5Init(&context);
        uint8_t block[FINGERPRINT_BLOCK_BYTES];
        for (;;) {
            DWORD read = 0;
            ++t_dwReadCount;
            // A read that fails half-way leaves a digest of part of the
            // content, which would pass for a change of it: the content
            // counts as unreadable instead.
            if (!ReadFile(file, block, sizeof block, &read, nullptr)) {
                WriteDebugLogF(1, "Could not read the file %s", path != nullptr ? path : "");
                return E_FAIL;
            }
            if (StopRequested()) {
                WriteDebugLog(1, "Stop Service encountered 4");
                return FINGERPRINT_STOPPED;
            }
            if (read == 0) break;
            MD5Update(&context, block, read);
        }
        uint8_t digest[MD5_DIGEST_BYTES];
        MD5Final(digest, &context);
        MD5ToText(digest, fingerprint);
        return S_OK;
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in FingerPrintFile");
        return E_FAIL;
    }
}

HRESULT FingerPrintListedFile(HANDLE find, const char* name, const char* path, char* fingerprint) {
    FileCloser file {kv::platform::OpenFoundFile(find, name, GENERIC_READ, 0, FILE_FLAG_SEQUENTIAL_SCAN)};
    if (file.file == INVALID_HANDLE_VALUE) {
        WriteDebugLogF(1, "Could not open the file %s", path);
        return E_FAIL;
    }
    return FingerPrintOpenFile(file.file, path, fingerprint);
}

DWORD FingerPrintFileReadCount() { return t_dwReadCount; }
