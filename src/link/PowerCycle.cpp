#include "link/PowerCycle.h"

#include <chrono>
#include <thread>

bool PowerCycleTick(int& remaining, PowerSwitch& power)
{
    if (remaining <= 0)
        return false;
    if (!power.IsOn()) {
        power.Select(true);
        --remaining;
    } else {
        power.Select(false);
    }
    return true;
}

void PowerCycleEncoder(PowerSwitch& power, const std::function<void(int)>& sleepMs)
{
    power.Select(false);
    sleepMs(1200);
    power.Select(true);
    sleepMs(200);
}

void SleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
