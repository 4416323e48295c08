// SPDX-License-Identifier: GPL-3.0-or-later
// The filter commands through the main window's handlers: kind checks,
// which pictures change, the redrawn view, progress, and the four dialogs
// driven as a user would. The pixel arithmetic itself is tested on the
// engine.
#include "filters/filter_commands.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
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
#include <map>
#include <memory>
#include <random>

#include "app/save_image.h"
#include "app/ui/Forms.h"
#include "app/ui/TApplication.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "document/state_texts.h"
#include "filters/ui/TBLUR.h"
#include "filters/ui/TComaCorrect.h"
#include "filters/ui/TEDG.h"
#include "filters/ui/TGMCPanel.h"
#include "tests/support/qt_commands.h"
#include "tests/support/qt_fixture.h"
#include "tests/support/qt_modal.h"
#include "tests/support/test_files.h"

namespace {

using namespace qirm::test;

constexpr int kW = 40, kH = 30;

}  // namespace

class FilterCommandsTest : public QObject {
  Q_OBJECT

 private:
  TestFolder m_dir;
  qirm::Picture m_picture = RandomPicture(kW, kH, 5, 200);

  QString Path(const QString& name) const { return m_dir.filePath(name); }

  // Opens a window of the kind: "1" BMP, "2" FITS, "3" Netpbm. With a
  // streak, each holds a saturated column run of 12 for the blooming
  // removal to find.
  TChild* OpenKind(const std::string& kind, bool streak = false) {
    if (kind == "1") {
      qirm::Picture p = m_picture;
      if (streak)
        for (int y = 5; y < 17; ++y) p.Row(y)[3 * 9 + 1] = 250;
      if (!qirm::WritePictureFile(Path("c.bmp").toStdString(), p, qirm::PictureFormat::kBmp).ok())
        return nullptr;
      MainForm->OpenFiles({Path("c.bmp")});
    } else if (kind == "2") {
      std::vector<int> raw(kW * kH);
      for (int i = 0; i < kW * kH; ++i) raw[i] = 1000 + 37 * i % 9000;
      if (streak)
        for (int y = 5; y < 17; ++y) raw[y * kW + 9] = 64000;
      WriteBytes(Path("f.fits").toStdString(), Fits16Bytes(kW, kH, raw));
      MainForm->OpenFiles({Path("f.fits")});
    } else {
      std::vector<unsigned char> rgb(kW * kH * 3);
      for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<unsigned char>(i * 7 % 200);
      if (streak)
        for (int y = 5; y < 17; ++y) rgb[(y * kW + 9) * 3] = 250;
      WriteBytes(Path("p.ppm").toStdString(), Ppm6Bytes(kW, kH, rgb));
      MainForm->OpenFiles({Path("p.ppm")});
    }
    TChild* child = MainForm->ActiveChild();
    return child && qirm::KindText(child->Document()->kind) == kind ? child : nullptr;
  }

  static bool ViewShowsDocument(TChild* child) {
    return child->Image->image() == ToQImage(child->Document()->Image);
  }

