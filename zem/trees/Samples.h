// Sample scopes on the main context's CPU tree: named and indexed pushes and
// pops, registered samples with their parent chains, and the auto-profile
// set of frequently popped indexes. Callers check the gates.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "Contexts.h"
#include "Names.h"

namespace zem {

class Samples {
 public:
  Samples(Names& names, Contexts& contexts);

  void pushSample(const char* name);
  void pushSampleId(int index);
  void popSample();
  void popSampleId(int index);
  int depth() const { return static_cast<int>(depth_); }
  void registerSample(const char* name, const char* parent);
  void logSample(int index, int64_t ns, int count);
  bool isRegistered(Key id) const { return registered_.count(id) != 0; }

  void setSampleMask(uint8_t* mask, int size) {
    sampleMask_ = mask;
    sampleMaskSize_ = size;
  }
  void autoProfileCpu(bool on) { autoProfile_ = on; }
  // Frame end: marks the frequently popped indexes in the host's mask.
  void applyAutoProfileMask();

  // Tree steps: charge the time since the last stamp, open or close a scope.
  void push(Key key, bool isSample);
  void pop(Key key);
  // Starts the time charged to the next scope from now.
  void restartClock();
  // Microseconds since the last stamp (shared with the Lua hook).
  uint32_t elapsedSinceStamp() const;
  // The context's current scope becomes its parent (none at the root).
  void moveUp(ThreadContext& c);

 private:
  MonoMethodCallNode* ensureRegistered(Key id);
  uint32_t elapsedUs(int64_t stamp) const;

  Names& names_;
  Contexts& contexts_;
  std::vector<Key> indexTable_;
  std::map<Key, Key> registered_;
  std::vector<Key> registrationList_;
  bool autoProfile_ = false;
  uint8_t* sampleMask_ = nullptr;
  int sampleMaskSize_ = 131072;
  std::set<int> autoSet_;
  int poppedIndex_ = 0;
  uint32_t depth_ = 0;
  int64_t lastStamp_ = 0;
};

}  // namespace zem
