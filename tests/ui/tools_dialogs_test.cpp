// SPDX-License-Identifier: GPL-3.0-or-later
// The dialogs of background slope removal, resampling and the tone curve
// driven from their menu handlers as a user would: previews that leave the
// window alone, OK, undo, and the refusal of windows they do not take. The
// arithmetic itself is tested on the engine.
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QtTest>
#include <random>

#include "app/save_image.h"
#include "app/ui/Forms.h"
#include "app/ui/TApplication.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "app/ui/TTilt.h"
#include "core/file_bytes.h"
#include "display/raw_values.h"
#include "display/ui/TResample.h"
#include "display/ui/TToneCurve.h"
#include "tests/support/qt_commands.h"
#include "tests/support/qt_fixture.h"
#include "tests/support/qt_modal.h"
#include "tests/support/test_files.h"

using namespace qirm::test;

class ToolsDialogsTest : public QObject {
  Q_OBJECT

 private:
  TestFolder m_dir;

  // A 16-bit frame with a sky sloping in x and y and some noise.
  TChild* OpenSlopedFrame() {
    const int w = 160, h = 120;
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0, 4);
    std::vector<int> raw(w * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        raw[y * w + x] = static_cast<int>(std::lround(1000 + 3.0 * x + 2.0 * y + noise(rng)));
    WriteBytes(m_dir.filePath(QStringLiteral("s.fits")).toStdString(), Fits16Bytes(w, h, raw));
    MainForm->OpenFiles({m_dir.filePath(QStringLiteral("s.fits"))});
    return MainForm->ActiveChild();
  }

  TChild* OpenColour() {
    const QString path = m_dir.filePath(QStringLiteral("c.bmp"));
    if (!qirm::WritePictureFile(path.toStdString(), RandomPicture(40, 30, 9, 255), qirm::PictureFormat::kBmp)
             .ok())
      return nullptr;
    MainForm->OpenFiles({path});
    return MainForm->ActiveChild();
  }

  static std::vector<std::uint16_t> Raw(TChild* child) {
    std::vector<std::uint16_t> raw;
    qirm::ReadRawValues(*child->Document(), "test", raw);
    return raw;
  }

 private slots:
  void init() {
    QVERIFY(m_dir.Enter());
    ShowFreshForms();
  }
  void cleanup() {
    CloseAllUnasked();
    DestroyForms();
    m_dir.Leave();
  }

  void backgroundPreviewsOkAndUndo() {
    TChild* child = OpenSlopedFrame();
    QVERIFY(child);
    const Snapshot before = Take();
    const std::vector<std::uint16_t> raw = Raw(child);
    WithModal<TTilt>([] { MainForm->T2Click(); },
                     [&](QWidget* m) {
                       auto* dialog = qobject_cast<TTilt*>(m);
                       dialog->ModelBox->setCurrentIndex(1);
                       dialog->BoxSpin->setValue(16);
                       dialog->Preview();
                       QVERIFY(!dialog->ModelView->pixmap().isNull());
                       QVERIFY(!dialog->ResultView->pixmap().isNull());
                       QVERIFY2(dialog->InfoLabel->text().startsWith(QStringLiteral("使った箱")),
                                qPrintable(dialog->InfoLabel->text()));
                       // Previews work on copies.
                       QVERIFY(Take().base == before.base);
                       // Boxes too large for a model: said in the dialog, OK disabled.
                       dialog->BoxSpin->setValue(100);
                       dialog->Preview();
                       QVERIFY(!dialog->OkButton->isEnabled());
                       dialog->BoxSpin->setValue(16);
                       dialog->Preview();
                       QVERIFY(dialog->OkButton->isEnabled());
                       dialog->OkButton->click();
                     });
    WaitForCommands();
    // The slope of 3 and 2 levels a pixel across the frame is gone.
    const std::vector<std::uint16_t> after = Raw(child);
    const auto spread = [](const std::vector<std::uint16_t>& v, int w, int h) {
      auto at = [&](int x, int y) { return static_cast<int>(v[y * w + x]); };
      return std::abs((at(w - 5, h - 5) + at(w - 6, h - 5)) - (at(4, 4) + at(5, 4))) / 2;
    };
    QVERIFY(spread(raw, 160, 120) > 500);
    QVERIFY2(spread(after, 160, 120) < 20, qPrintable(QString::number(spread(after, 160, 120))));
    QCOMPARE(MainForm->Undo1->text(), QStringLiteral("元に戻す: 背景傾斜"));
    MainForm->Undo1Click();
    QVERIFY(Take().image == before.image);
    QVERIFY(Take().raw == before.raw);

    // Cancel leaves the window as it is.
    WithModal<TTilt>([] { MainForm->T2Click(); },
                     [](QWidget* m) { qobject_cast<TTilt*>(m)->CancelButton->click(); });
    WaitForCommands();
    QVERIFY(Take().base == before.base);
  }

