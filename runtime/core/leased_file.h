#pragma once
// A big file's bytes mapped into memory rather than copied into fresh memory, which on a virtual
// machine costs more per page than anything done with the text afterwards.
//
// A mapping alone would be unsafe: a file cut shorter while mapped ends the process (SIGBUS) at
// the next read of its lost pages, and a file written over shows its new bytes under rows that
// were sorted by the old ones. So a file is only mapped under a read lease. Any program (this one
// included) that then opens the file to write or truncate it, or truncates it by name, is held
// back by the kernel until the lease is let go; before letting go, a watcher thread copies the
// bytes into memory of this process's own and puts the copy in the mapping's place, at the same
// address. The text behind a block therefore never changes and never goes away.
//
// Files that cannot be leased (another program has them open for writing, they belong to
// another user, their file system knows no leases) are not mapped: the caller reads them.

#include "runtime/core/text_block.h"

#include <cstddef>
#include <memory>

namespace core {

// The bytes of the regular file open (read-only) at `fd`, mapped under a lease, with at least one
// page of zeros after them; null when the file is not leased and mapped, or is smaller than
// `min_size`. The block holds a descriptor of its own. Nothing of the file is brought in yet:
// see bring_in().
std::shared_ptr<const text_block> map_leased(int fd, std::size_t min_size);

// Brings `count` bytes of a mapped block in from `offset` (a multiple of the page size), so that
// an error reading the disk is returned here rather than ending the process at the first touch;
// false, with errno set, when they cannot be.
bool bring_in(const text_block& mapped, std::size_t offset, std::size_t count);

} // namespace core
