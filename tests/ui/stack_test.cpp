// SPDX-License-Identifier: GPL-3.0-or-later
// The composite dialog and command, and the spectrum plot window and command,
// through the widgets. The pixel arithmetic is tested on the engine.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/save_image.h"
#include "app/ui/Forms.h"
#include "app/ui/TApplication.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "app/ui/UpDownSpin.h"
#include "display/levels.h"
#include "document/state_texts.h"
#include "stack/ui/TComposite.h"
#include "stack/ui/TSpDraw.h"
#include "tests/support/qt_fixture.h"
#include "tests/support/qt_modal.h"
#include "tests/support/test_files.h"

namespace {

using namespace qirm::test;

qirm::Picture Filled(int w, int h, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
  qirm::Picture p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p.SetColor(x, y, (std::uint32_t{b} << 16) | (std::uint32_t{g} << 8) | r);
  return p;
}

QStringList Items(const QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

void Select(QListWidget* list, const QList<int>& rows) {
  for (int r : rows) list->item(r)->setSelected(true);
}

}  // namespace

class StackTest : public QObject {
  Q_OBJECT

 private:
  TestFolder m_dir;
  QByteArray m_oldHome;

  QString Path(const QString& name) const { return m_dir.filePath(name); }

  void OpenBmp(const QString& name, const qirm::Picture& picture) {
    QVERIFY(qirm::WritePictureFile(Path(name).toStdString(), picture, qirm::PictureFormat::kBmp).ok());
    QVERIFY(MainForm->OpenFile(Path(name), qirm::FileType::Bmp));
  }

  // Runs the composite command; `answer` works the dialog.
  void StackWith(const std::function<void(TComposite*)>& answer) {
    WithModal<TComposite>([] { MainForm->C1Click(); },
                          [&](QWidget* m) { answer(qobject_cast<TComposite*>(m)); });
  }

 private slots:
  void init() {
    QVERIFY(m_dir.Enter());
    // The spectrum data file goes under $HOME: never the real one.
    m_oldHome = qgetenv("HOME");
    qputenv("HOME", m_dir.path().toLocal8Bit());
    ShowFreshForms();
  }
  void cleanup() {
    DestroyForms();
    qputenv("HOME", m_oldHome);
    m_dir.Leave();
  }

  // ------------------------------------------------------------ dialog

  void listButtonsMoveEntriesInOrderAndCount() {
    TComposite* d = Composite;
    d->Prepare({{"a", 0}, {"b", 1}, {"c", 2}, {"d", 3}});
    QCOMPARE(Items(d->ListBox1), QStringList({"a", "b", "c", "d"}));
    QCOMPARE(d->Edit1->text(), QStringLiteral("4"));
    QCOMPARE(d->Edit2->text(), QStringLiteral("0"));

    Select(d->ListBox1, {3, 1});
    d->Button1->click();  // ">>>": in list order, not in the order clicked
    QCOMPARE(Items(d->ListBox1), QStringList({"a", "c"}));
    QCOMPARE(Items(d->ListBox2), QStringList({"b", "d"}));
    QCOMPARE(d->Edit1->text(), QStringLiteral("2"));
    QCOMPARE(d->Edit2->text(), QStringLiteral("2"));

    Select(d->ListBox2, {0});
    d->Button2->click();  // "<<<": to the end of the first list
    QCOMPARE(Items(d->ListBox1), QStringList({"a", "c", "b"}));
    QCOMPARE(Items(d->ListBox2), QStringList({"d"}));

    d->Button5->click();  // select all
    QCOMPARE(Items(d->ListBox2), QStringList({"d", "a", "c", "b"}));
    QCOMPARE(d->Edit1->text(), QStringLiteral("0"));
    QCOMPARE(d->Edit2->text(), QStringLiteral("4"));
    // Each entry still names its own window.
    const qirm::CompositeParams p = d->Params();
    QCOMPARE(p.entries.size(), std::size_t{4});
    QCOMPARE(p.entries[0].caption, std::string("d"));
    QCOMPARE(p.entries[0].window, 3);
    QCOMPARE(p.entries[3].window, 1);

    d->Button6->click();  // remove all
    QCOMPARE(Items(d->ListBox1), QStringList({"d", "a", "c", "b"}));
    QCOMPARE(d->Edit2->text(), QStringLiteral("0"));

    // A new command starts from the open windows again.
    d->Button5->click();
    d->Prepare({{"x", 0}});
    QCOMPARE(Items(d->ListBox1), QStringList({"x"}));
    QCOMPARE(d->ListBox2->count(), 0);
    QCOMPARE(d->Edit2->text(), QStringLiteral("0"));
  }

