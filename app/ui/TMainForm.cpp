// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/TMainForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/memory_load.h"
#include "app/program_info.h"
#include "app/recent_files.h"
#include "app/settings_file.h"
#include "app/ui/Forms.h"
#include "app/ui/LevelsPanel.h"
#include "app/ui/TChild.h"
#include "app/ui/THeaderView.h"
#include "app/ui/UpDownSpin.h"
#include "core/user_dirs.h"
#include "document/workspace.h"
#include "tricolour/ui/TRGBComp.h"

namespace {

constexpr int kDesignWidth = 925;
constexpr int kDesignHeight = 712;
constexpr int kSpeedBarHeight = 33;
constexpr int kPanel1Height = 27;

QMenu* AddSubmenu(QMenuBar* bar, const char* name, const QString& caption, QAction*& action) {
  QMenu* menu = bar->addMenu(caption);
  menu->setObjectName(QString::fromLatin1(name) + QStringLiteral("Menu"));
  action = menu->menuAction();
  action->setObjectName(QString::fromLatin1(name));
  return menu;
}

QAction* AddItem(QMenu* menu, const char* name, const QString& caption) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QString::fromLatin1(name));
  return action;
}

QLabel* NewLabel(const QString& text, const char* name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

QLineEdit* NewEdit(const QString& text, const char* name, int width, QWidget* parent) {
  auto* edit = new QLineEdit(text, parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setFixedWidth(width);
  return edit;
}

QPushButton* NewButton(const QString& text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setFixedSize(25, 25);
  return button;
}

UpDownSpin* NewUpDown(const char* name, int min, int max, QWidget* parent) {
  auto* spin = new UpDownSpin(parent);
  spin->setObjectName(QString::fromLatin1(name));
  spin->setRange(min, max);
  spin->setSingleStep(qirm::kSpinIncrement);
  spin->setValue(0);
  spin->setWrapping(false);
  return spin;
}

}  // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("QIRM"));
  // The tool bar and the status panel are fixed parts of the frame: no menu
  // to hide them.
  setContextMenuPolicy(Qt::NoContextMenu);

  Runner = new CommandRunner(m_workspace, this);
  Runner->setObjectName(QStringLiteral("Runner"));
  connect(Runner, &CommandRunner::Started, this, [this] {
    // One busy cursor however many windows are at work: the program still
    // answers, it is just busy.
    if (!m_busyCursor) QApplication::setOverrideCursor(Qt::BusyCursor);
    m_busyCursor = true;
    UpdateCommandItems();
  });
  connect(Runner, &CommandRunner::Progress, this,
          [this](int percent) { SetProgress(std::clamp(percent, 0, 100)); });
  connect(Runner, &CommandRunner::Finished, this, &TMainForm::BackgroundFinished);

  MdiArea = new QMdiArea(this);
  MdiArea->setObjectName(QStringLiteral("MdiArea"));
  MdiArea->setBackground(QColor(128, 128, 128));
  setCentralWidget(MdiArea);

  CreateMenu();
  CreateSpeedBar();
  CreatePanel1();
  CreateDialogs();
  CreateLevelsPanel();
  connect(MdiArea, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) {
    // Without an image window the texts stay as they were.
    if (sub) ActivateChild(qobject_cast<TChild*>(sub->widget()));
    if (HeaderView) {
      TChild* child = sub ? qobject_cast<TChild*>(sub->widget()) : nullptr;
      HeaderView->ShowDocument(child ? child->Document() : nullptr);
    }
  });

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
  Timer1->start();

  PlaceWindow();

  // Beside QIRM.ini in the configuration folder; without one, in the
  // current folder, resolved now because the file dialogs move it later.
  const std::string settings = qirm::SettingsFilePath();
  if (!settings.empty() && qirm::MakeUserDir(qirm::UserConfigDir())) {
    m_recentPath = QString::fromLocal8Bit(qirm::RecentFilesPath(settings).c_str());
  } else {
    m_recentPath = QDir::current().absoluteFilePath(
        QString::fromLocal8Bit(qirm::RecentFilesPath(qirm::kSettingsFileName).c_str()));
  }
  m_recent = qirm::ReadRecentFiles(QFile::encodeName(m_recentPath).toStdString());
  UpdateRecentMenu();
  setAcceptDrops(true);
  // Without a window yet, what needs one is disabled.
  UpdateUndoItems();
}

