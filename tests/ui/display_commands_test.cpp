// SPDX-License-Identifier: GPL-3.0-or-later
// The geometry and tone commands through the main window's handlers: kind
// checks, which pictures change, the redrawn view, progress, and the gamma
// and Sabattier dialogs driven as a user would. The pixel arithmetic itself
// is tested on the engine.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>
#include <random>

#include "app/save_image.h"
#include "app/ui/Forms.h"
#include "app/ui/LevelsPanel.h"
#include "app/ui/TApplication.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "app/ui/UpDownSpin.h"
#include "display/levels.h"
#include "display/tones.h"
#include "display/ui/TGMM.h"
#include "display/ui/TSabachie.h"
#include "document/state_texts.h"
#include "tests/support/qt_commands.h"
#include "tests/support/qt_fixture.h"
#include "tests/support/qt_modal.h"
#include "tests/support/test_files.h"

using namespace qirm::test;

class DisplayCommandsTest : public QObject {
  Q_OBJECT

 private:
  TestFolder m_dir;
  qirm::Picture m_picture = RandomPicture(40, 30, 3, 255);

  QString Path(const QString& name) const { return m_dir.filePath(name); }

  // Opens a window of the kind: "1" BMP, "2" FITS, "3" Netpbm.
  TChild* OpenKind(const std::string& kind) {
    if (kind == "1") {
      if (!qirm::WritePictureFile(Path("c.bmp").toStdString(), m_picture, qirm::PictureFormat::kBmp).ok()) {
        return nullptr;
      }
      MainForm->OpenFiles({Path("c.bmp")});
    } else if (kind == "2") {
      std::vector<int> raw(40 * 30);
      for (int i = 0; i < 40 * 30; ++i) raw[i] = 1000 + 37 * i;
      WriteBytes(Path("f.fits").toStdString(), Fits16Bytes(40, 30, raw));
      MainForm->OpenFiles({Path("f.fits")});
    } else {
      std::vector<unsigned char> rgb(40 * 30 * 3);
      for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<unsigned char>(i * 7);
      WriteBytes(Path("p.ppm").toStdString(), Ppm6Bytes(40, 30, rgb));
      MainForm->OpenFiles({Path("p.ppm")});
    }
    TChild* child = MainForm->ActiveChild();
    return child && qirm::KindText(child->Document()->kind) == kind ? child : nullptr;
  }

  static bool ViewShowsDocument(TChild* child) {
    return child->Image->image() == ToQImage(child->Document()->Image);
  }

 private slots:
  void init() {
    QVERIFY(m_dir.Enter());
    ShowFreshForms();
  }
  void cleanup() {
    DestroyForms();
    m_dir.Leave();
  }

  void dialogsCaptionsLabelsDefaults() {
    QCOMPARE(GMM->windowTitle(), QStringLiteral("ガンマ"));
    QCOMPARE(GMM->Label1->text(), QStringLiteral("γ="));
    QCOMPARE(GMM->Edit1->text(), QStringLiteral("1.0"));
    QCOMPARE(GMM->Button1->text(), QStringLiteral("OK"));
    QVERIFY(GMM->Panel1);
    QCOMPARE(Sabachie->windowTitle(), QStringLiteral("サバチエ効果"));
    QCOMPARE(Sabachie->Label1->text(), QStringLiteral("ステップ幅"));
    QCOMPARE(Sabachie->Edit1->text(), QStringLiteral("255"));
    QCOMPARE(Sabachie->Button1->text(), QStringLiteral("OK"));
    QCOMPARE(Sabachie->Panel->objectName(), QStringLiteral("Sabachie"));
  }

  void withoutAWindowNothingHappensAndNoDialogShows() {
    for (auto handler : {&TMainForm::N1Click, &TMainForm::M1Click, &TMainForm::R1Click, &TMainForm::R3Click,
                         &TMainForm::N6Click, &TMainForm::N7Click, &TMainForm::N8Click}) {
      QCOMPARE(ModalDuring([&] { (MainForm->*handler)(); }), QString());
    }
    QCOMPARE(MainForm->Children().size(), 0);
  }

