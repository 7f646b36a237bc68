// Which ready handlers one pass serves when more are ready than it takes:
// each pass starts where the last one stopped, so every ready handler is
// served within ceil(ready / limit) + 1 passes, whatever its id.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexolib::net {

class TurnPicker {
 public:
  // ids: increasing; ready: one flag per id. Appends to out the indexes of up
  // to limit ready entries, from the first id at or past the cursor on,
  // wrapping around; the cursor moves past the last one taken.
  void pick(const std::vector<int32_t>& ids, const std::vector<uint8_t>& ready, size_t limit,
            std::vector<size_t>& out) {
    const size_t n = ids.size();
    size_t start = 0;
    while (start < n && ids[start] < cursor_) ++start;
    size_t taken = 0;
    int32_t last = -1;
    for (size_t k = 0; k < n && taken < limit; ++k) {
      const size_t i = (start + k) % n;
      if (!ready[i]) continue;
      out.push_back(i);
      last = ids[i];
      ++taken;
    }
    if (last >= 0) cursor_ = last + 1;
  }
  void reset() { cursor_ = 0; }

 private:
  int32_t cursor_ = 0;
};

}  // namespace vexolib::net