TMainForm::~TMainForm() {
  // A run still going (the program is taken apart without closing, as at a
  // session's end) is waited for before the workspace goes.
  delete Runner;
  Runner = nullptr;
  if (m_busyCursor) QApplication::restoreOverrideCursor();
  // The zoom box reports a finished edit when it loses the focus, which it
  // does while the window is taken apart: the workspace is gone by then.
  Edit1->disconnect(this);
}

void TMainForm::CreateMenu() {
  MainMenu1 = menuBar();
  MainMenu1->setObjectName(QStringLiteral("MainMenu1"));

  File1Menu = AddSubmenu(MainMenu1, "File1", QStringLiteral("ファイル(&F)"), File1);
  N19 = AddItem(File1Menu, "N19", QStringLiteral("新規(&N)"));
  N19->setEnabled(false);
  File1Menu->addSeparator();
  Open1 = AddItem(File1Menu, "Open1", QStringLiteral("開く(&O)"));
  Open1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  Recent1Menu = File1Menu->addMenu(QStringLiteral("最近使ったファイル(&R)"));
  Recent1Menu->setObjectName(QStringLiteral("Recent1Menu"));
  Recent1 = Recent1Menu->menuAction();
  Recent1->setObjectName(QStringLiteral("Recent1"));
  Save1 = AddItem(File1Menu, "Save1", QStringLiteral("保存(&A)"));
  Save1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  Save2 = AddItem(File1Menu, "Save2", QStringLiteral("上書き保存(&S)"));
  Close1 = AddItem(File1Menu, "Close1", QStringLiteral("閉じる(&C)"));
  Close1->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::CTRL | Qt::Key_F4)});
  File1Menu->addSeparator();
  Exit1 = AddItem(File1Menu, "Exit1", QStringLiteral("終了(&X)"));
  Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

  E1Menu = AddSubmenu(MainMenu1, "E1", QStringLiteral("画像編集(&E)"), E1);
  Undo1 = AddItem(E1Menu, "Undo1", QStringLiteral("元に戻す"));
  Undo1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  Redo1 = AddItem(E1Menu, "Redo1", QStringLiteral("やり直し"));
  Redo1->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  E1Menu->addSeparator();
  N1 = AddItem(E1Menu, "N1", QStringLiteral("ネガ反転(&N)"));
  E1Menu->addSeparator();
  M1 = AddItem(E1Menu, "M1", QStringLiteral("左右反転(&M)"));
  R1 = AddItem(E1Menu, "R1", QStringLiteral("上下反転(&U)"));
  R3 = AddItem(E1Menu, "R3", QStringLiteral("回転(&R)"));
  E1Menu->addSeparator();
  N3 = AddItem(E1Menu, "N3", QStringLiteral("リサンプリング(&P)"));
  Debayer1 = AddItem(E1Menu, "Debayer1", QStringLiteral("デベイヤー(&D)"));
  E1Menu->addSeparator();
  RGB1 = AddItem(E1Menu, "RGB1", QStringLiteral("RGB合成(&B)"));
  RGB2 = AddItem(E1Menu, "RGB2", QStringLiteral("RGB分解(&V)"));
  E1Menu->addSeparator();
  C1 = AddItem(E1Menu, "C1", QStringLiteral("コンポジット(&C)"));
  E1Menu->addSeparator();
  T2 = AddItem(E1Menu, "T2", QStringLiteral("背景傾斜(&T)"));

  P2Menu = AddSubmenu(MainMenu1, "P2", QStringLiteral("画像処理(&P)"), P2);
  N2 = AddItem(P2Menu, "N2", QStringLiteral("エッジ強調(&E)"));
  N4 = AddItem(P2Menu, "N4", QStringLiteral("ぼかし(&B)"));
  H1 = AddItem(P2Menu, "H1", QStringLiteral("ハイパス効果(&H)"));
  L1 = AddItem(P2Menu, "L1", QStringLiteral("ローパス効果(&L)"));
  P2Menu->addSeparator();
  N5 = AddItem(P2Menu, "N5", QStringLiteral("ブルーミング除去(&R)"));
  P2Menu->addSeparator();
  T1 = AddItem(P2Menu, "T1", QStringLiteral("トーンカーブ(&T)"));
  N6 = AddItem(P2Menu, "N6", QStringLiteral("ガンマ(&M)"));
  N23 = AddItem(P2Menu, "N23", QStringLiteral("画像処理パネル"));
  N23->setEnabled(false);
  N23->setToolTip(QStringLiteral("この機能はこの版では使えません"));
  P2Menu->addSeparator();
  N7 = AddItem(P2Menu, "N7", QStringLiteral("ソラリゼーション(&S)"));
  // &H belongs to ハイパス効果 in the same menu.
  N8 = AddItem(P2Menu, "N8", QStringLiteral("サバチエ効果(&A)"));
  P2Menu->addSeparator();
  N9 = AddItem(P2Menu, "N9", QStringLiteral("コマコレクト処理(&K)"));
  P1 = AddItem(P2Menu, "P1", QStringLiteral("ガイドミスキャンセラ(&G)"));
  PRCC1 = AddItem(P2Menu, "PRCC1", QStringLiteral("P.R.C.(&C)"));
  PRCC1->setEnabled(false);
  PRCC1->setToolTip(QStringLiteral("この機能はこの版では使えません"));
  // The two items above say why they are disabled.
  P2Menu->setToolTipsVisible(true);

  K1Menu = AddSubmenu(MainMenu1, "K1", QStringLiteral("計測(&K)"), K1);
  S1 = AddItem(K1Menu, "S1", QStringLiteral("測光（恒星）(&S)"));
  R2 = AddItem(K1Menu, "R2", QStringLiteral("測光（流星）(&R)"));
  P3 = AddItem(K1Menu, "P3", QStringLiteral("スペクトル(&P)"));
  K1Menu->addSeparator();
  FitsHeader1 = AddItem(K1Menu, "FitsHeader1", QStringLiteral("FITSヘッダー(&F)"));

  View1Menu = AddSubmenu(MainMenu1, "View1", QStringLiteral("表示(&D)"), View1);
  ZoomIn1 = AddItem(View1Menu, "ZoomIn1", QStringLiteral("拡大(&I)"));
  ZoomIn1->setShortcuts({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Plus),
                         QKeySequence(Qt::CTRL | Qt::Key_Equal)});
  ZoomOut1 = AddItem(View1Menu, "ZoomOut1", QStringLiteral("縮小(&O)"));
  ZoomOut1->setShortcuts({QKeySequence(Qt::Key_Minus), QKeySequence(Qt::CTRL | Qt::Key_Minus)});
  FitZoom1 = AddItem(View1Menu, "FitZoom1", QStringLiteral("ウィンドウに合わせる(&F)"));
  FitZoom1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
  Zoom100 = AddItem(View1Menu, "Zoom100", QStringLiteral("100%(&1)"));
  Zoom100->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
  View1Menu->addSeparator();
  FullScreen1 = AddItem(View1Menu, "FullScreen1", QStringLiteral("全画面表示(&U)"));
  FullScreen1->setShortcut(QKeySequence(Qt::Key_F11));
  FullScreen1->setCheckable(true);
  View1Menu->addSeparator();
  OriginBottom1 = AddItem(View1Menu, "OriginBottom1", QStringLiteral("原点を左下に(&B)"));
  OriginBottom1->setCheckable(true);
  // As the user left it last time.
  OriginBottom1->setChecked(m_settings.Value(QString::fromLatin1(UiSettings::kOriginBottom), false).toBool());

  Window1Menu = AddSubmenu(MainMenu1, "Window1", QStringLiteral("ウィンドウ(&W)"), Window1);
  A1 = AddItem(Window1Menu, "A1", QStringLiteral("すべてを閉じる(&A)"));
  Window1Menu->addSeparator();
  Cascade1 = AddItem(Window1Menu, "Cascade1", QStringLiteral("重ねて表示(&C)"));
  Tile1 = AddItem(Window1Menu, "Tile1", QStringLiteral("並べて表示(&T)"));
  Window1Menu->addSeparator();

  V1Menu = AddSubmenu(MainMenu1, "V1", QStringLiteral("バージョン(&V)"), V1);
  About1 = AddItem(V1Menu, "About1", QStringLiteral("バージョン情報(&V)"));

  connect(Open1, &QAction::triggered, this, &TMainForm::Open1Click);
  connect(Save1, &QAction::triggered, this, &TMainForm::Save1Click);
  connect(Save2, &QAction::triggered, this, &TMainForm::Save2Click);
  connect(Exit1, &QAction::triggered, this, &TMainForm::Exit1Click);
  connect(N1, &QAction::triggered, this, &TMainForm::N1Click);
  connect(M1, &QAction::triggered, this, &TMainForm::M1Click);
  connect(R1, &QAction::triggered, this, &TMainForm::R1Click);
  connect(R3, &QAction::triggered, this, &TMainForm::R3Click);
  connect(RGB1, &QAction::triggered, this, &TMainForm::RGB1Click);
  connect(RGB2, &QAction::triggered, this, &TMainForm::RGB2Click);
  connect(C1, &QAction::triggered, this, &TMainForm::C1Click);
  connect(N2, &QAction::triggered, this, &TMainForm::N2Click);
  connect(N4, &QAction::triggered, this, &TMainForm::N4Click);
  connect(H1, &QAction::triggered, this, &TMainForm::H1Click);
  connect(L1, &QAction::triggered, this, &TMainForm::L1Click);
  connect(N5, &QAction::triggered, this, &TMainForm::N5Click);
  connect(N6, &QAction::triggered, this, &TMainForm::N6Click);
  connect(N7, &QAction::triggered, this, &TMainForm::N7Click);
  connect(N8, &QAction::triggered, this, &TMainForm::N8Click);
  connect(N9, &QAction::triggered, this, &TMainForm::N9Click);
  connect(P1, &QAction::triggered, this, &TMainForm::P1Click);
  connect(S1, &QAction::triggered, this, &TMainForm::S1Click);
  connect(R2, &QAction::triggered, this, &TMainForm::R2Click);
  connect(N3, &QAction::triggered, this, &TMainForm::N3Click);
  connect(Debayer1, &QAction::triggered, this, &TMainForm::DebayerClick);
  connect(T2, &QAction::triggered, this, &TMainForm::T2Click);
  connect(T1, &QAction::triggered, this, &TMainForm::T1Click);
  connect(P3, &QAction::triggered, this, &TMainForm::P3Click);
  connect(FitsHeader1, &QAction::triggered, this, &TMainForm::FitsHeader1Click);
  connect(OriginBottom1, &QAction::toggled, this, &TMainForm::OriginBottom1Click);
  connect(A1, &QAction::triggered, this, &TMainForm::A1Click);
  connect(Close1, &QAction::triggered, this, &TMainForm::Close1Click);
  connect(Cascade1, &QAction::triggered, this, &TMainForm::Cascade1Click);
  connect(Tile1, &QAction::triggered, this, &TMainForm::Tile1Click);
  connect(Window1Menu, &QMenu::aboutToShow, this, &TMainForm::UpdateWindowList);
  connect(FullScreen1, &QAction::triggered, this, &TMainForm::FullScreen1Click);
  connect(ZoomIn1, &QAction::triggered, this, &TMainForm::Button1Click);
  connect(ZoomOut1, &QAction::triggered, this, &TMainForm::Button2Click);
  connect(FitZoom1, &QAction::triggered, this, &TMainForm::FitZoom1Click);
  connect(Zoom100, &QAction::triggered, this, &TMainForm::Zoom100Click);
  connect(About1, &QAction::triggered, this, &TMainForm::About1Click);
  connect(Undo1, &QAction::triggered, this, &TMainForm::Undo1Click);
  connect(Redo1, &QAction::triggered, this, &TMainForm::Redo1Click);
  connect(E1Menu, &QMenu::aboutToShow, this, &TMainForm::UpdateUndoItems);

  // What each item needs of the active window; a disabled item says why.
  using qirm::MenuCommand;
  m_checkedItems = {
      {Save1, MenuCommand::kWindow, true},    {Close1, MenuCommand::kWindow, false},
      {N1, MenuCommand::kNegative, true},     {M1, MenuCommand::kMirror, true},
      {R1, MenuCommand::kFlip, true},         {R3, MenuCommand::kRotate, true},
      {N3, MenuCommand::kResample, true},     {Debayer1, MenuCommand::kDebayer, true},
      {RGB2, MenuCommand::kSeparate, false},  {C1, MenuCommand::kWindow, false},
      {T2, MenuCommand::kBackground, true},   {N2, MenuCommand::kEdge, true},
      {N4, MenuCommand::kBlur, true},         {H1, MenuCommand::kHighPass, true},
      {L1, MenuCommand::kLowPass, true},      {N5, MenuCommand::kBloom, true},
      {T1, MenuCommand::kToneCurve, true},    {N6, MenuCommand::kGamma, true},
      {N7, MenuCommand::kSolarize, true},     {N8, MenuCommand::kSabattier, true},
      {N9, MenuCommand::kComa, true},         {P1, MenuCommand::kWindow, true},
      {S1, MenuCommand::kPhotometry, false},  {R2, MenuCommand::kPhotometry, false},
      {P3, MenuCommand::kWindow, false},      {FitsHeader1, MenuCommand::kWindow, false},
      {ZoomIn1, MenuCommand::kWindow, true},  {ZoomOut1, MenuCommand::kWindow, true},
      {FitZoom1, MenuCommand::kWindow, true}, {Zoom100, MenuCommand::kWindow, true},
      {A1, MenuCommand::kWindow, false},      {Cascade1, MenuCommand::kWindow, false},
      {Tile1, MenuCommand::kWindow, false},
  };
  for (QMenu* menu : {File1Menu, E1Menu, P2Menu, K1Menu, View1Menu, Window1Menu})
    menu->setToolTipsVisible(true);
  UpdateUndoItems();
}

