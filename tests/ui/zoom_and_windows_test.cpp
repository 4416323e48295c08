// SPDX-License-Identifier: GPL-3.0-or-later
// The zoom habits of the image windows: the wheel about the cursor, the
// keys, buttons and menu items about the view's centre, fit to window, 100 %
// and the zoom box; and the desktop habits of the main window's windows.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QUrl>
#include <QWheelEvent>
#include <QtTest>
#include <memory>

#include "app/recent_files.h"
#include "app/settings_file.h"
#include "app/ui/Forms.h"
#include "app/ui/TApplication.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "document/state_texts.h"
#include "tests/support/qt_fixture.h"
#include "tests/support/qt_modal.h"
#include "tests/support/test_files.h"

namespace {

using namespace qirm::test;

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
  TestFolder m_dir;

  QString Path(const QString& name) const { return m_dir.filePath(name); }
  // A frame of w x h whose value tells the pixel: 1000 + x + 3 y.
  QString Frame(const QString& name, int w, int h) {
    std::vector<int> raw(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) raw[static_cast<std::size_t>(y) * w + x] = 1000 + x + 3 * y;
    qirm::test::WriteBytes(Path(name).toStdString(), qirm::test::Fits16Bytes(w, h, raw));
    return Path(name);
  }
  // A key pressed in the main window once it is the active window again (a
  // box or dialog that just closed may have taken that away).
  static void Key(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    MainForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    QTest::keyClick(MainForm, key, modifiers);
  }
  TChild* OpenFrame(int w, int h) {
    MainForm->OpenFiles({Frame(QStringLiteral("f.fits"), w, h)});
    return MainForm->ActiveChild();
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
    // As a real wheel arrives: at the picture under the cursor first, which
    // passes it on to the scroll area.
    const QPointF onPicture = child->Image->mapFrom(child->Scroll->viewport(), at);
    QWheelEvent real(onPicture, child->Image->mapToGlobal(onPicture), QPoint(), QPoint(0, -240), Qt::NoButton,
                     Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(child->Image, &real);
    QCOMPARE(ZoomOf(child), 1.0);
    after = child->ImagePointAt(at);
    QVERIFY(std::abs(after.x() - before.x()) < 1 && std::abs(after.y() - before.y()) < 1);
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
    Key(Qt::Key_Plus, Qt::NoModifier);
    QCOMPARE(ZoomOf(child), 2.0);
    QPointF now = child->ImagePointAt(child->ViewCentre());
    QVERIFY2(std::abs(now.x() - centre.x()) < 1 && std::abs(now.y() - centre.y()) < 1,
             qPrintable(
                 QStringLiteral("%1,%2 vs %3,%4").arg(now.x()).arg(now.y()).arg(centre.x()).arg(centre.y())));
    Key(Qt::Key_Minus, Qt::NoModifier);
    QCOMPARE(ZoomOf(child), 1.0);
    Key(Qt::Key_Equal, Qt::ControlModifier);
    QCOMPARE(ZoomOf(child), 2.0);
    Key(Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(ZoomOf(child), 1.0);
    MainForm->ZoomOut1->trigger();
    QCOMPARE(ZoomOf(child), 0.5);
    QCOMPARE(MainForm->Edit1->text(), QStringLiteral("50.0%"));
    Key(Qt::Key_1, Qt::ControlModifier);  // 100 %
    QCOMPARE(ZoomOf(child), 1.0);
    QCOMPARE(MainForm->Edit1->text(), QStringLiteral("100.0%"));
  }

  // Fit to window: the largest power of two at which the whole picture shows
  // in the window as it stands.
  void fitToWindow() {
    TChild* child = OpenFrame(1000, 800);
    auto* sub = qobject_cast<QMdiSubWindow*>(child->parentWidget());
    sub->resize(sub->size() - child->size() + QSize(300, 250));
    Key(Qt::Key_0, Qt::ControlModifier);
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

  // New windows step down and right instead of covering each other.
  void newWindowsCascade() {
    QList<QPoint> places;
    for (int i = 0; i < 3; ++i) {
      MainForm->OpenFiles({Frame(QStringLiteral("c%1.fits").arg(i), 40, 30)});
      places << MainForm->ActiveChild()->parentWidget()->pos();
    }
    QCOMPARE(places, QList<QPoint>({QPoint(0, 0), QPoint(24, 24), QPoint(48, 48)}));
    // A closed window's place is taken again by the next one.
    MainForm->ActiveChild()->parentWidget()->close();
    MainForm->OpenFiles({Frame(QStringLiteral("c3.fits"), 40, 30)});
    QCOMPARE(MainForm->ActiveChild()->parentWidget()->pos(), QPoint(48, 48));
  }

  // The Window menu lists the open windows, the active one checked; an item
  // activates its window; tile leaves no window over another.
  void windowMenuListsTileAndCascade() {
    MainForm->OpenFiles({Frame(QStringLiteral("a.fits"), 40, 30), Frame(QStringLiteral("b&c.fits"), 40, 30)});
    TChild* second = MainForm->ActiveChild();
    emit MainForm->Window1Menu->aboutToShow();
    emit MainForm->Window1Menu->aboutToShow();  // made again, not added twice
    QList<QAction*> actions = MainForm->Window1Menu->actions();
    QStringList labels;
    for (QAction* a : actions.mid(actions.size() - 2)) labels << a->text() + (a->isChecked() ? "*" : "");
    QCOMPARE(labels, QStringList({QStringLiteral("&1 a.fits"), QStringLiteral("&2 b&&c.fits*")}));
    actions[actions.size() - 2]->trigger();
    QVERIFY(MainForm->ActiveChild() != second);
    QCOMPARE(QString::fromStdString(MainForm->ActiveChild()->Document()->caption), QStringLiteral("a.fits"));

    MainForm->Tile1->trigger();
    const QRect one = MainForm->Children()[0]->parentWidget()->geometry();
    const QRect two = MainForm->Children()[1]->parentWidget()->geometry();
    QVERIFY(!one.intersects(two));
    MainForm->Cascade1->trigger();
    QVERIFY(MainForm->Children()[0]->parentWidget()->pos() != MainForm->Children()[1]->parentWidget()->pos());
  }

  // Ctrl+W and Ctrl+F4 close the active window (the frame's own menu does
  // not claim them too, which would leave both keys dead), asking first
  // about an edited one; Ctrl+O and Ctrl+S are the open and save commands'.
  void standardShortcuts() {
    MainForm->OpenFiles({Frame(QStringLiteral("a.fits"), 40, 30), Frame(QStringLiteral("b.fits"), 40, 30),
                         Frame(QStringLiteral("c.fits"), 40, 30)});
    QCOMPARE(MainForm->Children().size(), 3);
    Key(Qt::Key_W, Qt::ControlModifier);
    QCOMPARE(MainForm->Children().size(), 2);
    Key(Qt::Key_F4, Qt::ControlModifier);
    QCOMPARE(MainForm->Children().size(), 1);
    QCOMPARE(MainForm->Close1->shortcuts(),
             QList<QKeySequence>({QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::CTRL | Qt::Key_F4)}));
    QCOMPARE(MainForm->Open1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    QCOMPARE(MainForm->Save1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));

    MainForm->N1Click();  // negative: now edited
    QString asked;
    WithModal<QMessageBox>([] { MainForm->Close1->trigger(); },
                           [&](QWidget* m) { asked = AnswerMessageBox(m, QMessageBox::Cancel); });
    QVERIFY2(!asked.isEmpty(), "no save question");
    QCOMPARE(MainForm->Children().size(), 1);
    WithModal<QMessageBox>([] { MainForm->Close1->trigger(); },
                           [&](QWidget* m) { AnswerMessageBox(m, QMessageBox::Discard); });
    QCOMPARE(MainForm->Children().size(), 0);
    MainForm->Close1->trigger();  // no window: nothing
  }

  // No two items of a menu (nor two menus of the bar) share an accelerator.
  void accelerators() {
    auto letters = [](const QList<QAction*>& actions) {
      QStringList seen;
      for (QAction* a : actions) {
        const QString text = QString(a->text()).replace(QStringLiteral("&&"), QString());
        const int at = text.indexOf(QLatin1Char('&'));
        if (at < 0 || at + 1 >= text.size()) continue;
        const QString key = text.mid(at + 1, 1).toUpper();
        if (seen.contains(key)) return a->text();
        seen << key;
      }
      return QString();
    };
    QCOMPARE(letters(MainForm->MainMenu1->actions()), QString());
    for (QMenu* menu : MainForm->MainMenu1->findChildren<QMenu*>()) {
      QCOMPARE(menu->objectName() + letters(menu->actions()), menu->objectName());
    }
  }

  // Files dropped on the main window open, one window each, by extension.
  void dropOpensFiles() {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(Frame(QStringLiteral("d1.fits"), 40, 30)),
                  QUrl::fromLocalFile(Frame(QStringLiteral("d2.fts"), 30, 20)),
                  QUrl(QStringLiteral("https://example.invalid/x.fits"))});
    const QPoint at = MainForm->MdiArea->geometry().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(MainForm, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(MainForm, &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(MainForm->Children().size(), 2);
    QCOMPARE(QString::fromStdString(MainForm->ActiveChild()->Document()->caption), QStringLiteral("d2.fts"));

    QMimeData text;
    text.setText(QStringLiteral("not a file"));
    QDragEnterEvent refused(at, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    refused.ignore();
    QApplication::sendEvent(MainForm, &refused);
    QVERIFY(!refused.isAccepted());
  }

  // Ten recent files, newest first, kept beside QIRM.ini for the next run;
  // an item opens its file, a missing one says so and leaves the list.
  void recentFiles() {
    QStringList opened;
    for (int i = 0; i < 12; ++i) {
      opened.prepend(Frame(QStringLiteral("r%1.fits").arg(i), 20, 20));
      MainForm->OpenFiles({opened.first()});
    }
    MainForm->OpenFiles({opened[4]});  // again: to the front
    QStringList want = opened.mid(0, 10);
    want.move(4, 0);
    QCOMPARE(MainForm->RecentFiles(), want);
    // Beside QIRM.ini, in the configuration folder.
    QCOMPARE(MainForm->RecentFilesPath(),
             QString::fromLocal8Bit(qirm::RecentFilesPath(qirm::SettingsFilePath()).c_str()));

    DestroyForms();
    CreateForms();
    MainForm->show();
    QCOMPARE(MainForm->RecentFiles(), want);
    const QList<QAction*> items = MainForm->Recent1Menu->actions();
    QCOMPARE(items.size(), 12);  // ten files, a separator, "一覧を消去"
    QCOMPARE(items[0]->text(), QStringLiteral("&1 ") + want[0]);
    QCOMPARE(items[9]->text(), QStringLiteral("1&0 ") + want[9]);
    items[2]->trigger();
    QCOMPARE(MainForm->Children().size(), 1);
    QCOMPARE(MainForm->RecentFiles().first(), want[2]);

    QFile::remove(want[5]);
    QString said;
    WithModal<QMessageBox>([&] { MainForm->Recent1Menu->actions()[5]->trigger(); },
                           [&](QWidget* m) { said = AnswerMessageBox(m, QMessageBox::Ok); });
    QVERIFY2(said.contains(want[5]), qPrintable(said));
    QCOMPARE(MainForm->Children().size(), 1);
    QVERIFY(!MainForm->RecentFiles().contains(want[5]));
    QCOMPARE(MainForm->RecentFiles().size(), 9);

    MainForm->Recent1Menu->actions().last()->trigger();  // "一覧を消去"
    QVERIFY(MainForm->RecentFiles().isEmpty());
    QCOMPARE(MainForm->Recent1Menu->actions().size(), 1);
    QVERIFY(!MainForm->Recent1Menu->actions()[0]->isEnabled());
  }

  // A known extension picks its reader whatever entry is selected; the
  // PPM entry opens Netpbm files.
  void openDialogReadsByExtension() {
    Frame(QStringLiteral("typed.fits"), 40, 30);
    WithModal([] { MainForm->Open1Click(); },
              [&](QWidget* m) { ChooseFiles(m, 3, {Path(QStringLiteral("typed.fits"))}); });
    QCOMPARE(MainForm->Children().size(), 1);
    QCOMPARE(MainForm->ActiveChild()->Document()->kind, qirm::WindowKind::kRaw16);

    WriteBytes(Path(QStringLiteral("p.ppm")).toStdString(), Ppm6Bytes(2, 1, {10, 20, 30, 40, 50, 60}));
    WithModal([] { MainForm->Open1Click(); },
              [&](QWidget* m) { ChooseFiles(m, 6, {Path(QStringLiteral("p.ppm"))}); });
    QCOMPARE(MainForm->Children().size(), 2);
    QCOMPARE(MainForm->ActiveChild()->Document()->kind, qirm::WindowKind::kNetpbm);

    // A name without a known extension opens with the selected entry's
    // reader; under "すべての画像" it is refused with the types that open.
    WriteBytes(Path(QStringLiteral("noext")).toStdString(), Ppm6Bytes(2, 1, {10, 20, 30, 40, 50, 60}));
    WithModal([] { MainForm->Open1Click(); },
              [&](QWidget* m) { ChooseFiles(m, 6, {Path(QStringLiteral("noext"))}); });
    QCOMPARE(MainForm->Children().size(), 3);
    QCOMPARE(MainForm->ActiveChild()->Document()->kind, qirm::WindowKind::kNetpbm);
    QString said;
    WithModal<QMessageBox>(
        [&] {
          WithModal<QFileDialog>([] { MainForm->Open1Click(); },
                                 [&](QWidget* m) { ChooseFiles(m, 1, {Path(QStringLiteral("noext"))}); });
        },
        [&](QWidget* m) { said = AnswerMessageBox(m, QMessageBox::Ok); });
    QVERIFY2(said.endsWith(QStringLiteral("読めない種類のファイルです（読めるのは .fits .fit .fts .bmp .jpg "
                                          ".jpeg .pgm .ppm .tif .tiff .png "
                                          ".cr2 .cr3 .nef .arw .dng .raf .orf .rw2 .pef）")),
             qPrintable(said));
    QCOMPARE(MainForm->Children().size(), 3);
  }
};

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  ZoomAndWindowsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "zoom_and_windows_test.moc"
