// Who claims a batch row, and whether that sender still runs. A row is
// claimed as "desk #pid boot start": the desk (user@machine), the process's
// id, the machine's boot id and the process's start time since that boot.
// The last two tell a sender that stopped from a later process that got the
// same id (after a reboot, or once ids wrap around). Claims written before
// ("desk #pid", or the desk alone) are still read, judged by what they hold.
#pragma once

#include <QString>

namespace BatchClaims {

// The claim text of process `pid` of this machine for `desk`; only "desk
// #pid" when the system does not say its boot id or the process's start.
QString claimerOf(const QString& desk, qint64 pid);

// The claim of this process.
QString ownClaimer(const QString& desk);

// What a claim found on a "sending" row says of its sender.
enum class Sender {
    OtherDesk, // another desk's: that desk settles it
    Running,   // a process of this desk that still runs on this machine
    Stopped,   // this desk's sender that no longer runs (or this very process)
    Unknown,   // this desk's, but unreadable: left alone
};
Sender judge(const QString& claimer, const QString& desk);

} // namespace BatchClaims