void TMainForm::CreateSpeedBar() {
  SpeedBar = new QToolBar(this);
  SpeedBar->setObjectName(QStringLiteral("SpeedBar"));
  SpeedBar->setMovable(false);
  SpeedBar->setFloatable(false);
  SpeedBar->setFixedHeight(kSpeedBarHeight);
  // The bar's whole height for its controls: the level boxes carry their
  // names above them.
  SpeedBar->layout()->setContentsMargins(0, 0, 0, 0);
  addToolBar(Qt::TopToolBarArea, SpeedBar);

  // One panel carries every control, so hidden ones can be shown and hidden
  // like any widget (a tool bar would only honour its actions' visibility).
  auto* panel = new QWidget(SpeedBar);
  panel->setObjectName(QStringLiteral("SpeedBarPanel"));
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(2, 0, 2, 0);
  row->setSpacing(4);

  auto newToolButton = [panel](const char* name, QStyle::StandardPixmap glyph, const QString& hint) {
    auto* button = new QToolButton(panel);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(panel->style()->standardIcon(glyph));
    button->setIconSize(QSize(20, 20));
    button->setAutoRaise(true);
    button->setFixedSize(27, 27);
    // The short hint; the long one (status-line text) is empty.
    button->setToolTip(hint);
    return button;
  };
  OpenButton = newToolButton("OpenButton", QStyle::SP_DirOpenIcon, QStringLiteral("画像を開く (Ctrl+O)"));
  SaveButton =
      newToolButton("SaveButton", QStyle::SP_DialogSaveButton, QStringLiteral("画像の保存 (Ctrl+S)"));

  QFont bold = font();
  bold.setBold(true);
  bold.setPixelSize(16);
  Button1 = NewButton(QStringLiteral("+"), "Button1", panel);
  Button1->setFont(bold);
  Button2 = NewButton(QStringLiteral("-"), "Button2", panel);
  Button2->setFont(bold);
  Edit1 = NewEdit(QString(), "Edit1", 64, panel);

  Label5 = NewLabel(QStringLiteral("Min.="), "Label5", panel);
  Edit3 = NewEdit(QStringLiteral("0"), "Edit3", 56, panel);
  UpDown2 = NewUpDown("UpDown2", qirm::kMinSpinMin, qirm::kMinSpinMax, panel);
  Label6 = NewLabel(QStringLiteral("Max.="), "Label6", panel);
  Edit2 = NewEdit(QStringLiteral("0"), "Edit2", 56, panel);
  UpDown1 = NewUpDown("UpDown1", qirm::kMaxSpinMin, qirm::kMaxSpinMax, panel);
  Button3 = NewButton(QStringLiteral("H"), "Button3", panel);
  Button4 = NewButton(QStringLiteral("L"), "Button4", panel);
  // Each level has two boxes: the value as the file's readers show it, and
  // the window's raw level behind it (they differ for scaled FITS data).
  // Their names stand small above them, so the bar grows no wider.
  QFont small = font();
  small.setPixelSize(10);
  auto captioned = [&](QWidget* box, const QString& text, const char* name, QLabel*& label) {
    auto* column = new QWidget(panel);
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 1, 0, 1);
    stack->setSpacing(0);
    label = NewLabel(text, name, column);
    label->setFont(small);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    label->setFixedHeight(11);
    box->setParent(column);
    box->setFixedHeight(20);
    stack->addWidget(label);
    stack->addWidget(box);
    return column;
  };
  QWidget* minPhysical = captioned(Edit3, QStringLiteral("物理値"), "MinPhysicalLabel", MinPhysicalLabel);
  QWidget* minRaw = captioned(UpDown2, QStringLiteral("生値"), "MinRawLabel", MinRawLabel);
  QWidget* maxPhysical = captioned(Edit2, QStringLiteral("物理値"), "MaxPhysicalLabel", MaxPhysicalLabel);
  QWidget* maxRaw = captioned(UpDown1, QStringLiteral("生値"), "MaxRawLabel", MaxRawLabel);

  Button1->setToolTip(QStringLiteral("拡大: 表示倍率を2倍にする (+)"));
  Button2->setToolTip(QStringLiteral("縮小: 表示倍率を半分にする (-)"));
  Edit1->setToolTip(QStringLiteral("表示倍率: 数値を入れて Enter で、その倍率に最も近い倍率で表示"));
  Edit3->setToolTip(QStringLiteral("黒になるレベル（物理値: BZERO + BSCALE × 保存値）。Enter で表示し直す"));
  UpDown2->setToolTip(QStringLiteral("黒になるレベル（生値: ウィンドウが持つ値）"));
  Edit2->setToolTip(QStringLiteral("白になるレベル（物理値: BZERO + BSCALE × 保存値）。Enter で表示し直す"));
  UpDown1->setToolTip(QStringLiteral("白になるレベル（生値: ウィンドウが持つ値）"));
  Button3->setToolTip(
      QStringLiteral("H: コントラストを上げる（白のレベルを下げて幅を0.8倍に。カラー画像は1.1倍明るく）"));
  Button4->setToolTip(
      QStringLiteral("L: コントラストを下げる（白のレベルを上げて幅を1.2倍に。カラー画像は1/1.1倍に暗く）"));

  Label2 = NewLabel(QStringLiteral("R = , G = , B = "), "Label2", panel);
  Label1 = NewLabel(QStringLiteral("QIRM = "), "Label1", panel);
  // With the level controls shown the readouts give way in a narrow window
  // (their text is cut) rather than widening it.
  Label2->setMinimumWidth(1);
  Label1->setMinimumWidth(1);

  for (QWidget* w :
       std::initializer_list<QWidget*>{OpenButton, SaveButton, Button1, Button2, Edit1, Label5, minPhysical,
                                       minRaw, Label6, maxPhysical, maxRaw, Button3, Button4})
    row->addWidget(w);
  row->addSpacing(16);
  row->addWidget(Label2);
  row->addSpacing(24);
  row->addWidget(Label1);
  row->addStretch(1);

  SpeedBar->addWidget(panel);

  using qirm::MenuCommand;
  for (const auto& [button, command] :
       std::initializer_list<std::pair<QWidget*, MenuCommand>>{{SaveButton, MenuCommand::kWindow},
                                                               {Button1, MenuCommand::kWindow},
                                                               {Button2, MenuCommand::kWindow},
                                                               {Button3, MenuCommand::kContrast},
                                                               {Button4, MenuCommand::kContrast}})
    m_checkedButtons.push_back({button, command, button->toolTip()});

  connect(OpenButton, &QToolButton::clicked, this, &TMainForm::OpenButtonClick);
  connect(SaveButton, &QToolButton::clicked, this, &TMainForm::SaveButtonClick);
  connect(Button1, &QPushButton::clicked, this, &TMainForm::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TMainForm::Button2Click);
  // Enter or leaving the box applies a typed zoom.
  connect(Edit1, &QLineEdit::editingFinished, this, &TMainForm::Edit1Change);
  connect(Button3, &QPushButton::clicked, this, &TMainForm::Button33Click);
  connect(Button4, &QPushButton::clicked, this, &TMainForm::Button44Click);
  connect(UpDown1, &UpDownSpin::clicked, this, &TMainForm::UpDown1Click);
  connect(UpDown2, &UpDownSpin::clicked, this, &TMainForm::UpDown2Click);
  // textChanged fires also when the program sets the text, as the level
  // handlers expect.
  connect(Edit2, &QLineEdit::textChanged, this, &TMainForm::Edit2Change);
  connect(Edit3, &QLineEdit::textChanged, this, &TMainForm::Edit3Change);
  // Typing stores a level; Enter draws the window with it.
  connect(Edit2, &QLineEdit::returnPressed, this, &TMainForm::LevelEditEnter);
  connect(Edit3, &QLineEdit::returnPressed, this, &TMainForm::LevelEditEnter);
}