  // Presses the panel's OK with its current texts, so that the guide-miss
  // canceller runs from then on.
  static void AcceptPanelOnce() {
    WithModal<TGMCPanel>([] { MainForm->P1Click(); }, [](QWidget*) { GMCPanel->Button1->click(); });
    WaitForCommands();
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
    QCOMPARE(EDG->windowTitle(), QStringLiteral("エッジ強調"));
    QCOMPARE(EDG->Label1->text(), QStringLiteral("強さ(1-5)"));
    QCOMPARE(EDG->Edit1->text(), QStringLiteral("1.0"));
    QCOMPARE(EDG->Button1->text(), QStringLiteral("OK"));
    QCOMPARE(BLUR->windowTitle(), QStringLiteral("ぼかし"));
    QCOMPARE(BLUR->Label1->text(), QStringLiteral("ボケ量"));
    QCOMPARE(BLUR->Edit1->text(), QStringLiteral("1.0"));
    QCOMPARE(ComaCorrect->windowTitle(), QStringLiteral("コマコレクト処理"));
    QCOMPARE(ComaCorrect->Label1->text(), QStringLiteral("光軸座標"));
    QCOMPARE(ComaCorrect->Label2->text(), QStringLiteral("X = "));
    QCOMPARE(ComaCorrect->Label3->text(), QStringLiteral("Y = "));
    QCOMPARE(ComaCorrect->Label4->text(), QStringLiteral("コマ量"));
    for (QLineEdit* e : {ComaCorrect->Edit1, ComaCorrect->Edit2, ComaCorrect->Edit3})
      QVERIFY(e->text().isEmpty());
    QCOMPARE(GMCPanel->windowTitle(), QStringLiteral("ガイドミスキャンセラ"));
    QCOMPARE(GMCPanel->GroupBox1->title(), QStringLiteral("GMC"));
    QCOMPARE(GMCPanel->GroupBox2->title(), QStringLiteral("Blur"));
    QCOMPARE(GMCPanel->Label1->text(), QStringLiteral("流れ量"));
    QCOMPARE(GMCPanel->Label3->text(), QStringLiteral("向き"));
    QCOMPARE(GMCPanel->Label4->text(), QStringLiteral("度"));
    QCOMPARE(GMCPanel->Label5->text(), QStringLiteral("ぼけ量"));
    QCOMPARE(GMCPanel->Label7->text(), QStringLiteral("閾値"));
    QCOMPARE(GMCPanel->Edit1->text(), QStringLiteral("0"));
    QCOMPARE(GMCPanel->Edit2->text(), QStringLiteral("1"));
    QCOMPARE(GMCPanel->Edit3->text(), QStringLiteral("0.2"));
    QCOMPARE(GMCPanel->Edit4->text(), QStringLiteral("0"));
    QVERIFY(!GMCPanel->Accepted());
  }

  void withoutAWindowOnlyThePanelShows() {
    for (auto handler : {&TMainForm::N2Click, &TMainForm::N4Click, &TMainForm::H1Click, &TMainForm::L1Click,
                         &TMainForm::N5Click, &TMainForm::N9Click}) {
      QCOMPARE(ModalDuring([&] { (MainForm->*handler)(); }), QString());
    }
    QCOMPARE(ModalDuring([] { MainForm->P1Click(); }), QStringLiteral("ガイドミスキャンセラ"));
    AcceptPanelOnce();
    QVERIFY(GMCPanel->Accepted());
    QCOMPARE(MainForm->Children().size(), 0);
  }

