// SPDX-License-Identifier: GPL-3.0-or-later
// The level controls in the tool bar and the levels panel: presets change the
// window's levels, the edits and the picture; dragging a point on the
// histogram moves that level and redraws at once; the panel follows the
// active window and can be hidden and shown again.
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/save_image.h"
#include "app/ui/Forms.h"
#include "app/ui/LevelsPanel.h"
#include "app/ui/TApplication.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "app/ui/UpDownSpin.h"
#include "display/level_presets.h"
#include "display/levels.h"
#include "document/state_texts.h"
#include "tests/support/qt_commands.h"
#include "tests/support/qt_fixture.h"
#include "tests/support/test_files.h"

using namespace qirm::test;

class LevelsPanelTest : public QObject {
  Q_OBJECT

 private:
  TestFolder m_dir;

  QString Path(const QString& name) const { return m_dir.filePath(name); }

  // A 40 x 30 ramp 1000 + 37 i with one hot pixel.
  TChild* OpenFrame() {
    std::vector<int> raw(40 * 30);
    for (int i = 0; i < 40 * 30; ++i) raw[i] = 1000 + 37 * i;
    raw[77] = 65000;
    WriteBytes(Path("f.fits").toStdString(), Fits16Bytes(40, 30, raw));
    MainForm->OpenFiles({Path("f.fits")});
    return MainForm->ActiveChild();
  }

  static bool ShowsLevels(TChild* child) {
    const qirm::ImageDocument* doc = child->Document();
    const qirm::Picture expected = qirm::RenderLevels(doc->raw, doc->max_level, doc->min_level);
    return doc->Image == expected && child->Image->image() == ToQImage(expected);
  }