void TMainForm::CreatePanel1() {
  // The status bar is the panel itself, so its height is the design's.
  auto* bar = new QStatusBar(this);
  bar->setObjectName(QStringLiteral("Panel1"));
  bar->setSizeGripEnabled(false);
  bar->setFixedHeight(kPanel1Height);
  setStatusBar(bar);
  Panel1 = bar;
  // The design font does not exist off its home system; the fallback is a
  // Japanese monospaced face of the same look.
  QFont gothic;
  gothic.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("Noto Sans Mono CJK JP")});
  gothic.setStyleHint(QFont::Monospace);
  gothic.setPixelSize(12);
  Panel1->setFont(gothic);

  auto* contents = new QWidget(bar);
  contents->setObjectName(QStringLiteral("Panel1Contents"));
  auto* row = new QHBoxLayout(contents);
  row->setContentsMargins(2, 0, 2, 0);
  row->setSpacing(8);

  auto newGauge = [contents](const char* name, int width) {
    auto* gauge = new QProgressBar(contents);
    gauge->setObjectName(QString::fromLatin1(name));
    gauge->setRange(0, 100);
    gauge->setValue(0);
    gauge->setTextVisible(false);
    gauge->setFixedSize(width, 17);
    return gauge;
  };
  ProgressBar1 = newGauge("ProgressBar1", 200);
  Label4 = NewLabel(QStringLiteral("Memory"), "Label4", contents);
  ProgressBar2 = newGauge("ProgressBar2", 120);
  Label3 = NewLabel(QStringLiteral("    %"), "Label3", contents);
  Label3->setMinimumWidth(40);
  QPalette green = Label3->palette();
  green.setColor(QPalette::WindowText, QColor(0, 128, 0));
  Label3->setPalette(green);
  Label7 = NewLabel(QStringLiteral("Image Depth = "), "Label7", contents);
  Label8 = NewLabel(QStringLiteral("Image Size = "), "Label8", contents);
  SkyLabel = NewLabel(QString(), "SkyLabel", contents);
  FitsPixelLabel = NewLabel(QString(), "FitsPixelLabel", contents);
  // Texts that follow the window and the cursor give way in a narrow main
  // window (cut) rather than widening it; the sky position first, which
  // takes only the room left.
  for (QLabel* label : {Label7, Label8, SkyLabel, FitsPixelLabel}) label->setMinimumWidth(1);
  SkyLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

  row->addWidget(ProgressBar1);
  row->addSpacing(8);
  row->addWidget(Label4);
  row->addWidget(ProgressBar2);
  row->addWidget(Label3);
  row->addSpacing(16);
  row->addWidget(Label7);
  row->addSpacing(16);
  row->addWidget(Label8);
  row->addSpacing(16);
  row->addWidget(FitsPixelLabel);
  row->addSpacing(16);
  row->addWidget(SkyLabel, 1);
  bar->addWidget(contents, 1);
}

