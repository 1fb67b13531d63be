// Alert mails the server did not take are kept in the spool folder
// AlertSpool of the data folder and sent at the next check, oldest first and
// before that check's own alert, each as it was composed; one leaves the
// spool only once the server took it. The spool holds at most 100 alerts and
// 64 MiB; beyond that a new alert is not kept (its event records remain).
#pragma once

#include "engine/alert/MailNotifier.h"
#include "platform/win/WinTypes.h"

// Sends the kept alerts, oldest first, through the server of the settings.
// The first the server does not take ends the round: the rest keep their
// place. An alert the server refuses for good, or a file that is no alert,
// leaves the round with a log line so that it never blocks the others.
void SendSpooledAlerts();

// Sends this check's alert, or keeps it: behind alerts still waiting (it is
// then not tried, so the order holds), or when the server does not take it
// now. S_OK when the server took it.
HRESULT DeliverAlert(const MailRequest& request);
