// PNG encoding for the toolkit's test programs; include in one file per program.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb_image_write.h>
#pragma GCC diagnostic pop

// `rgba` holds width * height pixels of four bytes, rows top to bottom.
inline std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint8_t>& rgba) {
  std::vector<uint8_t> out;
  stbi_write_png_to_func(
      [](void* ctx, void* data, int size) {
        auto* o = static_cast<std::vector<uint8_t>*>(ctx);
        o->insert(o->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
      },
      &out, width, height, 4, rgba.data(), width * 4);
  return out;
}

inline bool WritePngFile(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba) {
  return stbi_write_png(path.c_str(), width, height, 4, rgba.data(), width * 4) != 0;
}