  void kindChecksAndWhichPicturesChange() {
    ComaCorrect->Edit1->setText(QStringLiteral("20"));
    ComaCorrect->Edit2->setText(QStringLiteral("15"));
    ComaCorrect->Edit3->setText(QStringLiteral("20"));
    AcceptPanelOnce();
    struct Case {
      const char* name;
      void (TMainForm::*handler)();
      const char* kind;
      bool streak;
      bool image, base, raw;
      const char* undo;
      const char* refusal = nullptr;  // the start of the message box's text
    };
    const Case cases[] = {
        {"edge", &TMainForm::N2Click, "1", false, true, true, false, "1"},
        {"edge", &TMainForm::N2Click, "2", false, false, false, false, "0",
         "エッジ強調: 16ビットの画像には使えません。"},
        {"edge", &TMainForm::N2Click, "3", false, false, false, false, "0",
         "エッジ強調: Netpbmの画像には使えません。"},
        {"blur", &TMainForm::N4Click, "1", false, true, true, false, "1"},
        {"blur", &TMainForm::N4Click, "2", false, true, false, true, "1"},
        {"blur", &TMainForm::N4Click, "3", false, true, true, false, "1"},
        {"high-pass", &TMainForm::H1Click, "1", false, true, true, false, "1"},
        {"high-pass", &TMainForm::H1Click, "2", false, true, false, true, "1"},
        {"high-pass", &TMainForm::H1Click, "3", false, true, true, false, "1"},
        {"low-pass", &TMainForm::L1Click, "1", false, true, true, false, "1"},
        {"low-pass", &TMainForm::L1Click, "2", false, true, false, true, "1"},
        {"low-pass", &TMainForm::L1Click, "3", false, true, true, false, "1"},
        {"bloom", &TMainForm::N5Click, "1", false, false, false, false, "0"},
        {"bloom", &TMainForm::N5Click, "1", true, true, true, false, "0"},
        {"bloom", &TMainForm::N5Click, "2", true, true, false, true, "0"},
        {"bloom", &TMainForm::N5Click, "3", true, true, true, false, "0"},
        {"coma", &TMainForm::N9Click, "1", false, true, false, false, "1"},
        {"coma", &TMainForm::N9Click, "2", false, false, false, false, "0",
         "コマコレクト処理: 16ビットの画像には使えません。"},
        {"coma", &TMainForm::N9Click, "3", false, false, false, false, "0",
         "コマコレクト処理: Netpbmの画像には使えません。"},
        {"gmc", &TMainForm::P1Click, "1", false, true, false, false, "0"},
        {"gmc", &TMainForm::P1Click, "2", false, true, false, false, "0"},
        {"gmc", &TMainForm::P1Click, "3", false, true, false, false, "0"},
    };
    const std::map<std::string, QString> dialogs = {{"edge", QStringLiteral("エッジ強調")},
                                                    {"blur", QStringLiteral("ぼかし")},
                                                    {"coma", QStringLiteral("コマコレクト処理")},
                                                    {"gmc", QStringLiteral("ガイドミスキャンセラ")}};
    for (const Case& c : cases) {
      const QByteArray what = QByteArray(c.name) + " on kind " + c.kind + (c.streak ? " with a streak" : "");
      TChild* child = OpenKind(c.kind, c.streak);
      QVERIFY2(child, what);
      const Snapshot before = Take();
      // A kind the command does not take is refused in a message box that
      // says why, before any dialog asks for a value; otherwise the
      // command's dialog shows.
      const QStringList modals = ModalsDuring([&] { (MainForm->*c.handler)(); });
      QStringList expected;
      const auto has_dialog = dialogs.find(c.name);
      if (has_dialog != dialogs.end() && !c.refusal) expected << has_dialog->second;
      QCOMPARE(modals.size(), expected.size() + (c.refusal ? 1 : 0));
      if (!expected.isEmpty()) QVERIFY2(modals.first() == expected.first(), what);
      if (c.refusal)
        QVERIFY2(modals.last().startsWith(QString::fromUtf8(c.refusal)), what + " " + modals.last().toUtf8());
      const qirm::ImageDocument* d = child->Document();
      QVERIFY2(!(d->Image == before.image) == c.image, what);
      QVERIFY2(!(d->ImageZm == before.base) == c.base, what);
      QVERIFY2(!(d->raw == before.raw) == c.raw, what);
      QVERIFY2(qirm::EditedText(*d) == c.undo, what);
      QVERIFY2(ViewShowsDocument(child), what);
      CloseAllUnasked();
    }
  }

  void progressRunsAndEndsAtZero() {
    QVERIFY(OpenKind("1"));
    for (auto handler : {&TMainForm::H1Click, &TMainForm::L1Click, &TMainForm::N5Click}) {
      QSignalSpy spy(MainForm->ProgressBar1, &QProgressBar::valueChanged);
      (MainForm->*handler)();
      WaitForCommands();
      QVERIFY(spy.count() >= 3);
      int highest = 0;
      for (const auto& args : spy) highest = std::max(highest, args.at(0).toInt());
      QCOMPARE(highest, 100);
      QCOMPARE(MainForm->ProgressBar1->value(), 0);
    }
  }

