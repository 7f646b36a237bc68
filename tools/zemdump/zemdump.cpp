// zemdump FILE [KEY]: prints any zem output file (identifier maps, tree files, object maps,
// value logs, statistics, time and hardware files) as readable text. KEY
// unscrambles binary identifier files. A file that ends in a cut-off record
// or line (its writer stopped part-way) is printed up to the cut, and where
// it stopped goes to stderr; the exit code is still 0.
// zemdump --trace IDFILE CPUFILE [KEY]: writes the CPU tree file as Chrome
// trace-event JSON, which Perfetto (ui.perfetto.dev) and chrome://tracing show
// as a flame graph.
// zemdump --lua IDFILE DUMP [KEY]: the Lua object dump DUMP.lo and DUMP.lk
// with names from the Lua identifier file.
// zemdump --diff and --speedscope: see DiffCommands.cpp.
#include <cstdio>
#include <cstring>
#include <string>

#include "DiffCommands.h"
#include "records/LuaCounts.h"
#include "records/Records.h"

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--diff") == 0) return zemdump::runDiff(argc, argv);
  if (argc >= 2 && std::strcmp(argv[1], "--speedscope") == 0) return zemdump::runSpeedscope(argc, argv);
  const bool trace = argc >= 2 && std::strcmp(argv[1], "--trace") == 0;
  const bool lua = argc >= 2 && std::strcmp(argv[1], "--lua") == 0;
  if (trace || lua ? (argc < 4 || argc > 5) : (argc < 2 || argc > 3)) {
    std::fprintf(stderr,
                 "usage: zemdump FILE [KEY]\n       zemdump --trace IDFILE CPUFILE [KEY]\n"
                 "       zemdump --lua IDFILE DUMP [KEY]\n%s",
                 zemdump::kDiffUsage);
    return 2;
  }
  std::string out, err;
  if (lua) {
    std::string ids, objects, names;
    const std::string base = argv[3];
    if (!zemdump::readWhole(argv[2], ids) || !zemdump::readWhole((base + ".lo").c_str(), objects) ||
        !zemdump::readWhole((base + ".lk").c_str(), names))
      return 1;
    zem::LuaObjectCounts counts;
    if (!zem::readLuaObjectCounts(ids, objects, names, argc == 5 ? argv[4] : "", counts, err)) {
      std::fprintf(stderr, "zemdump: %s\n", err.c_str());
      return 1;
    }
    out = zem::formatLuaObjectCounts(counts);
  } else if (trace) {
    std::string ids, tree;
    if (!zemdump::readWhole(argv[2], ids) || !zemdump::readWhole(argv[3], tree)) return 1;
    if (!zem::exportTrace(ids, tree, argc == 5 ? argv[4] : "", out, err)) {
      std::fprintf(stderr, "zemdump: %s\n", err.c_str());
      return 1;
    }
  } else {
    std::string bytes;
    if (!zemdump::readWhole(argv[1], bytes)) return 1;
    std::string stopped;
    if (!zem::dumpFile(bytes, argc == 3 ? argv[2] : "", out, err, &stopped)) {
      std::fprintf(stderr, "zemdump: %s: %s\n", argv[1], err.c_str());
      return 1;
    }
    // Everything before the cut is printed; where it stopped goes to stderr.
    if (!stopped.empty()) std::fprintf(stderr, "zemdump: %s: %s\n", argv[1], stopped.c_str());
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
