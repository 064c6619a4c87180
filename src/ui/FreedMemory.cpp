#include "ui/FreedMemory.h"

#include <cstdlib>  // with the GNU C library, this defines __GLIBC__

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace veltrano {

void ReturnFreedMemory() noexcept {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace veltrano
