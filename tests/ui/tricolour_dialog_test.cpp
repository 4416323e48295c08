// SPDX-License-Identifier: GPL-3.0-or-later
// The tri-colour composition dialogs through their handlers: the frame
// lists, the star modes, the edit and spinner pairs, clicks in image
// windows, saving and loading settings files, "座標取得", and OK running the
// composition on a worker thread while the program stays usable. The
// settings file's bytes and the pipeline's arithmetic are tested on the
// engine.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>

#include "app/save_image.h"
#include "app/ui/Forms.h"
#include "app/ui/TApplication.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "app/ui/UpDownSpin.h"
#include "document/state_texts.h"
#include "tests/support/codec_readers.h"
#include "tests/support/qt_fixture.h"
#include "tests/support/qt_modal.h"
#include "tests/support/test_files.h"
#include "tricolour/compose.h"
#include "tricolour/settings_file.h"
#include "tricolour/ui/TAdvance.h"
#include "tricolour/ui/TRGBComp.h"

namespace {

using namespace qirm::test;

// The paths a list holds (an entry shows the file name only; entries a test
// adds straight to a list are their own path).
QStringList Entries(const QListWidget* list) {
  QStringList entries;
  for (int i = 0; i < list->count(); ++i) {
    const QVariant path = list->item(i)->data(Qt::UserRole);
    entries << (path.isValid() ? path.toString() : list->item(i)->text());
  }
  return entries;
}

// Read-only with the button-face colour, or editable and white.
bool LooksEditable(const QLineEdit* edit) {
  const bool white = edit->palette().color(QPalette::Base) == QColor(Qt::white);
  return !edit->isReadOnly() && white;
}
bool LooksReadOnly(const QLineEdit* edit) {
  return edit->isReadOnly() &&
         edit->palette().color(QPalette::Base) == edit->palette().color(QPalette::Button);
}

// A 64 x 64 frame: sky 1000 with a small star whose peak is at (px, py).
std::string StarFrame(int px, int py, int sky = 1000) {
  std::vector<int> raw(64 * 64, sky);
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) raw[(py + dy) * 64 + px + dx] = sky + 4000;
  }
  raw[py * 64 + px] = sky + 9000;
  return Fits16Bytes(64, 64, raw);
}

// A composition that stands in for the engine: reports what it is told and
// waits until the test lets it finish.
struct StandIn {
  std::atomic<int> calls{0};
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::vector<int> progress = {10, 55};
  std::string notice;
  qirm::Status status;

  TRGBComp::ComposeFunction Function() {
    return [this](const qirm::CompositionSettings& settings, const std::function<void(int)>& report,
                  qirm::ImageDocument& result, qirm::MainState*,
                  const std::function<void(const std::string&)>& tell) {
      ++calls;
      for (int p : progress) report(p);
      if (!notice.empty()) tell(notice);
      released.wait_for(std::chrono::seconds(30));
      if (!status) return status;
      qirm::FillCompositionDocument(qirm::Picture(4, 3), result);
      result.width = 4;
      result.height = 3;
      result.kind = qirm::WindowKind::kColour;
      result.caption = "composed " + std::to_string(settings.RedFiles.size());
      report(0);
      return qirm::Status::Ok();
    };
  }
};

}  // namespace

class TricolourDialogTest : public QObject {
  Q_OBJECT

 private:
  TestFolder m_dir;

  QString Path(const QString& name) const { return m_dir.filePath(name); }
  void Write(const QString& name, const std::string& bytes) { WriteBytes(Path(name).toStdString(), bytes); }
  int WindowCount() const { return MainForm->Children().size(); }

  // Three lists of one frame each: what OK needs to start.
  void FillColourLists() {
    RGBComp->ListBox1->addItem(Path("r.fits"));
    RGBComp->ListBox2->addItem(Path("g.fits"));
    RGBComp->ListBox3->addItem(Path("b.fits"));
  }

  bool WaitForRun() {
    QElapsedTimer clock;
    clock.start();
    while (RGBComp->Running() && clock.elapsed() < 60000) QTest::qWait(5);
    return !RGBComp->Running();
  }

 private slots:
  void init() {
    QVERIFY(m_dir.Enter());
    ShowFreshForms(QSize(900, 700));
  }
  void cleanup() {
    DestroyForms();
    m_dir.Leave();
  }

  void showingKeepsTheContents() {
    QVERIFY(RGBComp->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!RGBComp->isModal());
    RGBComp->ListBox2->addItem(QStringLiteral("kept.fits"));
    RGBComp->Edit14->setText(QStringLiteral("12"));
    MainForm->RGB1Click();
    QVERIFY(RGBComp->isVisible());
    RGBComp->Button6Click();  // キャンセル
    QVERIFY(!RGBComp->isVisible());
    MainForm->RGB1Click();
    QCOMPARE(Entries(RGBComp->ListBox2), QStringList{QStringLiteral("kept.fits")});
    QCOMPARE(RGBComp->Edit14->text(), QStringLiteral("12"));
    QCOMPARE(RGBComp->OpenDialog1->nameFilters(), QStringList{QStringLiteral("FITS(*.fit,*.fts,*.fits)")});
    QCOMPARE(RGBComp->SaveDialog2->nameFilters(), QStringList{QStringLiteral("MERAVI-2")});
  }

