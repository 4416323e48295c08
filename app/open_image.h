// SPDX-License-Identifier: GPL-3.0-or-later
// The open command: which reader a file name asks for, the document each
// reader's file becomes, and the new window with the main window's controls
// set as opening leaves them.
#pragma once

#include <string>
#include <vector>

#include "core/status.h"
#include "document/image_document.h"
#include "document/workspace.h"

namespace qirm {

enum class FileType { Bmp, Fits, Jpeg, Netpbm, Tiff, Png, Raw };

// A kind of file the open command reads: the open dialog's entry for it
// and the extensions (lower case, without the point) that name it. The
// list is in the order the dialog offers them, FITS first; its "all
// pictures" entry and FileTypeFromName both follow it, so a new reader
// (TIFF, PNG, camera raw files) is added here once.
struct ReadableType {
  FileType type;
  const char* label;  // the dialog's name of the type, before its patterns
  std::vector<std::string> extensions;
};
const std::vector<ReadableType>& ReadableTypes();

// Every extension of ReadableTypes(), in order: fits fit fts bmp jpg jpeg
// pgm ppm.
std::vector<std::string> ReadableExtensions();

// The reader a file name asks for: .bmp; .fit .fts .fits; .jpg .jpeg;
// .pgm .ppm; .tif .tiff; .png; the camera raw files .cr2 .cr3 .nef .arw
// .dng .raf .orf .rw2 .pef (any case). False for any other extension.
bool FileTypeFromName(const std::string& path, FileType& type);

// Opens one file as the open command does: one new window, active, with the
// zoom box at 100 % and the level edits at the window's levels (through
// their change handler). On failure nothing is added. shown false leaves
// the shown picture of a 16-bit, BMP or JPEG window undrawn, for a caller
// that reads only the window's state and data (its raw plane or base
// picture); DrawDeferredPicture draws it.
// plane: of a FITS cube, 0 the first; -1 the default (a cube of three
// planes opens as a colour picture, any other its first plane).
Status OpenImageFile(Workspace& ws, const std::string& path, FileType type, bool shown = true,
                     long long plane = -1);
// The shown picture of a window opened without it: a 16-bit or float
// window's under its levels, a BMP or JPEG window's the picture; nothing for any other.
void DrawDeferredPicture(ImageDocument& doc);

// FITS, BITPIX 16: raw values 0..65535 as the window's plane, initial
// levels, grey picture; kind 16-bit, caption = file name, levels, mean and
// minimum of the level sampling, size, 1 channel, zoom "1.00", not edited;
// the file's BZERO (0 when absent) and BSCALE as the window's scaling.
// Any other pixel type: a float window of the physical values (NaN where
// undefined) on its level grid (display/float_levels.h), the same state
// otherwise; integers beyond float precision are noted in the history.
// A cube of three planes (NAXIS3 = 3): a colour window, 8-bit values as a
// colour picture, 16-bit integers at depth 16, anything else at depth -32.
// Any other cube, or a plane asked for (0 the first): that plane alone,
// noted in the history. The image's header cards are kept for writing.
Status LoadFitsDocument(const std::string& path, ImageDocument& doc, bool shown = true, long long plane = -1);

// BMP and JPEG: the picture as Image and ImageZm; kind colour, caption =
// file name, levels 255 and 0, size, 3 channels for BMP and 1 for JPEG, zoom
// "1.00", not edited; the raw plane stays empty (only 16-bit windows have
// one). shown false leaves Image empty.
Status LoadBmpDocument(const std::string& path, ImageDocument& doc, bool shown = true);
Status LoadJpegDocument(const std::string& path, ImageDocument& doc, bool shown = true);

// TIFF, PNG and camera raw files: 8-bit pictures (grey or colour) as BMP
// ones open; 16-bit grey values as a 16-bit window (physical = raw), float
// ones as a float window; colour of 16 bits or float as a colour window of
// that depth. A camera's mosaic (and any file with BAYERPAT) keeps its
// pattern for debayering; a raw file's metadata become the header cards.
Status LoadSampleFileDocument(const std::string& path, FileType type, ImageDocument& doc, bool shown = true);

// The colour-filter pattern of a 16-bit or float window from its cards:
// BAYERPAT (RGGB, BGGR, GRBG, GBRG) shifted by XBAYROFF and YBAYROFF;
// none when absent or another kind of window.
void MosaicPatternFromCards(ImageDocument& doc);

// Netpbm: the picture as Image and ImageZm; kind Netpbm, the caption stays
// "Child", levels keep 255 and 0, 1 channel, zoom "1.00", not edited.
Status LoadNetpbmDocument(const std::string& path, ImageDocument& doc);

}  // namespace qirm
