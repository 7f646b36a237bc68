#include "Values.h"

#include <cmath>
#include <cstring>

#include "CallTree.h"
#include "Session.h"

namespace zem {

int32_t scaledThousand(float v) {
  double d = static_cast<double>(v) * 1000.0;
  // Out-of-range and NaN values would be undefined to convert; clamp them.
  if (std::isnan(d)) return 0;
  if (d >= 2147483647.0) return INT32_MAX;
  if (d <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(d);
}

ValueTable::ValueTable(ValueKind k) : kind(k), id(objectId(this)) {}

namespace {
const char* const kKindNames[5] = {"Marker", "Int", "Bool", "Float", "Vector"};
}

void ValueLog::createTables(FILE* idFile, const RecordForm& form) {
  for (int i = 0; i < 5; ++i)
    if (!tables_[i]) tables_[i] = std::make_unique<ValueTable>(static_cast<ValueKind>(i));
  if (!idFile) return;
  if (form.binary) form.header(idFile);
  for (int i = 0; i < 5; ++i) form.record(idFile, tables_[i]->id, kKindNames[i], std::strlen(kKindNames[i]));
  form.record(idFile, 100001, "x", 1);
  form.record(idFile, 100002, "y", 1);
  form.record(idFile, 100003, "z", 1);
}

ValueInfo* ValueLog::lookup(ValueKind kind, const char* name, FILE* idFile, const RecordForm& form) {
  ValueTable* t = tables_[static_cast<int>(kind)].get();
  if (!t || !name) return nullptr;
  size_t len = strnlen(name, kMaxNameBytes + 1);
  if (len > kMaxNameBytes) return nullptr;
  auto it = t->entries.find(std::string(name, len));
  if (it != t->entries.end()) return it->second.info.get();
  std::unique_ptr<ValueInfo> info;
  switch (kind) {
    case ValueKind::Marker:
    case ValueKind::Int: info = std::make_unique<IntInfo>(); break;
    case ValueKind::Bool: info = std::make_unique<BoolInfo>(); break;
    case ValueKind::Float: info = std::make_unique<FloatInfo>(); break;
    case ValueKind::Vector: info = std::make_unique<VectorInfo>(); break;
  }
  auto res = t->entries.emplace(std::string(name, len), ValueEntry{std::move(info), 0});
  ValueEntry& e = res.first->second;
  e.id = objectId(res.first->first.data());
  if (idFile) form.record(idFile, e.id, name, len);
  return e.info.get();
}

void ValueLog::writeFrame(FILE* f, int32_t frame) {
  if (!f) return;
  std::fprintf(f, "#%d\r\n", frame);
  static const ValueKind order[5] = {ValueKind::Marker, ValueKind::Int, ValueKind::Float, ValueKind::Bool,
                                     ValueKind::Vector};
  for (ValueKind k : order) {
    ValueTable* t = tables_[static_cast<int>(k)].get();
    if (!t || t->entries.empty()) continue;
    std::fprintf(f, "1,%u,0,0\r\n", t->id);
    for (auto& kv : t->entries) {
      ValueEntry& e = kv.second;
      if (!e.info->isSet) continue;
      if (k == ValueKind::Vector) {
        std::fprintf(f, "2,%u,0,0\r\n", e.id);
        std::fprintf(f, "3,100001,0,%d\r\n", e.info->get(0));
        std::fprintf(f, "3,100002,0,%d\r\n", e.info->get(1));
        std::fprintf(f, "3,100003,0,%d\r\n", e.info->get(2));
      } else {
        std::fprintf(f, "2,%u,0,%d\r\n", e.id, e.info->get(0));
      }
      e.info->clear();
      e.info->isSet = false;
    }
  }
}

}  // namespace zem
