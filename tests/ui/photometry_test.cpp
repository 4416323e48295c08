// SPDX-License-Identifier: GPL-3.0-or-later
// The photometry dialogs: a click in an image window measures the star there
// as qirm-cli does, rows accumulate in the results window (copied and saved
// as CSV) and the star is marked; a drag measures a trail and plots it; a
// refused value shows its Japanese box and measures nothing.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <memory>
#include <numbers>

#include "app/ui/ImageTool.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "app/ui/ToolWindow.h"
#include "photometry/star_photometry.h"
#include "photometry/ui/TPhotometryTable.h"
#include "photometry/ui/TStarPhotometry.h"
#include "photometry/ui/TTrailPhotometry.h"
#include "photometry/ui/TTrailPlot.h"
#include "tests/support/qt_modal.h"
#include "tests/support/test_files.h"

namespace {

// 80 x 60, sky 500, a star of total 30000 (sigma 1.5) at (30.3, 25.6), a
// trail of 150 a pixel of length along y = 50 from x = 10 to 70, and
// DATE-OBS in the header.
std::string Frame() {
  std::vector<int> raw(80 * 60);
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 80; ++x) {
      const double r2 = (x - 30.3) * (x - 30.3) + (y - 25.6) * (y - 25.6);
      double v = 500 + 30000 / (2 * std::numbers::pi * 2.25) * std::exp(-0.5 * r2 / 2.25);
      if (x >= 10 && x < 70)
        v += 150 / std::sqrt(2 * std::numbers::pi) * std::exp(-0.5 * (y - 50) * (y - 50));
      raw[y * 80 + x] = static_cast<int>(std::lround(v));
    }
  }
  std::string bytes = qirm::test::Fits16Bytes(80, 60, raw);
  bytes.replace(6 * 80, 2 * 80,
                qirm::test::Card("DATE-OBS= '2026-12-10T03:04:05'") + qirm::test::Card("END"));
  return bytes;
}

}  // namespace

class PhotometryDialogTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> m_dir;
  std::unique_ptr<TMainForm> m_form;

  TChild* OpenFrame() {
    const QString path = m_dir->filePath(QStringLiteral("star.fits"));
    qirm::test::WriteBytes(path.toStdString(), Frame());
    if (!m_form->OpenFile(path, qirm::FileType::Fits)) return nullptr;
    return m_form->ActiveChild();
  }

 private slots:
  void init() {
    m_dir = std::make_unique<QTemporaryDir>();
    m_form = std::make_unique<TMainForm>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
  }
  void cleanup() {
    m_form.reset();
    m_dir.reset();
    QCOMPARE(CurrentImageTool(), nullptr);
  }

  void aClickMeasuresTheStarAsTheCommandLineDoes() {
    TChild* child = OpenFrame();
    QVERIFY(child);
    m_form->S1->trigger();
    TStarPhotometry* dialog = m_form->StarPhotometry;
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(CurrentImageTool(), static_cast<ImageTool*>(dialog));
    dialog->ApertureEdit->setText(QStringLiteral("7"));

    // A click two pixels off the star, through the window's own handler.
    child->ImageMouseDown(Qt::LeftButton, 32, 24);
    TPhotometryTable* table = dialog->Results;
    QVERIFY(table->isVisible());
    QCOMPARE(table->RowCount(), 1);
    QCOMPARE(table->Table->item(0, 0)->text(), QStringLiteral("star.fits"));
    QCOMPARE(table->Table->item(0, 1)->text(), QStringLiteral("2026-12-10T03:04:05"));
    QCOMPARE(table->Table->item(0, 3)->text(), QString());  // a 16-bit window has one plane
    QCOMPARE(table->Table->item(0, 4)->text(), QStringLiteral("30.300"));
    QCOMPARE(table->Table->item(0, 5)->text(), QStringLiteral("25.600"));
    // The same texts as the engine gives for the same click, values and window.
    qirm::StarPhotometryParams params;
    params.aperture = 7;
    qirm::StarMeasurement m;
    QVERIFY(qirm::MeasureStarInWindow(*child->Document(), qirm::PhotometryChannel::kGreen, 32, 24, params, m)
                .ok());
    const std::vector<std::string> texts = qirm::StarValueTexts(m);
    for (int c = 0; c < static_cast<int>(texts.size()); ++c)
      QCOMPARE(table->Table->item(0, 4 + c)->text(), QString::fromStdString(texts[c]));
    QCOMPARE(dialog->XEdit->text(), QStringLiteral("30.300"));
    QVERIFY(dialog->NoiseLabel->text().contains(QStringLiteral("入力値")));

    // Aperture and both annulus circles about the centroid.
    const std::vector<OverlayMark>& marks = child->Image->Overlay();
    QCOMPARE(marks.size(), std::size_t{3});
    QCOMPARE(marks[0].radius, 7.0);
    QCOMPARE(marks[1].radius, 10.0);
    QCOMPARE(marks[2].radius, 15.0);
    QVERIFY(std::fabs(marks[0].a.x() - 30.3) < 1e-3);

    // Typed X, Y measure in the active window; rows accumulate.
    dialog->XEdit->setText(QStringLiteral("29"));
    dialog->YEdit->setText(QStringLiteral("26"));
    QTest::mouseClick(dialog->MeasureButton, Qt::LeftButton);
    QCOMPARE(table->RowCount(), 2);
    QCOMPARE(child->Image->Overlay().size(), std::size_t{6});

    // Copy: headings and every row as CSV; the saved file holds the same.
    QApplication::clipboard()->clear();
    QTest::mouseClick(table->CopyButton, Qt::LeftButton);
    const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    // The command line's columns first, under its names and in its order.
    QCOMPARE(lines[0],
             QStringLiteral("X,Y,FLUX,FLUX_ERR,SKY,SKY_SIGMA,SNR,MAG,MAG_ERR,PEAK,FWHM_GAUSS,FWHM_MOFFAT,"
                            "MOFFAT_BETA,ELLIPTICITY,THETA,FILE,DATE-OBS,MEASURED_AT,CHANNEL"));
    QCOMPARE(lines[1].section(QLatin1Char(','), 0, 14),
             QString::fromStdString(qirm::CsvLine(qirm::StarValueTexts(m))));
    QVERIFY(
        lines[1].section(QLatin1Char(','), 15).startsWith(QStringLiteral("star.fits,2026-12-10T03:04:05,")));
    QString error;
    const QString csv = m_dir->filePath(QStringLiteral("stars.csv"));
    QVERIFY(table->SaveCsv(csv, error));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()), lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));

    // The levels redraw the picture and keep the marks; a command that moves
    // the pixels takes them away, and the rows stay.
    m_form->Button3->click();
    QCOMPARE(child->Image->Overlay().size(), std::size_t{6});
    m_form->M1->trigger();
    QVERIFY(child->Image->Overlay().empty());
    QCOMPARE(table->RowCount(), 2);
    child->ImageMouseDown(Qt::LeftButton, 48, 24);  // the star, mirrored
    QCOMPARE(table->RowCount(), 3);
    QCOMPARE(table->Table->item(2, 4)->text(), QStringLiteral("48.700"));

    // Clearing the table takes the marks away too.
    QVERIFY(!child->Image->Overlay().empty());
    QTest::mouseClick(table->ClearButton, Qt::LeftButton);
    QCOMPARE(table->RowCount(), 0);
    QVERIFY(child->Image->Overlay().empty());

    // Closing the dialog gives the clicks back to the windows alone.
    dialog->close();
    QCOMPARE(CurrentImageTool(), nullptr);
    child->ImageMouseDown(Qt::LeftButton, 32, 24);
    QCOMPARE(table->RowCount(), 0);
  }

  // A colour window is measured in the chosen channel, named in the row.
  // Without a window there is nothing to measure: both items are disabled
  // and say why. The results are a tool window of the main window (it stays
  // above it), placed beside it.
  void photometryNeedsAWindowAndItsResultsStayWithTheMainWindow() {
    for (QAction* item : {m_form->S1, m_form->R2}) {
      QVERIFY(!item->isEnabled());
      QCOMPARE(item->toolTip(), QString::fromUtf8(qirm::kNoWindowRefusal));
    }
    TChild* child = OpenFrame();
    QVERIFY(child && m_form->S1->isEnabled() && m_form->R2->isEnabled());
    m_form->S1->trigger();
    child->ImageMouseDown(Qt::LeftButton, 32, 24);
    TPhotometryTable* table = m_form->StarPhotometry->Results;
    QVERIFY(table->isVisible());
    QCOMPARE(table->windowType(), Qt::Tool);
    QCOMPARE(table->parentWidget(), static_cast<QWidget*>(m_form.get()));
    QCOMPARE(m_form->TrailPhotometry, nullptr);
    m_form->R2->trigger();
    QCOMPARE(m_form->TrailPhotometry->PlotWindow->windowType(), Qt::Tool);
  }

  // The place of a result window: right of the main window where the screen
  // has room, else left, else below, else over its lower right part.
  void resultWindowsOpenBesideTheMainWindow() {
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget owner;
    owner.setGeometry(room.left() + room.width() / 3, room.top() + 10, room.width() / 4, room.height() / 4);
    QWidget window;
    window.resize(room.width() / 5, room.height() / 5);
    PlaceBeside(&window, &owner);
    QCOMPARE(window.pos(), QPoint(owner.frameGeometry().right() + 1, owner.frameGeometry().top()));
    window.resize(room.width() / 2, room.height() / 5);  // too wide for either side
    PlaceBeside(&window, &owner);
    QCOMPARE(window.pos(), QPoint(owner.frameGeometry().left(), owner.frameGeometry().bottom() + 1));
    window.resize(room.size());  // fits nowhere: on the screen all the same
    PlaceBeside(&window, &owner);
    QVERIFY(room.contains(window.pos()));
  }

  void colourWindowsAreMeasuredInTheChosenChannel() {
    std::vector<unsigned char> rgb(40 * 40 * 3, 0);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x) {
        const double star = 200 * std::exp(-0.5 * ((x - 20.0) * (x - 20.0) + (y - 18.0) * (y - 18.0)) / 2.0);
        unsigned char* p = &rgb[(y * 40 + x) * 3];
        p[0] = static_cast<unsigned char>(std::lround(10 + star));      // red: the star
        p[1] = static_cast<unsigned char>(std::lround(10 + star / 4));  // green: a quarter of it
        p[2] = 10;                                                      // blue: nothing
      }
    const QString path = m_dir->filePath(QStringLiteral("colour.ppm"));
    qirm::test::WriteBytes(path.toStdString(), qirm::test::Ppm6Bytes(40, 40, rgb));
    QVERIFY(m_form->OpenFile(path, qirm::FileType::Netpbm));
    TChild* child = m_form->ActiveChild();
    m_form->S1->trigger();
    TStarPhotometry* dialog = m_form->StarPhotometry;
    dialog->ChannelBox->setCurrentIndex(0);
    child->ImageMouseDown(Qt::LeftButton, 20, 18);
    dialog->ChannelBox->setCurrentIndex(1);
    child->ImageMouseDown(Qt::LeftButton, 20, 18);
    QTableWidget* table = dialog->Results->Table;
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(0, 3)->text(), QStringLiteral("R"));
    QCOMPARE(table->item(1, 3)->text(), QStringLiteral("G"));
    const double red = table->item(0, 6)->text().toDouble();
    const double green = table->item(1, 6)->text().toDouble();
    QVERIFY(std::fabs(red / green - 4) < 0.1);
  }

  void refusedValuesShowAJapaneseBoxAndMeasureNothing() {
    TChild* child = OpenFrame();
    QVERIFY(child);
    m_form->S1->trigger();
    TStarPhotometry* dialog = m_form->StarPhotometry;
    dialog->InnerEdit->setText(QStringLiteral("3"));
    QString text;
    qirm::test::WithModal<QMessageBox>([&] { child->ImageMouseDown(Qt::LeftButton, 30, 25); },
                                       [&](QWidget* box) {
                                         text = static_cast<QMessageBox*>(box)->text();
                                         static_cast<QMessageBox*>(box)->accept();
                                       });
    QCOMPARE(text, QStringLiteral("背景の内径は開口半径以上にしてください"));
    dialog->InnerEdit->setText(QStringLiteral("abc"));
    qirm::test::WithModal<QMessageBox>([&] { child->ImageMouseDown(Qt::LeftButton, 30, 25); },
                                       [&](QWidget* box) {
                                         text = static_cast<QMessageBox*>(box)->text();
                                         static_cast<QMessageBox*>(box)->accept();
                                       });
    QCOMPARE(text, QStringLiteral("背景の内径「abc」は数値ではありません"));
    QCOMPARE(dialog->Results->RowCount(), 0);
    QVERIFY(child->Image->Overlay().empty());
  }

  void aDragMeasuresTheTrailAndPlotsItsProfile() {
    TChild* child = OpenFrame();
    QVERIFY(child);
    m_form->R2->trigger();
    TTrailPhotometry* dialog = m_form->TrailPhotometry;
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(CurrentImageTool(), static_cast<ImageTool*>(dialog));
    // Press at one end, drag (the band follows), release at the other.
    child->ImageMouseDown(Qt::LeftButton, 15, 50);
    child->ImageMouseMove(40, 50, Qt::LeftButton);
    QCOMPARE(child->Image->Overlay().size(), std::size_t{4});
    QVERIFY(!dialog->PlotWindow->isVisible());
    child->ImageMouseMove(65, 50, Qt::LeftButton);
    child->ImageMouseUp(Qt::LeftButton, 65, 50);
    TTrailPlot* plot = dialog->PlotWindow;
    QVERIFY(plot->isVisible());
    QCOMPARE(dialog->X1Edit->text(), QStringLiteral("15.0"));
    QCOMPARE(dialog->X2Edit->text(), QStringLiteral("65.0"));
    QCOMPARE(child->Image->Overlay().size(), std::size_t{4});
    // The profile file as qirm-cli writes it for the same ends and values.
    qirm::TrailMeasurement m;
    QVERIFY(
        qirm::MeasureTrailInWindow(*child->Document(), qirm::PhotometryChannel::kGreen, 15, 50, 65, 50, {}, m)
            .ok());
    QCOMPARE(plot->ProfileText(),
             QString::fromStdString(qirm::TrailProfileText(m, "star.fits", 15, 50, 65, 50, {})));
    QVERIFY(std::fabs(m.flux / m.length - 150) < 3);
    QVERIFY(plot->Summary->text().startsWith(QStringLiteral("長さ 50.0 ピクセル")));
    QString error;
    const QString path = m_dir->filePath(QStringLiteral("trail.txt"));
    QVERIFY(plot->SaveProfile(path, error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()), plot->ProfileText());

    // A click without a drag measures nothing; the star dialog takes over
    // the clicks when chosen.
    plot->hide();
    child->ImageMouseDown(Qt::LeftButton, 20, 20);
    child->ImageMouseUp(Qt::LeftButton, 20, 20);
    QVERIFY(!plot->isVisible());
    m_form->S1->trigger();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(CurrentImageTool(), static_cast<ImageTool*>(m_form->StarPhotometry));
  }
};

QTEST_MAIN(PhotometryDialogTest)
#include "photometry_test.moc"
