// Reader for the profiler's output files: identifier maps (text or scrambled
// binary records), per-frame tree files and value logs. Input is untrusted.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zem {

struct IdName {
  uint64_t id;
  std::string name;
};

// Parses an identifier file. Binary files start with 0x42 then 0x01 (4-byte
// identifiers) or 0x02 (8-byte identifiers); key unscrambles names (empty: plain).
bool readIdMap(const std::string& bytes, const std::string& key, std::vector<IdName>& out, std::string& error);

// One "#frame" block of a tree file or value log: its lines as numbers.
struct FrameBlock {
  long long frame = 0;
  std::vector<std::vector<long long>> lines;
};
bool readFrames(const std::string& text, std::vector<FrameBlock>& out, std::string& error);

// An object map file: "#frame", then "leaf,class,bytes,count" per group of live objects.
struct ObjectGroup {
  uint64_t leaf = 0;
  std::string className;
  long long bytes = 0, count = 0;
};
struct ObjectMap {
  long long frame = 0;
  std::vector<ObjectGroup> groups;
};
bool readObjectMap(const std::string& text, ObjectMap& out, std::string& error);

// Readable dump of any file: returns false with error for malformed input.
// A file that ends in a cut-off record or line (a writer stopped part-way) is
// read up to there; stopped then tells where (empty for a whole file).
bool dumpFile(const std::string& bytes, const std::string& key, std::string& out, std::string& error,
              std::string* stopped = nullptr);

}  // namespace zem

namespace zem {

// A CPU tree file as Chrome trace-event JSON (Perfetto and chrome://tracing open
// it as a flame graph): the frames one after another, every node a complete
// event lasting its own time plus its children's, named from the identifier
// file (key unscrambles a binary one). False with error for malformed input.
bool exportTrace(const std::string& idBytes, const std::string& treeText, const std::string& key, std::string& json,
                 std::string& error);

}  // namespace zem
