// The zoom habits of the image windows: the wheel about the cursor, the
// keys, buttons and menu items about the view's centre, fit to window, 100 %
// and the zoom box; and the desktop habits of the main window's windows.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>
#include <memory>

#include "app/ui/Forms.h"
#include "app/ui/TApplication.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "document/state_texts.h"
#include "tests/support/test_files.h"

namespace {

double ZoomOf(TChild* child) { return child->Document()->zoom.value_or(0); }

// A wheel turned by `notches` (positive: away from the user) at `pos` of the
// window's viewport.
void Wheel(TChild* child, QPointF pos, int notches, Qt::KeyboardModifiers modifiers) {
  QWidget* viewport = child->Scroll->viewport();
  QWheelEvent event(pos, viewport->mapToGlobal(pos), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                    modifiers, Qt::NoScrollPhase, false);
  QApplication::sendEvent(viewport, &event);
}

}  // namespace

class ZoomAndWindowsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> m_dir;
  QString m_oldDir;

  QString Path(const QString& name) const { return m_dir->filePath(name); }
  // A frame of w x h whose value tells the pixel: 1000 + x + 3 y.
  QString Frame(const QString& name, int w, int h) {
    std::vector<int> raw(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) raw[static_cast<std::size_t>(y) * w + x] = 1000 + x + 3 * y;
    qirm::test::WriteBytes(Path(name).toStdString(), qirm::test::Fits16Bytes(w, h, raw));
    return Path(name);
  }
  TChild* OpenFrame(int w, int h) {
    MainForm->OpenFiles({Frame(QStringLiteral("f.fits"), w, h)});
    return MainForm->ActiveChild();
  }

 private slots:
  void init() {
    m_oldDir = QDir::currentPath();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    CreateForms();
    MainForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(MainForm));
  }
  void cleanup() {
    DestroyForms();
    QDir::setCurrent(m_oldDir);
    m_dir.reset();
  }

  // Ctrl+wheel zooms about the cursor: the image pixel under it stays under
  // it, in and out, as far as the picture can scroll.
  void ctrlWheelKeepsThePixelUnderTheCursor() {
    TChild* child = OpenFrame(600, 500);
    QVERIFY(child);
    const QPointF at(150, 120);
    const QPointF before = child->ImagePointAt(at);
    Wheel(child, at, 1, Qt::ControlModifier);
    QCOMPARE(ZoomOf(child), 2.0);
    QCOMPARE(MainForm->Edit1->text(), QStringLiteral("200.0%"));
    QCOMPARE(QString::fromStdString(qirm::ZoomFactorText(*child->Document())), QStringLiteral("2"));
    QPointF after = child->ImagePointAt(at);
    QVERIFY2(std::abs(after.x() - before.x()) < 1 && std::abs(after.y() - before.y()) < 1,
             qPrintable(QStringLiteral("%1,%2").arg(after.x()).arg(after.y())));
    Wheel(child, at, 1, Qt::ControlModifier);
    QCOMPARE(ZoomOf(child), 4.0);
    after = child->ImagePointAt(at);
    QVERIFY(std::abs(after.x() - before.x()) < 1 && std::abs(after.y() - before.y()) < 1);
    // The readout under the cursor names the same pixel as before.
    const QPoint onImage = child->Image->mapFrom(child->Scroll->viewport(), at.toPoint());
    child->ImageMouseMove(onImage.x(), onImage.y());
    const int x = static_cast<int>(before.x()), y = static_cast<int>(before.y());
    QCOMPARE(MainForm->Label2->text(),
             QStringLiteral("Intensity = %1   (%2,%3)").arg(1000 + x + 3 * y).arg(x).arg(y));
    Wheel(child, at, -2, Qt::ControlModifier);
    QCOMPARE(ZoomOf(child), 1.0);
  }

  // The plain wheel scrolls a picture that can scroll and zooms one that
  // cannot; half notches add up.
  void plainWheelZoomsOnlyWhereNothingScrolls() {
    TChild* big = OpenFrame(2000, 2000);
    Wheel(big, QPointF(50, 50), -1, Qt::NoModifier);
    QCOMPARE(ZoomOf(big), 1.0);

    MainForm->OpenFiles({Frame(QStringLiteral("small.fits"), 40, 30)});
    TChild* small = MainForm->ActiveChild();
    QVERIFY(small != big);
    Wheel(small, QPointF(10, 10), 1, Qt::NoModifier);
    QCOMPARE(ZoomOf(small), 2.0);
    QWidget* viewport = small->Scroll->viewport();
    for (int i = 0; i < 2; ++i) {
      QWheelEvent half(QPointF(5, 5), viewport->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -60),
                       Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(viewport, &half);
      QCOMPARE(ZoomOf(small), i == 0 ? 2.0 : 1.0);
    }
  }

  // "+" and "-" (keys, buttons, menu) zoom about the centre of the view.
  void keysAndButtonsZoomAboutTheCentre() {
    TChild* child = OpenFrame(1500, 1200);
    child->Scroll->horizontalScrollBar()->setValue(300);
    child->Scroll->verticalScrollBar()->setValue(200);
    const QPointF centre = child->ImagePointAt(child->ViewCentre());
    QTest::keyClick(MainForm, Qt::Key_Plus);
    QCOMPARE(ZoomOf(child), 2.0);
    QPointF now = child->ImagePointAt(child->ViewCentre());
    QVERIFY2(std::abs(now.x() - centre.x()) < 1 && std::abs(now.y() - centre.y()) < 1,
             qPrintable(
                 QStringLiteral("%1,%2 vs %3,%4").arg(now.x()).arg(now.y()).arg(centre.x()).arg(centre.y())));
    QTest::keyClick(MainForm, Qt::Key_Minus);
    QCOMPARE(ZoomOf(child), 1.0);
    QTest::keyClick(MainForm, Qt::Key_Equal, Qt::ControlModifier);
    QCOMPARE(ZoomOf(child), 2.0);
    QTest::keyClick(MainForm, Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(ZoomOf(child), 1.0);
    MainForm->ZoomOut1->trigger();
    QCOMPARE(ZoomOf(child), 0.5);
    QCOMPARE(MainForm->Edit1->text(), QStringLiteral("50.0%"));
    QTest::keyClick(MainForm, Qt::Key_1, Qt::ControlModifier);  // 100 %
    QCOMPARE(ZoomOf(child), 1.0);
    QCOMPARE(MainForm->Edit1->text(), QStringLiteral("100.0%"));
  }

  // Fit to window: the largest power of two at which the whole picture shows
  // in the window as it stands.
  void fitToWindow() {
    TChild* child = OpenFrame(1000, 800);
    auto* sub = qobject_cast<QMdiSubWindow*>(child->parentWidget());
    sub->resize(sub->size() - child->size() + QSize(300, 250));
    QTest::keyClick(MainForm, Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(ZoomOf(child), 0.25);  // 250 x 200; 0.5 would be 500 x 400
    QCOMPARE(MainForm->Edit1->text(), QStringLiteral("25.0%"));
    QCOMPARE(child->size(), QSize(300, 250));
    QCOMPARE(child->Scroll->horizontalScrollBar()->maximum(), 0);
    QCOMPARE(child->Scroll->verticalScrollBar()->maximum(), 0);

    TChild* tiny = OpenFrame(10, 10);
    MainForm->FitZoom1->trigger();
    QCOMPARE(ZoomOf(tiny), 16.0);
  }

  // A typed zoom applies as the nearest power of two; text that is no zoom
  // gives the box back the zoom in effect.
  void zoomBoxShowsOnlyTheZoomInEffect() {
    TChild* child = OpenFrame(40, 30);
    struct Case {
      QString typed, shown;
      double zoom;
    };
    const Case cases[] = {{QStringLiteral("400"), QStringLiteral("400.0%"), 4},
                          {QStringLiteral("abc"), QStringLiteral("400.0%"), 4},
                          {QStringLiteral("150%"), QStringLiteral("200.0%"), 2},
                          {QStringLiteral("0"), QStringLiteral("200.0%"), 2},
                          {QStringLiteral("3000"), QStringLiteral("1600.0%"), 16},
                          {QStringLiteral(" 6.25 % "), QStringLiteral("6.2%"), 0.0625},
                          {QStringLiteral("100.0%"), QStringLiteral("100.0%"), 1}};
    for (const Case& c : cases) {
      MainForm->Edit1->setFocus();
      MainForm->Edit1->selectAll();
      QTest::keyClicks(MainForm->Edit1, c.typed);
      QTest::keyClick(MainForm->Edit1, Qt::Key_Return);
      QCOMPARE(MainForm->Edit1->text(), c.shown);
      QCOMPARE(ZoomOf(child), c.zoom);
    }
    QCOMPARE(child->Image->size(), QSize(40, 30));

    // Without a window the box keeps showing what it showed.
    MainForm->A1Click();
    QCOMPARE(MainForm->Children().size(), 0);
    const QString shown = MainForm->Edit1->text();
    MainForm->Edit1->setText(QStringLiteral("800"));
    MainForm->Edit1Change();
    QCOMPARE(MainForm->Edit1->text(), shown);
  }
};

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  ZoomAndWindowsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "zoom_and_windows_test.moc"
