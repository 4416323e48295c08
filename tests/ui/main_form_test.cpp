// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's frame: menu, tool bar, status panel, QIRM.ini, the
// memory gauge, the version message, the forms made at start-up and the
// error box of the application object.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "app/command_checks.h"
#include "app/program_info.h"
#include "app/save_image.h"
#include "app/ui/Forms.h"
#include "app/ui/TApplication.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "app/ui/UpDownSpin.h"
#include "core/fits_writer.h"
#include "display/ui/TGMM.h"
#include "document/workspace.h"
#include "stack/ui/TSpDraw.h"
#include "tests/support/test_files.h"

namespace {

// Accepts the next message box that appears and hands back its text.
class MessageBoxCatcher : public QObject {
 public:
  explicit MessageBoxCatcher(QString* text, QString* informative = nullptr)
      : m_text(text), m_informative(informative) {
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, timer] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box && box->isVisible()) {
          *m_text = box->text();
          if (m_informative) *m_informative = box->informativeText();
          box->accept();
          timer->stop();
        }
      }
    });
    timer->start(20);
  }

 private:
  QString* m_text;
  QString* m_informative;
};

QStringList ReadLines(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QString all = QString::fromUtf8(f.readAll());
  QStringList lines = all.split(QLatin1Char('\n'));
  if (!all.endsWith(QLatin1Char('\n'))) lines.append(QStringLiteral("<no final line break>"));
  lines.removeLast();
  return lines;
}

QPoint CentredCorner(int width, int height) {
  const QRect s = QGuiApplication::primaryScreen()->geometry();
  return {s.left() + s.width() / 2 - width / 2, s.top() + s.height() / 2 - height / 2};
}

// Object that throws from its event handler.
class Thrower : public QObject {
 public:
  Thrower() = default;
  explicit Thrower(std::function<void()> thrower) : m_throw(std::move(thrower)) {}

 protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) m_throw();
    return QObject::event(e);
  }

 private:
  std::function<void()> m_throw = [] { throw std::runtime_error("'abc' is not a valid integer value"); };
};

}  // namespace

class MainFormTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> m_dir;
  QString m_oldDir;

 private slots:
  // Every test runs in an empty folder of its own, which is also the user's
  // configuration folder ("config/QIRM/QIRM.ini" in it).
  void init() {
    m_oldDir = QDir::currentPath();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->filePath(QStringLiteral("config"))));
  }
  QString IniPath() const { return m_dir->filePath(QStringLiteral("config/QIRM/QIRM.ini")); }
  void WriteIni(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile ini(path);
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(text);
  }
  void cleanup() {
    QDir::setCurrent(m_oldDir);
    m_dir.reset();
  }

  void menuItems_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("slot");
    const struct {
      const char* name;
      const char* menu;
      const char* caption;
      bool enabled;
      const char* slot;
    } items[] = {
        {"File1", "", "ファイル(&F)", true, ""},
        {"N19", "File1", "新規(&N)", false, ""},
        {"Open1", "File1", "開く(&O)", true, "Open1Click"},
        {"Save1", "File1", "保存(&A)", false, "Save1Click"},
        {"Save2", "File1", "上書き保存(&S)", false, "Save2Click"},
        {"Close1", "File1", "閉じる(&C)", false, "Close1Click"},
        {"Exit1", "File1", "終了(&X)", true, "Exit1Click"},
        {"E1", "", "画像編集(&E)", true, ""},
        {"N1", "E1", "ネガ反転(&N)", false, "N1Click"},
        {"M1", "E1", "左右反転(&M)", false, "M1Click"},
        {"R1", "E1", "上下反転(&U)", false, "R1Click"},
        {"R3", "E1", "回転(&R)", false, "R3Click"},
        {"N3", "E1", "リサンプリング(&P)", false, "N3Click"},
        {"RGB1", "E1", "RGB合成(&B)", true, "RGB1Click"},
        {"RGB2", "E1", "RGB分解(&V)", false, "RGB2Click"},
        {"C1", "E1", "コンポジット(&C)", false, "C1Click"},
        {"T2", "E1", "背景傾斜(&T)", false, "T2Click"},
        {"P2", "", "画像処理(&P)", true, ""},
        {"N2", "P2", "エッジ強調(&E)", false, "N2Click"},
        {"N4", "P2", "ぼかし(&B)", false, "N4Click"},
        {"H1", "P2", "ハイパス効果(&H)", false, "H1Click"},
        {"L1", "P2", "ローパス効果(&L)", false, "L1Click"},
        {"N5", "P2", "ブルーミング除去(&R)", false, "N5Click"},
        {"T1", "P2", "トーンカーブ(&T)", false, "T1Click"},
        {"N6", "P2", "ガンマ(&M)", false, "N6Click"},
        {"N23", "P2", "画像処理パネル", false, ""},
        {"N7", "P2", "ソラリゼーション(&S)", false, "N7Click"},
        {"N8", "P2", "サバチエ効果(&A)", false, "N8Click"},
        {"N9", "P2", "コマコレクト処理(&K)", false, "N9Click"},
        {"P1", "P2", "ガイドミスキャンセラ(&G)", false, "P1Click"},
        {"PRCC1", "P2", "P.R.C.(&C)", false, ""},
        {"K1", "", "計測(&K)", true, ""},
        {"S1", "K1", "測光（恒星）(&S)", false, ""},
        {"R2", "K1", "測光（流星）(&R)", false, ""},
        {"P3", "K1", "スペクトル(&P)", false, "P3Click"},
        {"FitsHeader1", "K1", "FITSヘッダー(&F)", false, "FitsHeader1Click"},
        {"View1", "", "表示(&D)", true, ""},
        {"ZoomIn1", "View1", "拡大(&I)", false, ""},
        {"ZoomOut1", "View1", "縮小(&O)", false, ""},
        {"FitZoom1", "View1", "ウィンドウに合わせる(&F)", false, "FitZoom1Click"},
        {"Zoom100", "View1", "100%(&1)", false, "Zoom100Click"},
        {"FullScreen1", "View1", "全画面表示(&U)", true, "FullScreen1Click"},
        {"OriginBottom1", "View1", "原点を左下に(&B)", true, "OriginBottom1Click"},
        {"Window1", "", "ウィンドウ(&W)", true, ""},
        {"A1", "Window1", "すべてを閉じる(&A)", false, "A1Click"},
        {"Cascade1", "Window1", "重ねて表示(&C)", false, "Cascade1Click"},
        {"Tile1", "Window1", "並べて表示(&T)", false, "Tile1Click"},
        {"V1", "", "バージョン(&V)", true, ""},
        {"About1", "V1", "バージョン情報(&V)", true, "About1Click"},
    };
    for (const auto& i : items)
      QTest::newRow(i.name) << QString::fromLatin1(i.name) << QString::fromLatin1(i.menu)
                            << QString::fromUtf8(i.caption) << i.enabled << QString::fromLatin1(i.slot);
  }

  // Without a window (as at start-up) what needs one is disabled.
  void menuItems() {
    QFETCH(QString, name);
    QFETCH(QString, menu);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);
    QFETCH(QString, slot);
    TMainForm form;
    auto* action = form.findChild<QAction*>(name);
    QVERIFY(action);
    QCOMPARE(action->text(), caption);
    QCOMPARE(action->isEnabled(), enabled);
    if (menu.isEmpty()) {
      QVERIFY(action->menu());
      QVERIFY(form.MainMenu1->actions().contains(action));
    } else {
      auto* parent = form.findChild<QMenu*>(menu + QStringLiteral("Menu"));
      QVERIFY(parent);
      QVERIFY(parent->actions().contains(action));
      QVERIFY(!action->menu());
    }
    if (!slot.isEmpty())
      QVERIFY(form.metaObject()->indexOfSlot(QMetaObject::normalizedSignature(qPrintable(slot + "()"))) >= 0);
  }

  // The items follow the active window's kind: what its command would
  // refuse is disabled, the command's own message as the tooltip; an
  // enabled item has none of its own.
  void menuItemsFollowTheActiveWindow() {
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTemporaryDir dir;
    const QString fits = dir.filePath(QStringLiteral("f.fits"));
    qirm::test::WriteBytes(fits.toStdString(), qirm::test::Fits16Bytes(8, 8, std::vector<int>(64, 900)));
    const QString ppm = dir.filePath(QStringLiteral("p.ppm"));
    qirm::test::WriteBytes(ppm.toStdString(), qirm::test::Ppm6Bytes(1, 1, {1, 2, 3}));
    const QString bmp = dir.filePath(QStringLiteral("c.bmp"));
    QVERIFY(qirm::WritePictureFile(bmp.toStdString(), qirm::Picture(2, 2), qirm::PictureFormat::kBmp).ok());
    const QString real = dir.filePath(QStringLiteral("r.fits"));
    QVERIFY(qirm::WriteFitsFloat32(real.toStdString(), qirm::FloatPlane(3, 3), {}).ok());
    const struct {
      QString file;
      qirm::FileType type;
      QList<QAction*> disabled;
      QAction* refusing;
      const char* says;
    } cases[] = {
        {fits,
         qirm::FileType::Fits,
         {form.N2, form.N6, form.N7, form.N9, form.RGB2},
         form.N6,
         "ガンマ: 16ビットの画像には使えません。"},
        {bmp, qirm::FileType::Bmp, {}, nullptr, ""},
        {ppm,
         qirm::FileType::Netpbm,
         {form.N1, form.M1, form.R1, form.N3, form.RGB2, form.T2, form.N2, form.T1, form.N6, form.N7,
          form.N9},
         form.T2,
         "背景傾斜: Netpbmの画像には使えません。"},
        {real,
         qirm::FileType::Fits,
         {form.N1, form.RGB2, form.T2, form.N2, form.N4, form.H1, form.L1, form.N5, form.T1, form.N6, form.N7,
          form.N8, form.N9},
         form.N4,
         "ぼかし: 浮動小数点の画像には使えません。"},
    };
    const QList<QAction*> all = {
        form.Save1, form.Close1, form.N1, form.M1, form.R1, form.R3, form.N3,          form.RGB2,    form.C1,
        form.T2,    form.N2,     form.N4, form.H1, form.L1, form.N5, form.T1,          form.N6,      form.N7,
        form.N8,    form.N9,     form.P1, form.S1, form.R2, form.P3, form.FitsHeader1, form.ZoomIn1, form.A1};
    for (const auto& c : cases) {
      QVERIFY(form.OpenFile(c.file, c.type));
      for (QAction* item : all) {
        const bool refused = c.disabled.contains(item);
        QVERIFY2(item->isEnabled() == !refused, qPrintable(c.file + QLatin1Char(' ') + item->objectName()));
        QVERIFY2(refused == item->toolTip().contains(QStringLiteral("使えません")),
                 qPrintable(item->objectName()));
      }
      if (c.refusing)
        QVERIFY2(c.refusing->toolTip().startsWith(QString::fromUtf8(c.says)),
                 qPrintable(c.refusing->toolTip()));
    }
    // The same window again: its kind's items come back.
    auto* first = form.MdiArea->subWindowList().first();
    form.MdiArea->setActiveSubWindow(first);
    QVERIFY(form.N4->isEnabled());
    QVERIFY(!form.N6->isEnabled());
    QVERIFY(form.Button3->isEnabled());
    // "H" and "L" on a Netpbm window: disabled, their tooltip adds why.
    form.MdiArea->setActiveSubWindow(form.MdiArea->subWindowList()[2]);
    QVERIFY(!form.Button3->isEnabled());
    QVERIFY(form.Button3->toolTip().startsWith(QStringLiteral("H: コントラストを上げる")));
    QVERIFY(form.Button3->toolTip().contains(
        QStringLiteral("\nコントラスト H・L: Netpbmの画像には使えません。")));
    for (QMdiSubWindow* sub : form.MdiArea->subWindowList())
      qobject_cast<TChild*>(sub->widget())->Document()->unsaved = false;
    form.MdiArea->closeAllSubWindows();
    QVERIFY(!form.N1->isEnabled());
    QCOMPARE(form.N1->toolTip(), QString::fromUtf8(qirm::kNoWindowRefusal));
    QVERIFY(!form.SaveButton->isEnabled());
  }

  // Order of every menu, "-" for a separator.
  void menuOrderAndSeparators() {
    TMainForm form;
    auto layout = [](const QList<QAction*>& actions) {
      QStringList names;
      for (QAction* a : actions) names << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
      return names.join(QLatin1Char(' '));
    };
    QCOMPARE(form.menuBar(), form.MainMenu1);
    QCOMPARE(layout(form.MainMenu1->actions()), QStringLiteral("File1 E1 P2 K1 View1 Window1 V1"));
    QCOMPARE(layout(form.File1Menu->actions()),
             QStringLiteral("N19 - Open1 Recent1 Save1 Save2 Close1 - Exit1"));
    QCOMPARE(layout(form.E1Menu->actions()),
             QStringLiteral("Undo1 Redo1 - N1 - M1 R1 R3 - N3 Debayer1 - RGB1 RGB2 - C1 - T2"));
    QCOMPARE(layout(form.P2Menu->actions()),
             QStringLiteral("N2 N4 H1 L1 - N5 - T1 N6 N23 - N7 N8 - N9 P1 PRCC1"));
    QCOMPARE(layout(form.K1Menu->actions()), QStringLiteral("S1 R2 P3 - FitsHeader1"));
    QCOMPARE(layout(form.View1Menu->actions()),
             QStringLiteral("ZoomIn1 ZoomOut1 FitZoom1 Zoom100 - FullScreen1 - OriginBottom1 - Levels1"));
    QCOMPARE(layout(form.Window1Menu->actions()), QStringLiteral("A1 - Cascade1 Tile1 -"));
    QCOMPARE(layout(form.V1Menu->actions()), QStringLiteral("About1"));
    // The public members are the menu's own actions.
    QCOMPARE(form.File1, form.File1Menu->menuAction());
    QCOMPARE(form.Exit1, form.findChild<QAction*>(QStringLiteral("Exit1")));
    QCOMPARE(form.About1, form.findChild<QAction*>(QStringLiteral("About1")));
  }

  void frame() {
    TMainForm form;
    QCOMPARE(form.windowTitle(), QStringLiteral("QIRM"));
    QCOMPARE(form.size(), QSize(925, 712));
    QCOMPARE(form.centralWidget(), form.MdiArea);
    QVERIFY(form.MdiArea->subWindowList().isEmpty());
    QCOMPARE(form.Timer1->interval(), 1000);
    QVERIFY(form.Timer1->isActive());
  }

  void speedBar() {
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.SpeedBar->height(), 33);
    QCOMPARE(form.toolBarArea(form.SpeedBar), Qt::TopToolBarArea);
    QVERIFY(!form.SpeedBar->isMovable());

    QCOMPARE(form.OpenButton->toolTip(), QStringLiteral("画像を開く (Ctrl+O)"));
    // Without a window it adds why it is disabled.
    QVERIFY(form.SaveButton->toolTip().startsWith(QStringLiteral("画像の保存 (Ctrl+S)\n")));
    // Every control of the bar says in Japanese what it does, "H" and "L"
    // too.
    const QRegularExpression japanese(QStringLiteral("[\\x{3040}-\\x{30ff}\\x{4e00}-\\x{9fff}]"));
    for (QWidget* w : std::initializer_list<QWidget*>{form.OpenButton, form.SaveButton, form.Button1,
                                                      form.Button2, form.Edit1, form.Edit3, form.UpDown2,
                                                      form.Edit2, form.UpDown1, form.Button3, form.Button4})
      QVERIFY2(w->toolTip().contains(japanese), qPrintable(w->objectName()));
    QVERIFY(form.Button3->toolTip().contains(QStringLiteral("コントラストを上げる")));
    QVERIFY(form.Button4->toolTip().contains(QStringLiteral("コントラストを下げる")));
    QVERIFY(!form.OpenButton->icon().isNull());
    QVERIFY(!form.SaveButton->icon().isNull());
    for (QPushButton* b : {form.Button1, form.Button2}) {
      QVERIFY(b->font().bold());
      QCOMPARE(b->font().pixelSize(), 16);
    }

    const struct {
      QWidget* widget;
      QString text;
      bool shown;
    } controls[] = {
        {form.OpenButton, {}, true},
        {form.SaveButton, {}, true},
        {form.Button1, QStringLiteral("+"), true},
        {form.Button2, QStringLiteral("-"), true},
        {form.Edit1, QString(), true},
        {form.Label5, QStringLiteral("Min.="), true},
        {form.Edit3, QStringLiteral("0"), true},
        {form.UpDown2, {}, true},
        {form.Label6, QStringLiteral("Max.="), true},
        {form.Edit2, QStringLiteral("0"), true},
        {form.UpDown1, {}, true},
        {form.Button3, QStringLiteral("H"), true},
        {form.Button4, QStringLiteral("L"), true},
        {form.Label2, QStringLiteral("R = , G = , B = "), true},
        {form.Label1, QStringLiteral("QIRM = "), true},
    };
    int previousX = -1;
    for (const auto& c : controls) {
      QVERIFY(c.widget);
      const QString name = c.widget->objectName();
      QCOMPARE(c.widget->isVisible(), c.shown);
      if (auto* label = qobject_cast<QLabel*>(c.widget)) QCOMPARE(label->text(), c.text);
      if (auto* edit = qobject_cast<QLineEdit*>(c.widget)) QCOMPARE(edit->text(), c.text);
      if (auto* button = qobject_cast<QPushButton*>(c.widget)) QCOMPARE(button->text(), c.text);
      // Visible controls stand left to right in the design's order.
      if (c.shown) {
        QVERIFY2(c.widget->mapTo(&form, QPoint()).x() > previousX, qPrintable(name));
        previousX = c.widget->mapTo(&form, QPoint()).x();
        QVERIFY2(form.SpeedBar->isAncestorOf(c.widget), qPrintable(name));
      }
    }

    // The level boxes' names stand above them.
    const struct {
      QLabel* label;
      QWidget* box;
      const char* text;
    } names[] = {{form.MinPhysicalLabel, form.Edit3, "物理値"},
                 {form.MinRawLabel, form.UpDown2, "生値"},
                 {form.MaxPhysicalLabel, form.Edit2, "物理値"},
                 {form.MaxRawLabel, form.UpDown1, "生値"}};
    for (const auto& n : names) {
      QCOMPARE(n.label->text(), QString::fromUtf8(n.text));
      QVERIFY(n.label->isVisible());
      const QRect label(n.label->mapTo(&form, QPoint()), n.label->size());
      const QRect box(n.box->mapTo(&form, QPoint()), n.box->size());
      QVERIFY2(label.bottom() <= box.top() && label.left() < box.right() && box.left() < label.right(),
               qPrintable(n.box->objectName()));
    }

    QCOMPARE(form.UpDown1->minimum(), qirm::kMaxSpinMin);
    QCOMPARE(form.UpDown1->maximum(), qirm::kMaxSpinMax);
    QCOMPARE(form.UpDown2->minimum(), qirm::kMinSpinMin);
    QCOMPARE(form.UpDown2->maximum(), qirm::kMinSpinMax);
    for (UpDownSpin* s : {form.UpDown1, form.UpDown2}) {
      QCOMPARE(s->singleStep(), 10);
      QCOMPARE(s->value(), 0);
      QVERIFY(!s->wrapping());
    }
  }

  // An arrow click steps and then reports; a position set by the program
  // does not count as a click. Edits report every change, set by the
  // program too.
  void spinClicksAndEditChanges() {
    TMainForm form;
    QSignalSpy clicks(form.UpDown1, &UpDownSpin::clicked);
    form.UpDown1->setValue(100);
    QCOMPARE(clicks.count(), 0);
    form.UpDown1->stepUp();
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(form.UpDown1->value(), 110);
    form.UpDown1->setValue(form.UpDown1->maximum());
    form.UpDown1->stepUp();  // at the limit: no wrap, still a click
    QCOMPARE(form.UpDown1->value(), form.UpDown1->maximum());
    QCOMPARE(clicks.count(), 2);

    QSignalSpy down(form.UpDown2, &UpDownSpin::clicked);
    form.UpDown2->stepDown();
    QCOMPARE(form.UpDown2->value(), -10);
    QCOMPARE(down.count(), 1);

    QSignalSpy edit2(form.Edit2, &QLineEdit::textChanged);
    form.Edit2->setText(QStringLiteral("2000"));
    QCOMPARE(edit2.count(), 1);
  }

  void statusPanel() {
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.Panel1->height(), 27);
    QVERIFY(form.Panel1->mapTo(&form, QPoint()).y() > form.MdiArea->mapTo(&form, QPoint()).y());
    QCOMPARE(form.ProgressBar1->minimum(), 0);
    QCOMPARE(form.ProgressBar1->maximum(), 100);
    QCOMPARE(form.ProgressBar1->value(), 0);
    QCOMPARE(form.ProgressBar1->width(), 200);
    QCOMPARE(form.ProgressBar2->minimum(), 0);
    QCOMPARE(form.ProgressBar2->maximum(), 100);
    QCOMPARE(form.Label4->text(), QStringLiteral("Memory"));
    QCOMPARE(form.Label3->text(), QStringLiteral("    %"));
    const QColor green = form.Label3->palette().color(QPalette::WindowText);
    QVERIFY(green.green() > 100 && green.red() == 0 && green.blue() == 0);
    QCOMPARE(form.Label7->text(), QStringLiteral("Image Depth = "));
    QCOMPARE(form.Label8->text(), QStringLiteral("Image Size = "));
    // A Japanese face, whichever of the two the system has.
    QVERIFY(QFontInfo(form.Panel1->font()).family().contains(QStringLiteral("CJK")) ||
            QFontInfo(form.Panel1->font()).family() == QStringLiteral("ＭＳ ゴシック"));
  }

  void memoryGauge() {
    TMainForm form;
    QFile fixture(QStringLiteral("meminfo"));
    QVERIFY(fixture.open(QIODevice::WriteOnly));
    fixture.write("MemTotal:       1000 kB\nMemFree:         100 kB\nMemAvailable:    430 kB\n");
    fixture.close();
    form.SetMemInfoPath(fixture.fileName());
    form.Timer1Timer();
    QCOMPARE(form.ProgressBar2->value(), 57);
    QCOMPARE(form.Label3->text(), QStringLiteral("57%"));

    // An unreadable figure leaves the gauge as it was.
    form.SetMemInfoPath(QStringLiteral("no-such-file"));
    form.Timer1Timer();
    QCOMPARE(form.ProgressBar2->value(), 57);
    QCOMPARE(form.Label3->text(), QStringLiteral("57%"));

    // The real system, through the timer itself.
    form.SetMemInfoPath(QStringLiteral("/proc/meminfo"));
    form.Label3->setText(QStringLiteral("waiting"));
    // A hang guard: the timer fires within a second on any machine.
    QTRY_VERIFY_WITH_TIMEOUT(form.Label3->text() != QStringLiteral("waiting"), 30000);
    QCOMPARE(form.Label3->text(), QString::number(form.ProgressBar2->value()) + QStringLiteral("%"));
  }

  void firstRunIsCentredAndWritesTheFile() {
    QVERIFY(!QFile::exists(IniPath()));
    auto form = std::make_unique<TMainForm>();
    QCOMPARE(form->pos(), CentredCorner(925, 712));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->move(30, 40);
    form->resize(700, 500);
    QVERIFY(form->close());

    QVERIFY(!QFile::exists(QStringLiteral("QIRM.ini")));
    const QStringList lines = ReadLines(IniPath());
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], QStringLiteral("Quorvan"));
    QCOMPARE(lines[1], QStringLiteral("Window %1 %2 700 500").arg(form->pos().y()).arg(form->pos().x()));
    QCOMPARE(lines[2], QStringLiteral("This is the initial file for Quorvan"));

    // The next run comes back to the same place.
    TMainForm again;
    QCOMPARE(again.pos(), form->pos());
    QCOMPARE(again.size(), QSize(700, 500));
  }

  void placementFromTheFile_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QRect>("expected");  // outer corner and size
    QTest::addColumn<bool>("old");        // in the current folder, as earlier versions kept it
    const QPoint c = CentredCorner(925, 712);
    const QByteArray saved("Quorvan\nWindow 10 20 800 600\nThis is the initial file for Quorvan\nx\n");
    QTest::newRow("saved") << saved << QRect(20, 10, 800, 600) << false;
    QTest::newRow("old file") << saved << QRect(20, 10, 800, 600) << true;
    QTest::newRow("garbage") << QByteArray("Quorvan\nWindow ten 20 800 600\n") << QRect(c, QSize(925, 712))
                             << false;
    QTest::newRow("short") << QByteArray("Quorvan\nWindow 10 20\n") << QRect(c, QSize(925, 712)) << false;
    QTest::newRow("empty") << QByteArray() << QRect(c, QSize(925, 712)) << false;
    // Partly off the screen, as a window dragged aside leaves it: kept. On a
    // screen that is gone (beyond every side): centred, with its size.
    QTest::newRow("partly off") << QByteArray("Quorvan\nWindow 10 -62 800 600\n") << QRect(-62, 10, 800, 600)
                                << false;
    for (const QPoint corner : {QPoint(5000, 10), QPoint(-2000, 10), QPoint(20, 4000), QPoint(20, -500)}) {
      const QByteArray text =
          QStringLiteral("Quorvan\nWindow %1 %2 800 600\n").arg(corner.y()).arg(corner.x()).toLatin1();
      QTest::newRow(text.mid(15).trimmed().constData())
          << text << QRect(CentredCorner(800, 600), QSize(800, 600)) << false;
    }
  }

  void placementFromTheFile() {
    QFETCH(QByteArray, text);
    QFETCH(QRect, expected);
    QFETCH(bool, old);
    WriteIni(old ? QStringLiteral("QIRM.ini") : IniPath(), text);
    TMainForm form;
    QCOMPARE(form.pos(), expected.topLeft());
    QCOMPARE(form.size(), expected.size());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.pos(), expected.topLeft());
  }

  // The file goes to the configuration folder whatever the current folder
  // is (a file dialog may have changed it); an old file in the current
  // folder is read while that has none, and left as it is.
  void fileStaysInTheConfigurationFolder() {
    WriteIni(QStringLiteral("QIRM.ini"), "Quorvan\nWindow 10 20 800 600\n");
    TMainForm form;
    QCOMPARE(form.size(), QSize(800, 600));
    QVERIFY(QDir().mkdir(QStringLiteral("pictures")));
    QVERIFY(QDir::setCurrent(QStringLiteral("pictures")));
    form.resize(640, 480);
    QVERIFY(form.close());
    QVERIFY(QDir::setCurrent(m_dir->path()));
    QVERIFY(!QFile::exists(QStringLiteral("pictures/QIRM.ini")));
    QCOMPARE(ReadLines(QStringLiteral("QIRM.ini")).value(1), QStringLiteral("Window 10 20 800 600"));
    QVERIFY(ReadLines(IniPath()).value(1).endsWith(QStringLiteral(" 640 480")));

    // The next run reads the configuration folder's file, not the old one.
    TMainForm again;
    QCOMPARE(again.size(), QSize(640, 480));
  }

  // No configuration folder can be made (its parent is a file; root cannot
  // be kept out otherwise): closing still works and writes nothing.
  void unwritableFolderStillCloses() {
    WriteIni(QStringLiteral("blocker"), "x");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->filePath(QStringLiteral("blocker"))));
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(form.close());
    QVERIFY(!form.isVisible());
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("blocker")});
  }

  // Exit closes the window like its frame button: the place is kept.
  void exitClosesAndKeepsThePlace() {
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.Exit1->trigger();
    QVERIFY(!form.isVisible());
    QVERIFY(QFile::exists(IniPath()));
  }

  void versionMessage() {
    TMainForm form;
    const QStringList lines = TMainForm::VersionMessage().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], QString(21, QLatin1Char(' ')) + QStringLiteral("QIRM"));
    QCOMPARE(lines[1], QString(20, QLatin1Char(' ')) + QStringLiteral("ver. 1.01"));
    QCOMPARE(lines[2], QString());
    QVERIFY(lines[3].startsWith(QLatin1Char(' ')) && lines[3].size() > 1 && lines[3][1] != QLatin1Char(' '));

    QString shown;
    QString details;
    MessageBoxCatcher catcher(&shown, &details);
    form.About1->trigger();  // modal until the catcher accepts it
    QCOMPARE(shown, TMainForm::VersionMessage());
    // Beside the fixed text: the release, the licence, the libraries in use.
    QCOMPARE(details, TMainForm::VersionDetails());
    QVERIFY2(details.startsWith(QStringLiteral("QIRM ") + QString::fromStdString(qirm::ProgramVersion())),
             qPrintable(details));
    QVERIFY(details.contains(QStringLiteral("GPL-3.0-or-later")));
    // One library a line, so that the box never breaks a name.
    QVERIFY2(
        details.contains(QStringLiteral("\n  Qt ") + QString::fromLatin1(qVersion()) + QLatin1Char('\n')),
        qPrintable(details));
    for (const qirm::LibraryVersion& library : qirm::LibraryVersions()) {
      const QString shown = QString::fromStdString("\n  " + library.name + " " + library.version);
      QVERIFY2(details.contains(shown), qPrintable(shown));
    }
  }

  void formsAtStartUp() {
    CreateForms();
    QVERIFY(MainForm);
    QVERIFY(!MainForm->isVisible());
    // Creation order shows in the order of the main window's children.
    QStringList order;
    for (QObject* child : MainForm->children()) {
      auto* w = qobject_cast<QWidget*>(child);
      // The open and save dialogs are parts of the main window, not forms.
      if (w && w->isWindow() && !qobject_cast<QFileDialog*>(w)) {
        order << QStringLiteral("%1:%2").arg(QString::fromLatin1(w->metaObject()->className()),
                                             w->windowTitle());
        QVERIFY2(w->isHidden(), w->metaObject()->className());
        QVERIFY(!w->testAttribute(Qt::WA_QuitOnClose));
      }
    }
    QCOMPARE(
        order.join(QLatin1Char(' ')),
        QStringLiteral("TAboutBox:バージョン情報 TGMCPanel:ガイドミスキャンセラ TGMM:ガンマ TEDG:エッジ強調 "
                       "TBLUR:ぼかし TComaCorrect:コマコレクト処理 TTitle:タイトル TSabachie:サバチエ効果 "
                       "TRGBComp:RGB合成 TState:状態 TComposite:コンポジット TTilt:背景傾斜 "
                       "TAdvance:RGB合成の詳細設定 TImgPanel:画像処理パネル TSpDraw:スペクトル"));
    QCOMPARE(MainForm->findChild<TGMM*>(), GMM);
    QCOMPARE(MainForm->findChild<TSpDraw*>(), SpDraw);
    QVERIFY(AboutBox && GMCPanel && EDG && BLUR && ComaCorrect && Title && Sabachie && RGBComp && State &&
            Composite && Tilt && Advance && ImgPanel);
    DestroyForms();
    QVERIFY(!MainForm && !GMM && !SpDraw && !AboutBox);
  }

  // A handler that throws ends in the error box; the program goes on.
  void exceptionFromAHandlerIsShown() {
    QVERIFY(qobject_cast<TApplication*>(qApp));
    Thrower thrower;
    QString shown;
    MessageBoxCatcher catcher(&shown);
    QEvent event(QEvent::User);
    QCOMPARE(QCoreApplication::sendEvent(&thrower, &event), false);
    QCOMPARE(shown, QStringLiteral("'abc' is not a valid integer value"));

    // Memory that cannot be had, in the program's words.
    for (const std::function<void()>& thrower : std::initializer_list<std::function<void()>>{
             [] { throw std::bad_alloc(); }, [] { std::vector<double>().reserve(std::size_t{1} << 62); }}) {
      Thrower greedy(thrower);
      shown.clear();
      MessageBoxCatcher memory(&shown);
      QCOMPARE(QCoreApplication::sendEvent(&greedy, &event), false);
      QCOMPARE(shown, QStringLiteral("メモリが足りません: この操作に必要なメモリを確保できませんでした。"));
    }
  }
};

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  MainFormTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "main_form_test.moc"
