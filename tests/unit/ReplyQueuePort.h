#pragma once
// The reading side of an in-process port: replies are queued by the
// subclass's WriteAll and handed out as if they had arrived on a device.

#include "link/SerialPort.h"

#include <algorithm>
#include <string>

class ReplyQueuePort : public SerialPort {
public:
    int BytesWaiting() override { return static_cast<int>(pending_.size()); }
    int ReadWaiting(char* buffer, size_t size) override
    {
        const size_t n = std::min(size, pending_.size());
        pending_.copy(buffer, n);
        pending_.erase(0, n);
        return static_cast<int>(n);
    }
    int WaitForInput(int64_t) override { return pending_.empty() ? 0 : 1; }
    bool PurgeInput() override
    {
        pending_.clear();
        return true;
    }
    const std::string& Path() const override { return path_; }

protected:
    // An in-process box answers at once or never: no late replies to wait out.
    explicit ReplyQueuePort(std::string path) : path_(std::move(path)) { SetLateReplyMs(0); }
    // What the port has received and not yet handed out.
    std::string pending_;

private:
    std::string path_;
};
