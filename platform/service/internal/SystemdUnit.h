// On a host run by systemd, an automatic service also gets a unit, so that
// it starts with the machine: the unit runs the binary path (which starts
// the service through the manager, as " -startservice" does) and stops it
// with the stop control.
//
// Only for the machine's own database: the root is the default
// /var/lib/kestrava, or KESTRAVA_SCM_SYSTEMD=1 asks for units under another
// root; KESTRAVA_SCM_SYSTEMD=0 turns them off. Units go to
// /etc/systemd/system unless KESTRAVA_SCM_UNIT_DIR names another folder.
#pragma once

#ifndef KV_PLATFORM_INTERNAL
#error "platform internals are not for use outside platform/"
#endif

#include <string>

#include "platform/service/internal/ServiceDatabase.h"

namespace kv::platform::service {

// /run/systemd/system exists and process 1 is systemd.
bool HostRunBySystemd();
// Whether this database keeps units (see above), on a host run by systemd.
bool UnitsWanted();
std::string UnitFolder();

// "kestrava-<name in lower case, other characters as '-'>.service".
std::string UnitName(const std::string& serviceName);
// The unit's text; kvsc is the stop tool's path (empty: SIGTERM alone).
std::string UnitText(const ServiceConfig& config, const std::string& root, const std::string& kvsc);
// Writes the unit and its link in multi-user.target.wants of folder.
bool WriteUnit(const std::string& folder, const ServiceConfig& config, const std::string& root,
               const std::string& kvsc);
void RemoveUnit(const std::string& folder, const std::string& serviceName);

// The manager's own use: after a service is created, and before one goes.
void InstallUnitFor(const ServiceConfig& config);
void RemoveUnitFor(const ServiceConfig& config);

}  // namespace kv::platform::service
