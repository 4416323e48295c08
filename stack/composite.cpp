// The composite command around the pixel work: finding the listed windows,
// checking their sizes, and the new window "New".
#include "stack/composite.h"

#include <new>

#include "core/numbers.h"

namespace qirm {
namespace {

std::string SizeText(const Picture& p) { return FormatInt(p.width()) + " x " + FormatInt(p.height()); }

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

  // Stacking pixel for pixel needs one size; the first source sets it.
  const Picture& first = sources[0]->ImageZm;
  if (first.empty()) return Status::Error("composite: \"" + sources[0]->caption + "\" has no picture");
  for (const ImageDocument* doc : sources) {
    const Picture& p = doc->ImageZm;
    if (p.width() != first.width() || p.height() != first.height()) {
      return Status::Error("composite: \"" + doc->caption + "\" is " + SizeText(p) + ", the first image \"" +
                           sources[0]->caption + "\" is " + SizeText(first) + "; nothing was stacked");
    }
  }

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
