#include "common/Deliverable.h"

#include "strings/CodeMap.h"

namespace {

const DWORD kEngineCodes[] = {PSC_SERVICE_NAME, PSC_REGISTRY_ROOT, PSC_CONNECT_STRING};
const DWORD kServiceCodes[] = {PSC_SERVICE_NAME, PSC_SERVICE_DESCRIPTION, PSC_REGISTRY_ROOT};
const DWORD kLauncherCodes[] = {PSC_REGISTRY_ROOT};
const DWORD kConsoleCodes[] = {PSC_REGISTRY_ROOT,  PSC_CONSOLE_CONNECT_STRING, PSC_CONSOLE_NAME,
                               PSC_CONSOLE_ABOUT,  PSC_VERSION,                PSC_PROVIDER,
                               PSC_UPDATE_PRODUCT_CODE};

template <size_t N>
constexpr size_t Count(const DWORD (&)[N]) {
    return N;
}

}  // namespace

const DeliverableProfile kEngineProfile = {
    DeliverableKind::Engine, "KvAgentDbg.txt", LogLineStyle::WithMilliseconds, 5000, 4950, true,
    "GetModulePath", "OrvEngine.dll", kEngineCodes, Count(kEngineCodes), 3, 1};

const DeliverableProfile kServiceProfile = {
    DeliverableKind::Service, "KvAgentDbg.txt", LogLineStyle::TrailingBlank, 5000, 0, false,
    "GetModulePath", nullptr, kServiceCodes, Count(kServiceCodes), 3, 1};

const DeliverableProfile kLauncherProfile = {
    DeliverableKind::Launcher, "KvLaunch.txt", LogLineStyle::WithMilliseconds, 5000, 0, true,
    "GetAppPath", "KvLaunch.exe", kLauncherCodes, Count(kLauncherCodes), 3, 1};

const DeliverableProfile kConsoleProfile = {
    DeliverableKind::Console, "kvconfigdbg.txt", LogLineStyle::TrailingBlank, 10000, 9900, true,
    "GetModulePath", "OrvConsole.dll", kConsoleCodes, Count(kConsoleCodes), 4, 2};

#if defined(KV_DELIVERABLE_ENGINE)
DeliverableProfile g_Deliverable = kEngineProfile;
#elif defined(KV_DELIVERABLE_SERVICE)
DeliverableProfile g_Deliverable = kServiceProfile;
#elif defined(KV_DELIVERABLE_LAUNCHER)
DeliverableProfile g_Deliverable = kLauncherProfile;
#elif defined(KV_DELIVERABLE_CONSOLE)
DeliverableProfile g_Deliverable = kConsoleProfile;
#else
#error "compile the common layer with KV_DELIVERABLE_<ENGINE|SERVICE|LAUNCHER|CONSOLE>"
#endif