  void methodsFollowTheRadioButtonsAndTheirLabels() {
    TComposite* d = Composite;
    QVERIFY(d->RadioButton1->isChecked());
    QCOMPARE(d->Params().method, qirm::CompositeMethod::Average);
    QTest::mouseClick(d->Label7, Qt::LeftButton);
    QVERIFY(d->RadioButton5->isChecked());
    QCOMPARE(d->Params().method, qirm::CompositeMethod::Expected);
    d->RadioButton2->setChecked(true);
    QCOMPARE(d->Params().method, qirm::CompositeMethod::Sum);
    QCOMPARE(d->Label5->text(), QStringLiteral(" 最大値"));
    QCOMPARE(d->windowTitle(), QStringLiteral("コンポジット"));
  }

  // ------------------------------------------------------------ command

  void okStacksIntoANewWindow() {
    OpenBmp(QStringLiteral("a.bmp"), Filled(5, 4, 1, 2, 10));
    OpenBmp(QStringLiteral("b.bmp"), Filled(5, 4, 3, 2, 11));
    MainForm->ProgressBar1->setValue(42);
    StackWith([](TComposite* d) {
      QCOMPARE(Items(d->ListBox1), QStringList({"a.bmp", "b.bmp"}));
      QCOMPARE(d->Edit1->text(), QStringLiteral("2"));
      d->Button5->click();
      d->RadioButton1->setChecked(true);
      d->Button3->click();
    });
    QCOMPARE(MainForm->Children().size(), 3);
    TChild* made = MainForm->ActiveChild();
    QVERIFY(made);
    QCOMPARE(made->windowTitle(), QStringLiteral("New"));
    const qirm::ImageDocument* doc = made->Document();
    QCOMPARE(qirm::KindText(doc->kind), std::string("1"));
    QCOMPARE(qirm::EditedText(*doc), std::string("1"));
    QCOMPARE(doc->Image.Color(4, 3), (2u << 16) | (2u << 8) | 10u);  // trunc(21 / 2)
    QCOMPARE(made->Image->image().pixelColor(0, 0).red(), 10);
    QCOMPARE(MainForm->Edit1->text(), QStringLiteral("100.0%"));
    QCOMPARE(MainForm->Edit2->text(), QStringLiteral("255"));
    QCOMPARE(MainForm->ProgressBar1->value(), 0);
  }

  void cancelDoesNothingButTheCloseBoxStacks() {
    OpenBmp(QStringLiteral("a.bmp"), Filled(3, 3, 0, 0, 40));
    OpenBmp(QStringLiteral("b.bmp"), Filled(3, 3, 0, 0, 50));
    StackWith([](TComposite* d) {
      d->Button5->click();
      d->Button4->click();
    });
    QCOMPARE(MainForm->Children().size(), 2);
    QCOMPARE(Composite->Edit2->text(), QStringLiteral("0"));
    // OK with nothing chosen: nothing either.
    StackWith([](TComposite* d) { d->Button3->click(); });
    QCOMPARE(MainForm->Children().size(), 2);
    // The close box keeps the count: maximum of the two.
    StackWith([](TComposite* d) {
      d->RadioButton3->setChecked(true);
      d->Button5->click();
      d->close();
    });
    QCOMPARE(MainForm->Children().size(), 3);
    QCOMPARE(MainForm->ActiveChild()->Document()->Image.Color(1, 1), 50u);
    // Escape is Cancel.
    StackWith([](TComposite* d) {
      d->Button5->click();
      QTest::keyClick(d, Qt::Key_Escape);
    });
    QCOMPARE(MainForm->Children().size(), 3);
  }

