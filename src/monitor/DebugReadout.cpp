#include "monitor/DebugReadout.h"

bool DebugReadout::Run(Link& link)
{
    return ReadNow(link) != DebugRead::Failed;
}

DebugRead DebugReadout::ReadNow(Link& link)
{
    const DebugRead result = diagnostics_.Read(link, identity_);
    if (result == DebugRead::Read)
        ++reads_;
    return result;
}

EncoderOutcome DebugReadout::Unlock(Link& link)
{
    return UnlockDebugBanks(link);
}
