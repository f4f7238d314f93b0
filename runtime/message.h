#pragma once
// The message object: where a response window leaves the number it closed with, for its opener
// to read as soon as its open call returns.

namespace rt {

struct message_object {
    double doubleparm = 0;
};

message_object& message();

} // namespace rt