namespace {

// True when enough of the window's top edge, where the title bar is, lies
// on some screen for the user to take hold of it.
bool ReachableOnSomeScreen(const QRect& frame) {
  const QRect band(frame.left(), frame.top(), frame.width(), 24);
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect seen = band.intersected(screen->geometry());
    if (seen.width() >= 48 && seen.height() >= 8) return true;
  }
  return false;
}

}  // namespace

void TMainForm::CentreOnPrimaryScreen() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect s = screen->geometry();
    move(s.left() + s.width() / 2 - width() / 2, y());
    move(x(), s.top() + s.height() / 2 - height() / 2);
  }
}

// Design size, centred on the primary screen, then the place kept in
// QIRM.ini (the configuration folder's, else an old one in the current
// folder) if it can be read. Top and left are the outer frame's corner (what
// move() sets and pos() reports); width and height are the window's own size
// without the window manager's decorations, whose size is unknown before the
// window is mapped. Reading back what SaveSettings wrote therefore restores
// the window exactly. A place kept on a screen that is no longer there
// would open the window where nobody can reach it: the window then keeps
// its size and is centred again.
void TMainForm::PlaceWindow() {
  resize(kDesignWidth, kDesignHeight);
  CentreOnPrimaryScreen();
  if (const auto p = qirm::LoadSettings()) {
    move(x(), p->top);
    move(p->left, y());
    resize(p->width, height());
    resize(width(), p->height);
    if (!ReachableOnSomeScreen(QRect(pos(), size()))) CentreOnPrimaryScreen();
  }
}

