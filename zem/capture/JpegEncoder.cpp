#include "JpegEncoder.h"

#include <csetjmp>
#include <cstring>

#include <jpeglib.h>

namespace zem::capture {

bool MemorySink::put(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  bytes.insert(bytes.end(), p, p + size);
  return true;
}

FileSink::~FileSink() { close(); }

bool FileSink::open(const char* path) {
  close();
  file_ = std::fopen(path, "wb");
  ok_ = file_ != nullptr;
  return ok_;
}

bool FileSink::put(const void* data, size_t size) {
  if (!ok_ || !file_) return false;
  ok_ = std::fwrite(data, 1, size, file_) == size;
  return ok_;
}

bool FileSink::close() {
  if (!file_) return false;
  // A full disk may only show when the stdio buffer goes out.
  const bool flushed = std::fflush(file_) == 0;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  const bool ok = ok_ && flushed && closed;
  ok_ = false;
  return ok;
}

// libjpeg reports errors through a callback that must not return; it jumps
// back to the call that entered the library. Functions holding a setjmp keep
// only trivially destructible locals.
struct JpegEncoder::State {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  jmp_buf jump{};
  jpeg_destination_mgr destination{};
  ByteSink* sink = nullptr;
  bool sinkFailed = false;
  bool created = false;
  JOCTET buffer[64 * 1024];

  static State& of(j_common_ptr c) { return *static_cast<State*>(c->client_data); }
  static State& of(j_compress_ptr c) { return *static_cast<State*>(c->client_data); }

  static void onError(j_common_ptr c) { longjmp(of(c).jump, 1); }
  static void onMessage(j_common_ptr) {}  // warnings are not printed by a plug-in

  void send(size_t size) {
    if (size > 0 && !sinkFailed && !sink->put(buffer, size)) sinkFailed = true;
    destination.next_output_byte = buffer;
    destination.free_in_buffer = sizeof buffer;
  }
  static void initDestination(j_compress_ptr c) { of(c).send(0); }
  static boolean emptyBuffer(j_compress_ptr c) {
    of(c).send(sizeof of(c).buffer);
    return TRUE;
  }
  static void termDestination(j_compress_ptr c) {
    State& s = of(c);
    s.send(sizeof s.buffer - s.destination.free_in_buffer);
  }
};

JpegEncoder::JpegEncoder() : s_(new State) {
  State& s = *s_;
  s.cinfo.err = jpeg_std_error(&s.errors);
  s.errors.error_exit = State::onError;
  s.errors.output_message = State::onMessage;
  s.cinfo.client_data = &s;
  s.destination.init_destination = State::initDestination;
  s.destination.empty_output_buffer = State::emptyBuffer;
  s.destination.term_destination = State::termDestination;
  if (setjmp(s.jump)) return;  // out of memory: every start fails
  jpeg_create_compress(&s.cinfo);
  s.cinfo.client_data = &s;
  s.cinfo.dest = &s.destination;
  s.created = true;
}

JpegEncoder::~JpegEncoder() {
  if (s_->created) jpeg_destroy_compress(&s_->cinfo);
}

bool JpegEncoder::sizeSupported(int width, int height) {
  return width >= 1 && height >= 1 && width <= JPEG_MAX_DIMENSION && height <= JPEG_MAX_DIMENSION;
}

bool JpegEncoder::start(ByteSink& sink, int width, int height, PixelOrder order) {
  abandon();
  State& s = *s_;
  if (!s.created || !sizeSupported(width, height)) return false;
  s.sink = &sink;
  s.sinkFailed = false;
  if (setjmp(s.jump)) {
    jpeg_abort_compress(&s.cinfo);
    return false;
  }
  s.cinfo.image_width = static_cast<JDIMENSION>(width);
  s.cinfo.image_height = static_cast<JDIMENSION>(height);
  s.cinfo.input_components = 4;
  s.cinfo.in_color_space = order == PixelOrder::kBgrx ? JCS_EXT_BGRX : JCS_EXT_RGBX;
  jpeg_set_defaults(&s.cinfo);
  jpeg_set_quality(&s.cinfo, kQuality, TRUE);
  s.cinfo.comp_info[0].h_samp_factor = 2;  // 4:2:0
  s.cinfo.comp_info[0].v_samp_factor = 2;
  for (int c = 1; c < 3; ++c) {
    s.cinfo.comp_info[c].h_samp_factor = 1;
    s.cinfo.comp_info[c].v_samp_factor = 1;
  }
  s.cinfo.optimize_coding = FALSE;
  s.cinfo.dct_method = JDCT_ISLOW;
  s.cinfo.write_JFIF_header = TRUE;
  jpeg_start_compress(&s.cinfo, TRUE);
  active_ = true;
  return true;
}

bool JpegEncoder::writeRows(const uint8_t* firstRow, ptrdiff_t pitch, int count) {
  State& s = *s_;
  if (!active_ || count < 0 || s.cinfo.next_scanline + static_cast<JDIMENSION>(count) > s.cinfo.image_height)
    return false;
  if (setjmp(s.jump)) {
    abandon();
    return false;
  }
  JSAMPROW rows[16];
  int done = 0;
  while (done < count) {
    const int batch = count - done < 16 ? count - done : 16;
    for (int i = 0; i < batch; ++i) rows[i] = const_cast<JSAMPROW>(firstRow + (done + i) * pitch);
    const auto written = jpeg_write_scanlines(&s.cinfo, rows, static_cast<JDIMENSION>(batch));
    if (written == 0) return false;  // only a suspending destination stops early
    done += static_cast<int>(written);
  }
  return !s.sinkFailed;
}

bool JpegEncoder::finish() {
  State& s = *s_;
  if (!active_) return false;
  if (s.cinfo.next_scanline != s.cinfo.image_height) {
    abandon();
    return false;
  }
  if (setjmp(s.jump)) {
    abandon();
    return false;
  }
  jpeg_finish_compress(&s.cinfo);
  active_ = false;
  return !s.sinkFailed;
}

void JpegEncoder::abandon() {
  if (active_) jpeg_abort_compress(&s_->cinfo);
  active_ = false;
}

int JpegEncoder::rowsWritten() const { return active_ ? static_cast<int>(s_->cinfo.next_scanline) : 0; }

std::vector<uint8_t> encodeJpeg(int width, int height, ptrdiff_t pitch, const uint8_t* pixels, PixelOrder order) {
  MemorySink sink;
  JpegEncoder encoder;
  if (!encoder.start(sink, width, height, order) || !encoder.writeRows(pixels, pitch, height) || !encoder.finish())
    return {};
  return std::move(sink.bytes);
}

}  // namespace zem::capture
