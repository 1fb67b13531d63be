// Owners of files and folders as Windows security identifiers and account
// names: GetSecurityInfo, GetFileSecurityA, GetSecurityDescriptorOwner,
// LookupAccountSidA, LocalFree.
//
// A uid is the identifier S-1-22-1-<uid> and a gid S-1-22-2-<gid> (the form
// Unix accounts are given in Windows networks). LookupAccountSidA names the
// account from the system's user (or group) database, with this computer's
// name (GetComputerNameA) as its domain, so an owner reads
// "<COMPUTER>\<account>" as a local account does on Windows; an identifier
// without an account fails with ERROR_NONE_MAPPED.
//
// The owner of a link is the link's own, never its target's. A handle for
// GetSecurityInfo comes from CreateFileA with READ_CONTROL access alone,
// which opens nothing's content (no FIFO waits, no device acts).
#pragma once

#include "platform/win/WinTypes.h"

typedef void* PSID;
typedef void* PSECURITY_DESCRIPTOR;
typedef void* HLOCAL;
typedef DWORD SECURITY_INFORMATION;
typedef BOOL* LPBOOL;
struct ACL;
typedef ACL* PACL;

enum SE_OBJECT_TYPE { SE_UNKNOWN_OBJECT_TYPE = 0, SE_FILE_OBJECT = 1 };

enum SID_NAME_USE {
    SidTypeUser = 1,
    SidTypeGroup = 2,
    SidTypeDomain = 3,
    SidTypeAlias = 4,
    SidTypeWellKnownGroup = 5,
    SidTypeDeletedAccount = 6,
    SidTypeInvalid = 7,
    SidTypeUnknown = 8,
};
typedef SID_NAME_USE* PSID_NAME_USE;

#define OWNER_SECURITY_INFORMATION 0x00000001u
#define GROUP_SECURITY_INFORMATION 0x00000002u

#ifndef RPC_S_SERVER_UNAVAILABLE
#define RPC_S_SERVER_UNAVAILABLE 1722L
#endif
#ifndef ERROR_INVALID_SECURITY_DESCR
#define ERROR_INVALID_SECURITY_DESCR 1338L
#endif

// Owner and group of an open object: a descriptor allocated for the caller
// (free it with LocalFree; the identifiers point into it). Returns
// ERROR_SUCCESS or an error code (it does not set the last error).
// ppSecurityDescriptor is required when ppsidOwner or ppsidGroup is given;
// discretionary and system access lists are not kept here and come back
// null.
DWORD GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION info,
                      PSID* ppsidOwner, PSID* ppsidGroup, PACL* ppDacl, PACL* ppSacl,
                      PSECURITY_DESCRIPTOR* ppSecurityDescriptor);

namespace kv::platform {
// GetSecurityInfo of the entry a folder enumeration (Find.h) returned last,
// from the status the listing already read: nothing is opened. Fails with
// ERROR_ACCESS_DENIED when the listing could not read that entry's status.
DWORD GetFoundEntrySecurityInfo(HANDLE find, SECURITY_INFORMATION info, PSID* ppsidOwner, PSID* ppsidGroup,
                                PSECURITY_DESCRIPTOR* ppSecurityDescriptor);
}  // namespace kv::platform

// The same for a path, into the caller's buffer; too small a buffer fails
// with ERROR_INSUFFICIENT_BUFFER and the size needed in *lengthNeeded.
BOOL GetFileSecurityA(LPCSTR fileName, SECURITY_INFORMATION requested,
                      PSECURITY_DESCRIPTOR descriptor, DWORD length, LPDWORD lengthNeeded);
BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID* owner, LPBOOL defaulted);

// systemName null, empty or this computer's name. With a buffer too small
// (or null) for the name or the domain: FALSE, ERROR_INSUFFICIENT_BUFFER and
// both sizes needed, nulls included; on success both lengths without them.
BOOL LookupAccountSidA(LPCSTR systemName, PSID sid, LPSTR name, LPDWORD nameLength,
                       LPSTR domainName, LPDWORD domainLength, PSID_NAME_USE use);

BOOL IsValidSid(PSID sid);

// Frees what GetSecurityInfo allocated; null on success.
HLOCAL LocalFree(HLOCAL memory);
