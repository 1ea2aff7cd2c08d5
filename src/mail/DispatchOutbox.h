#pragma once

#include "mail/MailTransport.h"
#include "state/ServerState.h"

namespace fas::mail {

// Delivers the pending outbox rows as one digest per recipient text, through the transport
// the process uses (see makeMailTransport), and marks the rows of each delivered message sent.
//
// A digest larger than the destination takes goes out as several messages of whole rows. A
// message the server refuses keeps its rows pending and the dispatch goes on; a refusal for good
// also holds its recipient text back for a growing wait (state.holds), skipped without an error
// until then. When nothing can be delivered (settings, server, TLS, log-in) the dispatch stops
// and every row left stays pending for the next run. Both are run errors (state.report and standard
// error). Database errors and a counter overflow end the dispatch and reach the task run; so does a
// stop request, checked between messages (RunStopped), which leaves the rest pending.
void DispatchOutbox(ServerState& state);

// The same through a given transport.
void DispatchOutbox(ServerState& state, MailTransport& transport);

}  // namespace fas::mail
