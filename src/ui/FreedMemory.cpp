#include "ui/FreedMemory.h"

#include <cstdlib>  // with the GNU C library, this defines __GLIBC__

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <QFile>

namespace veltrano {

std::optional<std::int64_t> AvailableMemory() {
  QFile meminfo(QStringLiteral("/proc/meminfo"));
  if (!meminfo.open(QIODevice::ReadOnly | QIODevice::Text)) return std::nullopt;
  while (!meminfo.atEnd()) {
    const QByteArray line = meminfo.readLine().simplified();  // "MemAvailable: 123456 kB"
    if (!line.startsWith("MemAvailable:")) continue;
    const QList<QByteArray> parts = line.split(' ');
    bool ok = false;
    const qint64 kb = parts.size() >= 2 ? parts[1].toLongLong(&ok) : 0;
    if (ok && parts.size() == 3 && parts[2] == "kB") return std::int64_t{kb} * 1024;
    return std::nullopt;
  }
  return std::nullopt;
}

void ReturnFreedMemory() noexcept {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace veltrano
