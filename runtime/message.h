#pragma once
// The message object: where a response window leaves the number it closed with, for its opener
// to read as soon as its open call returns.

#include <QString>

namespace rt {

struct message_object {
    double doubleparm = 0;
    QString stringparm;
};

message_object& message();

} // namespace rt
