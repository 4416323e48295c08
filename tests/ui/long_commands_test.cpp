// SPDX-License-Identifier: GPL-3.0-or-later
// Long commands off the user-interface thread: the event loop runs while
// they work, the busy window takes no second command, the result and its
// undo step are those of the command run in place, and closing the window
// or the program meanwhile loses nothing.
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <new>
#include <thread>

#include "app/save_image.h"
#include "app/ui/Forms.h"
#include "app/ui/LevelsPanel.h"
#include "app/ui/TApplication.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "display/display_commands.h"
#include "document/history.h"
#include "document/state_texts.h"
#include "document/workspace.h"
#include "filters/filter_commands.h"
#include "filters/ui/TGMCPanel.h"
#include "tests/support/qt_commands.h"
#include "tests/support/qt_fixture.h"
#include "tests/support/qt_modal.h"
#include "tests/support/test_files.h"

namespace {

using namespace qirm::test;
using Progress = std::function<void(int)>;

const QString kBusy = QStringLiteral("この画像は処理中です。処理が終わってから、もう一度実行してください。");

// A stand-in command that holds its window until released: it reports 40 %
// and then turns the picture negative.
struct Gate {
  std::atomic<bool> open{false};
  std::atomic<bool> entered{false};
  CommandRunner::Work Work() {
    return [this](qirm::ImageDocument& doc, const Progress& progress) {
      entered = true;
      progress(40);
      while (!open) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return qirm::NegativeCommand(doc);
    };
  }
};

}  // namespace

class LongCommandsTest : public QObject {
  Q_OBJECT

 private:
  TestFolder m_dir;

  TChild* OpenPicture(const QString& name, int w, int h, unsigned seed) {
    const QString path = m_dir.filePath(name);
    if (!qirm::WritePictureFile(path.toStdString(), RandomPicture(w, h, seed, 255), qirm::PictureFormat::kBmp)
             .ok())
      return nullptr;
    MainForm->OpenFiles({path});
    return MainForm->ActiveChild();
  }

  TChild* OpenFits(int w, int h) {
    std::vector<int> raw(w * h);
    for (int i = 0; i < w * h; ++i) raw[i] = 1000 + 37 * i % 9000;
    for (int y = 5; y < 40 && y < h; ++y) raw[y * w + 9] = 64000;  // a streak for the blooming removal
    const QString path = m_dir.filePath(QStringLiteral("f.fits"));
    WriteBytes(path.toStdString(), Fits16Bytes(w, h, raw));
    MainForm->OpenFiles({path});
    return MainForm->ActiveChild();
  }