  void kindChecksAndWhichPicturesChange() {
    struct Case {
      const char* name;
      void (TMainForm::*handler)();
      const char* kind;
      bool image, base, raw;
      const char* undo;
      const char* refusal = nullptr;  // the start of the message box's text
    };
    const Case cases[] = {
        {"negative", &TMainForm::N1Click, "1", true, true, false, "0"},
        {"negative", &TMainForm::N1Click, "2", true, false, true, "0"},
        {"negative", &TMainForm::N1Click, "3", false, false, false, "0",
         "ネガ反転: Netpbmの画像には使えません。"},
        {"mirror", &TMainForm::M1Click, "1", true, true, false, "0"},
        {"mirror", &TMainForm::M1Click, "2", true, false, true, "0"},
        {"mirror", &TMainForm::M1Click, "3", false, false, false, "0",
         "左右反転: Netpbmの画像には使えません。"},
        {"flip", &TMainForm::R1Click, "1", true, true, false, "0"},
        {"flip", &TMainForm::R1Click, "2", true, false, true, "0"},
        {"flip", &TMainForm::R1Click, "3", false, false, false, "0",
         "上下反転: Netpbmの画像には使えません。"},
        {"rotate", &TMainForm::R3Click, "1", true, true, false, "1"},
        {"rotate", &TMainForm::R3Click, "2", true, false, true, "1"},
        {"rotate", &TMainForm::R3Click, "3", true, true, false, "1"},
        {"solarize", &TMainForm::N7Click, "1", true, false, false, "1"},
        {"solarize", &TMainForm::N7Click, "2", false, false, false, "0",
         "ソラリゼーション: 16ビットの画像には使えません。"},
        {"solarize", &TMainForm::N7Click, "3", false, false, false, "0",
         "ソラリゼーション: Netpbmの画像には使えません。"},
        {"separate", &TMainForm::RGB2Click, "2", false, false, false, "0",
         "RGB分解: 16ビットの画像には使えません。"},
    };
    for (const Case& c : cases) {
      const QByteArray what = QByteArray(c.name) + " on kind " + c.kind;
      TChild* child = OpenKind(c.kind);
      QVERIFY2(child, what);
      const Snapshot before = Take();
      const int windows = MainForm->Children().size();
      // A refused command says why in a message box; the others show none.
      const QStringList modals = ModalsDuring([&] { (MainForm->*c.handler)(); });
      QCOMPARE(modals.size(), c.refusal ? 1 : 0);
      if (c.refusal) QVERIFY2(modals.first().startsWith(QString::fromUtf8(c.refusal)), what);
      QCOMPARE(MainForm->Children().size(), windows);
      const qirm::ImageDocument* d = child->Document();
      QVERIFY2(!(d->Image == before.image) == c.image, what);
      QVERIFY2(!(d->ImageZm == before.base) == c.base, what);
      QVERIFY2(!(d->raw == before.raw) == c.raw, what);
      QVERIFY2(qirm::EditedText(*d) == c.undo, what);
      QVERIFY2(ViewShowsDocument(child), what);
      CloseAllUnasked();
    }
  }

  // The negative of a 16-bit window turns its levels over with its values:
  // the level boxes, the spins and the levels panel show the new levels,
  // and undo brings the old ones back.
  void negativeOfSixteenBitsTurnsTheLevelsOver() {
    TChild* child = OpenKind("2");
    QVERIFY(child);
    const int max = child->Document()->max_level, min = child->Document()->min_level;
    QCOMPARE(MainForm->Edit2->text(), QString::number(max));
    MainForm->N1Click();
    QCOMPARE(child->Document()->max_level, 65535 - min);
    QCOMPARE(child->Document()->min_level, 65535 - max);
    QCOMPARE(MainForm->Edit2->text(), QString::number(65535 - min));
    QCOMPARE(MainForm->Edit3->text(), QString::number(65535 - max));
    QCOMPARE(MainForm->UpDown1->value(), 65535 - min);
    QCOMPARE(MainForm->LevelsDock->View->MaxLevel(), 65535 - min);
    MainForm->Undo1Click();
    QCOMPARE(MainForm->Edit2->text(), QString::number(max));
    QCOMPARE(MainForm->Edit3->text(), QString::number(min));
  }

  void rotationProgressEndsAtZero() {
    QVERIFY(OpenKind("1"));
    QSignalSpy spy(MainForm->ProgressBar1, &QProgressBar::valueChanged);
    MainForm->R3Click();
    WaitForCommands();
    QVERIFY(spy.count() >= 2);
    int highest = 0;
    for (const auto& args : spy) highest = std::max(highest, args.at(0).toInt());
    QVERIFY(highest > 50 && highest < 100);
    QCOMPARE(MainForm->ProgressBar1->value(), 0);
  }

