#include "link/TracingPort.h"

TracingPort::TracingPort(std::unique_ptr<SerialPort> port, Trace trace) : port_(std::move(port)), trace_(std::move(trace))
{
    SetReplyTimeoutMs(port_->ReplyTimeoutMs());
}

TracingPort::~TracingPort()
{
    FlushReply();
}

void TracingPort::FlushReply()
{
    if (!received_.empty() && trace_)
        trace_("< ", received_);
    received_.clear();
}

int TracingPort::WriteAll(std::string_view bytes)
{
    FlushReply();
    if (trace_)
        trace_("> ", std::string(bytes));
    return port_->WriteAll(bytes);
}

int TracingPort::ReadWaiting(char* buffer, size_t size)
{
    const int got = port_->ReadWaiting(buffer, size);
    if (got > 0) {
        received_.append(buffer, static_cast<size_t>(got));
        if (received_.find('\r') != std::string::npos)
            FlushReply();
    }
    return got;
}
