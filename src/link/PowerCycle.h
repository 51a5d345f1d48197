#pragma once
// Switching the encoder's supply off and on again: the endurance test on the
// Test page, and the single power cycle that other actions use.

#include "link/InterfaceSettings.h"

#include <functional>

// One step of the power-cycling test. remaining is the number of cycles still
// to run. Returns false when the test is over (remaining was 0 at the tick):
// the caller clears "Start" and stops its timer. Otherwise switches the power:
// on (counting one cycle done) when it was off, off when it was on. The test
// therefore always ends with the encoder on.
bool PowerCycleTick(int& remaining, PowerSwitch& power);

// Off, wait 1200 ms, on, wait 200 ms. sleepMs blocks (the window does not
// repaint meanwhile, as no other handler may use the port in between).
void PowerCycleEncoder(PowerSwitch& power, const std::function<void(int)>& sleepMs);

// A blocking sleep for PowerCycleEncoder.
void SleepMs(int ms);