  static void Activate(TChild* child) {
    MainForm->MdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(child->parentWidget()));
  }

 private slots:
  void init() {
    QVERIFY(m_dir.Enter());
    ShowFreshForms();
  }
  void cleanup() {
    WaitIdle();
    DestroyForms();
    m_dir.Leave();
  }

  // Each command through its menu handler ends as the engine's command run
  // in place through the undo path: the same pictures and state texts, the
  // same undo step, and undo gives the opened window back.
  void resultAndUndoAreThoseOfTheCommandInPlace() {
    qirm::GmcSettings gmc;
    gmc.direction = 30;
    gmc.flow = 3;
    WithModal<TGMCPanel>([] { MainForm->P1Click(); },
                         [](QWidget*) {
                           GMCPanel->Edit1->setText(QStringLiteral("30"));
                           GMCPanel->Edit2->setText(QStringLiteral("3"));
                           GMCPanel->Button1->click();
                         });
    struct Case {
      const char* name;
      void (TMainForm::*handler)();
      const char* step;
      qirm::DocumentCommand command;
    };
    const Case cases[] = {
        {"high-pass", &TMainForm::H1Click, "ハイパス効果", [](auto& d) { return qirm::HighPassCommand(d); }},
        {"low-pass", &TMainForm::L1Click, "ローパス効果", [](auto& d) { return qirm::LowPassCommand(d); }},
        {"bloom", &TMainForm::N5Click, "ブルーミング除去", [](auto& d) { return qirm::BloomCommand(d); }},
        {"rotate", &TMainForm::R3Click, "回転", [](auto& d) { return qirm::RotateCommand(d); }},
        {"solarize", &TMainForm::N7Click, "ソラリゼーション",
         [](auto& d) { return qirm::SolarizeCommand(d); }},
        {"gmc", &TMainForm::P1Click, "ガイドミスキャンセラ",
         [gmc](auto& d) { return qirm::GmcCommand(d, gmc, GMCPanel->BlurAmount()); }},
    };
    for (const bool fits : {false, true}) {
      for (const Case& c : cases) {
        const QByteArray what = QByteArray(c.name) + (fits ? " on a 16-bit window" : " on a colour window");
        TChild* child = fits ? OpenFits(300, 200) : OpenPicture(QStringLiteral("c.bmp"), 300, 200, 9);
        QVERIFY2(child, what);
        qirm::ImageDocument* doc = child->Document();
        doc->unsaved = false;
        // The same window in a workspace of its own, run in place.
        qirm::Workspace in_place;
        in_place.NewWindow() = *doc;
        const qirm::ImageDocument opened = *doc;
        const qirm::Status expected = qirm::RunWithUndo(in_place, c.step, c.command);
        const QStringList boxes = ModalsDuring([&] { (MainForm->*c.handler)(); });
        QVERIFY2(boxes.size() == (expected.ok() ? 0 : 1) + (c.handler == &TMainForm::P1Click ? 1 : 0), what);
        const qirm::ImageDocument& want = *in_place.active();
        QVERIFY2(doc->Image == want.Image && doc->ImageZm == want.ImageZm && doc->raw == want.raw, what);
        const qirm::MainState texts;
        QVERIFY2(qirm::StateLines(*doc, texts) == qirm::StateLines(want, texts), what);
        QVERIFY2(doc->unsaved == want.unsaved, what);
        const qirm::History& history = MainForm->Workspace().HistoryOf(doc);
        QVERIFY2(history.UndoDepth() == in_place.HistoryOf(&want).UndoDepth(), what);
        QVERIFY2(history.UndoName() == in_place.HistoryOf(&want).UndoName(), what);
        QVERIFY2(child->Image->image() == ToQImage(doc->Image), what);
        if (history.CanUndo()) {
          QVERIFY2(MainForm->Undo1->isEnabled(), what);
          MainForm->Undo1Click();
          QVERIFY2(doc->Image == opened.Image && doc->ImageZm == opened.ImageZm, what);
        }
        CloseAllUnasked();
      }
    }
  }

  // While the command works the event loop runs: the progress bar and the
  // busy cursor show, the window's commands are disabled and refused, other
  // windows take commands; at its end everything is back.
  void theWindowIsLockedWhileTheEventLoopRuns() {
    TChild* other = OpenPicture(QStringLiteral("o.bmp"), 20, 10, 4);
    TChild* child = OpenPicture(QStringLiteral("c.bmp"), 20, 10, 5);
    QVERIFY(other && child && MainForm->ActiveChild() == child);
    const qirm::ImageDocument opened = *child->Document();
    Gate gate;
    MainForm->RunInBackground(MainForm->N1, child, gate.Work());
    QVERIFY(MainForm->Busy(child));
    QTRY_VERIFY(gate.entered);
    QTRY_COMPARE(MainForm->ProgressBar1->value(), 40);
    QVERIFY(QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::BusyCursor);
    for (QAction* item : {MainForm->N1, MainForm->R3, MainForm->H1, MainForm->N5, MainForm->P1,
                          MainForm->Undo1, MainForm->Save1, MainForm->ZoomIn1})
      QVERIFY2(!item->isEnabled(), qPrintable(item->objectName()));
    for (QWidget* control : std::initializer_list<QWidget*>{
             MainForm->Edit2, MainForm->Edit3, MainForm->Button3, MainForm->Button1, MainForm->LevelsDock})
      QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));

    // A second command on the same window, by any path, is refused and
    // changes nothing; the zoom and levels handlers do nothing.
    for (auto handler :
         {&TMainForm::H1Click, &TMainForm::N1Click, &TMainForm::Undo1Click, &TMainForm::N4Click}) {
      QString said;
      WithModal<QMessageBox>([&] { (MainForm->*handler)(); },
                             [&](QWidget* m) { said = AnswerMessageBox(m, QMessageBox::Ok); });
      QCOMPARE(said, kBusy);
    }
    MainForm->Button33Click();
    MainForm->Button1Click();
    QVERIFY(child->Document()->Image == opened.Image);
    QCOMPARE(child->Document()->zoom, opened.zoom);
    QCOMPARE(child->Document()->max_level, opened.max_level);

    // Another window is free.
    Activate(other);
    QVERIFY(MainForm->N1->isEnabled() && MainForm->Edit2->isEnabled());
    const qirm::Picture other_before = other->Document()->Image;
    MainForm->N1Click();
    QVERIFY(!(other->Document()->Image == other_before));

    // The run ends while the other window is active: the result and its
    // step go to the window it ran on.
    gate.open = true;
    WaitForCommands();
    QVERIFY(!MainForm->Busy());
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(MainForm->ProgressBar1->value(), 0);
    qirm::ImageDocument negative = opened;
    QVERIFY(qirm::NegativeCommand(negative));
    QVERIFY(child->Document()->Image == negative.Image);
    QVERIFY(child->Image->image() == ToQImage(negative.Image));
    QCOMPARE(MainForm->Workspace().HistoryOf(child->Document()).UndoName(), std::string("ネガ反転"));
    QCOMPARE(MainForm->ActiveChild(), other);
    Activate(child);
    QVERIFY(MainForm->H1->isEnabled() && MainForm->Edit2->isEnabled() && MainForm->LevelsDock->isEnabled());
    QCOMPARE(MainForm->Undo1->text(), QStringLiteral("元に戻す: ネガ反転"));
  }

  // A real command on a larger window: the event loop turns while it works.
  void theEventLoopRunsDuringARealCommand() {
    TChild* child = OpenPicture(QStringLiteral("big.bmp"), 1600, 1200, 6);
    QVERIFY(child);
    int ticksWhileBusy = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] { ticksWhileBusy += MainForm->Busy(child) ? 1 : 0; });
    timer.start(1);
    MainForm->R3Click();
    WaitForCommands();
    timer.stop();
    QVERIFY2(ticksWhileBusy > 0, "the command ran on the user-interface thread");
    QCOMPARE(MainForm->Undo1->text(), QStringLiteral("元に戻す: 回転"));
  }

  // A long command that cannot get its memory ends in the error box, in the
  // program's words; the window keeps what it had and no step is recorded.
  void aFailedAllocationOffThisThreadIsShown() {
    TChild* child = OpenPicture(QStringLiteral("c.bmp"), 20, 10, 8);
    QVERIFY(child);
    const qirm::ImageDocument opened = *child->Document();
    QString said;
    WithModal<QMessageBox>(
        [&] {
          MainForm->RunInBackground(MainForm->N1, child, [](qirm::ImageDocument& doc, const Progress&) {
            qirm::NegativeCommand(doc);  // half done, then out of memory
            throw std::bad_alloc();
            return qirm::Status::Ok();
          });
          WaitForCommands();
          QTest::qWait(30);
        },
        [&](QWidget* m) { said = AnswerMessageBox(m, QMessageBox::Ok); });
    QCOMPARE(said, QStringLiteral("メモリが足りません: この操作に必要なメモリを確保できませんでした。"));
    QVERIFY(child->Document()->Image == opened.Image);
    QVERIFY(!MainForm->Workspace().HistoryOf(child->Document()).CanUndo());
    QVERIFY(!MainForm->Busy());
  }

  // Closing the busy window or the program is refused with a message; the
  // result arrives in the window afterwards. Taking the program apart
  // without closing (a session's end) waits for the run.
  void closingDuringARunLosesNothing() {
    TChild* child = OpenPicture(QStringLiteral("c.bmp"), 20, 10, 7);
    QVERIFY(child);
    child->Document()->unsaved = false;
    Gate gate;
    MainForm->RunInBackground(MainForm->N1, child, gate.Work());
    QString said;
    bool closed = true;
    WithModal<QMessageBox>([&] { closed = child->parentWidget()->close(); },
                           [&](QWidget* m) { said = AnswerMessageBox(m, QMessageBox::Ok); });
    QVERIFY(!closed);
    QCOMPARE(said, QStringLiteral("「c.bmp」は処理中です。処理が終わってから閉じてください。"));
    WithModal<QMessageBox>([&] { closed = MainForm->close(); },
                           [&](QWidget* m) { said = AnswerMessageBox(m, QMessageBox::Ok); });
    QVERIFY(!closed);
    QVERIFY(MainForm->isVisible());
    QCOMPARE(said, QStringLiteral("処理を実行中です。終わってから終了してください。"));
    // "すべてを閉じる" stops at the busy window.
    WithModal<QMessageBox>([] { MainForm->A1Click(); },
                           [](QWidget* m) { AnswerMessageBox(m, QMessageBox::Ok); });
    QCOMPARE(MainForm->Children().size(), 1);

    gate.open = true;
    WaitForCommands();
    QVERIFY(child->Document()->unsaved);
    QCOMPARE(MainForm->Workspace().HistoryOf(child->Document()).UndoName(), std::string("ネガ反転"));

    // Destroyed in the middle of a run: no crash, the worker is waited for.
    Gate late;
    MainForm->RunInBackground(MainForm->N1, child, late.Work());
    QTRY_VERIFY(late.entered);
    std::thread opener([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      late.open = true;
    });
    DestroyForms();
    opener.join();
    QVERIFY(late.open);
    ShowFreshForms();  // for cleanup
  }
};

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  LongCommandsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "long_commands_test.moc"
