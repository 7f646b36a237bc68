// Baseline JPEG writer fed a few rows at a time, so one image can be spread
// over several frames. Fixed settings: quality 50, 4:2:0, standard Huffman
// tables, JFIF. Pixels are 4 bytes; the fourth byte is ignored.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace zem::capture {

// Byte order of one input pixel.
enum class PixelOrder { kBgrx, kRgbx };

// Where the encoded bytes go. put returns false when the bytes could not be kept.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual bool put(const void* data, size_t size) = 0;
};

class MemorySink : public ByteSink {
 public:
  bool put(const void* data, size_t size) override;
  std::vector<uint8_t> bytes;
};

// The output file of one image: one fwrite per block; once a write fails,
// nothing more is accepted.
class FileSink : public ByteSink {
 public:
  ~FileSink() override;
  bool open(const char* path);
  bool put(const void* data, size_t size) override;
  // Flushes and closes; false when anything written was lost.
  bool close();
  bool isOpen() const { return file_ != nullptr; }

 private:
  FILE* file_ = nullptr;
  bool ok_ = false;
};

class JpegEncoder {
 public:
  JpegEncoder();
  ~JpegEncoder();
  JpegEncoder(const JpegEncoder&) = delete;
  JpegEncoder& operator=(const JpegEncoder&) = delete;

  static constexpr int kQuality = 50;
  static bool sizeSupported(int width, int height);

  // Starts an image of width x height; any image in progress is dropped.
  bool start(ByteSink& sink, int width, int height, PixelOrder order);
  // Rows top to bottom, each `pitch` bytes after the previous one.
  bool writeRows(const uint8_t* firstRow, ptrdiff_t pitch, int count);
  // Ends the image; false when it could not be completed or written.
  bool finish();
  void abandon();
  bool active() const { return active_; }
  int rowsWritten() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
  bool active_ = false;
};

// Encodes a whole image at once; empty on failure.
std::vector<uint8_t> encodeJpeg(int width, int height, ptrdiff_t pitch, const uint8_t* pixels, PixelOrder order);

}  // namespace zem::capture