  void edgeDialogRefusesAndKeepsItsText() {
    TChild* child = OpenKind("1");
    QVERIFY(child);
    const Snapshot before = Take();
    QString low, high, conversion;
    WithModal<TEDG>([] { MainForm->N2Click(); },
                    [&](QWidget*) {
                      low = PressOk(EDG->Edit1, EDG->Button1, QStringLiteral("0.5"), true);
                      high = PressOk(EDG->Edit1, EDG->Button1, QStringLiteral("5.5"), true);
                      conversion = PressOk(EDG->Edit1, EDG->Button1, QStringLiteral("abc"), true);
                      QVERIFY(EDG->isVisible());
                      PressOk(EDG->Edit1, EDG->Button1, QStringLiteral("2.5"), false);
                    });
    WaitForCommands();
    QCOMPARE(low, QStringLiteral("1.0-5.0の数字を入力してください"));
    QCOMPARE(high, QStringLiteral("1.0-5.0の数字を入力してください"));
    QCOMPARE(conversion, QStringLiteral("'abc' is not a valid floating point value"));
    const qirm::Picture expected = qirm::EdgeEnhancement(before.base, 2.5);
    QVERIFY(child->Document()->Image == expected);
    QVERIFY(child->Document()->ImageZm == expected);
    QVERIFY(ViewShowsDocument(child));

    // Kept between uses; a text left by the frame is not taken and the
    // command is cancelled: the strength stays the one last accepted.
    QString shownText;
    WithModal<TEDG>([] { MainForm->N2Click(); },
                    [&](QWidget*) {
                      shownText = EDG->Edit1->text();
                      EDG->Edit1->setText(QStringLiteral("9"));
                      EDG->reject();
                    });
    QCOMPARE(shownText, QStringLiteral("2.5"));
    QCOMPARE(EDG->Strength(), 2.5);
    QCOMPARE(EDG->Edit1->text(), QStringLiteral("2.5"));
    QVERIFY(child->Document()->Image == expected);
  }

  void blurDialogAndItsOwnAmount() {
    TChild* child = OpenKind("1");
    QVERIFY(child);
    const Snapshot before = Take();
    QString zero, eleven;
    WithModal<TBLUR>([] { MainForm->N4Click(); },
                     [&](QWidget*) {
                       zero = PressOk(BLUR->Edit1, BLUR->Button1, QStringLiteral("0"), true);
                       eleven = PressOk(BLUR->Edit1, BLUR->Button1, QStringLiteral("11"), true);
                       PressOk(BLUR->Edit1, BLUR->Button1, QStringLiteral("4"), false);
                     });
    WaitForCommands();
    QCOMPARE(zero, QStringLiteral("正の数字を入力してください"));
    QCOMPARE(eleven, QStringLiteral("正の数字を入力してください"));
    QVERIFY(child->Document()->ImageZm == qirm::Blur(before.base, 4.0));

    // The guide-miss panel keeps an amount of its own: the blur dialog
    // still blurs with its 4; closed by its frame it blurs nothing.
    WithModal<TGMCPanel>([] { MainForm->P1Click(); },
                         [](QWidget*) {
                           GMCPanel->Edit3->setText(QStringLiteral("3"));
                           GMCPanel->Button1->click();
                         });
    WaitForCommands();
    QCOMPARE(BLUR->Amount(), 4.0);
    QCOMPARE(GMCPanel->BlurAmount(), 3.0);
    const Snapshot after_gmc = Take();
    ModalDuring([] { MainForm->N4Click(); });
    QVERIFY(child->Document()->ImageZm == after_gmc.base);
    QCOMPARE(OkDuring([] { MainForm->N4Click(); }), QStringLiteral("ぼかし"));
    QVERIFY(child->Document()->ImageZm == qirm::Blur(after_gmc.base, 4.0));
    QCOMPARE(BLUR->Edit1->text(), QStringLiteral("4"));
  }

