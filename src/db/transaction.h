#pragma once
// Storing a request of INSERTs as one transaction: the server commits it
// whole or not at all, so it flushes its log once a request rather than once
// a booking, and a request cut short leaves nothing half stored.
//
// Each INSERT keeps its own outcome: a statement-ending failure (a duplicate
// key, a constraint) ends only its statement inside the transaction, and the
// outcomes count once a row after the commit proves the commit completed.
// Without that proof nothing of the attempt is taken as known: a request the
// server rolled back (a deadlock victim, a batch-ending error) is rolled back
// on the connection too and sent again, the statement that ended it alone;
// a request whose link went is sent again on the new connection, where an
// INSERT that meets its own row counts as stored.

#include <vector>

#include "db/batch.h"
#include "db/request.h"

/// Runs the INSERTs of inserts (nothing else in it) as transactions over
/// source until each has its outcome, delivering them in order once their
/// commit is proven; wire is the request each attempt is built in (room for
/// four statements and kTransactionFrameCapacity bytes more than inserts).
/// An outcome is delivered with rerun set when an earlier attempt may have
/// stored its row. Returns how it ended: LinkLost when the link is lost for
/// good or the run is to stop, Misfit when the server's answers make no sense
/// or an attempt keeps ending without a cause. What is undelivered then was
/// not stored, except the items listed in mayBeStored (when given): their
/// commit may have completed while its answer was lost.
RequestEnd runTransaction(ResultSource& source, const Request& inserts, Request& wire, const DeliverResult& deliver,
                          std::vector<size_t>* mayBeStored = nullptr);
