#include "runtime/window_refs.h"

namespace rt {

window_refs& windows()
{
    static window_refs refs;
    return refs;
}

} // namespace rt