  static void Drag(QWidget* view, int from, int to) {
    const int y = view->height() / 2;
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(from, y));
    for (int x : {(from + to) / 2, to}) {
      QMouseEvent move(QEvent::MouseMove, QPointF(x, y), view->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                       Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(view, &move);
    }
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(to, y));
  }

 private slots:
  void init() {
    QVERIFY(m_dir.Enter());
    ShowFreshForms(QSize(1000, 700));
  }
  void cleanup() {
    DestroyForms();
    m_dir.Leave();
  }

  void controlsAreShownAndThePanelCanBeHidden() {
    LevelsPanel* panel = MainForm->LevelsDock;
    QVERIFY(panel);
    QCOMPARE(panel->windowTitle(), QStringLiteral("レベル"));
    QVERIFY(panel->isVisible());
    for (QWidget* w :
         std::initializer_list<QWidget*>{MainForm->Edit2, MainForm->Edit3, MainForm->UpDown1,
                                         MainForm->UpDown2, MainForm->Button3, MainForm->Button4})
      QVERIFY2(w->isVisible(), qPrintable(w->objectName()));
    const QStringList captions = {panel->AutoButton->text(), panel->MinMaxButton->text(),
                                  panel->Percent995Button->text(), panel->Percent99Button->text(),
                                  panel->ZscaleButton->text()};
    QCOMPARE(captions, (QStringList{"自動", "最小-最大", "99.5%", "99%", "zscale"}));
    // Without a window the presets cannot be pressed.
    QVERIFY(!panel->ZscaleButton->isEnabled());
    panel->close();
    QVERIFY(!panel->isVisible());
    QAction* toggle = MainForm->findChild<QAction*>(QStringLiteral("Levels1"));
    QVERIFY(toggle);
    toggle->trigger();
    QVERIFY(panel->isVisible());
  }

  void presetsSetTheLevelsTheEditsAndThePicture() {
    TChild* child = OpenFrame();
    QVERIFY(child);
    qirm::ImageDocument* doc = child->Document();
    LevelsPanel* panel = MainForm->LevelsDock;
    QVERIFY(panel->ZscaleButton->isEnabled());
    const struct {
      QPushButton* button;
      qirm::LevelPreset preset;
    } cases[] = {{panel->MinMaxButton, qirm::LevelPreset::kMinMax},
                 {panel->Percent99Button, qirm::LevelPreset::kPercent99},
                 {panel->Percent995Button, qirm::LevelPreset::kPercent995},
                 {panel->ZscaleButton, qirm::LevelPreset::kZscale},
                 {panel->AutoButton, qirm::LevelPreset::kAuto}};
    for (const auto& c : cases) {
      qirm::LevelPair expected;
      QVERIFY(qirm::PresetLevels(*doc, c.preset, expected));
      QTest::mouseClick(c.button, Qt::LeftButton);
      QCOMPARE(doc->min_level, expected.min);
      QCOMPARE(doc->max_level, expected.max);
      QCOMPARE(MainForm->Edit2->text(), QString::number(expected.max));
      QCOMPARE(MainForm->Edit3->text(), QString::number(expected.min));
      QCOMPARE(panel->View->MinLevel(), expected.min);
      QCOMPARE(panel->View->MaxLevel(), expected.max);
      QVERIFY(ShowsLevels(child));
      QCOMPARE(panel->LevelsLabel->text(),
               QStringLiteral("黒 = %1   白 = %2").arg(expected.min).arg(expected.max));
    }
    // min-max reaches the hot pixel; the histogram's span takes it in.
    QTest::mouseClick(panel->MinMaxButton, Qt::LeftButton);
    QCOMPARE(doc->max_level, 65000);
    QVERIFY(panel->View->Hi() >= 65000);
  }

  void draggingAPointMovesItsLevelAndRedraws() {
    TChild* child = OpenFrame();
    qirm::ImageDocument* doc = child->Document();
    HistogramView* view = MainForm->LevelsDock->View;
    QTest::mouseClick(MainForm->LevelsDock->Percent99Button, Qt::LeftButton);
    const int min = doc->min_level, max = doc->max_level;

    // The black point to the right.
    const int from = view->XOf(min);
    const int to = std::min(from + 30, view->XOf(max) - 5);
    Drag(view, from, to);
    QCOMPARE(doc->min_level, view->ValueAt(to));
    QVERIFY(doc->min_level > min);
    QCOMPARE(doc->max_level, max);
    QCOMPARE(MainForm->Edit3->text(), QString::number(doc->min_level));
    QVERIFY(ShowsLevels(child));

    // The white point dragged past the black one stops on it.
    Drag(view, view->XOf(max), 0);
    QCOMPARE(doc->max_level, doc->min_level);
    QCOMPARE(MainForm->Edit2->text(), QString::number(doc->max_level));
    QVERIFY(ShowsLevels(child));
  }

  void thePanelAndTheEditsFollowTheActiveWindow() {
    TChild* frame = OpenFrame();
    QTest::mouseClick(MainForm->LevelsDock->ZscaleButton, Qt::LeftButton);
    const int frame_max = frame->Document()->max_level;
    const qirm::Picture picture = RandomPicture(20, 10, 5, 200);
    QVERIFY(qirm::WritePictureFile(Path("c.bmp").toStdString(), picture, qirm::PictureFormat::kBmp).ok());
    MainForm->OpenFiles({Path("c.bmp")});
    TChild* colour = MainForm->ActiveChild();
    QVERIFY(colour != frame);
    QCOMPARE(MainForm->LevelsDock->View->MaxLevel(), 255);
    QCOMPARE(MainForm->Edit2->text(), QStringLiteral("255"));
    // A colour preset maps every channel of the base picture.
    QTest::mouseClick(MainForm->LevelsDock->MinMaxButton, Qt::LeftButton);
    const qirm::LevelPair mm = qirm::MinMaxLevels(qirm::ValueCounts(*colour->Document()));
    QCOMPARE(colour->Document()->max_level, mm.max);
    const auto table = qirm::LevelTable(mm.max, mm.min);
    QCOMPARE(int(colour->Document()->Image.Row(3)[5]), int(table[picture.Row(3)[5]]));

    MainForm->MdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(frame->parentWidget()));
    QCOMPARE(MainForm->ActiveChild(), frame);
    QCOMPARE(MainForm->LevelsDock->View->MaxLevel(), frame_max);
    QCOMPARE(MainForm->Edit2->text(), QString::number(frame_max));
    // "H" works from the levels of the window it acts on.
    MainForm->Button33Click();
    const int min = frame->Document()->min_level;
    QCOMPARE(frame->Document()->max_level, qirm::ScaledMaxLevel(frame_max, min, 0.8));
    QCOMPARE(MainForm->LevelsDock->View->MaxLevel(), frame->Document()->max_level);
  }

  void enterInALevelEditDrawsTheFrame() {
    TChild* child = OpenFrame();
    MainForm->Edit3->setText(QStringLiteral("1500"));
    MainForm->Edit2->setText(QStringLiteral("2500"));
    QTest::keyClick(MainForm->Edit2, Qt::Key_Return);
    QCOMPARE(child->Document()->max_level, 2500);
    QVERIFY(ShowsLevels(child));
    QCOMPARE(MainForm->LevelsDock->View->MinLevel(), 1500);
  }
};

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  LevelsPanelTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "levels_panel_test.moc"
