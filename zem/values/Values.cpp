#include "Values.h"

#include <cinttypes>
#include <cstring>

namespace zem {

namespace {
const size_t kMaxName = 200;
const char* const kKindNames[] = {"Marker", "Int", "Bool", "Float", "Vector"};

int32_t milli(float f) {
  double d = static_cast<double>(f) * 1000.0;
  // Out-of-range values would make the conversion undefined; clamp them to the int32 range.
  if (!(d == d)) return 0;
  if (d >= 2147483647.0) return INT32_MAX;
  if (d <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(d);
}
}  // namespace

Values::~Values() = default;

void Values::openIdFile(const char* path) {
  if (valueIdFile_ || !path) return;
  // Names are kept until they are on disk: the value log refers to them.
  valueIdFile_.open(path, "wb", true);
  tables_ = true;
  if (!valueIdFile_) return;
  if (records_.binary()) {
    records_.writeHeader(valueIdFile_);
    for (int k = 0; k < kKinds; ++k)
      records_.writeRecord(valueIdFile_, reinterpret_cast<uintptr_t>(&values_[k]), kKindNames[k],
                           std::strlen(kKindNames[k]));
    records_.writeRecord(valueIdFile_, 100001, "x", 1);
    records_.writeRecord(valueIdFile_, 100002, "y", 1);
    records_.writeRecord(valueIdFile_, 100003, "z", 1);
  } else {
    for (int k = 0; k < kKinds; ++k)
      valueIdFile_.print("%" PRIuPTR ",%s\r\n", reinterpret_cast<uintptr_t>(&values_[k]), kKindNames[k]);
    valueIdFile_.print("100001,x\r\n100002,y\r\n100003,z\r\n");
  }
}

ValueInfo* Values::lookup(ValueKind kind, const char* name) {
  if (!tables_ || !name || std::strlen(name) > kMaxName) return nullptr;
  auto& table = values_[kind];
  auto it = table.find(name);
  if (it != table.end()) return &it->second;
  it = table.emplace(name, ValueInfo{}).first;
  if (valueIdFile_) {
    uintptr_t id = reinterpret_cast<uintptr_t>(it->first.c_str());
    if (records_.binary())
      records_.writeRecord(valueIdFile_, id, it->first.c_str(), it->first.size());
    else
      valueIdFile_.print("%" PRIuPTR ",%s\r\n", id, it->first.c_str());
  }
  return &it->second;
}

void Values::logMarker(const char* name) {
  if (ValueInfo* v = lookup(kMarker, name)) {
    v->i += 1;
    v->isSet = true;
  }
}
void Values::logInt(const char* name, int32_t value) {
  if (ValueInfo* v = lookup(kInt, name)) {
    v->i = value;
    v->isSet = true;
  }
}
void Values::logFloat(const char* name, float value) {
  if (ValueInfo* v = lookup(kFloat, name)) {
    v->f[0] = value;
    v->isSet = true;
  }
}
void Values::logBool(const char* name, bool value) {
  if (ValueInfo* v = lookup(kBool, name)) {
    v->i = value ? 1 : 0;
    v->isSet = true;
  }
}
void Values::logVector(const char* name, float x, float y, float z) {
  if (ValueInfo* v = lookup(kVector, name)) {
    v->f[0] = x;
    v->f[1] = y;
    v->f[2] = z;
    v->isSet = true;
  }
}

void Values::writeFrame(int frame) {
  OutFile& f = valueLogFile_;
  if (!f) return;
  f.print("#%d\r\n", frame);
  static const ValueKind order[] = {kMarker, kInt, kFloat, kBool, kVector};
  for (ValueKind k : order) {
    auto& table = values_[k];
    if (table.empty()) continue;
    f.print("1,%" PRIuPTR ",0,0\r\n", reinterpret_cast<uintptr_t>(&table));
    for (auto& [name, v] : table) {
      if (!v.isSet) continue;
      uintptr_t id = reinterpret_cast<uintptr_t>(name.c_str());
      if (k == kVector) {
        f.print("2,%" PRIuPTR ",0,0\r\n", id);
        f.print("3,100001,0,%d\r\n3,100002,0,%d\r\n3,100003,0,%d\r\n", milli(v.f[0]), milli(v.f[1]),
                     milli(v.f[2]));
      } else {
        int32_t out = k == kFloat ? milli(v.f[0]) : v.i;
        f.print("2,%" PRIuPTR ",0,%d\r\n", id, out);
      }
      v = ValueInfo{};
    }
  }
  valueIdFile_.flush();
  f.flush();
}

}  // namespace zem
