// JPEG decoding with libjpeg. libjpeg reports errors through a callback that
// must not return; it jumps back into RunDecoder, whose frame holds only
// plain data, so no destructor is skipped. Everything the decoder fills is
// owned by the caller and sized before the jump target is set.
#include "platform/ui/Jpeg.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <cstdio>
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstring>
#include <memory>

namespace platform::ui {
namespace {

// libjpeg's own allocations (a progressive picture keeps all its
// coefficients) stop here; beyond it the picture is refused as too large.
constexpr long kMaxDecoderMemory = 384L * 1024 * 1024;
// A progressive picture of more scans than any encoder writes is a
// decoding bomb, not a photo.
constexpr int kMaxScans = 500;
constexpr size_t kReadBlock = 64 * 1024;
// The end of a picture is looked for in this much of its file's tail, never
// further: a camera's trailer after the picture is short, and a picture cut
// short must be found without reading hundreds of photos whole. A picture
// with a longer trailer is taken for cut.
constexpr size_t kTailBytes = kReadBlock;

enum class Failure { kNone, kEmpty, kTruncated, kNotJpeg, kTooLarge, kDamaged, kUnreadable };

// Where the bytes come from: a file of the Env read a block at a time, or
// memory. The block buffer is the caller's.
struct Source {
  jpeg_source_mgr manager;
  env::File* file;
  uint64_t offset;
  uint8_t* block;
  const uint8_t* memory;
  size_t memory_size;
  bool memory_given;
  bool saw_data;
  int read_error;  // errno of a failed read, 0 none
};

struct ErrorManager {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  Failure failure;
};

void ErrorExit(j_common_ptr info) {
  auto* error = reinterpret_cast<ErrorManager*>(info->err);
  if (error->failure == Failure::kNone) {
    switch (error->manager.msg_code) {
      case JERR_INPUT_EMPTY:
        error->failure = Failure::kEmpty;
        break;
      case JERR_INPUT_EOF:
        error->failure = Failure::kTruncated;
        break;
      case JERR_NO_SOI:
        error->failure = Failure::kNotJpeg;
        break;
      case JERR_OUT_OF_MEMORY:
      case JERR_NO_BACKING_STORE:
        error->failure = Failure::kTooLarge;
        break;
      default:
        error->failure = Failure::kDamaged;
    }
  }
  std::longjmp(error->jump, 1);
}

// A warning means the stream is damaged (corrupt entropy data, a missing
// marker): such a file is no picture. Only stray bytes between markers,
// which cameras are known to leave, are let pass.
void EmitMessage(j_common_ptr info, int level) {
  if (level >= 0) return;  // trace messages
  auto* error = reinterpret_cast<ErrorManager*>(info->err);
  if (error->manager.msg_code == JWRN_EXTRANEOUS_DATA) return;
  error->failure = Failure::kDamaged;
  std::longjmp(error->jump, 1);
}

void ScanLimit(j_common_ptr info) {
  auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
  if (decompress->input_scan_number > kMaxScans) {
    auto* error = reinterpret_cast<ErrorManager*>(info->err);
    error->failure = Failure::kDamaged;
    std::longjmp(error->jump, 1);
  }
}

void InitSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr info) {
  auto* src = reinterpret_cast<Source*>(info->src);
  size_t got = 0;
  if (src->memory_given) {
    // The whole buffer was handed over at once; asking again is the end.
  } else {
    try {
      got = src->file->ReadAt(src->offset, src->block, kReadBlock);
    } catch (const env::EnvError& e) {
      src->read_error = e.Code() != 0 ? e.Code() : EIO;
      reinterpret_cast<ErrorManager*>(info->err)->failure = Failure::kUnreadable;
      std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
    }
  }
  if (got == 0) {
    // The file ends inside the picture: without data there is nothing to
    // decode, not even the fill libjpeg would insert.
    if (!src->saw_data) ERREXIT(info, JERR_INPUT_EMPTY);
    ERREXIT(info, JERR_INPUT_EOF);
  }
  src->saw_data = true;
  src->offset += got;
  src->manager.next_input_byte = src->block;
  src->manager.bytes_in_buffer = got;
  return TRUE;
}

void SkipInput(j_decompress_ptr info, long count) {
  auto* src = reinterpret_cast<Source*>(info->src);
  if (count <= 0) return;
  auto n = static_cast<size_t>(count);
  while (n > src->manager.bytes_in_buffer) {
    n -= src->manager.bytes_in_buffer;
    src->manager.bytes_in_buffer = 0;
    if (!src->memory_given) {
      // Skip without reading what lies between.
      src->offset += n;
      n = 0;
    }
    FillInput(info);
  }
  src->manager.next_input_byte += n;
  src->manager.bytes_in_buffer -= n;
}

void TermSource(j_decompress_ptr) {}

// What the decoder reports besides failure.
struct Decoded {
  int width;
  int height;
  uint64_t scan_start;  // where the data of the first scan begin in the file
  int preview_width;
  int preview_height;
};

// The preview is accumulated in the caller's sums: grey value and pixel
// count per preview pixel.
struct PreviewSums {
  std::array<uint32_t, kJpegPreviewSize * kJpegPreviewSize> sum;
  std::array<uint32_t, kJpegPreviewSize * kJpegPreviewSize> count;
};

int PreviewSide(int side, int longer) {
  if (longer <= kJpegPreviewSize) return std::max(side, 1);
  return std::max(1, static_cast<int>(static_cast<int64_t>(side) * kJpegPreviewSize / longer));
}

// Runs libjpeg; answers the failure (kNone when decoded). Holds nothing
// with a destructor between setjmp and the jumps into it.
Failure RunDecoder(Source& source, ErrorManager& error, Decoded& out, PreviewSums& sums,
                   bool header_only) {
  jpeg_decompress_struct info;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = ErrorExit;
  error.manager.emit_message = EmitMessage;
  error.failure = Failure::kNone;
  jpeg_progress_mgr progress;
  progress.progress_monitor = ScanLimit;
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_decompress(&info);
    return error.failure == Failure::kNone ? Failure::kDamaged : error.failure;
  }
  jpeg_create_decompress(&info);
  info.mem->max_memory_to_use = kMaxDecoderMemory;
  info.progress = &progress;
  source.manager.init_source = InitSource;
  source.manager.fill_input_buffer = FillInput;
  source.manager.skip_input_data = SkipInput;
  source.manager.resync_to_restart = jpeg_resync_to_restart;
  source.manager.term_source = TermSource;
  if (source.memory_given) {
    source.manager.next_input_byte = source.memory;
    source.manager.bytes_in_buffer = source.memory_size;
    source.saw_data = source.memory_size > 0;
    if (source.memory_size == 0) ERREXIT(&info, JERR_INPUT_EMPTY);
  } else {
    source.manager.next_input_byte = nullptr;
    source.manager.bytes_in_buffer = 0;
  }
  info.src = &source.manager;
  jpeg_read_header(&info, TRUE);
  out.width = static_cast<int>(info.image_width);
  out.height = static_cast<int>(info.image_height);
  if (info.image_width == 0 || info.image_height == 0 ||
      static_cast<uint64_t>(info.image_width) * info.image_height > kMaxJpegPixels) {
    jpeg_destroy_decompress(&info);
    return Failure::kTooLarge;
  }
  if (header_only) {
    out.scan_start = source.offset - source.manager.bytes_in_buffer;
    jpeg_destroy_decompress(&info);
    return Failure::kNone;
  }
  const int longer = std::max(out.width, out.height);
  out.preview_width = PreviewSide(out.width, longer);
  out.preview_height = PreviewSide(out.height, longer);
  // The smallest scale that still gives every preview pixel a pixel of its own.
  unsigned denom = 8;
  while (denom > 1 && (static_cast<int64_t>(info.image_width) / denom < out.preview_width ||
                       static_cast<int64_t>(info.image_height) / denom < out.preview_height)) {
    denom /= 2;
  }
  info.scale_num = 1;
  info.scale_denom = denom;
  info.dct_method = JDCT_IFAST;
  info.do_fancy_upsampling = FALSE;
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_GRAYSCALE;
  jpeg_start_decompress(&info);
  const auto ow = static_cast<int64_t>(info.output_width);
  const auto oh = static_cast<int64_t>(info.output_height);
  const int components = info.output_components;
  JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                             info.output_width * components, 1);
  while (info.output_scanline < info.output_height) {
    const int64_t y = info.output_scanline;
    jpeg_read_scanlines(&info, row, 1);
    const int64_t py = y * out.preview_height / oh;
    for (int64_t x = 0; x < ow; ++x) {
      const JSAMPLE* pixel = row[0] + x * components;
      uint32_t grey = pixel[0];
      if (cmyk) {
        // Inverted CMYK as Adobe writes it: the sum of inks darkens.
        const uint32_t ink = (255u - pixel[0]) + (255u - pixel[1]) + (255u - pixel[2]);
        grey = static_cast<uint32_t>(std::max<int>(0, 255 - static_cast<int>(ink / 3))) * pixel[3] /
               255u;
      }
      const int64_t px = x * out.preview_width / ow;
      const auto at = static_cast<size_t>(py * kJpegPreviewSize + px);
      sums.sum[at] += grey;
      ++sums.count[at];
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return Failure::kNone;
}

std::string Message(Failure failure, const std::string& name, const Decoded& decoded,
                    int read_error) {
  const std::string file = "Die Bilddatei \"" + name + "\"";
  switch (failure) {
    case Failure::kNone:
      return "";
    case Failure::kEmpty:
      return file + " ist leer.";
    case Failure::kTruncated:
      return file + " ist unvollständig: sie endet mitten im Bild.";
    case Failure::kNotJpeg:
      return file + " ist kein JPEG-Bild.";
    case Failure::kTooLarge:
      return file + " ist mit " + std::to_string(decoded.width) + " x " +
             std::to_string(decoded.height) +
             " Bildpunkten zu groß; es werden Bilder bis 100 Millionen Bildpunkte angezeigt.";
    case Failure::kDamaged:
      return file + " ist beschädigt und kann nicht als JPEG-Bild gelesen werden.";
    case Failure::kUnreadable:
      return file + " kann nicht gelesen werden: " + env::ReasonText(read_error);
  }
  return "";
}

// Whether the picture's data end with the end-of-image marker after its
// scan begins. Inside the scan a marker byte is always stuffed, so FF D9
// there is the end; the one a thumbnail in the EXIF block ends with lies
// before the scan and does not count.
Failure CheckEnd(Source& source, uint64_t scan_start) {
  try {
    const uint64_t size = source.file->Size();
    if (size <= scan_start) return Failure::kTruncated;
    const uint64_t from = std::max(scan_start, size > kTailBytes ? size - kTailBytes : 0);
    const size_t got = source.file->ReadAt(from, source.block, static_cast<size_t>(size - from));
    for (size_t i = 0; i + 1 < got; ++i) {
      if (source.block[i] == 0xFF && source.block[i + 1] == 0xD9) return Failure::kNone;
    }
    return Failure::kTruncated;
  } catch (const env::EnvError& e) {
    source.read_error = e.Code() != 0 ? e.Code() : EIO;
    return Failure::kUnreadable;
  }
}

JpegPicture Decode(Source& source, const std::string& name, bool header_only = false) {
  ErrorManager error{};
  Decoded decoded{};
  auto sums = std::make_unique<PreviewSums>();
  sums->sum.fill(0);
  sums->count.fill(0);
  JpegPicture picture;
  Failure failure = RunDecoder(source, error, decoded, *sums, header_only);
  if (failure == Failure::kNone && header_only) failure = CheckEnd(source, decoded.scan_start);
  if (failure != Failure::kNone) {
    picture.error = Message(failure, name, decoded, source.read_error);
    return picture;
  }
  picture.ok = true;
  picture.width = decoded.width;
  picture.height = decoded.height;
  if (header_only) return picture;
  picture.preview_width = decoded.preview_width;
  picture.preview_height = decoded.preview_height;
  picture.preview.reserve(static_cast<size_t>(decoded.preview_width * decoded.preview_height));
  for (int y = 0; y < decoded.preview_height; ++y) {
    for (int x = 0; x < decoded.preview_width; ++x) {
      const auto at = static_cast<size_t>(y * kJpegPreviewSize + x);
      picture.preview.push_back(
          static_cast<uint8_t>(sums->count[at] == 0 ? 0 : sums->sum[at] / sums->count[at]));
    }
  }
  return picture;
}

}  // namespace

