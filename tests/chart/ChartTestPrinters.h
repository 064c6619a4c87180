#pragma once
// Readable failure messages for the chart types GoogleTest cannot print by itself.
#include "chart/ChartModel.h"

#include <QColor>

#include <ostream>

inline void PrintTo(const QColor& c, std::ostream* os) {
  *os << "RGBA(" << c.red() << ", " << c.green() << ", " << c.blue() << ", " << c.alpha() << ")";
}

namespace veltrano {
inline void PrintTo(const ChartPoint& p, std::ostream* os) { *os << "(" << p.x << ", " << p.y << ")"; }
inline void PrintTo(SeriesHandle h, std::ostream* os) { *os << "series #" << h.index; }
inline void PrintTo(const AxisRange& r, std::ostream* os) {
  *os << r.min << " .. " << r.max << " by " << r.increment;
}
inline void PrintTo(const DataExtent& e, std::ostream* os) {
  *os << "x " << e.xmin << " .. " << e.xmax << ", y " << e.ymin << " .. " << e.ymax;
}
}  // namespace veltrano
