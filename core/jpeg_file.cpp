// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/jpeg_file.h"

// jpeglib.h wants size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "core/file_bytes.h"

namespace qirm {

namespace {

// libjpeg's default error handler prints and calls exit(). Ours keeps the
// text and jumps back to the setjmp in RunDecode / RunEncode; warnings and
// traces are counted or dropped, never printed.
struct ErrorManager {
  jpeg_error_mgr pub;  // first, so libjpeg's pointer can be cast back
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  char first_warning[JMSG_LENGTH_MAX];
  long warnings;
};

void OnError(j_common_ptr cinfo) {
  auto* e = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, e->message);
  std::longjmp(e->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  auto* e = reinterpret_cast<ErrorManager*>(cinfo->err);
  if (e->warnings++ == 0) (*cinfo->err->format_message)(cinfo, e->first_warning);
}

void OnOutput(j_common_ptr) {}

void InitErrors(ErrorManager& e) {
  jpeg_std_error(&e.pub);
  e.pub.error_exit = OnError;
  e.pub.emit_message = OnMessage;
  e.pub.output_message = OnOutput;
  e.message[0] = '\0';
  e.first_warning[0] = '\0';
  e.warnings = 0;
}

enum class Outcome { kOk, kLibjpegError, kRefused, kNoMemory };

// Everything a decode needs that must survive a longjmp lives here, in the
// caller's frame: after the jump only these fields are read.
struct DecodeJob {
  jpeg_decompress_struct cinfo{};
  ErrorManager err{};
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  Picture* picture = nullptr;
  Outcome outcome = Outcome::kOk;
  std::string reason;
};

// Adobe writers store CMYK inverted (0 = full ink); plain CMYK is not.
void CmykRowToBgr(const JSAMPLE* cmyk, int width, bool inverted, std::uint8_t* bgr) {
  for (int x = 0; x < width; ++x) {
    unsigned c = cmyk[4 * x], m = cmyk[4 * x + 1], y = cmyk[4 * x + 2], k = cmyk[4 * x + 3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    bgr[3 * x] = static_cast<std::uint8_t>((y * k + 127) / 255);
    bgr[3 * x + 1] = static_cast<std::uint8_t>((m * k + 127) / 255);
    bgr[3 * x + 2] = static_cast<std::uint8_t>((c * k + 127) / 255);
  }
}

// The only function that calls setjmp for decoding. Its locals are plain
// values that are not read after a jump.
void RunDecode(DecodeJob* job) {
  jpeg_decompress_struct* cinfo = &job->cinfo;
  if (setjmp(job->err.jump)) {
    job->outcome = Outcome::kLibjpegError;
    return;
  }
  jpeg_create_decompress(cinfo);
  jpeg_mem_src(cinfo, job->data, static_cast<unsigned long>(job->size));
  jpeg_read_header(cinfo, TRUE);

  bool cmyk = false;
  switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
      cinfo->out_color_space = JCS_EXT_BGR;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      cinfo->out_color_space = JCS_CMYK;
      cmyk = true;
      break;
    default:
      job->outcome = Outcome::kRefused;
      job->reason =
          "unsupported JPEG colour space (" + std::to_string(cinfo->num_components) + " components)";
      return;
  }
  if (std::string r = CheckPictureSize(cinfo->image_width, cinfo->image_height); !r.empty()) {
    job->outcome = Outcome::kRefused;
    job->reason = r;
    return;
  }
  // Before the decoder's own buffers (a progressive file keeps every
  // coefficient: up to 6 bytes a pixel) and the picture with its copy. In
  // a block of its own: no string may be alive when libjpeg jumps back.
  {
    std::string r = CheckCompressedSize(job->size, cinfo->image_width, cinfo->image_height);
    if (r.empty()) r = CheckMemoryFor(cinfo->image_width, cinfo->image_height, 16);
    if (!r.empty()) {
      job->outcome = Outcome::kRefused;
      job->reason = std::move(r);
      return;
    }
  }
  jpeg_start_decompress(cinfo);
  const int width = static_cast<int>(cinfo->output_width);
  const int height = static_cast<int>(cinfo->output_height);
  try {
    job->picture->Resize(width, height);
  } catch (const std::bad_alloc&) {
    job->outcome = Outcome::kNoMemory;
    return;
  }
  JSAMPARRAY cmyk_row = nullptr;
  if (cmyk) {
    cmyk_row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                           static_cast<JDIMENSION>(width) * 4, 1);
  }
  const bool inverted = cinfo->saw_Adobe_marker;
  while (cinfo->output_scanline < cinfo->output_height) {
    const int y = static_cast<int>(cinfo->output_scanline);
    JSAMPROW row = cmyk ? cmyk_row[0] : job->picture->Row(y);
    if (jpeg_read_scanlines(cinfo, &row, 1) != 1) {
      job->outcome = Outcome::kRefused;
      job->reason = "decoder returned no scan line";
      return;
    }
    if (cmyk) CmykRowToBgr(cmyk_row[0], width, inverted, job->picture->Row(y));
  }
  jpeg_finish_decompress(cinfo);
  job->outcome = Outcome::kOk;
}

// A growing malloc'd buffer as libjpeg's output; the owner frees `buffer`
// whatever happened.
struct Destination {
  jpeg_destination_mgr pub;  // first, so libjpeg's pointer can be cast back
  unsigned char* buffer;
  std::size_t capacity;
  std::size_t used;
};

void OutOfMemory(j_compress_ptr cinfo) {
  cinfo->err->msg_code = JERR_OUT_OF_MEMORY;
  (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
}

void InitDestination(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<Destination*>(cinfo->dest);
  d->capacity = std::size_t{1} << 16;
  d->buffer = static_cast<unsigned char*>(std::malloc(d->capacity));
  if (d->buffer == nullptr) OutOfMemory(cinfo);
  d->pub.next_output_byte = d->buffer;
  d->pub.free_in_buffer = d->capacity;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<Destination*>(cinfo->dest);
  const std::size_t grown = d->capacity * 2;
  auto* bigger = static_cast<unsigned char*>(std::realloc(d->buffer, grown));
  if (bigger == nullptr) OutOfMemory(cinfo);
  d->buffer = bigger;
  // libjpeg calls this only when the buffer is full.
  d->pub.next_output_byte = d->buffer + d->capacity;
  d->pub.free_in_buffer = grown - d->capacity;
  d->capacity = grown;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<Destination*>(cinfo->dest);
  d->used = d->capacity - d->pub.free_in_buffer;
}

struct EncodeJob {
  jpeg_compress_struct cinfo{};
  ErrorManager err{};
  Destination dest{};
  const Picture* picture = nullptr;
  int quality = 70;
  Outcome outcome = Outcome::kOk;
};

// The only function that calls setjmp for encoding.
void RunEncode(EncodeJob* job) {
  jpeg_compress_struct* cinfo = &job->cinfo;
  if (setjmp(job->err.jump)) {
    job->outcome = Outcome::kLibjpegError;
    return;
  }
  jpeg_create_compress(cinfo);
  job->dest.pub.init_destination = InitDestination;
  job->dest.pub.empty_output_buffer = EmptyOutputBuffer;
  job->dest.pub.term_destination = TermDestination;
  cinfo->dest = &job->dest.pub;
  cinfo->image_width = static_cast<JDIMENSION>(job->picture->width());
  cinfo->image_height = static_cast<JDIMENSION>(job->picture->height());
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_EXT_BGR;  // the picture's own byte order
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, job->quality, TRUE);
  jpeg_start_compress(cinfo, TRUE);
  while (cinfo->next_scanline < cinfo->image_height) {
    // libjpeg's row type is not const; it only reads the row.
    JSAMPROW row = const_cast<JSAMPLE*>(job->picture->Row(static_cast<int>(cinfo->next_scanline)));
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  job->outcome = Outcome::kOk;
}

}  // namespace

Status DecodeJpeg(const std::uint8_t* data, std::size_t size, const std::string& name, Picture& picture,
                  std::string* warning) {
  picture = Picture();
  if (warning != nullptr) warning->clear();
  DecodeJob job;
  InitErrors(job.err);
  job.cinfo.err = &job.err.pub;
  job.data = data;
  job.size = size;
  job.picture = &picture;
  RunDecode(&job);
  jpeg_destroy_decompress(&job.cinfo);

  switch (job.outcome) {
    case Outcome::kOk:
      if (warning != nullptr && job.err.warnings > 0) *warning = job.err.first_warning;
      return Status::Ok();
    case Outcome::kLibjpegError:
      picture = Picture();
      return Status::Error(name + ": " + job.err.message);
    case Outcome::kRefused:
      picture = Picture();
      return Status::Error(name + ": " + job.reason);
    case Outcome::kNoMemory:
      break;
  }
  picture = Picture();
  return Status::Error(name + ": not enough memory for the picture");
}

Status ReadJpegFile(const std::string& path, Picture& picture, std::string* warning) {
  std::vector<std::uint8_t> bytes;
  if (Status s = ReadFileBytes(path, bytes); !s) {
    picture = Picture();
    if (warning != nullptr) warning->clear();
    return s;
  }
  return DecodeJpeg(bytes.data(), bytes.size(), path, picture, warning);
}

Status EncodeJpeg(const Picture& picture, int quality, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  if (picture.empty()) return Status::Error("cannot write an empty picture as JPEG");
  if (picture.width() > JPEG_MAX_DIMENSION || picture.height() > JPEG_MAX_DIMENSION) {
    return Status::Error("picture too large for a JPEG file");
  }
  EncodeJob job;
  InitErrors(job.err);
  job.cinfo.err = &job.err.pub;
  job.picture = &picture;
  job.quality = quality < 1 ? 1 : (quality > 100 ? 100 : quality);
  RunEncode(&job);
  jpeg_destroy_compress(&job.cinfo);

  Status status = Status::Ok();
  if (job.outcome != Outcome::kOk) {
    status = Status::Error(std::string("JPEG encoding failed: ") + job.err.message);
  } else {
    try {
      bytes.assign(job.dest.buffer, job.dest.buffer + job.dest.used);
    } catch (const std::bad_alloc&) {
      status = Status::Error("not enough memory to encode the picture");
    }
  }
  std::free(job.dest.buffer);
  return status;
}

}  // namespace qirm
