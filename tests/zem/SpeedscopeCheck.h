// A strict check of a speedscope file, written from the format's documentation
// (https://www.speedscope.app/file-format-schema.json): the schema URL, the
// shared frame table, and every profile's type, unit, range, samples (stacks of
// valid frame indexes) and weights (one per sample). Returns "" when the file
// is sound, else what is wrong.
#pragma once
#include <json/json.h>

#include <memory>
#include <set>
#include <string>

namespace speedscopecheck {

inline std::string check(const std::string& text) {
  Json::CharReaderBuilder b;
  Json::CharReaderBuilder::strictMode(&b.settings_);
  std::unique_ptr<Json::CharReader> reader(b.newCharReader());
  Json::Value root;
  std::string errors;
  if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors)) return "not JSON: " + errors;
  if (!root.isObject()) return "not an object";
  if (!root["$schema"].isString() || root["$schema"].asString() != "https://www.speedscope.app/file-format-schema.json")
    return "no $schema";
  for (const char* optional : {"name", "exporter"})
    if (root.isMember(optional) && !root[optional].isString()) return std::string(optional) + " is not a string";
  const Json::Value& shared = root["shared"];
  if (!shared.isObject() || !shared["frames"].isArray()) return "no shared.frames";
  const Json::Value& frames = shared["frames"];
  for (const Json::Value& f : frames) {
    if (!f.isObject() || !f["name"].isString()) return "a frame without a name";
    if (f.isMember("file") && !f["file"].isString()) return "a frame's file is not a string";
    for (const char* n : {"line", "col"})
      if (f.isMember(n) && !f[n].isNumeric()) return "a frame's line or column is not a number";
  }
  const Json::Value& profiles = root["profiles"];
  if (!profiles.isArray() || profiles.empty()) return "no profiles";
  if (root.isMember("activeProfileIndex") &&
      (!root["activeProfileIndex"].isUInt() || root["activeProfileIndex"].asUInt() >= profiles.size()))
    return "activeProfileIndex out of range";
  const std::set<std::string> units = {"none", "nanoseconds", "microseconds", "milliseconds", "seconds", "bytes"};
  for (const Json::Value& p : profiles) {
    if (!p.isObject()) return "a profile is not an object";
    if (!p["type"].isString() || p["type"].asString() != "sampled") return "a profile is not of type sampled";
    if (!p["name"].isString()) return "a profile without a name";
    if (!p["unit"].isString() || !units.count(p["unit"].asString())) return "a profile's unit is unknown";
    if (!p["startValue"].isNumeric() || !p["endValue"].isNumeric()) return "a profile without its range";
    if (p["startValue"].asDouble() > p["endValue"].asDouble()) return "a profile ends before it starts";
    const Json::Value &samples = p["samples"], &weights = p["weights"];
    if (!samples.isArray() || !weights.isArray()) return "a profile without samples or weights";
    if (samples.size() != weights.size()) return "samples and weights differ in number";
    double total = 0;
    for (Json::ArrayIndex i = 0; i < samples.size(); ++i) {
      if (!samples[i].isArray()) return "a sample is not a stack";
      for (const Json::Value& index : samples[i])
        if (!index.isUInt() || index.asUInt() >= frames.size()) return "a sample names a frame that does not exist";
      if (!weights[i].isNumeric() || weights[i].asDouble() < 0) return "a weight is not a number of at least 0";
      total += weights[i].asDouble();
    }
    if (total > p["endValue"].asDouble() - p["startValue"].asDouble()) return "the weights exceed the range";
  }
  return "";
}

}  // namespace speedscopecheck
