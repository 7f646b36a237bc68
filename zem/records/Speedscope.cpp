#include "Speedscope.h"

#include "JsonText.h"

namespace zem {

void SpeedscopeFile::beginProfile(const std::string& name, const char* unit) {
  profiles_.push_back(Profile{name, unit, {}, {}, 0});
}

size_t SpeedscopeFile::frame(const std::string& name) {
  auto it = frameIndex_.find(name);
  if (it != frameIndex_.end()) return it->second;
  frames_.push_back(name);
  frameIndex_.emplace(name, frames_.size() - 1);
  return frames_.size() - 1;
}

void SpeedscopeFile::addSample(const std::vector<size_t>& stack, long long weight) {
  if (profiles_.empty()) beginProfile(name_, "none");
  Profile& p = profiles_.back();
  if (weight < 0) weight = 0;
  p.samples.push_back(stack);
  p.weights.push_back(weight);
  p.total += weight;
}

std::string SpeedscopeFile::json() const {
  std::string out = "{\"$schema\":\"https://www.speedscope.app/file-format-schema.json\",\"name\":";
  appendJsonString(out, name_);
  out += ",\"exporter\":\"zemdump\",\"activeProfileIndex\":0,\"shared\":{\"frames\":[";
  for (size_t i = 0; i < frames_.size(); ++i) {
    out += i ? ",{\"name\":" : "{\"name\":";
    appendJsonString(out, frames_[i]);
    out += '}';
  }
  out += "]},\"profiles\":[";
  for (size_t i = 0; i < profiles_.size(); ++i) {
    const Profile& p = profiles_[i];
    out += i ? ",{" : "{";
    out += "\"type\":\"sampled\",\"name\":";
    appendJsonString(out, p.name);
    out += ",\"unit\":\"" + p.unit + "\",\"startValue\":0,\"endValue\":" + std::to_string(p.total) + ",\"samples\":[";
    for (size_t s = 0; s < p.samples.size(); ++s) {
      out += s ? ",[" : "[";
      for (size_t f = 0; f < p.samples[s].size(); ++f) {
        if (f) out += ',';
        out += std::to_string(p.samples[s][f]);
      }
      out += ']';
    }
    out += "],\"weights\":[";
    for (size_t s = 0; s < p.weights.size(); ++s) {
      if (s) out += ',';
      out += std::to_string(p.weights[s]);
    }
    out += "]}";
  }
  out += "]}\n";
  return out;
}

}  // namespace zem
