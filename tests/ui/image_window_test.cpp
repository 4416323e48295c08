// SPDX-License-Identifier: GPL-3.0-or-later
// The image windows through the main window's handlers: opening with the
// open dialog, the save dialog's overwrite question, the level and zoom controls, the
// mouse on a picture, colour separation and close all, and how new windows
// are sized. The pixel arithmetic
// itself is tested on the engine.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "app/open_image.h"
#include "app/save_image.h"
#include "app/ui/Forms.h"
#include "app/ui/StarPickTarget.h"
#include "app/ui/TApplication.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "app/ui/TypedFileDialog.h"
#include "app/ui/UpDownSpin.h"
#include "core/fits_writer.h"
#include "document/state_texts.h"
#include "tests/support/qt_fixture.h"
#include "tests/support/qt_modal.h"
#include "tests/support/test_files.h"
#include "tricolour/picking.h"
#include "tricolour/ui/TRGBComp.h"

namespace {

using namespace qirm::test;

// A 30 x 30 frame sampled at 10, 14, 18 on each axis; levels 1000..1888.
std::string StandardFrame() {
  std::vector<int> raw(30 * 30, 1500);
  raw[10 * 30 + 10] = 1000;
  return qirm::test::Fits16Bytes(30, 30, raw);
}

class PickCatcher : public StarPickTarget {
 public:
  qirm::StarPick pick;
  qirm::StarPick ReadStarPick() const override { return pick; }
  void WriteStarPick(const qirm::StarPick& p) override { pick = p; }
};

}  // namespace

class ImageWindowTest : public QObject {
  Q_OBJECT

 private:
  TestFolder m_dir;

  QString Path(const QString& name) const { return m_dir.filePath(name); }
  void Write(const QString& name, const std::string& bytes) {
    qirm::test::WriteBytes(Path(name).toStdString(), bytes);
  }

  void Open(int entry, const QStringList& names) {
    QStringList files;
    for (const QString& n : names) files << Path(n);
    WithModal([] { MainForm->Open1Click(); }, [&](QWidget* m) { ChooseFiles(m, entry, files); });
  }

  int WindowCount() const { return MainForm->Children().size(); }

 private slots:
  void init() {
    QVERIFY(m_dir.Enter());
    ShowFreshForms();
  }
  void cleanup() {
    DestroyForms();
    m_dir.Leave();
  }

  void openingThreeFramesMakesThreeWindows() {
    Write("a.fits", StandardFrame());
    std::vector<int> other(30 * 30, 300);
    Write("b.fts", qirm::test::Fits16Bytes(30, 30, other));
    Write("c.fit", StandardFrame());
    Open(2, {"a.fits", "b.fts", "c.fit"});
    QCOMPARE(WindowCount(), 3);
    TChild* last = MainForm->ActiveChild();
    QVERIFY(last);
    QCOMPARE(last->windowTitle(), QStringLiteral("c.fit"));
    QCOMPARE(QString::fromStdString(qirm::KindText(last->Document()->kind)), QStringLiteral("2"));
    QCOMPARE(MainForm->Edit1->text(), QStringLiteral("100.0%"));
    QCOMPARE(MainForm->Edit2->text(), QStringLiteral("1888"));
    QCOMPARE(MainForm->Edit3->text(), QStringLiteral("1000"));
    QCOMPARE(MainForm->UpDown1->value(), 1888);
    QCOMPARE(MainForm->Children().at(1)->Document()->max_level, 300);
  }

  void netpbmWindowKeepsTheDesignCaption() {
    Write("p.pgm", qirm::test::Ppm6Bytes(2, 1, {10, 20, 30, 40, 50, 60}));
    Open(5, {"p.pgm"});
    QCOMPARE(WindowCount(), 1);
    QCOMPARE(MainForm->ActiveChild()->windowTitle(), QStringLiteral("Child"));
    QCOMPARE(MainForm->ActiveChild()->Document()->Image.Color(1, 0), 60u * 65536 + 50u * 256 + 40u);
  }

  void cancellingChangesNothing() {
    MainForm->Edit1->setText(QStringLiteral("x"));
    WithModal([] { MainForm->Open1Click(); }, [](QWidget* m) { qobject_cast<QDialog*>(m)->reject(); });
    QCOMPARE(WindowCount(), 0);
    QCOMPARE(MainForm->Edit1->text(), QStringLiteral("x"));
  }

