// Values the game logs once per frame: markers, integers, floats, booleans
// and vectors, written at frame end and cleared.
#pragma once
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace zem {

struct RecordForm;

class ValueInfo {
 public:
  virtual ~ValueInfo() = default;
  virtual int32_t get(int component) const = 0;
  virtual void clear() = 0;
  bool isSet = false;
};

class IntInfo : public ValueInfo {
 public:
  int32_t get(int) const override { return value; }
  void clear() override { value = 0; }
  int32_t value = 0;
};

class BoolInfo : public ValueInfo {
 public:
  int32_t get(int) const override { return value ? 1 : 0; }
  void clear() override { value = false; }
  bool value = false;
};

int32_t scaledThousand(float v);  // v x 1000, truncated toward zero, saturated

class FloatInfo : public ValueInfo {
 public:
  int32_t get(int) const override { return scaledThousand(value); }
  void clear() override { value = 0; }
  float value = 0;
};

class VectorInfo : public ValueInfo {
 public:
  int32_t get(int c) const override { return c >= 0 && c < 3 ? scaledThousand(v[c]) : 0; }
  void clear() override { v[0] = v[1] = v[2] = 0; }
  float v[3] = {0, 0, 0};
};

enum class ValueKind { Marker, Int, Bool, Float, Vector };

struct ValueEntry {
  std::unique_ptr<ValueInfo> info;
  uint32_t id;
};

struct ValueTable {
  explicit ValueTable(ValueKind k);
  ValueKind kind;
  uint32_t id;
  std::map<std::string, ValueEntry> entries;  // std::string orders by unsigned bytes
};

class ValueLog {
 public:
  // Opens nothing; creates the tables and writes their records to idFile.
  void createTables(FILE* idFile, const RecordForm& form);
  // The entry for name, or null when the kind has no table or the name is too long.
  ValueInfo* lookup(ValueKind kind, const char* name, FILE* idFile, const RecordForm& form);
  void writeFrame(FILE* logFile, int32_t frame);
  bool hasTables() const { return tables_[0] != nullptr; }

 private:
  std::unique_ptr<ValueTable> tables_[5];
};

}  // namespace zem
