#include "DiffCommands.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "records/CpuTree.h"
#include "records/LuaObjectDiff.h"
#include "records/ObjectMapDiff.h"

namespace zemdump {

const char* const kDiffUsage =
    "       zemdump --speedscope IDFILE CPUFILE [KEY] > cpu.speedscope.json\n"
    "       zemdump --diff [--speedscope OUT] DUMP_A DUMP_B [KEY]\n"
    "       zemdump --diff [--speedscope OUT] MAP_A MAP_B ALLOCTREE IDFILE [KEY]\n"
    "\n"
    "--diff with two Lua object dumps (the paths given to LuaDumpObj; DUMP.lr is read)\n"
    "lists the objects of B that A lacks, grouped by kind and by the reference path\n"
    "that first reaches them from the registry, and the freed ones as a total.\n"
    "An object is the same in both when address, kind and size agree. An object\n"
    "that keeps address and kind but not size is counted apart as resized or\n"
    "reused: a table or closure that gained or lost entries, or a freed object\n"
    "whose address went to a new one of the same kind; the dumps cannot tell which.\n"
    "A freed object whose address went to a new object of the same kind and size\n"
    "looks unchanged. Sizes are estimates from entries and upvalues.\n"
    "--diff with two managed object maps (DumpObjectMap), the cumulative allocation\n"
    "tree (DumpCallTree, taken with or after MAP_B) and the tree identifier file\n"
    "lists each (class, allocation call path) whose live objects grew or shrank;\n"
    "maps count objects per group, so an object freed and one allocated in the\n"
    "same group cancel out.\n"
    "--speedscope OUT writes the growth for speedscope (speedscope.app, or\n"
    "`npx speedscope OUT`): the path as the stack, bytes as the weight.\n";

bool readWhole(const char* path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "zemdump: cannot open %s\n", path);
    return false;
  }
  std::ostringstream s;
  s << in.rdbuf();
  out = s.str();
  return true;
}

namespace {
int usage() {
  std::fprintf(stderr, "usage:\n%s", kDiffUsage);
  return 2;
}

bool writeWhole(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "zemdump: cannot write %s\n", path.c_str());
    return false;
  }
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !ok) {
    std::fprintf(stderr, "zemdump: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

int failed(const std::string& error) {
  std::fprintf(stderr, "zemdump: %s\n", error.c_str());
  return 1;
}

bool readList(const std::string& base, const std::string& key, zem::LuaObjectList& list, std::string& error) {
  std::string text;
  const std::string path = base + ".lr";
  if (!readWhole(path.c_str(), text)) {
    error = "no object list beside the Lua dump " + base;
    return false;
  }
  if (!zem::readLuaObjectList(text, key, list, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}
}  // namespace

int runDiff(int argc, char** argv) {
  int first = 2;
  std::string speedscope;
  if (argc > 3 && std::strcmp(argv[2], "--speedscope") == 0) {
    speedscope = argv[3];
    first = 4;
  }
  const int n = argc - first;
  std::string out, json, error;
  if (n == 2 || n == 3) {
    const std::string key = n == 3 ? argv[first + 2] : "";
    zem::LuaObjectList a, b;
    zem::LuaObjectDiff diff;
    if (!readList(argv[first], key, a, error) || !readList(argv[first + 1], key, b, error) ||
        !zem::diffLuaObjects(a, b, diff, error))
      return failed(error);
    out = zem::formatLuaObjectDiff(diff);
    if (!speedscope.empty()) json = zem::growthSpeedscope("Lua objects new since the first dump", diff.added);
  } else if (n == 4 || n == 5) {
    std::string mapA, mapB, tree, ids;
    if (!readWhole(argv[first], mapA) || !readWhole(argv[first + 1], mapB) || !readWhole(argv[first + 2], tree) ||
        !readWhole(argv[first + 3], ids))
      return 1;
    zem::ObjectMapDiff diff;
    if (!zem::diffObjectMaps(mapA, mapB, tree, ids, n == 5 ? argv[first + 4] : "", diff, error)) return failed(error);
    out = zem::formatObjectMapDiff(diff);
    if (!speedscope.empty()) json = zem::growthSpeedscope("Managed objects grown since the first map", diff.grown);
  } else {
    return usage();
  }
  if (!speedscope.empty() && !writeWhole(speedscope, json)) return 1;
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

int runSpeedscope(int argc, char** argv) {
  if (argc < 4 || argc > 5) return usage();
  std::string ids, tree, json, error;
  if (!readWhole(argv[2], ids) || !readWhole(argv[3], tree)) return 1;
  if (!zem::exportCpuSpeedscope(ids, tree, argc == 5 ? argv[4] : "", json, error)) return failed(error);
  std::fwrite(json.data(), 1, json.size(), stdout);
  return 0;
}

}  // namespace zemdump