  void unreadableFileShowsAnErrorAndKeepsOtherWindows() {
    Write("good.fits", StandardFrame());
    Write("bad.fits", "SIMPLE  = T");
    Open(2, {"good.fits"});
    QString shown;
    WithModal([&] { MainForm->OpenFiles({Path("bad.fits")}); },
              [&](QWidget* m) { shown = AnswerMessageBox(m, QMessageBox::Ok); });
    QVERIFY2(shown.contains(QStringLiteral("bad.fits")), qPrintable(shown));
    QCOMPARE(WindowCount(), 1);
    QCOMPARE(MainForm->ActiveChild()->windowTitle(), QStringLiteral("good.fits"));
  }

  void commandLineFilesOpenByExtension() {
    Write("x.fits", StandardFrame());
    Write("y.ppm", qirm::test::Ppm6Bytes(1, 1, {1, 2, 3}));
    MainForm->OpenFiles({Path("x.fits"), Path("y.ppm")});
    QCOMPARE(WindowCount(), 2);
    QCOMPARE(QString::fromStdString(qirm::KindText(MainForm->ActiveChild()->Document()->kind)),
             QStringLiteral("3"));
  }

  // The extension rule itself: file_dialogs_test.
  void savingAsksBeforeOverwriting() {
    Write("m42.fits", StandardFrame());
    MainForm->OpenFiles({Path("m42.fits")});
    // Overwriting asks; No leaves the file, Yes replaces it.
    Write("keep.bmp", "old");
    QString question;
    WithModal<QMessageBox>(
        [&] {
          WithModal<QFileDialog>([] { MainForm->Save1Click(); },
                                 [&](QWidget* m) { ChooseFiles(m, 1, {Path("keep.bmp")}); });
        },
        [&](QWidget* m) { question = AnswerMessageBox(m, QMessageBox::No); });
    QCOMPARE(question, QStringLiteral("ファイルがすでに存在しています。　上書きしますか？"));
    QFile kept(Path("keep.bmp"));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("old"));
    kept.close();
    WithModal<QMessageBox>(
        [&] {
          WithModal<QFileDialog>([] { MainForm->Save1Click(); },
                                 [&](QWidget* m) { ChooseFiles(m, 1, {Path("keep.bmp")}); });
        },
        [&](QWidget* m) { AnswerMessageBox(m, QMessageBox::Yes); });
    QVERIFY(QFileInfo(Path("keep.bmp")).size() > 54);
  }

  // The status panel names the active window's depth and size, follows the
  // activation and is bare again without a window.
  void statusPanelNamesTheActiveWindow() {
    Write("f.fits", StandardFrame());
    qirm::FloatPlane values(7, 5);
    QVERIFY(qirm::WriteFitsFloat32(Path("r.fits").toStdString(), values, {}).ok());
    QVERIFY(
        qirm::WritePictureFile(Path("c.bmp").toStdString(), qirm::Picture(4, 3), qirm::PictureFormat::kBmp)
            .ok());
    MainForm->OpenFiles({Path("f.fits"), Path("r.fits"), Path("c.bmp")});
    const struct {
      int window;
      const char* depth;
      const char* size;
    } cases[] = {{2, "8-bit colour", "4 x 3"}, {0, "16-bit", "30 x 30"}, {1, "32-bit float", "7 x 5"}};
    for (const auto& c : cases) {
      auto* sub = qobject_cast<QMdiSubWindow*>(MainForm->Children()[c.window]->parentWidget());
      MainForm->MdiArea->setActiveSubWindow(sub);
      QCOMPARE(MainForm->Label7->text(), QStringLiteral("Image Depth = ") + QString::fromLatin1(c.depth));
      QCOMPARE(MainForm->Label8->text(), QStringLiteral("Image Size = ") + QString::fromLatin1(c.size));
    }
    for (TChild* c : MainForm->Children()) c->Document()->unsaved = false;
    MainForm->A1Click();
    QCOMPARE(MainForm->Label7->text(), QStringLiteral("Image Depth = "));
    QCOMPARE(MainForm->Label8->text(), QStringLiteral("Image Size = "));
  }

  void levelButtonsAndSpins() {
    Write("f.fits", StandardFrame());
    MainForm->OpenFiles({Path("f.fits")});
    TChild* child = MainForm->ActiveChild();
    MainForm->Button33Click();  // "H": trunc(888 * 0.8 + 1000)
    QCOMPARE(MainForm->Edit2->text(), QStringLiteral("1710"));
    QCOMPARE(child->Document()->max_level, 1710);
    // Drawn again with the new window: trunc(500 / (710 / 255)).
    QCOMPARE(child->Image->image().pixelColor(0, 0).red(), 179);
    MainForm->UpDown1->stepBy(1);
    QCOMPARE(child->Document()->max_level, 1720);
    QCOMPARE(MainForm->Edit2->text(), QStringLiteral("1720"));
    MainForm->UpDown2->stepBy(-1);
    QCOMPARE(child->Document()->min_level, 990);
    // Typing a level stores it without drawing; a text that is no number
    // shows the conversion error.
    MainForm->Edit3->setText(QStringLiteral("500"));
    QCOMPARE(child->Document()->min_level, 500);
    QString shown;
    WithModal([] { MainForm->Edit2->setText(QStringLiteral("abc")); },
              [&](QWidget* m) { shown = AnswerMessageBox(m, QMessageBox::Ok); });
    QCOMPARE(shown, QStringLiteral("'abc' is not a valid integer value"));
  }

  void zoomButtons() {
    Write("f.fits", StandardFrame());
    MainForm->OpenFiles({Path("f.fits")});
    TChild* child = MainForm->ActiveChild();
    for (int i = 0; i < 5; ++i) MainForm->Button1Click();
    QCOMPARE(MainForm->Edit1->text(), QStringLiteral("1600.0%"));
    QCOMPARE(qirm::ZoomFactorText(*child->Document()), std::string("16"));
    QCOMPARE(child->Image->size(), QSize(480, 480));
    for (int i = 0; i < 9; ++i) MainForm->Button2Click();
    QCOMPARE(MainForm->Edit1->text(), QStringLiteral("6.2%"));
    QCOMPARE(qirm::ZoomFactorText(*child->Document()), std::string("0.0625"));
    QCOMPARE(child->Image->size(), QSize(1, 1));
  }

  void mouseReadoutWidthAndPositionCapture() {
    std::vector<int> raw(40 * 40, 1000);
    for (int x = 19; x <= 21; ++x)
      for (int y = 19; y <= 21; ++y) raw[y * 40 + x] = 5000;
    Write("star.fits", qirm::test::Fits16Bytes(40, 40, raw));
    MainForm->OpenFiles({Path("star.fits")});
    TChild* child = MainForm->ActiveChild();
    MainForm->Button1Click();  // zoom 2: (40, 40) on screen is pixel (20, 20)
    PickCatcher catcher;
    catcher.pick.mode = qirm::StarPick::Mode::TwoStars;
    StarPickTarget* dialog = CurrentStarPickTarget();
    SetStarPickTarget(&catcher);
    QTest::mouseMove(child->Image, QPoint(40, 40));
    QCOMPARE(MainForm->Label2->text(), QStringLiteral("Intensity = 5000   (20,20)"));
    QTest::mouseClick(child->Image, Qt::LeftButton, {}, QPoint(40, 40));
    QCOMPARE(MainForm->Label1->text(), QStringLiteral("QIRM = 3.4 pxls"));
    QCOMPARE(catcher.pick.Edit6 + "," + catcher.pick.Edit9, std::string("20,20"));
    QCOMPARE(catcher.pick.Edit19, std::string("2"));
    QTest::mouseClick(child->Image, Qt::RightButton, {}, QPoint(12, 14));
    QCOMPARE(MainForm->Label1->text(), QStringLiteral("QIRM = 0.0 pxls"));
    QCOMPARE(catcher.pick.Edit12 + "," + catcher.pick.Edit13, std::string("6,7"));
    SetStarPickTarget(dialog);
  }

  // The status panel gives the pixel read as FITS numbers it; every
  // readout empties when the cursor leaves the picture or the window closes.
  void readoutsFollowTheCursorOut() {
    Write("tan.fits", qirm::test::TanFrame());
    MainForm->OpenFiles({Path("tan.fits")});
    TChild* child = MainForm->ActiveChild();
    MainForm->Button1Click();  // zoom 2: (9, 5) on screen is pixel (4, 2)
    QTest::mouseMove(child->Image, QPoint(9, 5));
    QCOMPARE(MainForm->Label2->text(), QStringLiteral("Intensity = 1000   (4,2)"));
    QCOMPARE(MainForm->FitsPixelLabel->text(), QStringLiteral("FITS (5, 3)"));
    QVERIFY(!MainForm->SkyLabel->text().isEmpty());
    QVERIFY(MainForm->FitsPixelLabel->isVisible());
    QVERIFY(MainForm->Panel1->isAncestorOf(MainForm->FitsPixelLabel));

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(child->Image, &leave);
    for (QLabel* label : {MainForm->Label2, MainForm->FitsPixelLabel, MainForm->SkyLabel})
      QCOMPARE(label->text(), QString());

    QTest::mouseMove(child->Image, QPoint(11, 7));
    QTest::mouseClick(child->Image, Qt::LeftButton, {}, QPoint(11, 7));
    QCOMPARE(MainForm->FitsPixelLabel->text(), QStringLiteral("FITS (6, 4)"));
    child->Document()->unsaved = false;
    MainForm->Close1Click();
    QCOMPARE(WindowCount(), 0);
    for (QLabel* label : {MainForm->Label2, MainForm->FitsPixelLabel, MainForm->SkyLabel})
      QCOMPARE(label->text(), QString());
    QCOMPARE(MainForm->Label1->text(), QStringLiteral("QIRM = "));
  }

  // "原点を左下に" is as the user left it in the last run.
  void originAtBottomIsKeptForTheNextRun() {
    QVERIFY(!MainForm->OriginBottom1->isChecked());
    MainForm->OriginBottom1->trigger();
    DestroyForms();
    ShowFreshForms();
    QVERIFY(MainForm->OriginBottom1->isChecked());
    Write("f.fits", StandardFrame());
    MainForm->OpenFiles({Path("f.fits")});
    QVERIFY(MainForm->ActiveChild()->Image->OriginBottom());
    MainForm->OriginBottom1->trigger();
    DestroyForms();
    ShowFreshForms();
    QVERIFY(!MainForm->OriginBottom1->isChecked());
  }

  // The readout and the star pick name the same image pixel at 25 %, 100 %
  // and 400 %: a star clicked at any zoom lands where the composition
  // looks for it.
  void readoutAndPickAgreeAtEveryZoom() {
    std::vector<int> raw(40 * 40, 1000);
    for (int x = 19; x <= 21; ++x)
      for (int y = 19; y <= 21; ++y) raw[y * 40 + x] = 5000;
    Write("star.fits", qirm::test::Fits16Bytes(40, 40, raw));
    PickCatcher catcher;
    catcher.pick.mode = qirm::StarPick::Mode::OneStar;
    StarPickTarget* dialog = CurrentStarPickTarget();
    SetStarPickTarget(&catcher);
    struct Case {
      int zoom_out, zoom_in;  // presses of "-" and "+" from 100 %
      QPoint at;              // on the shown picture, over pixel (20, 20)
    };
    for (const Case& c : {Case{2, 0, QPoint(5, 5)}, Case{0, 0, QPoint(20, 20)}, Case{0, 2, QPoint(82, 83)}}) {
      MainForm->OpenFiles({Path("star.fits")});
      TChild* child = MainForm->ActiveChild();
      for (int i = 0; i < c.zoom_out; ++i) MainForm->Button2Click();
      for (int i = 0; i < c.zoom_in; ++i) MainForm->Button1Click();
      catcher.pick.Edit6.clear();
      QTest::mouseMove(child->Image, c.at);
      QCOMPARE(MainForm->Label2->text(), QStringLiteral("Intensity = 5000   (20,20)"));
      QTest::mouseClick(child->Image, Qt::LeftButton, {}, c.at);
      QCOMPARE(MainForm->Label1->text(), QStringLiteral("QIRM = 3.4 pxls"));
      QCOMPARE(catcher.pick.Edit6 + "," + catcher.pick.Edit9, std::string("20,20"));
    }
    SetStarPickTarget(dialog);
  }

  // The composition dialog receives the clicks once it exists.
  void clicksFillTheCompositionDialog() {
    std::vector<int> raw(40 * 40, 1000);
    Write("f.fits", qirm::test::Fits16Bytes(40, 40, raw));
    MainForm->OpenFiles({Path("f.fits")});
    TChild* child = MainForm->ActiveChild();
    QVERIFY(CurrentStarPickTarget() == RGBComp);
    RGBComp->RadioButton1->setChecked(true);
    QTest::mouseClick(child->Image, Qt::LeftButton, {}, QPoint(7, 9));
    QCOMPARE(RGBComp->Edit6->text() + "," + RGBComp->Edit9->text(), QStringLiteral("7,9"));
    QTest::mouseClick(child->Image, Qt::RightButton, {}, QPoint(3, 4));
    QCOMPARE(RGBComp->Edit12->text() + "," + RGBComp->Edit13->text(), QStringLiteral("3,4"));
    QCOMPARE(RGBComp->Edit6->text(), QStringLiteral("7"));
  }

  void separationAndCloseAll() {
    // A BMP window through the engine's writer: 1 x 1, blue 10, green 20, red 30.
    const std::string bmp =
        std::string("BM") +
        std::string("\x3a\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x01\0\0\0\x01\0\0\0\x01\0\x18\0", 28) +
        std::string(24, '\0') + std::string("\x0a\x14\x1e\0", 4);
    Write("c.bmp", bmp);
    MainForm->OpenFiles({Path("c.bmp")});
    QCOMPARE(WindowCount(), 1);
    MainForm->RGB2Click();
    QCOMPARE(WindowCount(), 4);
    QStringList titles;
    for (TChild* c : MainForm->Children()) titles << c->windowTitle();
    QCOMPARE(titles, QStringList({QStringLiteral("c.bmp"), QStringLiteral("Blue"), QStringLiteral("Green"),
                                  QStringLiteral("Red")}));
    QCOMPARE(MainForm->ActiveChild()->windowTitle(), QStringLiteral("Red"));
    QCOMPARE(MainForm->ActiveChild()->Document()->Image.Color(0, 0), 0x1E1E1Eu);
    const QString zoomText = MainForm->Edit1->text();
    // The separated pictures are in no file yet: "close all" would ask.
    for (TChild* c : MainForm->Children()) c->Document()->unsaved = false;
    MainForm->A1Click();
    QCOMPARE(WindowCount(), 0);
    QCOMPARE(MainForm->Workspace().windows().size(), std::size_t{0});
    QCOMPARE(MainForm->Edit1->text(), zoomText);
    // Commands with no window do nothing.
    MainForm->Button1Click();
    MainForm->Button33Click();
    MainForm->RGB2Click();
    QCOMPARE(MainForm->Edit1->text(), zoomText);
  }

  // Each way of sizing a new document's window, against the main client
  // area C; the new window becomes the active one.
  void resultWindowSizes() {
    Write("wide.fits", qirm::test::Fits16Bytes(300, 200, std::vector<int>(300 * 200, 1000)));
    const QSize client = MainForm->MdiArea->viewport()->size();
    QVERIFY(client.width() > 400 && client.height() > 300);
    const struct {
      const char* name;
      ResultWindowSize size;
      std::function<QSize(QMdiSubWindow*, TChild*)> measured;
      QSize expected;
    } cases[] = {
        {"picture", ResultWindowSize::kFitPicture, [](QMdiSubWindow*, TChild* c) { return c->size(); },
         QSize(300, 200)},
        {"client edges", ResultWindowSize::kFitClient,
         [](QMdiSubWindow* s, TChild*) { return QSize(s->x() + s->width(), s->y() + s->height()); }, client},
        {"composition", ResultWindowSize::kComposition, [](QMdiSubWindow* s, TChild*) { return s->size(); },
         client - QSize(20, 100)},
        {"star picking", ResultWindowSize::kStarPicking, [](QMdiSubWindow*, TChild* c) { return c->size(); },
         client - QSize(50, 100)},
    };
    for (const auto& c : cases) {
      qirm::ImageDocument doc;
      QVERIFY(qirm::OpenFrameForPicking(Path("wide.fits").toStdString(), doc));
      MainForm->ShowResultWindow(std::move(doc), c.size);
      TChild* child = MainForm->Children().last();
      QCOMPARE(MainForm->ActiveChild(), child);
      auto* sub = qobject_cast<QMdiSubWindow*>(child->parentWidget());
      QVERIFY(sub);
      QVERIFY2(c.measured(sub, child) == c.expected, c.name);
    }
    QCOMPARE(WindowCount(), 4);
  }

  void realFrame() {
    const QString frame = QStringLiteral(QIRM_DATA_DIR "/fixtures/kpno_m51_B_dev_pix.fits");
    if (!QFile::exists(frame)) QSKIP("no shared data");
    MainForm->OpenFiles({frame});
    QCOMPARE(MainForm->ActiveChild()->Image->image().size(), QSize(512, 512));
  }
};

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  ImageWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "image_window_test.moc"
