// SPDX-License-Identifier: GPL-3.0-or-later
// The tri-colour composition: red, green and blue FITS frames, with darks
// and a flat, become one registered, calibrated, white-balanced colour
// picture. Called by the OK button of the composition dialog and by
// `qirm-cli compose`; both pass the CompositionSettings value and get the
// document of the result window.
//
// Order of the work (fixed; it is part of the result):
//   setup     frame size from the first green frame's header, dark mean,
//             flat (the mean of the flats when several are given), clamping of the star and background
//             positions, reference geometry of the two stars (two-star mode);
//   stacking  red, then green, then blue: each frame read, sign-shifted,
//             cleaned of blooming, hot pixels removed (red only), dark
//             subtracted, flat divided, turned by 180 degrees if asked,
//             registered on star 1 (and scaled and rotated on the two stars),
//             added to the running mean; then the optional background
//             flattening of the finished channel;
//   output    sky levels at the background point, white balance, the tone
//             curve (by default 200 x atan(v / 200)), clip to 0..255, the
//             picture.
//
// Threads: the call may run on any thread; it keeps no state outside its
// arguments, so several runs may even go on at once. Inside, it uses up to
// two threads; the result is byte-identical to the plain single-threaded
// order of steps.
#pragma once

#include <functional>
#include <string>

#include "core/status.h"
#include "document/image_document.h"
#include "document/workspace.h"
#include "tricolour/composition_settings.h"

namespace qirm {

// Runs one composition.
//
// progress: the values the main window's progress bar takes, 0..100, in the
//   order the run sets them (10, 30, the dark mean 0..99, 20, 40 in two-star
//   mode, 0..99 for every frame, 50 / 60 / 70 after each channel, 90, 100,
//   and 0 at the end); a value equal to the previous one is not passed on.
//   Called one call at a time, in that order, from the thread that runs the
//   composition or from the one helper thread it starts; may be empty.
// result: on success, the document of the result window: kind "1", Image
//   and ImageZm the w x h colour picture, levels 255 and 0, size w x h,
//   3 channels, zoom "1.00", not edited; the caption stays "Child".
// main: when given, receives the main window's texts the run sets at its end
//   (see ApplyCompositionMainState); pass nullptr from a worker thread and
//   apply them on the user-interface thread.
// notice: messages shown during the run while it goes on, e.g. "Resolution
//   Error !!" for a dark frame of another size (shown once; that dark and
//   the later ones are skipped, the mean keeps the full divisor).
//
// Returns Ok and leaves `result` untouched when the red, green or blue list
// is empty (the run ends silently). Any other failure returns an error that
// names the file or field and the reason, before a result exists:
// unreadable frame, a light or flat frame of another size than the first
// green frame, lists over kMaxFramesPerList entries, paths over
// kMaxPathBytes bytes, a white-balance divisor of 0, anti-blooming values
// out of range (when its box is checked), a tone curve parameter that is not
// above 0, a flat whose largest
// value is not above 0, reference stars that give no angle or distance.
Status ComposeTricolour(const CompositionSettings& settings, const std::function<void(int)>& progress,
                        ImageDocument& result, MainState* main = nullptr,
                        const std::function<void(const std::string&)>& notice = {});

// Limits of the frame tables.
inline constexpr int kMaxFramesPerList = 256;
inline constexpr int kMaxPathBytes = 255;
// The anti-blooming thickness is the radius of the smoothing median, whose
// window cannot be larger than 49 x 49.
inline constexpr int kMaxBloomThickness = 24;

// The checks ComposeTricolour makes on the settings before any file is
// touched (list lengths, path lengths, white-balance divisors). The dialog
// may call it to refuse OK early with the same message.
Status CheckCompositionSettings(const CompositionSettings& settings);

// The main window's controls at the end of a composition: the zoom box at
// 100 %, the level edits "255" and "0" (without their change handler), the
// spins 255 and 0.
void ApplyCompositionMainState(MainState& main);

// The product of the output stage as a document (see `result` above), from
// the finished 24-bit picture.
void FillCompositionDocument(Picture picture, ImageDocument& doc);
// The same, the copy made into `spare`'s memory where it has the size.
void FillCompositionDocument(Picture picture, Picture spare, ImageDocument& doc);
// The same without the shown copy: Image is the picture, ImageZm stays as it
// is (empty in a new document). For callers that only save the picture.
void FillCompositionDocumentImageOnly(Picture picture, ImageDocument& doc);

}  // namespace qirm
