// Building the document of a newly opened file, one function per reader.
// Each fills the pictures and the state fields the open command writes into
// the new window; the main window's texts are the workspace's business.
#pragma once

#include <string>

#include "app/image_document.h"
#include "core/status.h"

namespace qirm {

// FITS: raw values 0..65535, initial levels, grey picture, two planes;
// FilterI "2", caption = file name, MAX/MIN/Average/Minimum, DemX/DemY,
// ColN "1", ZomN "1.00", UndoFlg "0".
Status LoadFitsDocument(const std::string& path, ImageDocument& doc);

// BMP and JPEG: the picture as Image and ImageZm; FilterI "1", caption =
// file name, MAX/MIN "255"/"0", DemX/DemY, ColN "3" for BMP and "1" for
// JPEG, ZomN "1.00", UndoFlg "0". A BMP window also gets an (unused) white
// ImageZm2 of the picture's size.
Status LoadBmpDocument(const std::string& path, ImageDocument& doc);
Status LoadJpegDocument(const std::string& path, ImageDocument& doc);

// Netpbm: the picture as Image and ImageZm; FilterI "3", the caption stays
// "Child", MAX/MIN keep "255"/"0", ColN "1", ZomN "1.00", UndoFlg "0".
Status LoadNetpbmDocument(const std::string& path, ImageDocument& doc);

}  // namespace qirm