  void aSourceOfAnotherSizeIsRefusedWithAMessage() {
    OpenBmp(QStringLiteral("big.bmp"), Filled(6, 4, 0, 0, 1));
    OpenBmp(QStringLiteral("small.bmp"), Filled(5, 4, 0, 0, 1));
    QString shown;
    WithModal<QMessageBox>(
        [&] {
          StackWith([](TComposite* d) {
            d->Button5->click();
            d->Button3->click();
          });
        },
        [&](QWidget* m) { shown = AnswerMessageBox(m, QMessageBox::Ok); });
    QVERIFY2(shown.contains(QStringLiteral("\"small.bmp\" is 5 x 4")), qPrintable(shown));
    QVERIFY2(shown.contains(QStringLiteral("\"big.bmp\" is 6 x 4")), qPrintable(shown));
    QCOMPARE(MainForm->Children().size(), 2);
  }

  void sixteenBitWindowsStackIntoASixteenBitWindow() {
    std::vector<int> a(6 * 4, 1000), b(6 * 4, 3001);
    a[5] = 65535;
    b[5] = 65535;
    for (const auto& [name, raw] : {std::pair{"a.fits", a}, std::pair{"b.fits", b}}) {
      WriteBytes(Path(QString::fromLatin1(name)).toStdString(), Fits16Bytes(6, 4, raw));
      QVERIFY(MainForm->OpenFile(Path(QString::fromLatin1(name)), qirm::FileType::Fits));
    }
    StackWith([](TComposite* d) {
      d->Button5->click();
      d->RadioButton2->setChecked(true);  // sum
      d->Button3->click();
    });
    QCOMPARE(MainForm->Children().size(), 3);
    TChild* made = MainForm->ActiveChild();
    QCOMPARE(made->windowTitle(), QStringLiteral("New"));
    const qirm::ImageDocument* doc = made->Document();
    QCOMPARE(qirm::KindText(doc->kind), std::string("2"));
    QCOMPARE(doc->raw.At(0, 0), 4001);
    QCOMPARE(doc->raw.At(5, 0), 65535);  // saturated
    // The level edits show the new window's levels.
    QCOMPARE(MainForm->Edit2->text(), QString::number(doc->max_level));
    QCOMPARE(MainForm->Edit3->text(), QString::number(doc->min_level));
    QVERIFY(made->Image->image() == ToQImage(doc->Image));
  }

  void sixteenBitAndColourWindowsAreRefusedWithAMessage() {
    WriteBytes(Path(QStringLiteral("a.fits")).toStdString(), Fits16Bytes(5, 4, std::vector<int>(20, 1000)));
    QVERIFY(MainForm->OpenFile(Path(QStringLiteral("a.fits")), qirm::FileType::Fits));
    OpenBmp(QStringLiteral("c.bmp"), Filled(5, 4, 0, 0, 1));
    QString shown;
    WithModal<QMessageBox>(
        [&] {
          StackWith([](TComposite* d) {
            d->Button5->click();
            d->Button3->click();
          });
        },
        [&](QWidget* m) { shown = AnswerMessageBox(m, QMessageBox::Ok); });
    QVERIFY2(shown.startsWith(QStringLiteral("コンポジット: 16ビットの画像「a.fits」とカラー画像「c.bmp」")),
             qPrintable(shown));
    QCOMPARE(MainForm->Children().size(), 2);
  }

  void aWindowClosedMeanwhileIsSkippedWithAMessage() {
    OpenBmp(QStringLiteral("a.bmp"), Filled(2, 2, 0, 0, 20));
    OpenBmp(QStringLiteral("gone.bmp"), Filled(2, 2, 0, 0, 200));
    OpenBmp(QStringLiteral("c.bmp"), Filled(2, 2, 0, 0, 40));
    QString shown;
    WithModal<QMessageBox>(
        [&] {
          StackWith([](TComposite* d) {
            d->Button5->click();
            for (QMdiSubWindow* sub : MainForm->MdiArea->subWindowList())
              if (sub->windowTitle() == QStringLiteral("gone.bmp")) sub->close();
            d->Button3->click();
          });
        },
        [&](QWidget* m) { shown = AnswerMessageBox(m, QMessageBox::Ok); });
    QVERIFY2(shown.contains(QStringLiteral("\"gone.bmp\" is no longer open")), qPrintable(shown));
    QCOMPARE(MainForm->ActiveChild()->windowTitle(), QStringLiteral("New"));
    QCOMPARE(MainForm->ActiveChild()->Document()->Image.Color(0, 0), 30u);
  }