JpegPicture ReadJpeg(env::Env& env, const std::string& path) {
  std::unique_ptr<env::File> file;
  try {
    const std::optional<env::FileStatus> status = env.Stat(path);
    if (!status) {
      JpegPicture missing;
      missing.error = "Die Bilddatei \"" + path + "\" gibt es nicht.";
      return missing;
    }
    if (!status->IsRegular()) {
      JpegPicture folder;
      folder.error = "\"" + path + "\" ist keine Bilddatei.";
      return folder;
    }
    file = env.Open(path, env::OpenMode::kRead);
  } catch (const env::EnvError& e) {
    JpegPicture unreadable;
    unreadable.error = "Die Bilddatei \"" + path + "\" kann nicht gelesen werden: " + e.Reason();
    return unreadable;
  }
  auto block = std::make_unique<uint8_t[]>(kReadBlock);
  Source source{};
  source.file = file.get();
  source.block = block.get();
  return Decode(source, path);
}

JpegPicture ReadJpeg(env::File& file, const std::string& name) {
  auto block = std::make_unique<uint8_t[]>(kReadBlock);
  Source source{};
  source.file = &file;
  source.block = block.get();
  return Decode(source, name);
}

JpegPicture ReadJpegHeader(env::File& file, const std::string& name) {
  auto block = std::make_unique<uint8_t[]>(kReadBlock);
  Source source{};
  source.file = &file;
  source.block = block.get();
  return Decode(source, name, true);
}

JpegPicture DecodeJpeg(const uint8_t* data, size_t size, const std::string& name) {
  Source source{};
  source.memory = data;
  source.memory_size = size;
  source.memory_given = true;
  return Decode(source, name);
}

}  // namespace platform::ui
