#pragma once
// A serial port whose replies come from the fuzzer's input: each command is
// answered by the next piece of the input (pieces end at a line feed).

#include "link/SerialPort.h"

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzPort final : public SerialPort {
public:
    FuzzPort(const uint8_t* data, size_t size) : input_(reinterpret_cast<const char*>(data), size)
    {
        SetReplyTimeoutMs(0);
    }
    int WriteAll(std::string_view) override
    {
        const size_t end = input_.find('\n', at_);
        pending_ = input_.substr(at_, end == std::string::npos ? std::string::npos : end - at_);
        at_ = end == std::string::npos ? input_.size() : end + 1;
        return 0;
    }
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

private:
    std::string input_;
    size_t at_ = 0;
    std::string pending_;
    std::string path_ = "fuzz";
};
