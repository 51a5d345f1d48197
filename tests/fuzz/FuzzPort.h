#pragma once
// A serial port whose replies come from the fuzzer's input: each command is
// answered by the next piece of the input (pieces end at a line feed).

#include "ReplyQueuePort.h"

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzPort final : public ReplyQueuePort {
public:
    FuzzPort(const uint8_t* data, size_t size)
        : ReplyQueuePort("fuzz"), input_(reinterpret_cast<const char*>(data), size)
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

private:
    std::string input_;
    size_t at_ = 0;
};
