// Whether the machine runs on batteries, from the kernel's power supplies
// (/sys/class/power_supply, or the folder KESTRAVA_POWER_SUPPLY names): on
// batteries when a battery is discharging and no mains or USB supply is
// online. A machine without a battery is on mains.
#pragma once

#ifndef KV_PLATFORM_INTERNAL
#error "platform internals are not for use outside platform/"
#endif

namespace kv::platform::taskscheduler {

bool OnBatteries();

}  // namespace kv::platform::taskscheduler
