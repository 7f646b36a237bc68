// Profiles in speedscope's file format (speedscope.app, `npx speedscope FILE`):
// a table of frames shared by every profile, then "sampled" profiles whose
// samples are stacks of frame indexes, outermost first, each with a weight.
#pragma once
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

namespace zem {

class SpeedscopeFile {
 public:
  // unit: "none", "nanoseconds", "microseconds", "milliseconds", "seconds" or "bytes".
  explicit SpeedscopeFile(std::string name) : name_(std::move(name)) {}
  // Starts a profile; samples go to the last one started.
  void beginProfile(const std::string& name, const char* unit);
  // The frame's index, the same for the same name.
  size_t frame(const std::string& name);
  // One stack of frame indexes with its weight; negative weights count as 0.
  void addSample(const std::vector<size_t>& stack, long long weight);
  std::string json() const;

 private:
  struct Profile {
    std::string name;
    std::string unit;
    std::vector<std::vector<size_t>> samples;
    std::vector<long long> weights;
    long long total = 0;
  };
  std::string name_;
  std::vector<std::string> frames_;
  std::unordered_map<std::string, size_t> frameIndex_;
  std::vector<Profile> profiles_;
};

}  // namespace zem