  void refusedKindsSayWhyBeforeAnyDialog() {
    std::vector<unsigned char> rgb(8 * 6 * 3, 100);
    WriteBytes(m_dir.filePath(QStringLiteral("p.ppm")).toStdString(), Ppm6Bytes(8, 6, rgb));
    MainForm->OpenFiles({m_dir.filePath(QStringLiteral("p.ppm"))});
    for (auto [handler, name] :
         {std::pair{&TMainForm::T2Click, "背景傾斜"}, std::pair{&TMainForm::N3Click, "リサンプリング"},
          std::pair{&TMainForm::T1Click, "トーンカーブ"}}) {
      const QStringList seen = ModalsDuring([&] { (MainForm->*handler)(); });
      QCOMPARE(seen.size(), 1);
      QVERIFY2(seen.first().startsWith(QString::fromUtf8(name)), qPrintable(seen.first()));
    }
  }

  void resampleToANewWindowAndInPlaceWithUndo() {
    TChild* source = OpenColour();
    QVERIFY(source);
    const qirm::Picture original = source->Document()->ImageZm;
    WithModal<TResample>([] { MainForm->N3Click(); },
                         [](QWidget* m) {
                           auto* dialog = qobject_cast<TResample*>(m);
                           dialog->FactorSpin->setValue(2.0);
                           dialog->MethodBox->setCurrentIndex(2);
                           QCOMPARE(dialog->SizeLabel->text(), QStringLiteral("40 × 30 → 80 × 60"));
                           QVERIFY(dialog->NewWindow());
                           dialog->OkButton->click();
                         });
    WaitForCommands();
    QCOMPARE(MainForm->Children().size(), 2);
    const qirm::ImageDocument* made = MainForm->ActiveChild()->Document();
    QCOMPARE(QString::fromStdString(made->caption), QStringLiteral("Resample"));
    QCOMPARE(made->ImageZm.width(), 80);
    QCOMPARE(made->ImageZm.height(), 60);
    QVERIFY(source->Document()->ImageZm == original);

    // In place, to a size of its own (aspect not kept), then undone.
    WithModal<TResample>([] { MainForm->N3Click(); },
                         [](QWidget* m) {
                           auto* dialog = qobject_cast<TResample*>(m);
                           dialog->AspectCheck->setChecked(false);
                           dialog->SizeRadio->setChecked(true);
                           dialog->WidthSpin->setValue(10);
                           dialog->HeightSpin->setValue(7);
                           dialog->ReplaceRadio->setChecked(true);
                           dialog->OkButton->click();
                         });
    WaitForCommands();
    QCOMPARE(MainForm->Children().size(), 2);
    QCOMPARE(MainForm->ActiveChild()->Document()->ImageZm.width(), 10);
    QCOMPARE(MainForm->ActiveChild()->Document()->Image.height(), 7);
    QCOMPARE(MainForm->Undo1->text(), QStringLiteral("元に戻す: リサンプリング"));
    MainForm->Undo1Click();
    QCOMPARE(MainForm->ActiveChild()->Document()->ImageZm.width(), 80);
  }

  // A factor beyond what the picture takes is refused with the range it
  // takes; a size the machine cannot hold with the readers' memory message,
  // and nothing is made.
  void resampleRefusalsStateTheRangeAndTheMemory() {
    const QString path = m_dir.filePath(QStringLiteral("wide.bmp"));
    QVERIFY(
        qirm::WritePictureFile(path.toStdString(), RandomPicture(600, 4, 3, 255), qirm::PictureFormat::kBmp)
            .ok());
    MainForm->OpenFiles({path});
    QVERIFY(MainForm->ActiveChild());
    QString said;
    WithModal<TResample>([] { MainForm->N3Click(); },
                         [&](QWidget* m) {
                           auto* dialog = qobject_cast<TResample*>(m);
                           dialog->FactorSpin->setValue(64);
                           WithModal<QMessageBox>(
                               [&] { dialog->OkButton->click(); },
                               [&](QWidget* box) { said = AnswerMessageBox(box, QMessageBox::Ok); });
                           dialog->reject();
                         });
    QCOMPARE(said, QStringLiteral(
                       "倍率は 0 より大きく 54.613 以下の数を入力してください（新しい大きさは 32768 まで）"));

    struct PretendMemory {
      PretendMemory() { qirm::SetAvailableMemoryForTesting(1u << 20); }
      ~PretendMemory() { qirm::SetAvailableMemoryForTesting(0); }
    } memory;
    for (const bool new_window : {true, false}) {
      said.clear();
      WithModal<QMessageBox>(
          [&] {
            WithModal<TResample>(
                [] { MainForm->N3Click(); },
                [&](QWidget* m) {
                  auto* dialog = qobject_cast<TResample*>(m);
                  dialog->AspectCheck->setChecked(false);
                  dialog->SizeRadio->setChecked(true);
                  dialog->WidthSpin->setValue(2000);
                  dialog->HeightSpin->setValue(1000);
                  (new_window ? dialog->NewWindowRadio : dialog->ReplaceRadio)->setChecked(true);
                  dialog->OkButton->click();
                });
            WaitForCommands();
            QTest::qWait(30);
          },
          [&](QWidget* box) { said = AnswerMessageBox(box, QMessageBox::Ok); });
      QCOMPARE(said,
               QStringLiteral("a 2000 x 1000 picture needs 23 MiB of memory but only 1 MiB are available"));
    }
    QCOMPARE(MainForm->Children().size(), 1);
    QCOMPARE(MainForm->ActiveChild()->Document()->ImageZm.width(), 600);
  }