  // ------------------------------------------------------------ spectrum

  void spectrumWritesTheDataFileAndPlots() {
    OpenBmp(QStringLiteral("spec.bmp"), Filled(600, 3, 0, 0, 255));
    MainForm->P3Click();
    QVERIFY(SpDraw->isVisible());
    QCOMPARE(SpDraw->windowTitle(), QStringLiteral("スペクトル"));
    QCOMPARE(SpDraw->Edit1->text(), QStringLiteral("0"));
    QCOMPARE(SpDraw->Edit2->text(), QStringLiteral("600"));
    QCOMPARE(SpDraw->Edit4->text(), QStringLiteral("3"));
    QCOMPARE(SpDraw->UpDown2->value(), 600);
    QCOMPARE(SpDraw->UpDown4->value(), 3);
    QFile data(Path("data/SPN"));
    QVERIFY(data.open(QIODevice::ReadOnly));
    const QByteArray text = data.readAll();
    QVERIFY(text.startsWith("# MERAVI-2 Spectrum Data \n0 255\n1 255\n"));
    QCOMPARE(int(text.count('\n')), 601);
    // Top row red (the profile), left column red (the first segment).
    const QImage shown = SpDraw->Image1->image();
    QCOMPARE(shown.pixelColor(100, 0), QColor(255, 0, 0));
    QCOMPARE(shown.pixelColor(0, 200), QColor(255, 0, 0));
    QCOMPARE(shown.pixelColor(100, 200), QColor(255, 255, 255));
  }

  void spectrumWithoutAWindowDrawsOnlyTheFrame() {
    MainForm->P3Click();
    QVERIFY(SpDraw->isVisible());
    const QImage shown = SpDraw->Image1->image();
    QCOMPARE(shown.pixelColor(0, 0), QColor(0, 0, 0));
    QCOMPARE(shown.pixelColor(qirm::kPlotWidth - 1, qirm::kPlotHeight - 1), QColor(0, 0, 0));
    QCOMPARE(shown.pixelColor(5, 5), QColor(255, 255, 255));
    QVERIFY(!QFile::exists(Path("data/SPN")));
    QCOMPARE(SpDraw->Edit2->text(), QStringLiteral("0"));
  }

  void unwritableDataFileShowsOneMessageAndStillPlots() {
    QFile blocker(Path("data"));  // a file where the folder should be
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    OpenBmp(QStringLiteral("spec.bmp"), Filled(50, 2, 0, 0, 128));
    int boxes = 0;
    QString shown;
    WithModal<QMessageBox>([] { MainForm->P3Click(); },
                           [&](QWidget* m) {
                             ++boxes;
                             shown = AnswerMessageBox(m, QMessageBox::Ok);
                           });
    QCOMPARE(boxes, 1);
    QVERIFY2(shown.contains(QStringLiteral("data")), qPrintable(shown));
    // mean 128: py = trunc((1 - 128 / 255) * 393) = 195.
    QCOMPARE(SpDraw->Image1->image().pixelColor(250, 195), QColor(255, 0, 0));
  }

  void rangeEditsAndSpinsFollowEachOther() {
    SpDraw->show();
    SpDraw->UpDown2->stepBy(5);
    QCOMPARE(SpDraw->Edit2->text(), QStringLiteral("5"));
    SpDraw->Edit3->setText(QStringLiteral("9000"));
    QCOMPARE(SpDraw->UpDown3->value(), qirm::kSpectrumSpinMax);
    QString shown;
    WithModal<QMessageBox>([] { SpDraw->Edit1->setText(QString()); },
                           [&](QWidget* m) { shown = AnswerMessageBox(m, QMessageBox::Ok); });
    QCOMPARE(shown, QStringLiteral("'' is not a valid integer value"));
  }
};

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  StackTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "stack_test.moc"
