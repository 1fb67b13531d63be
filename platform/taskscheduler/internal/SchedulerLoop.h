// The scheduler service's work: run each work item at its run times, start
// requested runs, record every run in its work item.
//
// The loop sleeps in one poll until something is due: the tasks folder
// changed (inotify), the next run time came (a real-time timer that is also
// cancelled when the clock is set, so a clock change is a reason to look
// again, never a run twice or a run lost), a run ended (its pidfd), or the
// stop descriptor became readable. Nothing is polled while idle.
//
// Run times count from the work item's reference (its last run, or its save
// when it has not run): a run time that passed while the service was down
// (or the machine asleep, or the clock moved forward) is run once, late, as
// soon as the service sees it, however many run times passed; a run time
// at or before the reference is never run again, so moving the clock back
// repeats nothing. A work item whose previous run still goes is not started
// again; the run times that pass meanwhile are skipped.
#pragma once

#ifndef KV_PLATFORM_INTERNAL
#error "platform internals are not for use outside platform/"
#endif

namespace kv::platform::taskscheduler {

// Runs until stopFd becomes readable; false when the loop could not be set
// up (no tasks folder, no inotify).
bool RunSchedulerLoop(int stopFd);

}  // namespace kv::platform::taskscheduler
