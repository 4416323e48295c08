// SPDX-License-Identifier: GPL-3.0-or-later
// The header view: the active FITS window's cards, the filter, copying, and
// following the active window; the sky position under the cursor; the
// view's origin at the bottom.
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <string>
#include <vector>

#include "app/open_image.h"
#include "app/ui/TApplication.h"
#include "app/ui/TChild.h"
#include "app/ui/THeaderView.h"
#include "app/ui/TMainForm.h"
#include "tests/support/test_files.h"

namespace {

// A 2 x 1 frame with an object name and a comment card.
std::string FrameWithObject(const std::string& object) {
  std::string bytes = qirm::test::Fits16Bytes(2, 1, {1, 2});
  bytes.replace(6 * 80, 3 * 80,
                qirm::test::Card("OBJECT  = '" + object + "'") + qirm::test::Card("COMMENT   seen at dusk") +
                    qirm::test::Card("END"));
  return bytes;
}

using qirm::test::TanFrame;

QStringList Shown(const THeaderView* view) {
  QStringList lines;
  for (int i = 0; i < view->Cards->count(); ++i) lines << view->Cards->item(i)->text();
  return lines;
}

}  // namespace

class HeaderViewTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> m_dir;
  std::unique_ptr<TMainForm> m_form;

  QString Write(const QString& name, const std::string& bytes) {
    const QString path = m_dir->filePath(name);
    qirm::test::WriteBytes(path.toStdString(), bytes);
    return path;
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
  }

  void listsFiltersAndCopiesTheCards() {
    QVERIFY(
        m_form->OpenFile(Write(QStringLiteral("m13.fits"), FrameWithObject("M 13")), qirm::FileType::Fits));
    m_form->FitsHeader1->trigger();
    THeaderView* view = m_form->HeaderView;
    QVERIFY(view && view->isVisible());
    QCOMPARE(view->windowTitle(), QStringLiteral("FITSヘッダー - m13.fits"));
    const QStringList all = {QStringLiteral("SIMPLE  =                    T"),
                             QStringLiteral("BITPIX  =                   16"),
                             QStringLiteral("NAXIS   =                    2"),
                             QStringLiteral("NAXIS1  =                    2"),
                             QStringLiteral("NAXIS2  =                    1"),
                             QStringLiteral("BZERO   =                32768"),
                             QStringLiteral("OBJECT  = 'M 13'"),
                             QStringLiteral("COMMENT   seen at dusk")};
    QCOMPARE(Shown(view), all);
    QCOMPARE(view->Note->text(), QStringLiteral("8 / 8 行"));

    // The filter ignores case and matches anywhere in the card.
    QTest::keyClicks(view->Filter, QStringLiteral("naxis"));
    QCOMPARE(Shown(view), all.mid(2, 3));
    QCOMPARE(view->Note->text(), QStringLiteral("3 / 8 行"));
    view->Filter->setText(QStringLiteral("DUSK"));
    QCOMPARE(Shown(view), QStringList{all[7]});
    view->Filter->setText(QStringLiteral("no such text"));
    QCOMPARE(view->Cards->count(), 0);
    QVERIFY(!view->CopyButton->isEnabled());
    view->Filter->clear();

    // Nothing selected: the button copies every shown line.
    QApplication::clipboard()->clear();
    QTest::mouseClick(view->CopyButton, Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(), all.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    // Ctrl+C copies the selected lines in the header's order.
    view->Cards->item(6)->setSelected(true);
    view->Cards->item(1)->setSelected(true);
    view->Cards->setFocus();
    QApplication::clipboard()->clear();
    QTest::keySequence(view->Cards, QKeySequence::Copy);
    QCOMPARE(QApplication::clipboard()->text(), all[1] + QLatin1Char('\n') + all[6] + QLatin1Char('\n'));
  }

  // The view follows the active window; a window without a FITS header says
  // so, and closing every window leaves nothing shown.
  void followsTheActiveWindow() {
    QVERIFY(m_form->OpenFile(Write(QStringLiteral("a.fits"), FrameWithObject("A")), qirm::FileType::Fits));
    QVERIFY(m_form->OpenFile(Write(QStringLiteral("b.ppm"), qirm::test::Ppm6Bytes(1, 1, {1, 2, 3})),
                             qirm::FileType::Netpbm));
    m_form->FitsHeader1->trigger();
    THeaderView* view = m_form->HeaderView;
    QCOMPARE(view->Cards->count(), 0);
    QCOMPARE(view->Note->text(), QStringLiteral("アクティブなウィンドウにFITSヘッダーはありません"));

    QMdiSubWindow* first = m_form->MdiArea->subWindowList().first();
    m_form->MdiArea->setActiveSubWindow(first);
    QTRY_COMPARE(view->Cards->count(), 8);
    QVERIFY(Shown(view).contains(QStringLiteral("OBJECT  = 'A'")));

    m_form->MdiArea->closeAllSubWindows();
    QTRY_COMPARE(m_form->MdiArea->subWindowList().size(), 0);
    QTRY_COMPARE(view->Cards->count(), 0);
  }

  // The panel shows the sky position of the pixel the readout reads, none
  // without a WCS; a mirrored picture's header follows its pixels.
  void skyPositionUnderTheCursor() {
    QVERIFY(m_form->OpenFile(Write(QStringLiteral("tan.fits"), TanFrame()), qirm::FileType::Fits));
    TChild* child = m_form->ActiveChild();
    child->ImageMouseMove(0, 10);
    const QString sky = QString::fromStdString("α 00h40m00.00s  δ +20°00'10.0\"  (10.000000°, +20.002778°)");
    QCOMPARE(m_form->SkyLabel->text(), sky);
    m_form->M1->trigger();  // mirror
    child->ImageMouseMove(0, 10);
    QVERIFY(m_form->SkyLabel->text() != sky);
    child->ImageMouseMove(39, 10);
    QCOMPARE(m_form->SkyLabel->text(), sky);
    QVERIFY(
        m_form->OpenFile(Write(QStringLiteral("plain.fits"), FrameWithObject("B")), qirm::FileType::Fits));
    m_form->ActiveChild()->ImageMouseMove(0, 0);
    QCOMPARE(m_form->SkyLabel->text(), QString());
  }

  // "原点を左下に" turns the drawing over and nothing else: the picture's
  // rows stay, and the mouse reads the pixel drawn under it.
  void originAtBottomFlipsOnlyTheDrawing() {
    // 1 x 2: red on top of blue in the file.
    const std::string ppm = qirm::test::Ppm6Bytes(1, 2, {255, 0, 0, 0, 0, 255});
    QVERIFY(m_form->OpenFile(Write(QStringLiteral("a.ppm"), ppm), qirm::FileType::Netpbm));
    TChild* child = m_form->ActiveChild();
    const qirm::Picture before = child->Document()->Image;
    QCOMPARE(child->Image->grab().toImage().pixelColor(0, 0), QColor(255, 0, 0));

    m_form->OriginBottom1->trigger();
    QVERIFY(child->Image->OriginBottom());
    const QImage shown = child->Image->grab().toImage();
    QCOMPARE(shown.pixelColor(0, 0), QColor(0, 0, 255));
    QCOMPARE(shown.pixelColor(0, 1), QColor(255, 0, 0));
    QVERIFY(child->Document()->Image == before);
    QMouseEvent move(QEvent::MouseMove, QPointF(0, 0), QPointF(0, 0), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(child->Image, &move);
    QCOMPARE(m_form->Label2->text(), QStringLiteral("R=0  G=0  B=255   (0,1)"));

    // Windows opened meanwhile follow the option; unchecking turns all back.
    QVERIFY(m_form->OpenFile(Write(QStringLiteral("b.ppm"), ppm), qirm::FileType::Netpbm));
    QVERIFY(m_form->ActiveChild()->Image->OriginBottom());
    m_form->OriginBottom1->trigger();
    for (TChild* c : m_form->Children()) QVERIFY(!c->Image->OriginBottom());
    QCOMPARE(child->Image->grab().toImage().pixelColor(0, 0), QColor(255, 0, 0));
  }

  void realFrame() {
    const QString frame = QStringLiteral(QIRM_DATA_DIR "/fixtures/kpno_m51_B_dev_pix.fits");
    if (!QFile::exists(frame)) QSKIP("no shared data");
    QVERIFY(m_form->OpenFile(frame, qirm::FileType::Fits));
    m_form->FitsHeader1->trigger();
    // 72 cards read, the last ones after END are padding.
    const QStringList lines = Shown(m_form->HeaderView);
    QVERIFY(lines.size() > 36 && lines.size() < 72);
    QVERIFY(lines.first().startsWith(QStringLiteral("SIMPLE  =                    T")));
    for (const QString& line : lines) QVERIFY(!line.endsWith(QLatin1Char(' ')));
  }
};

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  HeaderViewTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "header_view_test.moc"