void TMainForm::SaveSettings() {
  QPoint corner = pos();
  QSize size = this->size();
  // A maximised or minimised window keeps its normal place for the next run.
  if ((isMaximized() || isMinimized() || isFullScreen()) && normalGeometry().isValid()) {
    const QPoint frameOffset = geometry().topLeft() - frameGeometry().topLeft();
    corner = normalGeometry().topLeft() - frameOffset;
    size = normalGeometry().size();
  }
  // A failed write is not reported; the program still ends.
  (void)qirm::SaveSettings({corner.y(), corner.x(), size.width(), size.height()});
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // A command or a composition that is running cannot be stopped, and its
  // result would be lost: the program stays until it ends.
  if (Busy() || (RGBComp && RGBComp->Running())) {
    QMessageBox::information(this, QStringLiteral("QIRM"),
                             QStringLiteral("処理を実行中です。終わってから終了してください。"));
    event->ignore();
    return;
  }
  for (TChild* child : Children()) {
    if (!MayClose(child)) {
      event->ignore();
      return;
    }
  }
  m_closing = true;
  SaveSettings();
  event->accept();
}

QString TMainForm::VersionMessage() {
  return QString(21, QLatin1Char(' ')) + QStringLiteral("QIRM\n") + QString(20, QLatin1Char(' ')) +
         QStringLiteral("ver. 1.01\n\n (C) QIRM developers");
}

