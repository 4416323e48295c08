// SPDX-License-Identifier: GPL-3.0-or-later
// The save command's engine side, shared by the desktop program and qirm-cli:
// the file name rule, the format by extension, and a write that never
// destroys the file it replaces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/file_write.h"
#include "core/picture.h"
#include "core/rgb16.h"
#include "core/status.h"
#include "document/image_document.h"

namespace qirm {

enum class PictureFormat { kBmp, kJpeg, kPng, kTiff };

// The quality the save command uses for JPEG.
inline constexpr int kSaveJpegQuality = 70;

// `name` with its extension replaced by `ext` (".bmp", ".jpg"), or with `ext`
// added when it has none. Only the part after the last point of the file
// name counts: "m42.fts" -> "m42.bmp", "m42" -> "m42.jpg", "dir.v2/m42" ->
// "dir.v2/m42.jpg", "m42." -> "m42.jpg", ".m42" -> ".jpg".
std::string ReplaceExtension(const std::string& name, const std::string& ext);

// The format named by the extension of `path`, in any letter case: ".bmp";
// ".jpg" or ".jpeg"; ".png"; ".tif" or ".tiff". False for anything else.
bool PictureFormatFromName(const std::string& path, PictureFormat& format);

// The file's bytes in `format`; `jpeg_quality` 1..100 is used for JPEG only.
Status EncodePicture(const Picture& picture, PictureFormat format, int jpeg_quality,
                     std::vector<std::uint8_t>& bytes);

// EncodePicture, then WriteFileReplacing. Errors name `path`.
Status WritePictureFile(const std::string& path, const Picture& picture, PictureFormat format,
                        int jpeg_quality = kSaveJpegQuality);

// A picture with 16 bits per channel in `format`: kPng or kTiff (the other
// formats hold 8 bits only and are refused). Replaces `path` as
// WritePictureFile does; errors name `path`.
Status WritePicture16File(const std::string& path, const Rgb16Picture& picture, PictureFormat format);

// True when `deep` is still the 16-bit form of `picture`: the same size and
// every sample / 257 the picture's byte. A command that changed the window's
// picture since (a negative, a blur, ...) makes it false, so a stale 16-bit
// picture is never saved for the window.
bool DeepShowsPicture(const Rgb16Picture& deep, const Picture& picture);

// ".fits", ".fit" or ".fts" in any letter case.
bool IsFitsName(const std::string& path);

// The formats the save command writes: the window's data (FITS) or a
// picture file.
enum class SaveFormat { kFits, kPng, kTiff, kBmp, kJpeg };

// What the extension of a name typed into the save dialog says. The
// extension is the part after the last point of the file name, unless that
// point starts the name (".m42" has none) or ends it ("m42." has none).
enum class TypedExtension {
  kWritten,  // one QIRM writes: it chooses the format, whatever entry is chosen
  kNone,     // no extension: the chosen entry's is added
  kOther,    // one QIRM does not write: never replaced silently (the dialog asks)
};
TypedExtension SaveFormatFromName(const std::string& path, SaveFormat& format);

// `name` with `ext` (".jpg") added after it: "m42" -> "m42.jpg", "m42." ->
// "m42.jpg", "m42.xyz" -> "m42.xyz.jpg". Nothing of the name is dropped.
std::string AddExtension(const std::string& name, const std::string& ext);

// The picture format of a picture SaveFormat (kFits has none: false).
bool PictureFormatOf(SaveFormat format, PictureFormat& picture);

// The window as a FITS file (core/fits_writer.h): a 16-bit window writes its
// stored values under its source's BZERO and BSCALE (so an unedited window
// writes back the very values it was read from; the source's BLANK where
// mirror, flip, rotation and negative keep it meaningful), with the
// source header's other cards, "HISTORY QIRM <command>" per command applied
// and DATE. A float window writes its values as 32-bit floats, exactly. Any
// other window writes `picture` (its shown or its base
// picture) as an 8-bit cube of red, green and blue planes.
Status WriteFitsWindow(const std::string& path, const ImageDocument& doc, const Picture& picture);

// The values of a colour window of depth 16 as 16-bit samples (rounded,
// limited to 0..65535, undefined as 0), for 16-bit PNG and TIFF files.
Rgb16Picture DeepColourSamples(const ImageDocument& doc);

}  // namespace qirm
