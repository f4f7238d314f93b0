#include "runtime/message.h"

namespace rt {

message_object& message()
{
    static message_object m;
    return m;
}

} // namespace rt
