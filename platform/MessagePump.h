#pragma once

// One pass of the message pump: lets pending window, timer, socket and
// driver events run, then returns. Never waits for new events.
class MessagePump {
public:
    virtual ~MessagePump() = default;
    virtual void DoEvents() = 0;
};

class QtMessagePump final : public MessagePump {
public:
    void DoEvents() override;
};