  void listButtonsAddRemoveAndCount() {
    for (const char* name : {"a.fits", "b b.fts", "c.fit"})
      Write(QString::fromLatin1(name), StarFrame(30, 30));
    const QStringList files = {Path("a.fits"), Path("b b.fts"), Path("c.fit")};
    WithModal([] { RGBComp->Button1Click(); }, [&](QWidget* m) { ChooseFiles(m, 1, files); });
    QCOMPARE(Entries(RGBComp->ListBox1), files);
    QCOMPARE(RGBComp->Edit1->text(), QStringLiteral("3"));
    QVERIFY(RGBComp->Edit1->isReadOnly());
    // Each entry shows its file name, the full path as its tooltip; the
    // settings hold the full paths.
    QCOMPARE(RGBComp->ListBox1->item(1)->text(), QStringLiteral("b b.fts"));
    QCOMPARE(RGBComp->ListBox1->item(1)->toolTip(), files[1]);
    qirm::CompositionSettings built;
    QVERIFY(RGBComp->BuildSettings(built));
    QCOMPARE(QString::fromStdString(built.RedFiles[2]), files[2]);

    // Nothing selected: nothing removed.
    RGBComp->ListBox1->clearSelection();
    RGBComp->Button8Click();
    QCOMPARE(RGBComp->ListBox1->count(), 3);
    // The second removed; then the first and the last together.
    RGBComp->ListBox1->item(1)->setSelected(true);
    RGBComp->Button8Click();
    QCOMPARE(Entries(RGBComp->ListBox1), QStringList({files[0], files[2]}));
    QCOMPARE(RGBComp->Edit1->text(), QStringLiteral("2"));
    RGBComp->ListBox1->selectAll();
    RGBComp->Button8Click();
    QCOMPARE(RGBComp->Edit1->text(), QStringLiteral("0"));

    // Each group has its own list and count; a file already in the list is
    // refused (it would weigh double), and the user told so.
    // (A folder of its own: the file dialog would keep the earlier selection.)
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("darks")));
    Write("darks/d.fits", StarFrame(30, 30));
    Write("darks/e.fits", StarFrame(30, 30));
    const QString dark = Path("darks/d.fits"), other = Path("darks/e.fits");
    WithModal([] { RGBComp->Button4Click(); }, [&](QWidget* m) { ChooseFiles(m, 1, {dark}); });
    QString told;
    WithModal<QMessageBox>(
        [&] {
          WithModal<QFileDialog>([] { RGBComp->Button4Click(); },
                                 [&](QWidget* m) {
                                   ChooseFiles(m, 1, {dark, other});
                                 });
        },
        [&](QWidget* m) { told = AnswerMessageBox(m, QMessageBox::Ok); });
    QCOMPARE(told, QStringLiteral("一覧にすでにあるファイルは加えません:\nd.fits"));
    QCOMPARE(Entries(RGBComp->ListBox4), QStringList({dark, other}));
    QCOMPARE(RGBComp->Edit4->text(), QStringLiteral("2"));
    QCOMPARE(RGBComp->ListBox1->count(), 0);
    // Cancelling leaves the list and writes its count again.
    RGBComp->Edit4->setText(QStringLiteral("?"));
    WithModal([] { RGBComp->Button4Click(); }, [](QWidget* m) { qobject_cast<QDialog*>(m)->reject(); });
    QCOMPARE(RGBComp->ListBox4->count(), 2);
    QCOMPARE(RGBComp->Edit4->text(), QStringLiteral("2"));
    // Remove buttons of the other groups work on their own lists.
    RGBComp->ListBox4->item(0)->setSelected(true);
    RGBComp->Button11Click();
    QCOMPARE(RGBComp->Edit4->text(), QStringLiteral("1"));
  }

  void starModesSetTheEditsAndSpinners() {
    TRGBComp* d = RGBComp;
    const QList<QLineEdit*> all = {d->Edit6, d->Edit7, d->Edit8, d->Edit9, d->Edit10, d->Edit11};
    const QList<UpDownSpin*> spins = {d->UpDown1, d->UpDown2, d->UpDown3, d->UpDown4, d->UpDown5, d->UpDown6};
    QVERIFY(d->RadioButton3->isChecked());
    for (QLineEdit* e : all) QVERIFY2(LooksReadOnly(e), qPrintable(e->objectName()));
    for (UpDownSpin* s : spins) QVERIFY(!s->isEnabled());

    d->RadioButton1->click();
    for (QLineEdit* e : {d->Edit6, d->Edit9, d->Edit8, d->Edit11})
      QVERIFY2(LooksEditable(e), qPrintable(e->objectName()));
    for (QLineEdit* e : {d->Edit7, d->Edit10}) QVERIFY2(LooksReadOnly(e), qPrintable(e->objectName()));
    for (UpDownSpin* s : {d->UpDown1, d->UpDown2, d->UpDown5, d->UpDown6}) QVERIFY(s->isEnabled());
    for (UpDownSpin* s : {d->UpDown3, d->UpDown4}) QVERIFY(!s->isEnabled());

    d->Edit19->setText(QStringLiteral("2"));
    d->RadioButton2->click();
    for (QLineEdit* e : all) QVERIFY(LooksEditable(e));
    for (UpDownSpin* s : spins) QVERIFY(s->isEnabled());
    QCOMPARE(d->Edit19->text(), QStringLiteral("1"));
    // Selecting the selected button runs nothing.
    d->Edit19->setText(QStringLiteral("2"));
    d->RadioButton2->click();
    QCOMPARE(d->Edit19->text(), QStringLiteral("2"));

    d->RadioButton3->click();
    for (QLineEdit* e : all) QVERIFY(LooksReadOnly(e));
    for (UpDownSpin* s : spins) QVERIFY(!s->isEnabled());
    // The detection method is a group of its own.
    QVERIFY(d->RadioButton5->isChecked());
    d->RadioButton4->click();
    QVERIFY(d->RadioButton3->isChecked());
  }

  void editsAndSpinnersFollowEachOther() {
    TRGBComp* d = RGBComp;
    QCOMPARE(d->UpDown10->value(), 100);
    QCOMPARE(d->UpDown5->value(), 10);
    QCOMPARE(d->UpDown10->maximum(), 2000);
    QCOMPARE(d->UpDown9->maximum(), 100);

    d->Edit15->setText(QStringLiteral("1.5"));
    QCOMPARE(d->UpDown10->value(), 150);
    d->UpDown10->stepBy(1);
    QCOMPARE(d->Edit15->text(), QStringLiteral("1.51"));
    QCOMPARE(d->UpDown10->value(), 151);
    // Down to five hundredths: no leading zero.
    d->UpDown11->stepBy(-95);
    QCOMPARE(d->Edit16->text(), QStringLiteral(".05"));
    // Up through 1.05, where binary arithmetic would hold the spinner back.
    d->Edit18->setText(QStringLiteral("1.03"));
    for (int i = 0; i < 3; ++i) d->UpDown13->stepBy(1);
    QCOMPARE(d->Edit18->text(), QStringLiteral("1.06"));
    QCOMPARE(d->UpDown13->value(), 106);

    const struct {
      QLineEdit* edit;
      UpDownSpin* spin;
    } pairs[] = {{d->Edit6, d->UpDown1},  {d->Edit9, d->UpDown2},  {d->Edit7, d->UpDown3},
                 {d->Edit10, d->UpDown4}, {d->Edit8, d->UpDown5},  {d->Edit11, d->UpDown6},
                 {d->Edit12, d->UpDown7}, {d->Edit13, d->UpDown8}, {d->Edit14, d->UpDown9}};
    int value = 20;
    for (const auto& p : pairs) {
      p.edit->setText(QString::number(value));
      QCOMPARE(p.spin->value(), value);
      p.spin->stepBy(1);
      QCOMPARE(p.edit->text(), QString::number(value + 1));
      ++value;
    }

    // A text that is no number: the conversion error, the spinner stays.
    QString shown;
    WithModal([&] { d->Edit8->setText(QStringLiteral("abc")); },
              [&](QWidget* m) { shown = AnswerMessageBox(m, QMessageBox::Ok); });
    QCOMPARE(shown, QStringLiteral("'abc' is not a valid integer value"));
    QCOMPARE(d->UpDown5->value(), 25);
    WithModal([&] { d->Edit17->setText(QStringLiteral("1,5")); },
              [&](QWidget* m) { shown = AnswerMessageBox(m, QMessageBox::Ok); });
    QCOMPARE(shown, QStringLiteral("'1,5' is not a valid floating point value"));
    QCOMPARE(d->UpDown12->value(), 100);
  }

  void clicksInImageWindowsFillStarsAndBackground() {
    Write("f.fits", StarFrame(30, 30));
    MainForm->OpenFiles({Path("f.fits")});
    TChild* child = MainForm->ActiveChild();
    QVERIFY(child);
    RGBComp->RadioButton2->click();
    const QPoint clicks[] = {{11, 12}, {21, 22}, {31, 32}, {41, 42}};
    for (const QPoint& p : clicks) QTest::mouseClick(child->Image, Qt::LeftButton, {}, p);
    // Star 1, star 2, star 1, star 2: the last two clicks are left.
    QCOMPARE(RGBComp->Edit6->text() + "," + RGBComp->Edit9->text(), QStringLiteral("31,32"));
    QCOMPARE(RGBComp->Edit7->text() + "," + RGBComp->Edit10->text(), QStringLiteral("41,42"));
    QCOMPARE(RGBComp->Edit19->text(), QStringLiteral("1"));
    QCOMPARE(RGBComp->UpDown1->value(), 31);
    QCOMPARE(RGBComp->UpDown4->value(), 42);
    QTest::mouseClick(child->Image, Qt::LeftButton, {}, QPoint(5, 6));
    QCOMPARE(RGBComp->Edit6->text() + "," + RGBComp->Edit9->text(), QStringLiteral("5,6"));
    QCOMPARE(RGBComp->Edit19->text(), QStringLiteral("2"));

    // One star: only star 1. Any mode: the right button sets the background.
    RGBComp->RadioButton1->click();
    QTest::mouseClick(child->Image, Qt::LeftButton, {}, QPoint(50, 51));
    QCOMPARE(RGBComp->Edit6->text() + "," + RGBComp->Edit9->text(), QStringLiteral("50,51"));
    QCOMPARE(RGBComp->Edit7->text(), QStringLiteral("41"));
    RGBComp->RadioButton3->click();
    QTest::mouseClick(child->Image, Qt::RightButton, {}, QPoint(7, 8));
    QCOMPARE(RGBComp->Edit12->text() + "," + RGBComp->Edit13->text(), QStringLiteral("7,8"));
    QCOMPARE(RGBComp->UpDown7->value(), 7);
    QCOMPARE(RGBComp->UpDown8->value(), 8);
    QCOMPARE(RGBComp->Edit6->text(), QStringLiteral("50"));
  }

  void advancedFlagsAreCapturedWhenShownAndClosed() {
    RGBComp->Button14Click();
    QVERIFY(Advance->isVisible());
    QVERIFY(Advance->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(Advance->RadioButton4->isChecked());
    QCOMPARE(Advance->Edit6->text(), QStringLiteral("200"));
    Advance->CheckBox2->setChecked(true);
    Advance->Edit1->setText(QStringLiteral("x"));
    QString shown;
    WithModal([] { Advance->Button1Click(); },
              [&](QWidget* m) { shown = AnswerMessageBox(m, QMessageBox::Ok); });
    QCOMPARE(shown, QStringLiteral("'x' is not a valid integer value"));
    QVERIFY(Advance->isVisible());
    QVERIFY(!Advance->Captured().Rotate180G);
    Advance->Edit1->setText(QStringLiteral("61000"));
    Advance->Button1Click();
    QVERIFY(!Advance->isVisible());
    QVERIFY(Advance->Captured().Rotate180G);
    QCOMPARE(Advance->Captured().BloomThreshold, 61000);
    // Not captured until the next moment: the dialog shows, closes or runs.
    Advance->CheckBox4->setChecked(true);
    QVERIFY(!Advance->Captured().FlattenR);
  }

  void toneCurveIsCapturedForTheRunAndKeptByLoading() {
    qirm::AdvancedFlags used;
    RGBComp->Compose = [&](const qirm::CompositionSettings& s, const std::function<void(int)>&,
                           qirm::ImageDocument&, qirm::MainState*,
                           const std::function<void(const std::string&)>&) {
      used = s.Advanced;
      return qirm::Status::Ok();
    };
    FillColourLists();
    Advance->RadioButton2->click();
    Advance->Edit4->setText(QStringLiteral("500"));
    Advance->Edit6->setText(QStringLiteral("not in use"));
    // OK captures the curve with the other flags.
    RGBComp->Button7Click();
    QVERIFY(WaitForRun());
    QCOMPARE(used.Tone, qirm::ToneKind::kLog);
    QCOMPARE(used.ToneLogParameter, 500.0);
    QCOMPARE(used.ToneAtanParameter, 200.0);
    // "閉じる" captures it too.
    Advance->RadioButton3->click();
    Advance->Edit5->setText(QStringLiteral("2.2"));
    Advance->Button1Click();
    QCOMPARE(Advance->Captured().Tone, qirm::ToneKind::kGamma);
    QCOMPARE(Advance->Captured().ToneGammaParameter, 2.2);
    // A settings file holds no curve: what loading one shows leaves it.
    qirm::CompositionSettings loaded;
    QVERIFY(qirm::LoadCompositionSettings(
        [&] {
          const std::string path = Path("tone.mrv").toStdString();
          qirm::SaveCompositionSettings(path, qirm::CompositionSettings());
          return path;
        }(),
        loaded));
    Advance->CheckBox3->setChecked(true);
    RGBComp->ShowSettings(loaded);
    QVERIFY(!Advance->CheckBox3->isChecked());
    QVERIFY(Advance->RadioButton3->isChecked());
    QCOMPARE(Advance->Edit5->text(), QStringLiteral("2.2"));
    QCOMPARE(Advance->Captured().Tone, qirm::ToneKind::kGamma);
    QCOMPARE(Advance->Captured().ToneGammaParameter, 2.2);
  }

  void savingAndLoadingRoundTrip() {
    TRGBComp* d = RGBComp;
    const QString red1 = Path("night 1/red frame.fits"), red2 = QStringLiteral("  /far away/r2.fts ");
    d->ListBox1->addItems({red1, red2});
    d->ListBox2->addItem(QStringLiteral("/data/緑 1.fit"));
    d->ListBox3->addItem(QStringLiteral("b.fits"));
    d->ListBox5->addItem(QStringLiteral("flat one.fits"));
    d->RadioButton2->click();
    d->Edit6->setText(QStringLiteral("101"));
    d->Edit7->setText(QStringLiteral("303"));
    d->Edit9->setText(QStringLiteral("202"));
    d->Edit10->setText(QStringLiteral("404"));
    d->Edit8->setText(QStringLiteral("7"));
    d->RadioButton4->click();
    d->Edit12->setText(QStringLiteral("50"));
    d->Edit14->setText(QStringLiteral("12"));
    d->Edit16->setText(QStringLiteral("1.25"));
    d->Edit17->setText(QStringLiteral(".80"));
    d->Edit18->setText(QStringLiteral("2.00"));
    Advance->CheckBox1->setChecked(true);
    Advance->CheckBox7->setChecked(true);
    Advance->Edit3->setText(QStringLiteral("6"));
    QVERIFY(Advance->Capture());

    // Saved under "my set.txt": "my set.mrv" is written.
    WithModal([] { RGBComp->Button16Click(); }, [&](QWidget* m) { ChooseFiles(m, 1, {Path("my set.txt")}); });
    const QString saved = Path("my set.mrv");
    QVERIFY(QFile::exists(saved));
    QVERIFY(!QFile::exists(Path("my set.txt")));
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();
    QVERIFY(bytes.contains("2 Red File(s)\r\n" + red1.toUtf8() + "\r\n  /far away/r2.fts \r\n1 Green"));
    QVERIFY(bytes.contains("WhiteBalance\r\n1 1.25 0.8 2\r\n"));
    QVERIFY(bytes.contains("Anti-Blooming\r\n1 60000 2 6\r\nRotation\r\n1 0 0\r\n"));

    // The dialog changed every way, then loaded.
    d->ListBox1->clear();
    d->ListBox4->addItem(QStringLiteral("stray dark.fits"));
    d->RadioButton3->click();
    d->RadioButton5->click();
    for (QLineEdit* e : {d->Edit6, d->Edit7, d->Edit9, d->Edit10, d->Edit12, d->Edit14})
      e->setText(QStringLiteral("3"));
    d->Edit15->setText(QStringLiteral("3"));
    Advance->CheckBox1->setChecked(false);
    Advance->CheckBox2->setChecked(true);
    Advance->Edit3->setText(QStringLiteral("9"));
    WithModal([] { RGBComp->Button15Click(); }, [&](QWidget* m) { ChooseFiles(m, 1, {saved}); });

    QCOMPARE(Entries(d->ListBox1), QStringList({red1, red2}));
    QCOMPARE(Entries(d->ListBox2), QStringList{QStringLiteral("/data/緑 1.fit")});
    QCOMPARE(d->ListBox1->item(0)->text(), QStringLiteral("red frame.fits"));
    QCOMPARE(d->ListBox1->item(0)->toolTip(), red1);
    QCOMPARE(d->ListBox2->item(0)->text(), QStringLiteral("緑 1.fit"));
    QCOMPARE(d->ListBox4->count(), 0);
    QCOMPARE(Entries(d->ListBox5), QStringList{QStringLiteral("flat one.fits")});
    QCOMPARE(d->Edit1->text() + d->Edit2->text() + d->Edit3->text() + d->Edit4->text() + d->Edit5->text(),
             QStringLiteral("21101"));
    QVERIFY(d->RadioButton2->isChecked());
    QVERIFY(LooksEditable(d->Edit10));
    QVERIFY(d->RadioButton4->isChecked());
    QCOMPARE(d->Edit6->text() + " " + d->Edit9->text() + " " + d->Edit7->text() + " " + d->Edit10->text(),
             QStringLiteral("101 202 303 404"));
    QCOMPARE(d->UpDown4->value(), 404);
    QCOMPARE(d->Edit8->text(), QStringLiteral("7"));
    QCOMPARE(d->Edit12->text() + " " + d->Edit13->text() + " " + d->Edit14->text(),
             QStringLiteral("50 0 12"));
    // Reals in the general format.
    QCOMPARE(d->Edit15->text() + " " + d->Edit16->text() + " " + d->Edit17->text() + " " + d->Edit18->text(),
             QStringLiteral("1 1.25 0.8 2"));
    QCOMPARE(d->UpDown11->value(), 125);
    QCOMPARE(d->UpDown12->value(), 80);
    QVERIFY(Advance->CheckBox1->isChecked());
    QVERIFY(!Advance->CheckBox2->isChecked());
    QVERIFY(Advance->CheckBox7->isChecked());
    QCOMPARE(Advance->Edit3->text(), QStringLiteral("6"));
    QVERIFY(Advance->Captured().Rotate180R);
    QCOMPARE(Advance->Captured().BloomLength, 6);

    // And what the dialog builds from it is what was saved.
    qirm::CompositionSettings built, reread;
    QVERIFY(d->BuildSettings(built));
    QVERIFY(qirm::LoadCompositionSettings(saved.toStdString(), reread));
    QCOMPARE(qirm::CompositionSettingsText(built), qirm::CompositionSettingsText(reread));
  }

  void overwritingAsksFirst() {
    Write("set.mrv", "old");
    QString question;
    WithModal<QMessageBox>(
        [&] {
          WithModal<QFileDialog>([] { RGBComp->Button16Click(); },
                                 [&](QWidget* m) { ChooseFiles(m, 1, {Path("set.mrv")}); });
        },
        [&](QWidget* m) { question = AnswerMessageBox(m, QMessageBox::No); });
    QCOMPARE(question, QStringLiteral("ファイルがすでに存在しています。　上書きしますか？"));
    QFile file(Path("set.mrv"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("old"));
    file.close();
    WithModal<QMessageBox>(
        [&] {
          WithModal<QFileDialog>([] { RGBComp->Button16Click(); },
                                 [&](QWidget* m) { ChooseFiles(m, 1, {Path("set.mrv")}); });
        },
        [&](QWidget* m) { AnswerMessageBox(m, QMessageBox::Yes); });
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().startsWith("MERAVI-2 File Data of RGB composite\r\n0 Red File(s)\r\n"));
  }

  // Loading two-star mode runs the handler only when the mode changes.
  void loadingTwoStarModeEnablesTheEditsOnce() {
    qirm::CompositionSettings s;
    s.StarMode = 2;
    QVERIFY(qirm::SaveCompositionSettings(Path("two.mrv").toStdString(), s));
    RGBComp->RadioButton1->click();
    RGBComp->Edit19->setText(QStringLiteral("2"));
    WithModal([] { RGBComp->Button15Click(); }, [&](QWidget* m) { ChooseFiles(m, 1, {Path("two.mrv")}); });
    QVERIFY(RGBComp->RadioButton2->isChecked());
    QVERIFY(LooksEditable(RGBComp->Edit7));
    QVERIFY(RGBComp->UpDown3->isEnabled());
    QCOMPARE(RGBComp->Edit19->text(), QStringLiteral("1"));
    RGBComp->Edit19->setText(QStringLiteral("2"));
    WithModal([] { RGBComp->Button15Click(); }, [&](QWidget* m) { ChooseFiles(m, 1, {Path("two.mrv")}); });
    QCOMPARE(RGBComp->Edit19->text(), QStringLiteral("2"));
  }

  void brokenFilesLeaveTheDialogAlone() {
    qirm::CompositionSettings s;
    s.RedFiles = {"r.fits"};
    const std::string good = qirm::CompositionSettingsText(s);
    Write("short.mrv", good.substr(0, good.find("WhiteBalance")));
    Write("bad.mrv", good.substr(0, good.find("Position")) + "Position\r\n1 2 x\r\n");
    RGBComp->ListBox3->addItem(QStringLiteral("blue stays.fits"));
    RGBComp->Edit3->setText(QStringLiteral("1"));
    RGBComp->Edit12->setText(QStringLiteral("77"));
    const struct {
      const char* name;
      const char* says;
    } cases[] = {{"short.mrv", "ends before"}, {"bad.mrv", "'x'"}, {"gone.mrv", "cannot open"}};
    for (const auto& c : cases) {
      const QString path = Path(QString::fromLatin1(c.name));
      const bool gone = !QFile::exists(path);
      if (gone) Write(c.name, good);
      QString shown;
      WithModal<QMessageBox>(
          [&] {
            WithModal<QFileDialog>([] { RGBComp->Button15Click(); },
                                   [&](QWidget* m) {
                                     ChooseFiles(m, 1, {path});
                                     // Chosen, then removed before it is read.
                                     if (gone) QFile::remove(path);
                                   });
          },
          [&](QWidget* m) { shown = AnswerMessageBox(m, QMessageBox::Ok); });
      QVERIFY2(shown.contains(QString::fromLatin1(c.name)), qPrintable(shown));
      QVERIFY2(shown.contains(QString::fromLatin1(c.says)), qPrintable(shown));
      QCOMPARE(Entries(RGBComp->ListBox3), QStringList{QStringLiteral("blue stays.fits")});
      QCOMPARE(RGBComp->Edit3->text(), QStringLiteral("1"));
      QCOMPARE(RGBComp->ListBox1->count(), 0);
      QCOMPARE(RGBComp->Edit12->text(), QStringLiteral("77"));
    }
  }

  void okRunsOnAWorkerWhileTheProgramGoesOn() {
    StandIn standIn;
    RGBComp->Compose = standIn.Function();
    FillColourLists();
    MainForm->RGB1Click();
    const int before = WindowCount();

    RGBComp->Button7Click();
    // Back at once: the dialog is closed, the run goes on.
    QVERIFY(!RGBComp->isVisible());
    QVERIFY(RGBComp->Running());
    QVERIFY(!RGBComp->Button7->isEnabled());
    QCOMPARE(WindowCount(), before);
    // The event loop runs meanwhile: progress arrives, timers fire.
    QTRY_COMPARE(MainForm->ProgressBar1->value(), 55);
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);
    QTRY_VERIFY(ticks >= 3);
    QVERIFY(RGBComp->Running());

    // A second composition cannot start.
    QString shown;
    WithModal([] { RGBComp->Button7Click(); },
              [&](QWidget* m) { shown = AnswerMessageBox(m, QMessageBox::Ok); });
    QVERIFY2(shown.contains(QStringLiteral("実行中")), qPrintable(shown));
    QCOMPARE(standIn.calls.load(), 1);

    QSignalSpy finished(RGBComp, &TRGBComp::CompositionFinished);
    standIn.release.set_value();
    QVERIFY(WaitForRun());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QVERIFY(RGBComp->Button7->isEnabled());
    QCOMPARE(WindowCount(), before + 1);
    TChild* result = MainForm->ActiveChild();
    QVERIFY(result);
    QCOMPARE(result->windowTitle(), QStringLiteral("composed 1"));
    QCOMPARE(MainForm->Edit1->text(), QStringLiteral("100.0%"));
    QCOMPARE(MainForm->Edit2->text(), QStringLiteral("255"));
    QCOMPARE(MainForm->Edit3->text(), QStringLiteral("0"));
    QCOMPARE(MainForm->UpDown1->value(), 255);
    QCOMPARE(MainForm->ProgressBar1->value(), 0);
    const QSize client = MainForm->MdiArea->viewport()->size();
    QCOMPARE(result->parentWidget()->size(), QSize(client.width() - 20, client.height() - 100));
    // The lists stay for the next run.
    QCOMPARE(RGBComp->ListBox1->count(), 1);
  }

  void messagesOfTheRunAndItsFailure() {
    {
      StandIn standIn;
      standIn.notice = "Resolution Error !!";
      standIn.release.set_value();
      RGBComp->Compose = standIn.Function();
      FillColourLists();
      QString shown;
      WithModal(
          [&] {
            RGBComp->Button7Click();
            (void)WaitForRun();
          },
          [&](QWidget* m) { shown = AnswerMessageBox(m, QMessageBox::Ok); });
      QCOMPARE(shown, QStringLiteral("Resolution Error !!"));
      QVERIFY(WaitForRun());
      QCOMPARE(WindowCount(), 1);  // the run went on to its result
    }
    {
      StandIn standIn;
      standIn.status = qirm::Status::Error("/x/g.fits: a green frame of 10 x 10, not 64 x 64");
      standIn.release.set_value();
      RGBComp->Compose = standIn.Function();
      QSignalSpy finished(RGBComp, &TRGBComp::CompositionFinished);
      QString shown;
      WithModal(
          [&] {
            RGBComp->Button7Click();
            (void)WaitForRun();
          },
          [&](QWidget* m) { shown = AnswerMessageBox(m, QMessageBox::Ok); });
      QCOMPARE(shown, QStringLiteral("/x/g.fits: a green frame of 10 x 10, not 64 x 64"));
      QCOMPARE(finished.count(), 1);
      QCOMPARE(finished.at(0).at(0).toBool(), false);
      QCOMPARE(WindowCount(), 1);
      QCOMPARE(MainForm->ProgressBar1->value(), 0);
    }
  }

  void okStopsBeforeTheRunOnEmptyListsAndBadFields() {
    StandIn standIn;
    standIn.release.set_value();
    RGBComp->Compose = standIn.Function();
    // An empty blue list: nothing happens, nothing is said.
    RGBComp->ListBox1->addItem(QStringLiteral("r.fits"));
    RGBComp->ListBox2->addItem(QStringLiteral("g.fits"));
    RGBComp->Button7Click();
    QVERIFY(!RGBComp->Running());
    QCOMPARE(standIn.calls.load(), 0);

    RGBComp->ListBox3->addItem(QStringLiteral("b.fits"));
    QString shown;
    WithModal([] { RGBComp->Edit13->setText(QStringLiteral("1 2")); },
              [&](QWidget* m) { AnswerMessageBox(m, QMessageBox::Ok); });
    WithModal([] { RGBComp->Button7Click(); },
              [&](QWidget* m) { shown = AnswerMessageBox(m, QMessageBox::Ok); });
    QCOMPARE(shown, QStringLiteral("'1 2' is not a valid integer value"));
    QVERIFY(!RGBComp->Running());
    QCOMPARE(standIn.calls.load(), 0);

    // The advanced values are captured at OK: a bad one stops it too.
    RGBComp->Edit13->setText(QStringLiteral("0"));
    Advance->Edit2->setText(QStringLiteral("thick"));
    WithModal([] { RGBComp->Button7Click(); },
              [&](QWidget* m) { shown = AnswerMessageBox(m, QMessageBox::Ok); });
    QCOMPARE(shown, QStringLiteral("'thick' is not a valid integer value"));
    QCOMPARE(standIn.calls.load(), 0);
  }

  // The real pipeline from OK: the picture in the new window is the one a
  // run on this thread gives.
  void okComposesFramesIntoAColourWindow() {
    Write("r 1.fits", StarFrame(30, 30));
    Write("r 2.fits", StarFrame(32, 29));
    Write("g.fits", StarFrame(31, 31, 1500));
    Write("b.fits", StarFrame(29, 30, 800));
    qirm::CompositionSettings s;
    s.RedFiles = {Path("r 1.fits").toStdString(), Path("r 2.fits").toStdString()};
    s.GreenFiles = {Path("g.fits").toStdString()};
    s.BlueFiles = {Path("b.fits").toStdString()};
    s.StarMode = 1;
    s.Star1X = 30;
    s.Star1Y = 30;
    s.Delta1 = 5;
    s.Delta2 = 5;
    s.BackgroundX = 12;
    s.BackgroundY = 12;
    qirm::ImageDocument direct;
    const qirm::Status directStatus = qirm::ComposeTricolour(s, {}, direct);
    if (!directStatus)
      QSKIP(qPrintable(QString::fromStdString("the engine cannot compose: " + directStatus.message())));

    QVERIFY(qirm::SaveCompositionSettings(Path("run.mrv").toStdString(), s));
    WithModal([] { RGBComp->Button15Click(); }, [&](QWidget* m) { ChooseFiles(m, 1, {Path("run.mrv")}); });
    std::vector<int> progress;
    connect(MainForm->ProgressBar1, &QProgressBar::valueChanged, [&](int v) { progress.push_back(v); });
    RGBComp->Button7Click();
    QVERIFY(RGBComp->Running());
    QVERIFY(WaitForRun());
    QCOMPARE(WindowCount(), 1);
    const qirm::ImageDocument* doc = MainForm->ActiveChild()->Document();
    QCOMPARE(qirm::KindText(doc->kind), std::string("1"));
    QCOMPARE(std::to_string(*doc->width) + "x" + std::to_string(*doc->height), std::string("64x64"));
    QCOMPARE(qirm::ZoomFactorText(*doc), std::string("1.00"));
    QVERIFY(doc->Image.width() == direct.Image.width() && doc->Image.height() == direct.Image.height());
    bool same = true;
    for (int y = 0; y < doc->Image.height(); ++y) {
      for (int x = 0; x < doc->Image.width(); ++x)
        same = same && doc->Image.Color(x, y) == direct.Image.Color(x, y);
    }
    QVERIFY(same);
    QVERIFY(!progress.empty());
    QCOMPARE(progress.front(), 10);
    QCOMPARE(MainForm->ProgressBar1->value(), 0);

    // A dark frame of another size: the engine's message is shown while the
    // run goes on to its window.
    Write("small dark.fits", Fits16Bytes(32, 32, std::vector<int>(32 * 32, 100)));
    RGBComp->ListBox4->addItem(Path("small dark.fits"));
    QString shown;
    WithModal(
        [&] {
          RGBComp->Button7Click();
          (void)WaitForRun();
        },
        [&](QWidget* m) { shown = AnswerMessageBox(m, QMessageBox::Ok); });
    QCOMPARE(shown, QStringLiteral("Resolution Error !!"));
    QVERIFY(WaitForRun());
    QCOMPARE(WindowCount(), 2);
  }

  // "16ビットの結果を保持": the result window keeps its 16-bit planes, and
  // the save command offers them (16-bit TIFF and PNG) while they still
  // show the window's picture; after a negative it offers 8 bits again.
  void sixteenBitResultIsKeptWhenAskedAndSaved() {
    QCOMPARE(RGBComp->CheckBoxDeep->text(), QStringLiteral("16ビットの結果を保持"));
    QCOMPARE(RGBComp->CheckBoxLinear->text(), QStringLiteral("リニア結果をFITSで保存"));
    QVERIFY(!RGBComp->CheckBoxDeep->isChecked());
    QVERIFY(!RGBComp->CheckBoxLinear->isChecked());
    Write("r.fits", StarFrame(30, 30));
    Write("g.fits", StarFrame(31, 31, 1500));
    Write("b.fits", StarFrame(29, 30, 800));
    FillColourLists();
    RGBComp->Button7Click();
    QVERIFY(WaitForRun());
    QCOMPARE(WindowCount(), 1);
    QVERIFY(MainForm->ActiveChild()->Document()->deep.empty());

    RGBComp->CheckBoxDeep->setChecked(true);
    RGBComp->Button7Click();
    QVERIFY(WaitForRun());
    QCOMPARE(WindowCount(), 2);
    const qirm::ImageDocument* doc = MainForm->ActiveChild()->Document();
    QVERIFY(qirm::DeepShowsPicture(doc->deep, doc->Image));
    for (const std::vector<float>& plane : doc->linear) QVERIFY(plane.empty());

    // The dialog's first entry, and the depth written.
    const auto savedDepth = [&](const QString& name, int entry) {
      QString shown;
      WithModal([] { MainForm->Save1Click(); },
                [&](QWidget* m) {
                  shown = qobject_cast<TypedFileDialog*>(m)->nameFilters().value(0);
                  ChooseFiles(m, entry, {Path(name)});
                });
      int depth = 0;
      qirm::Rgb16Picture read;
      if (name.endsWith(QStringLiteral(".png"))) {
        QFile file(Path(name));
        if (!file.open(QIODevice::ReadOnly)) return std::make_pair(shown, -1);
        const QByteArray bytes = file.readAll();
        read = qirm::test::ReadPngRgb(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), depth);
      } else {
        read = qirm::test::ReadTiffRgb(Path(name).toStdString(), depth);
      }
      if (depth == 16 && !(read == doc->deep)) return std::make_pair(shown, -2);
      return std::make_pair(shown, depth);
    };
    const auto png = savedDepth(QStringLiteral("deep.png"), 1);
    QCOMPARE(png.first, QStringLiteral("PNG 16ビット (*.png)"));
    QCOMPARE(png.second, 16);
    QCOMPARE(savedDepth(QStringLiteral("deep.tif"), 2).second, 16);
    MainForm->N1Click();  // the negative: the planes no longer show the picture
    const auto tiff8 = savedDepth(QStringLiteral("shallow.tif"), 2);
    QCOMPARE(tiff8.first, QStringLiteral("PNG (*.png)"));
    QCOMPARE(tiff8.second, 8);
  }

  // "リニア結果をFITSで保存": OK asks for the file first (cancelled, nothing
  // runs), the cube is written beside the result window, and the window
  // keeps no copy of it.
  void linearResultIsAskedForAndWritten() {
    Write("r.fits", StarFrame(30, 30));
    Write("g.fits", StarFrame(31, 31, 1500));
    Write("b.fits", StarFrame(29, 30, 800));
    FillColourLists();
    RGBComp->CheckBoxLinear->setChecked(true);
    WithModal([] { RGBComp->Button7Click(); }, [](QWidget* m) { qobject_cast<QDialog*>(m)->reject(); });
    QVERIFY(!RGBComp->Running());
    QCOMPARE(WindowCount(), 0);

    WithModal([] { RGBComp->Button7Click(); },
              [&](QWidget* m) {
                auto* dialog = qobject_cast<QFileDialog*>(m);
                QVERIFY(dialog);
                // The offered name, in the current folder.
                QMetaObject::invokeMethod(dialog, "accept");
              });
    QVERIFY(WaitForRun());
    QCOMPARE(WindowCount(), 1);
    const qirm::ImageDocument* doc = MainForm->ActiveChild()->Document();
    for (const std::vector<float>& plane : doc->linear) QVERIFY(plane.empty());
    QFile cube(Path("linear.fits"));
    QVERIFY2(cube.open(QIODevice::ReadOnly),
             qPrintable(QDir(m_dir.path()).entryList().join(QLatin1Char(' '))));
    const QByteArray bytes = cube.readAll();
    QVERIFY(bytes.contains("BITPIX  =                  -32"));
    QVERIFY(bytes.contains("NAXIS3  =                    3"));
    // 64 x 64 x 3 floats after the header, padded to 2880-byte blocks.
    QCOMPARE(bytes.size() % 2880, 0);
    QVERIFY(bytes.size() >= 64 * 64 * 3 * 4 + 2880);
  }

  // "座標取得": two-star mode, then one window per chosen frame.
  void pickingOpensFramesAsWindows() {
    Write("p 1.fits", StarFrame(32, 30));  // off the sampling grid
    Write("p2.fts", StarFrame(20, 40));
    RGBComp->RadioButton1->click();
    RGBComp->Edit19->setText(QStringLiteral("2"));
    MainForm->RGB1Click();
    QVERIFY(QTest::qWaitForWindowActive(RGBComp));
    WithModal([] { RGBComp->Button13Click(); },
              [&](QWidget* m) {
                ChooseFiles(m, 1, {Path("p 1.fits"), Path("p2.fts")});
              });
    QVERIFY(RGBComp->RadioButton2->isChecked());
    QCOMPARE(RGBComp->Edit19->text(), QStringLiteral("1"));
    if (WindowCount() == 0) QSKIP("the engine cannot open frames for picking yet");
    QCOMPARE(WindowCount(), 2);
    QStringList titles;
    for (TChild* c : MainForm->Children()) titles << c->windowTitle();
    QCOMPARE(titles, QStringList({QStringLiteral("p 1.fits"), QStringLiteral("p2.fts")}));
    TChild* last = MainForm->ActiveChild();
    QCOMPARE(qirm::KindText(last->Document()->kind), std::string("2"));
    QCOMPARE(MainForm->Edit1->text(), QStringLiteral("100.0%"));
    QCOMPARE(MainForm->Edit2->text(), QStringLiteral("1000"));
    QCOMPARE(MainForm->Edit3->text(), QStringLiteral("1000"));
    // The frames come in front of the dialog, which stays open but no longer
    // on top, and takes the clicks in them; "RGB合成" puts it back on top.
    QTRY_COMPARE(QApplication::activeWindow(), MainForm);
    QVERIFY(RGBComp->isVisible() && !RGBComp->isModal() && !QApplication::activeModalWidget());
    QVERIFY(!(RGBComp->windowHandle()->flags() & Qt::WindowStaysOnTopHint));
    QVERIFY(!RGBComp->windowHandle()->transientParent());
    QVERIFY(last->isVisible() && last->Image->isVisible());
    // The two stars are then clicked in these windows.
    QTest::mouseClick(last->Image, Qt::LeftButton, {}, QPoint(20, 40));
    QTest::mouseClick(last->Image, Qt::LeftButton, {}, QPoint(30, 30));
    QCOMPARE(RGBComp->Edit6->text() + "," + RGBComp->Edit9->text(), QStringLiteral("20,40"));
    QCOMPARE(RGBComp->Edit7->text() + "," + RGBComp->Edit10->text(), QStringLiteral("30,30"));
    MainForm->RGB1Click();
    QTRY_COMPARE(QApplication::activeWindow(), RGBComp);
    QVERIFY(RGBComp->windowHandle()->flags() & Qt::WindowStaysOnTopHint);

    // An unreadable frame: its error, and no window.
    // (In a folder of its own: the dialog would keep the earlier selection.)
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("broken")));
    Write("broken/bad.fits", "SIMPLE  = T");
    QString shown;
    WithModal<QMessageBox>(
        [&] {
          WithModal<QFileDialog>([] { RGBComp->Button13Click(); },
                                 [&](QWidget* m) { ChooseFiles(m, 1, {Path("broken/bad.fits")}); });
        },
        [&](QWidget* m) { shown = AnswerMessageBox(m, QMessageBox::Ok); });
    QVERIFY2(shown.contains(QStringLiteral("bad.fits")), qPrintable(shown));
    QCOMPARE(WindowCount(), 2);
  }
};

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  TricolourDialogTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "tricolour_dialog_test.moc"
