#pragma once
// The window gives memory back to the system when the user clears what a run filled.
//
// The C library keeps memory that was freed for later allocations: the blocks of a pane's
// text and a chart's points, freed by a Clear, would otherwise stay with the process.

#include <cstdint>
#include <optional>

namespace veltrano {

/// The memory the system could give the process now without swapping (MemAvailable of
/// /proc/meminfo), in bytes; nothing where the system does not say.
std::optional<std::int64_t> AvailableMemory();

/// Hands the memory the allocator holds free back to the system (glibc's malloc_trim);
/// nothing with other C libraries.
void ReturnFreedMemory() noexcept;

}  // namespace veltrano