QString TMainForm::VersionDetails() {
  QString text = QStringLiteral("QIRM %1\nライセンス: %2\n使用ライブラリ:\n  Qt %3")
                     .arg(QString::fromStdString(qirm::ProgramVersionText()),
                          QString::fromLatin1(qirm::kProgramLicence), QString::fromLatin1(qVersion()));
  for (const qirm::LibraryVersion& library : qirm::LibraryVersions()) {
    text += QString::fromStdString("\n  " + library.name + " " + library.version);
  }
  return text;
}

void TMainForm::About1Click() {
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("QIRM"), VersionMessage(), QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);
  box.setInformativeText(VersionDetails());
  box.exec();
}

void TMainForm::FitsHeader1Click() {
  if (!HeaderView) HeaderView = new THeaderView(this);
  TChild* child = ActiveChild();
  HeaderView->ShowDocument(child ? child->Document() : nullptr);
  HeaderView->show();
  HeaderView->raise();
  HeaderView->activateWindow();
}

void TMainForm::OriginBottom1Click() {
  for (TChild* child : Children()) child->SetOriginBottom(OriginBottom1->isChecked());
  m_settings.SetValue(QString::fromLatin1(UiSettings::kOriginBottom), OriginBottom1->isChecked());
}

void TMainForm::Timer1Timer() {
  const int load = qirm::MemoryLoadPercent(QFile::encodeName(m_memInfoPath).toStdString());
  if (load < 0) return;  // no figure: the gauge keeps its last one
  ProgressBar2->setValue(load);
  Label3->setText(QString::fromStdString(qirm::MemoryLoadText(load)));
}

// Closing through close() keeps the window's place in QIRM.ini, as closing
// the window's frame does.
void TMainForm::Exit1Click() { close(); }
