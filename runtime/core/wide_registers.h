#pragma once
// The upper halves of the processor's wide vector registers. While any of them may hold
// something, each older 16-byte vector instruction waits for the register it writes, which
// chains every step of a scan to the memory read before it: a thread that a graphical program
// starts inherits that state, and a save that took half a second took one. Work that runs long
// starts from clean registers.

namespace core {

// Marks the wide registers' upper halves unused, where the processor has them; else nothing.
void clean_wide_registers() noexcept;

// Whether the upper halves are marked in use now; false where the processor cannot tell.
bool wide_registers_in_use() noexcept;

} // namespace core