  void comaNeedsNumbersAndDrawsOnTheShownPicture() {
    TChild* child = OpenKind("1");
    QVERIFY(child);
    const Snapshot before = Take();
    // The edits start empty: the conversion error after the dialog closes.
    QString shown;
    WithModal<QMessageBox>(
        [&] {
          WithModal<TComaCorrect>([] { MainForm->N9Click(); },
                                  [](QWidget*) { ComaCorrect->Button1->click(); });
        },
        [&](QWidget* m) { shown = AnswerMessageBox(m, QMessageBox::Ok); });
    QCOMPARE(shown, QStringLiteral("'' is not a valid integer value"));
    QVERIFY(child->Document()->Image == before.image);

    WithModal<TComaCorrect>([] { MainForm->N9Click(); },
                            [](QWidget*) {
                              ComaCorrect->Edit1->setText(QStringLiteral("5"));
                              ComaCorrect->Edit2->setText(QStringLiteral("25"));
                              ComaCorrect->Edit3->setText(QStringLiteral("12.5"));
                              ComaCorrect->Button1->click();
                            });
    WaitForCommands();
    QVERIFY(child->Document()->Image == qirm::ComaCorrect(before.base, {5, 25, 12.5}));
    QVERIFY(child->Document()->ImageZm == before.base);
    QCOMPARE(qirm::EditedText(*child->Document()), std::string("1"));
    QVERIFY(ViewShowsDocument(child));
    QCOMPARE(ComaCorrect->Edit3->text(), QStringLiteral("12.5"));
  }

  void guideMissPanelAcceptsOnceAndCorrectsItsTexts() {
    TChild* child = OpenKind("1");
    QVERIFY(child);
    const Snapshot before = Take();
    // Never accepted: closing the panel runs nothing.
    QCOMPARE(ModalDuring([] { MainForm->P1Click(); }), QStringLiteral("ガイドミスキャンセラ"));
    QVERIFY(child->Document()->Image == before.image);

    // A bad threshold: the error box, the panel stays open; the blur
    // amount read before it is taken (and raised to 0.2).
    QString shown;
    WithModal<TGMCPanel>([] { MainForm->P1Click(); },
                         [&](QWidget*) {
                           GMCPanel->Edit1->setText(QStringLiteral("30"));
                           GMCPanel->Edit2->setText(QStringLiteral("-4"));
                           GMCPanel->Edit3->setText(QStringLiteral("0.1"));
                           shown = PressOk(GMCPanel->Edit4, GMCPanel->Button1, QStringLiteral("x"), true);
                           QVERIFY(GMCPanel->isVisible());
                           QVERIFY(!GMCPanel->Accepted());
                           PressOk(GMCPanel->Edit4, GMCPanel->Button1, QStringLiteral("0"), false);
                         });
    WaitForCommands();
    QCOMPARE(shown, QStringLiteral("'x' is not a valid integer value"));
    QCOMPARE(GMCPanel->Edit2->text(), QStringLiteral("0"));
    QCOMPARE(GMCPanel->Edit3->text(), QStringLiteral("0.2"));
    QVERIFY(GMCPanel->Accepted());
    qirm::Picture expected = before.image;
    QVERIFY(qirm::GuideMissCancel(expected, {30, 0, 0}, 0.2));
    QVERIFY(child->Document()->Image == expected);
    QVERIFY(child->Document()->ImageZm == before.base);
    QVERIFY(ViewShowsDocument(child));

    // Accepted once, the frame still cancels; OK runs it again with the
    // settings taken.
    ModalDuring([] { MainForm->P1Click(); });
    QVERIFY(child->Document()->Image == expected);
    OkDuring([] { MainForm->P1Click(); });
    QVERIFY(qirm::GuideMissCancel(expected, {30, 0, 0}, 0.2));
    QVERIFY(child->Document()->Image == expected);
  }
};

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  FilterCommandsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "filter_commands_test.moc"
