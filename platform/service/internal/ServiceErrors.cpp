#include "platform/service/internal/ServiceErrors.h"

namespace kv::platform::service {

const char* ErrorText(DWORD code) {
    switch (code) {
        case 0: return "The operation completed successfully.";
        case 2: return "The system cannot find the file specified.";
        case 5: return "Access is denied.";
        case 6: return "The handle is invalid.";
        case 8: return "Not enough memory resources are available to process this command.";
        case 13: return "The data is invalid.";
        case 31: return "A device attached to the system is not functioning.";
        case 87: return "The parameter is incorrect.";
        case 122: return "The data area passed to a system call is too small.";
        case 123: return "The filename, directory name, or volume label syntax is incorrect.";
        case 124: return "The system call level is not correct.";
        case 193: return "The program is not a valid Win32 application.";
        case 1052: return "The requested control is not valid for this service.";
        case 1053: return "The service did not respond to the start or control request in a timely fashion.";
        case 1054: return "A thread could not be created for the service.";
        case 1055: return "The service database is locked.";
        case 1056: return "An instance of the service is already running.";
        case 1057:
            return "The account name is invalid or does not exist, or the password is invalid for the "
                   "account name specified.";
        case 1058:
            return "The service cannot be started, either because it is disabled or because it has no "
                   "enabled devices associated with it.";
        case 1059: return "Circular service dependency was specified.";
        case 1060: return "The specified service does not exist as an installed service.";
        case 1061: return "The service cannot accept control messages at this time.";
        case 1062: return "The service has not been started.";
        case 1063: return "The service process could not connect to the service controller.";
        case 1065: return "The database specified does not exist.";
        case 1066: return "The service has returned a service-specific error code.";
        case 1067: return "The process terminated unexpectedly.";
        case 1072: return "The specified service has been marked for deletion.";
        case 1073: return "The specified service already exists.";
        case 1078: return "The name is already in use as either a service name or a service display name.";
        case 1083:
            return "The executable program that this service is configured to run in does not implement "
                   "the service.";
        case 1722: return "The RPC server is unavailable.";
        default: return "The operation failed.";
    }
}

}  // namespace kv::platform::service