  void toneCurvePointsPresetsPreviewOkAndUndo() {
    TChild* child = OpenSlopedFrame();
    QVERIFY(child);
    const Snapshot before = Take();
    const qirm::ImageDocument* doc = child->Document();
    WithModal<TToneCurve>(
        [] { MainForm->T1Click(); },
        [&](QWidget* m) {
          auto* dialog = qobject_cast<TToneCurve*>(m);
          // A 16-bit window: one channel, the graph over its levels.
          QVERIFY(!dialog->ChannelBox->isEnabled());
          QCOMPARE(dialog->Curve->Points().size(), std::size_t{2});
          QCOMPARE(dialog->Curve->Low(), double(std::min(doc->min_level, doc->max_level)));
          QVERIFY(!dialog->PreviewView->pixmap().isNull());
          // A click adds a point there; a right click on it removes it.
          const QPoint at =
              dialog->Curve
                  ->ToWidget({dialog->Curve->Low() + 0.5 * (dialog->Curve->High() - dialog->Curve->Low()),
                              dialog->Curve->Low() + 0.8 * (dialog->Curve->High() - dialog->Curve->Low())})
                  .toPoint();
          QTest::mouseClick(dialog->Curve, Qt::LeftButton, {}, at);
          QCOMPARE(dialog->Curve->Points().size(), std::size_t{3});
          // Dragged up and right a little.
          QTest::mousePress(dialog->Curve, Qt::LeftButton, {}, at);
          QMouseEvent move(QEvent::MouseMove, QPointF(at + QPoint(5, -10)),
                           dialog->Curve->mapToGlobal(QPointF(at + QPoint(5, -10))), Qt::NoButton,
                           Qt::LeftButton, Qt::NoModifier);
          QApplication::sendEvent(dialog->Curve, &move);
          QTest::mouseRelease(dialog->Curve, Qt::LeftButton, {}, at + QPoint(5, -10));
          QVERIFY(dialog->Curve->ToWidget(dialog->Curve->Points()[1]).x() > at.x() + 3);
          QTest::mouseClick(dialog->Curve, Qt::RightButton, {},
                            dialog->Curve->ToWidget(dialog->Curve->Points()[1]).toPoint());
          QCOMPARE(dialog->Curve->Points().size(), std::size_t{2});
          // The asinh preset, previewed; the window itself is untouched.
          dialog->PresetBox->setCurrentIndex(3);
          QCOMPARE(dialog->StrengthSpin->value(), 10.0);
          dialog->PresetButton->click();
          QVERIFY(dialog->Curve->Points().size() > 2);
          QVERIFY(Take().raw == before.raw);
          dialog->OkButton->click();
        });
    WaitForCommands();
    QVERIFY(!(Take().raw == before.raw));
    QCOMPARE(MainForm->Undo1->text(), QStringLiteral("元に戻す: トーンカーブ"));
    MainForm->Undo1Click();
    QVERIFY(Take().raw == before.raw);

    // A colour window: one channel chosen, only it changes.
    TChild* colour = OpenColour();
    QVERIFY(colour);
    const qirm::Picture base = colour->Document()->ImageZm;
    WithModal<TToneCurve>([] { MainForm->T1Click(); },
                          [](QWidget* m) {
                            auto* dialog = qobject_cast<TToneCurve*>(m);
                            QVERIFY(dialog->ChannelBox->isEnabled());
                            dialog->ChannelBox->setCurrentIndex(1);  // red
                            dialog->Curve->SetPoints({{0, 255}, {255, 0}});
                            dialog->OkButton->click();
                          });
    WaitForCommands();
    const qirm::Picture& after = colour->Document()->ImageZm;
    for (int x = 0; x < 40; ++x) {
      QCOMPARE(after.Row(3)[3 * x + 2], static_cast<std::uint8_t>(255 - base.Row(3)[3 * x + 2]));
      QCOMPARE(after.Row(3)[3 * x + 1], base.Row(3)[3 * x + 1]);
      QCOMPARE(after.Row(3)[3 * x], base.Row(3)[3 * x]);
    }
  }
};

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  ToolsDialogsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "tools_dialogs_test.moc"