  void gammaDialogRefusesAndKeepsItsText() {
    TChild* child = OpenKind("1");
    QVERIFY(child);
    const Snapshot before = Take();
    QString refusal, conversion;
    WithModal<TGMM>([] { MainForm->N6Click(); },
                    [&](QWidget*) {
                      refusal = PressOk(GMM->Edit1, GMM->Button1, QStringLiteral("0"), true);
                      QVERIFY(GMM->isVisible());
                      conversion = PressOk(GMM->Edit1, GMM->Button1, QStringLiteral("abc"), true);
                      QVERIFY(GMM->isVisible());
                      PressOk(GMM->Edit1, GMM->Button1, QStringLiteral("0.5"), false);
                    });
    WaitForCommands();
    QCOMPARE(refusal, QStringLiteral("整数を入力してください"));
    QCOMPARE(conversion, QStringLiteral("'abc' is not a valid floating point value"));
    QVERIFY(!GMM->isVisible());
    const qirm::ImageDocument* d = child->Document();
    QVERIFY(d->Image == qirm::GammaPicture(before.base, 0.5));
    QVERIFY(d->ImageZm == before.base);
    QCOMPARE(qirm::EditedText(*d), std::string("1"));
    QVERIFY(ViewShowsDocument(child));

    // The next use starts from the text left in the edit.
    QString shownText;
    WithModal<TGMM>([] { MainForm->N6Click(); },
                    [&](QWidget*) {
                      shownText = GMM->Edit1->text();
                      GMM->Button1->click();
                    });
    QCOMPARE(shownText, QStringLiteral("0.5"));
  }

  void gammaFromAFrameClosedDialog() {
    TChild* child = OpenKind("1");
    QVERIFY(child);
    const Snapshot before = Take();
    // Closed by the frame, the dialog cancels the command, whatever its
    // text: nothing is drawn, no box appears, and the text last accepted
    // is back in the edit.
    for (const char* text : {"-1", "2"}) {
      WithModal<TGMM>([] { MainForm->N6Click(); },
                      [&](QWidget*) {
                        GMM->Edit1->setText(QString::fromLatin1(text));
                        GMM->reject();
                      });
      QVERIFY2(child->Document()->Image == before.image, text);
      QCOMPARE(qirm::EditedText(*child->Document()), std::string("0"));
      QCOMPARE(GMM->Edit1->text(), QStringLiteral("1.0"));
    }
    // Text that is no number: OK shows the conversion error and the dialog
    // stays open.
    QString shown;
    WithModal<TGMM>([] { MainForm->N6Click(); },
                    [&](QWidget*) {
                      shown = PressOk(GMM->Edit1, GMM->Button1, QStringLiteral("x"), true);
                      QVERIFY(GMM->isVisible());
                      GMM->reject();
                    });
    QCOMPARE(shown, QStringLiteral("'x' is not a valid floating point value"));
    QVERIFY(child->Document()->Image == before.image);
  }

  void gammaOnOtherKindsSaysWhyBeforeItsDialogAndDrawsNothing() {
    TChild* child = OpenKind("2");
    QVERIFY(child);
    const Snapshot before = Take();
    const QStringList modals = ModalsDuring([] { MainForm->N6Click(); });
    QCOMPARE(modals.size(), 1);
    QVERIFY(modals.first().startsWith(QStringLiteral("ガンマ: 16ビットの画像には使えません。")));
    QVERIFY(child->Document()->Image == before.image);
    QCOMPARE(qirm::EditedText(*child->Document()), std::string("0"));
  }

  void sabattierDialogAndAnyKind() {
    TChild* child = OpenKind("2");
    QVERIFY(child);
    const Snapshot before = Take();
    QString refusal;
    WithModal<TSabachie>([] { MainForm->N8Click(); },
                         [&](QWidget*) {
                           refusal = PressOk(Sabachie->Edit1, Sabachie->Button1, QStringLiteral("0"), true);
                           QVERIFY(Sabachie->isVisible());
                           PressOk(Sabachie->Edit1, Sabachie->Button1, QStringLiteral("128"), false);
                         });
    WaitForCommands();
    QCOMPARE(refusal, QStringLiteral("正の数字を入力してください"));
    // A 16-bit window: the high bytes of its raw values are folded and shown.
    const qirm::ImageDocument* d = child->Document();
    QVERIFY(d->Image == qirm::SabattierPicture(qirm::HighBytePicture(before.raw), 128));
    QVERIFY(d->ImageZm.empty());
    QVERIFY(d->raw == before.raw);
    QCOMPARE(qirm::EditedText(*d), std::string("1"));
    QVERIFY(ViewShowsDocument(child));

    // Kept between uses; a width of 0 through the frame draws nothing.
    QString shownText;
    const Snapshot folded = Take();
    WithModal<TSabachie>([] { MainForm->N8Click(); },
                         [&](QWidget*) {
                           shownText = Sabachie->Edit1->text();
                           Sabachie->Edit1->setText(QStringLiteral("0"));
                           Sabachie->reject();
                         });
    QCOMPARE(shownText, QStringLiteral("128"));
    QVERIFY(child->Document()->Image == folded.image);
  }
};

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  DisplayCommandsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "display_commands_test.moc"
