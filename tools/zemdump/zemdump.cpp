// zemdump FILE [KEY]: prints any zem output file (identifier maps, tree files,
// value logs) as readable text. KEY unscrambles binary identifier files.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "records/Records.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: zemdump FILE [KEY]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "zemdump: cannot open %s\n", argv[1]);
    return 1;
  }
  std::ostringstream s;
  s << in.rdbuf();
  std::string out, err;
  if (!zem::dumpFile(s.str(), argc == 3 ? argv[2] : "", out, err)) {
    std::fprintf(stderr, "zemdump: %s: %s\n", argv[1], err.c_str());
    return 1;
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
