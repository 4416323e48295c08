// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and redo of a window: sequences of commands, undos and redos restore
// the window byte for byte (pictures and state texts), a new command drops
// the redo steps, and the memory budget drops the oldest steps.
#include "document/history.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/display_commands.h"
#include "display/levels.h"
#include "document/state_texts.h"
#include "document/workspace.h"
#include "tests/support/pictures.h"

namespace qirm {
namespace {

// A colour window with a different byte at every place, so that mirror,
// flip and negative each give a picture of their own.
ImageDocument& AddWindow(Workspace& ws, int w = 5, int h = 4) {
  Picture p(w, h);
  for (int y = 0; y < h; ++y)
    for (std::size_t i = 0; i < p.stride(); ++i) p.Row(y)[i] = static_cast<std::uint8_t>(y * 37 + i * 11);
  Picture base = p;
  return ws.NewPictureWindow(std::move(p), std::move(base), "pic", 3);
}

struct Snapshot {
  Picture image, zm;
  RawPlane raw;
  std::vector<std::pair<std::string, std::string>> texts;
  bool operator==(const Snapshot&) const = default;
};

Snapshot Take(Workspace& ws) {
  const ImageDocument& d = *ws.active();
  return {d.Image, d.ImageZm, d.raw, StateLines(d, ws.main())};
}

Status Negative(Workspace& ws) { return RunWithUndo(ws, "ネガ反転", NegativeCommand); }
Status Mirror(Workspace& ws) { return RunWithUndo(ws, "左右反転", MirrorCommand); }
Status Flip(Workspace& ws) { return RunWithUndo(ws, "上下反転", FlipCommand); }

TEST(History, UndoAndRedoRestoreEveryStepExactly) {
  Workspace ws;
  AddWindow(ws);
  History& history = ws.HistoryOf(ws.active());
  EXPECT_FALSE(history.CanUndo());
  EXPECT_EQ(history.UndoName(), "");

  std::vector<Snapshot> states{Take(ws)};
  ASSERT_TRUE(Negative(ws));
  states.push_back(Take(ws));
  ASSERT_TRUE(Mirror(ws));
  states.push_back(Take(ws));
  ASSERT_TRUE(Flip(ws));
  states.push_back(Take(ws));
  ASSERT_NE(states[0], states[1]);
  ASSERT_NE(states[1], states[2]);
  EXPECT_EQ(history.UndoDepth(), 3u);
  EXPECT_EQ(history.UndoName(), "上下反転");

  const char* const undo_names[] = {"ネガ反転", "左右反転", "上下反転"};
  for (int i = 3; i > 0; --i) {
    EXPECT_EQ(history.UndoName(), undo_names[i - 1]);
    ASSERT_TRUE(UndoActive(ws));
    EXPECT_EQ(Take(ws), states[i - 1]) << "after undoing step " << i;
    EXPECT_EQ(history.RedoName(), undo_names[i - 1]);
  }
  EXPECT_FALSE(UndoActive(ws));  // nothing left: the window stays
  EXPECT_EQ(Take(ws), states[0]);
  EXPECT_EQ(history.UndoName(), "");

  for (int i = 1; i <= 3; ++i) {
    ASSERT_TRUE(RedoActive(ws));
    EXPECT_EQ(Take(ws), states[i]) << "after redoing step " << i;
  }
  EXPECT_FALSE(RedoActive(ws));
  EXPECT_EQ(Take(ws), states[3]);
}

// A 16-bit window: the raw values are part of every step, and a change of
// raw values alone (one the levels do not show) is a step of its own.
TEST(History, SixteenBitStepsKeepTheRawValues) {
  Workspace ws;
  ImageDocument& doc = ws.NewWindow();
  doc.kind = WindowKind::kRaw16;
  doc.raw = RawPlane(7, 5);
  for (std::size_t i = 0; i < doc.raw.values.size(); ++i)
    doc.raw.values[i] = static_cast<std::uint16_t>(i * 1409 + 3);
  doc.Image = RenderLevels(doc.raw, 65535, 0);
  doc.max_level = 65535;
  doc.width = 7;
  doc.height = 5;
  doc.zoom = 1.0;
  doc.edited = false;
  // The main window's controls as opening leaves them.
  ws.main().zoom = 1.0;
  ws.SetMaxLevel(65535);
  ws.SetMinLevel(0);
  EXPECT_EQ(SnapshotBytes(doc), sizeof(ImageDocument) + 7 * 5 * (3 + 2));

  std::vector<Snapshot> states{Take(ws)};
  ASSERT_TRUE(Mirror(ws));
  states.push_back(Take(ws));
  ASSERT_TRUE(RunWithUndo(ws, "low bit", [](ImageDocument& d) {
    d.raw.values[0] ^= 1;  // under these levels the same grey
    return Status::Ok();
  }));
  states.push_back(Take(ws));
  ASSERT_EQ(states[1].image, states[2].image);
  ASSERT_NE(states[1], states[2]);
  const History& history = ws.HistoryOf(ws.active());
  EXPECT_EQ(history.UndoDepth(), 2u);
  for (int i = 2; i > 0; --i) {
    ASSERT_TRUE(UndoActive(ws));
    EXPECT_EQ(Take(ws), states[i - 1]) << "after undoing step " << i;
  }
  for (int i = 1; i <= 2; ++i) {
    ASSERT_TRUE(RedoActive(ws));
    EXPECT_EQ(Take(ws), states[i]) << "after redoing step " << i;
  }
}

TEST(History, ACommandAfterUndoDropsTheRedoSteps) {
  Workspace ws;
  AddWindow(ws);
  History& history = ws.HistoryOf(ws.active());
  ASSERT_TRUE(Negative(ws));
  ASSERT_TRUE(Mirror(ws));
  ASSERT_TRUE(UndoActive(ws));
  ASSERT_TRUE(UndoActive(ws));
  EXPECT_EQ(history.RedoDepth(), 2u);
  ASSERT_TRUE(Flip(ws));
  EXPECT_FALSE(history.CanRedo());
  EXPECT_FALSE(RedoActive(ws));
  EXPECT_EQ(history.UndoDepth(), 1u);
  EXPECT_EQ(history.UndoName(), "上下反転");
}

TEST(History, ACommandThatChangesNothingLeavesNoStep) {
  Workspace ws;
  AddWindow(ws);
  ASSERT_TRUE(Negative(ws));
  ASSERT_TRUE(UndoActive(ws));
  // Refused and empty commands keep the redo step as well.
  EXPECT_FALSE(RunWithUndo(ws, "x", [](ImageDocument&) { return Status::Error("refused"); }));
  EXPECT_TRUE(RunWithUndo(ws, "x", [](ImageDocument&) { return Status::Ok(); }));
  const History& history = ws.HistoryOf(ws.active());
  EXPECT_EQ(history.UndoDepth(), 0u);
  EXPECT_EQ(history.RedoName(), "ネガ反転");
  // A command that stops after changing its window can be undone.
  const Snapshot before = Take(ws);
  EXPECT_FALSE(RunWithUndo(ws, "half", [](ImageDocument& d) {
    d.Image.SetColor(0, 0, 0x123456);
    return Status::Error("stopped");
  }));
  ASSERT_TRUE(UndoActive(ws));
  EXPECT_EQ(Take(ws), before);
}

TEST(History, WithoutAWindowNothingHappens) {
  Workspace ws;
  bool ran = false;
  EXPECT_TRUE(RunWithUndo(ws, "x", [&](ImageDocument&) {
    ran = true;
    return Status::Ok();
  }));
  EXPECT_FALSE(ran);
  EXPECT_FALSE(UndoActive(ws));
  EXPECT_FALSE(RedoActive(ws));
}

TEST(History, EachWindowHasItsOwnSteps) {
  Workspace ws;
  ImageDocument& first = AddWindow(ws);
  const Snapshot first_before = Take(ws);
  ASSERT_TRUE(Negative(ws));
  ImageDocument& second = AddWindow(ws, 3, 2);
  ASSERT_TRUE(Mirror(ws));
  ASSERT_TRUE(Flip(ws));
  EXPECT_EQ(ws.HistoryOf(&first).UndoDepth(), 1u);
  EXPECT_EQ(ws.HistoryOf(&second).UndoDepth(), 2u);

  ws.Activate(&first);
  ASSERT_TRUE(UndoActive(ws));
  EXPECT_EQ(Take(ws).image, first_before.image);
  EXPECT_EQ(ws.HistoryOf(&second).UndoDepth(), 2u);
  ws.Close(&second);
  // A new window never inherits a closed one's steps.
  AddWindow(ws);
  EXPECT_FALSE(ws.HistoryOf(ws.active()).CanUndo());
}

TEST(History, TheBudgetDropsTheOldestStepsFirst) {
  Workspace ws;
  AddWindow(ws, 10, 10);
  const std::size_t step = SnapshotBytes(*ws.active());
  ws.SetUndoBudget(2 * step + step / 2);  // room for two steps
  History& history = ws.HistoryOf(ws.active());
  const Snapshot original = Take(ws);
  ASSERT_TRUE(Negative(ws));
  const Snapshot after_negative = Take(ws);
  ASSERT_TRUE(Mirror(ws));
  ASSERT_TRUE(Flip(ws));
  EXPECT_EQ(history.UndoDepth(), 2u);
  EXPECT_LE(history.bytes(), history.budget());
  ASSERT_TRUE(UndoActive(ws));
  ASSERT_TRUE(UndoActive(ws));
  EXPECT_EQ(Take(ws), after_negative);  // negative's own step was dropped
  EXPECT_FALSE(UndoActive(ws));
  EXPECT_NE(Take(ws), original);
  // Undone steps wait for redo within the same budget.
  ASSERT_TRUE(RedoActive(ws));
  ASSERT_TRUE(RedoActive(ws));
  EXPECT_LE(history.bytes(), history.budget());
}

TEST(History, AStepLargerThanTheBudgetIsNotKeptAndNoError) {
  Workspace ws;
  AddWindow(ws, 10, 10);
  ws.SetUndoBudget(SnapshotBytes(*ws.active()) / 2);
  History& history = ws.HistoryOf(ws.active());
  const Snapshot before = Take(ws);
  EXPECT_TRUE(Negative(ws));
  EXPECT_NE(Take(ws), before);  // the command ran
  EXPECT_FALSE(history.CanUndo());
  EXPECT_EQ(history.bytes(), 0u);

  // With room for one step, a too-large one also clears the steps behind it:
  // undoing those would take back more than their names say.
  History small(1000);
  ImageDocument doc;
  doc.Image = test::Flat(2, 2, 1);
  small.Record("a", doc);
  EXPECT_TRUE(small.CanUndo());
  doc.Image = test::Flat(40, 40, 2);
  small.Record("b", doc);
  EXPECT_FALSE(small.CanUndo());
}

TEST(History, UnsavedFollowsTheStepsAndASave) {
  Workspace ws;
  ImageDocument& doc = AddWindow(ws);
  doc.unsaved = false;  // as a window straight from its file
  ASSERT_TRUE(Negative(ws));
  EXPECT_TRUE(doc.unsaved);
  ASSERT_TRUE(UndoActive(ws));
  EXPECT_FALSE(doc.unsaved);  // back to what the file holds
  ASSERT_TRUE(RedoActive(ws));
  EXPECT_TRUE(doc.unsaved);
  // Saved under a new name: every other state differs from the file, and
  // undo keeps the window's name.
  doc.unsaved = false;
  doc.caption = "saved.bmp";
  ws.HistoryOf(&doc).Saved(doc.caption);
  ASSERT_TRUE(UndoActive(ws));
  EXPECT_TRUE(doc.unsaved);
  EXPECT_EQ(doc.caption, "saved.bmp");
}

// A command run on a copy of the window elsewhere and committed afterwards
// leaves window and history exactly as running it in place does, whichever
// window is active by then; a closed window takes nothing.
TEST(History, ACommittedCopyEndsAsRunningInPlace) {
  const std::vector<std::pair<std::string, DocumentCommand>> commands = {
      {"ネガ反転", NegativeCommand},
      {"nothing", [](ImageDocument&) { return Status::Ok(); }},
      {"refused", [](ImageDocument&) { return Status::Error("refused"); }},
      {"half",
       [](ImageDocument& d) {
         d.Image.SetColor(1, 1, 0x654321);
         return Status::Error("stopped");
       }},
  };
  for (const auto& [name, command] : commands) {
    SCOPED_TRACE(name);
    Workspace in_place, copied;
    AddWindow(in_place).unsaved = false;
    ImageDocument& doc = AddWindow(copied);
    doc.unsaved = false;
    const Status expected = RunWithUndo(in_place, name, command);
    ImageDocument work = doc;
    const Status status = command(work);
    AddWindow(copied, 3, 2);  // another window became active meanwhile
    ASSERT_TRUE(CommitCommandResult(copied, &doc, name, std::move(work)));
    EXPECT_EQ(status.ok(), expected.ok());
    copied.Activate(&doc);
    EXPECT_EQ(Take(copied), Take(in_place));
    EXPECT_EQ(doc.unsaved, in_place.active()->unsaved);
    const History& h = copied.HistoryOf(&doc);
    EXPECT_EQ(h.UndoDepth(), in_place.HistoryOf(in_place.active()).UndoDepth());
    EXPECT_EQ(h.UndoName(), in_place.HistoryOf(in_place.active()).UndoName());
    ASSERT_EQ(UndoActive(copied), UndoActive(in_place));
    EXPECT_EQ(Take(copied), Take(in_place));
  }

  Workspace ws;
  ImageDocument* gone = &AddWindow(ws);
  ImageDocument work = *gone;
  ws.Close(gone);
  EXPECT_FALSE(CommitCommandResult(ws, gone, "x", std::move(work)));
  EXPECT_TRUE(ws.windows().empty());
}

}  // namespace
}  // namespace qirm
