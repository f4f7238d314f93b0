#pragma once
// The mouse pointer's busy and normal shapes.

namespace rt {

void set_busy_pointer();
void set_normal_pointer();
// True while the busy shape is shown.
bool pointer_is_busy();

// Shows the busy pointer for its lifetime, so every way out of a long step restores it.
class busy_pointer {
public:
    busy_pointer() { set_busy_pointer(); }
    ~busy_pointer() { set_normal_pointer(); }
    busy_pointer(const busy_pointer&) = delete;
    busy_pointer& operator=(const busy_pointer&) = delete;
};

} // namespace rt
