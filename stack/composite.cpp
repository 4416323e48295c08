// SPDX-License-Identifier: GPL-3.0-or-later
// The composite command around the pixel work: finding the listed windows,
// checking their sizes, and the new window "New".
#include "stack/composite.h"

#include <algorithm>
#include <new>

#include "core/matrix.h"
#include "core/numbers.h"
#include "display/levels.h"
#include "document/kind_refusal.h"

namespace qirm {
namespace {

std::string SizeText(const ImageDocument& doc) {
  return FormatInt(DataWidth(doc)) + " x " + FormatInt(DataHeight(doc));
}

// The window an entry stands for, or nullptr when it is gone.
ImageDocument* FindEntry(Workspace& ws, const CompositeEntry& entry) {
  auto& windows = ws.windows();
  if (entry.window >= 0 && entry.window < static_cast<int>(windows.size()) &&
      windows[static_cast<std::size_t>(entry.window)]->caption == entry.caption) {
    return windows[static_cast<std::size_t>(entry.window)].get();
  }
  for (const auto& w : windows) {
    if (w->caption == entry.caption) return w.get();
  }
  return nullptr;
}

// Stacks the raw values of 16-bit windows of one size into a new 16-bit
// window "New" with the levels an opened frame gets.
Status CompositeRaw(Workspace& ws, const std::vector<ImageDocument*>& sources, CompositeMethod method,
                    const std::function<void(int)>& progress) {
  const int w = sources[0]->raw.width;
  const int h = sources[0]->raw.height;
  for (const ImageDocument* doc : sources) {
    if (doc->raw.values.size() != doc->raw.pixels()) {
      return Status::Error("composite: \"" + doc->caption +
                           "\": the raw values do not fill the window's size; nothing was stacked");
    }
  }
  ImageDocument result;
  try {
    // The windows' planes are read where they are.
    std::vector<const std::uint16_t*> values;
    for (const ImageDocument* doc : sources) values.push_back(doc->raw.values.data());
    const std::vector<std::uint16_t> stacked = StackRawValues(values, w, h, method, progress);
    result.raw.ResizeUnfilled(w, h);
    std::copy(stacked.begin(), stacked.end(), result.raw.values.begin());
    const InitialLevelsResult levels = InitialLevels(result.raw);
    result.Image = RenderLevels(result.raw, levels.max, levels.min);
    result.min_level = levels.min;
    result.max_level = levels.max;
    result.mean = levels.mean;
    result.minimum = levels.min;
  } catch (const std::bad_alloc&) {
    if (progress) progress(0);
    return Status::Error("composite: not enough memory for a " + SizeText(*sources[0]) + " 16-bit image");
  }
  result.kind = WindowKind::kRaw16;
  // Sources of one file scaling keep it: their mean, extremes and robust
  // mean are values of the same physical scale. A sum of raw values is not,
  // so it shows the raw counts.
  const FitsScaling& scaling = sources[0]->scaling;
  const bool shared = std::all_of(sources.begin(), sources.end(), [&](const ImageDocument* doc) {
    return doc->scaling.bzero == scaling.bzero && doc->scaling.bscale == scaling.bscale;
  });
  if (shared && method != CompositeMethod::Sum) result.scaling = scaling;
  result.caption = "New";
  result.width = w;
  result.height = h;
  result.channels = 1;
  result.zoom = 1.0;
  result.edited = true;

  for (ImageDocument* doc : sources) ws.Activate(doc);
  ImageDocument& window = ws.NewWindow();
  window = std::move(result);
  ws.main().zoom = 1.0;
  ws.SetMaxLevel(window.max_level);
  ws.SetMinLevel(window.min_level);
  ws.main().progress = 0;
  if (progress) progress(0);
  return Status::Ok();
}

}  // namespace

bool CompositeMethodFromName(const std::string& name, CompositeMethod& method) {
  static const std::pair<const char*, CompositeMethod> kNames[] = {{"average", CompositeMethod::Average},
                                                                   {"sum", CompositeMethod::Sum},
                                                                   {"maximum", CompositeMethod::Maximum},
                                                                   {"minimum", CompositeMethod::Minimum},
                                                                   {"expected", CompositeMethod::Expected}};
  for (const auto& [text, m] : kNames) {
    if (name == text) {
      method = m;
      return true;
    }
  }
  return false;
}

std::vector<CompositeEntry> CompositeCandidates(Workspace& ws) {
  std::vector<CompositeEntry> entries;
  int position = 0;
  for (const auto& w : ws.windows()) entries.push_back({w->caption, position++});
  return entries;
}

bool CompositeRequested(const std::string& edit2) { return edit2 > std::string("0"); }

Status RunComposite(Workspace& ws, const CompositeParams& params, std::vector<std::string>& skipped,
                    const std::function<void(int)>& progress) {
  std::vector<ImageDocument*> sources;
  for (const CompositeEntry& entry : params.entries) {
    ImageDocument* doc = FindEntry(ws, entry);
    if (!doc) {
      skipped.push_back("composite: \"" + entry.caption + "\" is no longer open; skipped");
      continue;
    }
    sources.push_back(doc);
  }
  if (sources.empty()) {
    if (params.entries.empty()) return Status::Ok();
    return Status::Error("composite: none of the chosen images is open; nothing was stacked");
  }

  // 16-bit windows stack their raw values, pictures their bytes; the two do
  // not mix.
  const ImageDocument* raw16 = nullptr;
  const ImageDocument* picture = nullptr;
  for (const ImageDocument* doc : sources) {
    const ImageDocument*& first_of_kind = doc->kind == WindowKind::kRaw16 ? raw16 : picture;
    if (!first_of_kind) first_of_kind = doc;
  }
  if (raw16 && picture) {
    return Status::Error(
        "コンポジット: 16ビットの画像「" + raw16->caption + "」と" + KindName(picture->kind) + "「" +
        picture->caption +
        "」は一緒に合成できません。16ビットの画像どうし、またはカラー画像どうしを選んでください。");
  }

  // Stacking pixel for pixel needs one size; the first source sets it.
  const ImageDocument& first = *sources[0];
  if (DataWidth(first) <= 0 || DataHeight(first) <= 0)
    return Status::Error("composite: \"" + first.caption + "\" has no picture");
  for (const ImageDocument* doc : sources) {
    if (DataWidth(*doc) != DataWidth(first) || DataHeight(*doc) != DataHeight(first)) {
      return Status::Error("composite: \"" + doc->caption + "\" is " + SizeText(*doc) +
                           ", the first image \"" + first.caption + "\" is " + SizeText(first) +
                           "; nothing was stacked");
    }
  }

  if (raw16) return CompositeRaw(ws, sources, params.method, progress);

  std::vector<const Picture*> pictures;
  for (ImageDocument* doc : sources) pictures.push_back(&doc->ImageZm);
  Picture result;
  Picture shown;
  try {
    result = StackPictures(pictures, params.method, progress);
    shown = result;
  } catch (const std::bad_alloc&) {
    if (progress) progress(0);
    return Status::Error("composite: not enough memory for a " + SizeText(first) + " picture");
  }
  // Each source is brought forward in turn as it is read; the last one is
  // active when the new window opens on top.
  for (ImageDocument* doc : sources) ws.Activate(doc);

  ImageDocument& window = ws.NewPictureWindow(std::move(shown), std::move(result), "New", 1);
  window.edited = true;
  ws.main().progress = 0;
  if (progress) progress(0);
  return Status::Ok();
}

}  // namespace qirm
