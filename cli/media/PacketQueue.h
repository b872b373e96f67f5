/* PacketQueue.h — compressed packets handed from the thread that reads the input to the one that writes the
   output (the audio that goes along with the video); pushing never waits, taking never waits. */
#pragma once

#include <deque>
#include <mutex>

#include "media/Av.h"

namespace cfcli::media {

class PacketQueue {
public:
    void push(Packet packet)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        packets_.push_back(std::move(packet));
    }
    /* The oldest packet, or null when there is none now. */
    Packet take()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (packets_.empty()) {
            return nullptr;
        }
        Packet p = std::move(packets_.front());
        packets_.pop_front();
        return p;
    }

private:
    std::mutex mutex_;
    std::deque<Packet> packets_;
};

} // namespace cfcli::media
