// skin_pack OUT.zip stored:FILE|deflated:FILE ...
// Writes the skin package: each FILE is entered under its own file name at the
// archive root, stored as it is or deflated.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "SkinZipWriter.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: skin_pack OUT.zip stored:FILE|deflated:FILE ...\n");
    return 2;
  }
  std::vector<vekt::skin::ZipInput> files;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const size_t colon = arg.find(':');
    const std::string mode = colon == std::string::npos ? "" : arg.substr(0, colon);
    if (mode != "stored" && mode != "deflated") {
      std::fprintf(stderr, "skin_pack: %s: say stored: or deflated:\n", argv[i]);
      return 2;
    }
    const std::string path = arg.substr(colon + 1);
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "skin_pack: cannot read %s\n", path.c_str());
      return 1;
    }
    vekt::skin::ZipInput file;
    file.name = path.substr(path.find_last_of('/') + 1);
    file.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    file.deflate = mode == "deflated";
    files.push_back(std::move(file));
  }
  const std::vector<uint8_t> zip = vekt::skin::WriteZip(files);
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  if (zip.empty() || !out.write(reinterpret_cast<const char*>(zip.data()), static_cast<std::streamsize>(zip.size())) ||
      !out.flush()) {
    std::fprintf(stderr, "skin_pack: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
