#pragma once
// The monitor cycle over an in-process box, for tests of the steps that run
// inside a tick: no waits, and the encoder's identity left to the test.

#include "FakeBox.h"
#include "monitor/MonitorCycle.h"

struct NoTickServices final : TickServices {
    void Wait(int) override {}
    void IdentifyNewEncoder() override {}
};

template <class Services>
struct BasicMonitorRig {
    Link link;
    FakeBox& box = AttachFakeBox(link);
    EncoderIdentity identity;
    PositionUnits units{link.PositionMTLength, link.PositionSTLength};
    Services services;
    MonitorCycle cycle{link, identity, units, services};
};
using MonitorRig = BasicMonitorRig<NoTickServices>;
