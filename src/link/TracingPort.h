#pragma once
// A serial port that reports every command and reply it carries, for a
// verbose command line and for traces of a session.

#include "link/SerialPort.h"

#include <functional>
#include <memory>

class TracingPort final : public SerialPort {
public:
    // trace receives ("> ", command) for each command written and
    // ("< ", reply) for the bytes received since it, when they hold a CR,
    // the next command goes out or the port closes.
    using Trace = std::function<void(const char* direction, const std::string& bytes)>;
    TracingPort(std::unique_ptr<SerialPort> port, Trace trace);
    ~TracingPort() override;

    int WriteAll(std::string_view bytes) override;
    int BytesWaiting() override { return port_->BytesWaiting(); }
    int ReadWaiting(char* buffer, size_t size) override;
    int WaitForInput(int64_t microseconds) override { return port_->WaitForInput(microseconds); }
    bool PurgeInput() override { return port_->PurgeInput(); }
    const std::string& Path() const override { return port_->Path(); }

private:
    void FlushReply();
    std::unique_ptr<SerialPort> port_;
    Trace trace_;
    std::string received_;
};
