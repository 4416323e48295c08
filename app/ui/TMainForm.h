// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: menu, tool bar, status panel and the multiple-document
// area that holds the image windows. Controls and handlers keep their design
// names (Open1, Edit2, Edit2Change ...), so each command's code reads the same
// as its description.
#pragma once

#include <QMainWindow>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>
#include <vector>

#include "app/command_checks.h"
#include "app/open_image.h"
#include "app/save_image.h"
#include "app/ui/CommandRunner.h"
#include "app/ui/ResultWindowHost.h"
#include "app/ui/UiSettings.h"
#include "display/level_presets.h"
#include "display/window_commands.h"
#include "document/history.h"
#include "document/workspace.h"

class QAction;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QLineEdit;
class QMdiArea;
class QMdiSubWindow;
class TChild;
class TypedFileDialog;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;
class QWidget;
class THeaderView;
class TStarPhotometry;
class TTrailPhotometry;
class UpDownSpin;
class LevelsPanel;
class TResample;
class TToneCurve;

class TMainForm : public QMainWindow, public ResultWindowHost {
  Q_OBJECT
 public:
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  // Opens the files named on the command line, one image window each.
  void OpenFiles(const QStringList& paths);

  // The text of the version message box.
  static QString VersionMessage();
  // The box's second text beneath it: the release and commit, the licence
  // and the libraries in use (the toolkit as loaded).
  static QString VersionDetails();

  // Where the memory gauge reads the system's memory figures (tests point it
  // at a fixture).
  void SetMemInfoPath(const QString& path) { m_memInfoPath = path; }

  QMdiArea* MdiArea = nullptr;
  // "すべての画像" first, then each type the open command reads.
  TypedFileDialog* OpenDialog = nullptr;
  // Its entries follow the window saved: first the formats that keep its
  // data, FITS for a 16-bit or float window; PNG and TIFF of 16 bits for a
  // composition's 16-bit result.
  TypedFileDialog* SaveDialog = nullptr;

  // The model behind the image windows and the level and zoom texts.
  qirm::Workspace& Workspace() { return m_workspace; }
  // The active image window, or nullptr.
  TChild* ActiveChild() const;
  QList<TChild*> Children() const;
  TChild* ChildOf(const qirm::ImageDocument* doc) const;
  // Shows the standard error box (a conversion error, a file that cannot be
  // read) and lets the command stop there.
  void ShowError(const QString& message);
  // Writes the workspace's texts into the controls without running their
  // change handlers again.
  void SyncTexts() override;
  // Redraws the windows whose documents a command changed.
  void RefreshChildren();

  // Makes image windows for the documents the workspace gained (an opened
  // file, separation, composite, a dialog's result), sized by `size`; the
  // workspace's active document becomes the active window and the texts are
  // written into the controls.
  void ShowNewWindows(ResultWindowSize size);
  // Adds `doc` to the workspace as its new active window and shows it as
  // ShowNewWindows does.
  void ShowResultWindow(qirm::ImageDocument&& doc, ResultWindowSize size) override;
  // The workspace's texts, and this window as the owner of a dialog's boxes.
  qirm::MainState& Texts() override { return m_workspace.main(); }
  QWidget* HostWindow() override { return this; }
  // Sets ProgressBar1 and lets it show at once, for long commands.
  void SetProgress(int percent) override;

  // Runs a command that changes the active window through the engine's undo
  // path; the step is named after `item`'s caption without its accelerator.
  qirm::Status RunUndoable(const QAction* item, const qirm::DocumentCommand& command);
  // Runs a long command on `child`'s window off this thread (CommandRunner):
  // the busy cursor and the progress bar show while it runs, the window
  // takes no other command that would change it, and the result, its undo
  // step (named as RunUndoable names it) and any error arrive when it ends.
  // A window that already runs a command refuses with a message.
  void RunInBackground(const QAction* item, TChild* child, CommandRunner::Work work);
  // True while a command runs on `child`'s window (or any window).
  bool Busy(const TChild* child) const;
  bool Busy() const { return Runner && Runner->Running(); }
  // A window busy with a command refuses another: the message box, true.
  bool RefuseBusy(const TChild* child);
  // The undo and redo items follow the active window's history; the
  // commands that would change a busy active window are disabled.
  void UpdateUndoItems();
  // Before an edited or unsaved window closes: asks whether to save it
  // (保存 / 保存しない / キャンセル); 保存 runs the save command on it. True
  // when the window may close (saved, discarded, or nothing to lose).
  bool MayClose(TChild* child);

  // Opens one file into a new window with the reader its entry names
  // (1 BMP, 2 FITS, 3 JPEG, 4 Netpbm); false after the error box. An opened
  // file goes to the front of the recent list.
  bool OpenFile(const QString& path, qirm::FileType type);

  // The recent files, newest first, as the File menu lists them.
  QStringList RecentFiles() const;
  // Where the recent list is kept: beside QIRM.ini, as the current folder
  // was at start-up.
  QString RecentFilesPath() const { return m_recentPath; }

  // Menu MainMenu1. A submenu is its QMenu's action; its QMenu is
  // File1Menu, E1Menu ...
  QMenuBar* MainMenu1 = nullptr;
  QAction* File1 = nullptr;        // "ファイル(&F)": the file menu
  QAction* N19 = nullptr;          // "新規(&N)": new, always disabled
  QAction* Open1 = nullptr;        // "開く(&O)": open image files
  QAction* Save1 = nullptr;        // "保存(&A)": save the active window, the format as the name says
  QAction* Save2 = nullptr;        // "上書き保存(&S)": the window written to its own file in its format
  QAction* Close1 = nullptr;       // "閉じる(&C)" (Ctrl+W, Ctrl+F4): close the active window
  QAction* Recent1 = nullptr;      // "最近使ったファイル(&R)": the recent files, newest first
  QAction* Exit1 = nullptr;        // "終了(&X)": end the program
  QAction* E1 = nullptr;           // "画像編集(&E)": the edit menu
  QAction* Undo1 = nullptr;        // "元に戻す: <command>" (Ctrl+Z): undo in the active window
  QAction* Redo1 = nullptr;        // "やり直し: <command>" (Ctrl+Y): redo in the active window
  QAction* N1 = nullptr;           // "ネガ反転(&N)": negative
  QAction* M1 = nullptr;           // "左右反転(&M)": mirror left to right
  QAction* R1 = nullptr;           // "上下反転(&U)": flip top to bottom
  QAction* R3 = nullptr;           // "回転(&R)": rotate by the fixed 0.1 radian
  QAction* N3 = nullptr;           // "リサンプリング(&P)": the resampling dialog, then resampling
  QAction* Debayer1 = nullptr;     // "デベイヤー(&D)": a camera's mosaic into a colour window
  QAction* RGB1 = nullptr;         // "RGB合成(&B)": the tri-colour composition dialog
  QAction* RGB2 = nullptr;         // "RGB分解(&V)": separate into R, G and B windows
  QAction* C1 = nullptr;           // "コンポジット(&C)": stack open images
  QAction* T2 = nullptr;           // "背景傾斜(&T)": the background dialog, then the slope removed
  QAction* P2 = nullptr;           // "画像処理(&P)": the processing menu
  QAction* N2 = nullptr;           // "エッジ強調(&E)": edge enhancement
  QAction* N4 = nullptr;           // "ぼかし(&B)": blur
  QAction* H1 = nullptr;           // "ハイパス効果(&H)": high-pass filter
  QAction* L1 = nullptr;           // "ローパス効果(&L)": low-pass filter
  QAction* N5 = nullptr;           // "ブルーミング除去(&R)": remove blooming
  QAction* T1 = nullptr;           // "トーンカーブ(&T)": the curves dialog, then the curve applied
  QAction* N6 = nullptr;           // "ガンマ(&M)": gamma
  QAction* N23 = nullptr;          // "画像処理パネル": disabled, its tooltip says it is not available
  QAction* N7 = nullptr;           // "ソラリゼーション(&S)": solarization
  QAction* N8 = nullptr;           // "サバチエ効果(&A)": Sabattier effect
  QAction* N9 = nullptr;           // "コマコレクト処理(&K)": coma correction
  QAction* P1 = nullptr;           // "ガイドミスキャンセラ(&G)": guide-miss canceller
  QAction* PRCC1 = nullptr;        // "P.R.C.(&C)": disabled, its tooltip says it is not available
  QAction* K1 = nullptr;           // "計測(&K)": the measuring menu
  QAction* S1 = nullptr;           // "測光（恒星）(&S)": the star photometry dialog
  QAction* R2 = nullptr;           // "測光（流星）(&R)": the trail photometry dialog
  QAction* P3 = nullptr;           // "スペクトル(&P)": spectrum plot of the active image
  QAction* FitsHeader1 = nullptr;  // "FITSヘッダー(&F)": the header view of the active window
  QAction* View1 = nullptr;        // "表示(&D)": the view menu
  QAction* ZoomIn1 = nullptr;      // "拡大(&I)" ("+", Ctrl++): as Button1, about the view's centre
  QAction* ZoomOut1 = nullptr;     // "縮小(&O)" ("-", Ctrl+-): as Button2
  QAction* FitZoom1 = nullptr;  // "ウィンドウに合わせる(&F)" (Ctrl+0): the largest zoom that fits
  QAction* Zoom100 = nullptr;   // "100%(&1)" (Ctrl+1)
  QAction* FullScreen1 = nullptr;  // "全画面表示(&U)" (F11), checkable
  QAction* OriginBottom1 =
      nullptr;  // "原点を左下に(&B)", checkable: every image window drawn bottom up; kept for the next run
  QAction* Window1 = nullptr;   // "ウィンドウ(&W)": the window menu
  QAction* A1 = nullptr;        // "すべてを閉じる(&A)": close all image windows
  QAction* Cascade1 = nullptr;  // "重ねて表示(&C)": cascade the image windows
  QAction* Tile1 = nullptr;     // "並べて表示(&T)": tile them
  // Below the last separator of Window1Menu: one checkable item per image
  // window, made each time the menu opens.
  QAction* V1 = nullptr;      // "バージョン(&V)": the version menu
  QAction* About1 = nullptr;  // "バージョン情報(&V)": the version box
  QMenu* File1Menu = nullptr;
  QMenu* Recent1Menu = nullptr;
  QMenu* E1Menu = nullptr;
  QMenu* P2Menu = nullptr;
  QMenu* K1Menu = nullptr;
  QMenu* View1Menu = nullptr;
  QMenu* Window1Menu = nullptr;
  QMenu* V1Menu = nullptr;

  // Tool bar SpeedBar; its controls sit on one panel, left to right.
  QToolBar* SpeedBar = nullptr;
  QToolButton* OpenButton = nullptr;
  QToolButton* SaveButton = nullptr;
  QPushButton* Button1 = nullptr;    // "+"
  QPushButton* Button2 = nullptr;    // "-"
  QLineEdit* Edit1 = nullptr;        // zoom text
  QLabel* Label5 = nullptr;          // "Min.="
  QLineEdit* Edit3 = nullptr;        // minimum level
  UpDownSpin* UpDown2 = nullptr;     // minimum level arrows
  QLabel* Label6 = nullptr;          // "Max.="
  QLineEdit* Edit2 = nullptr;        // maximum level
  UpDownSpin* UpDown1 = nullptr;     // maximum level arrows
  QLabel* Label2 = nullptr;          // cursor readout
  QLabel* SkyLabel = nullptr;        // right ascension and declination under the cursor (status panel)
  QLabel* FitsPixelLabel = nullptr;  // "FITS (x, y)": the pixel read, numbered from 1 (status panel)
  QLabel* Label1 = nullptr;          // star width
  QPushButton* Button3 = nullptr;    // "H"
  QPushButton* Button4 = nullptr;    // "L"
  // "物理値" before each level's edit, "生値" before its spin.
  QLabel* MinPhysicalLabel = nullptr;
  QLabel* MinRawLabel = nullptr;
  QLabel* MaxPhysicalLabel = nullptr;
  QLabel* MaxRawLabel = nullptr;

  // Status panel Panel1: the main window's status bar.
  QStatusBar* Panel1 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QLabel* Label4 = nullptr;  // "Memory"
  QProgressBar* ProgressBar2 = nullptr;
  QLabel* Label3 = nullptr;  // memory load text
  QLabel* Label7 = nullptr;  // "Image Depth = " and the active window's depth
  QLabel* Label8 = nullptr;  // "Image Size = " and its size

  QTimer* Timer1 = nullptr;
  // The header view, made on first use; it follows the active window.
  THeaderView* HeaderView = nullptr;
  // The photometry dialogs, made on first use; clicks in image windows go
  // to the one shown.
  TStarPhotometry* StarPhotometry = nullptr;
  TTrailPhotometry* TrailPhotometry = nullptr;

  // The levels panel "レベル", a dock the user can hide (Window menu).
  LevelsPanel* LevelsDock = nullptr;
  // The resampling and curves dialogs, made on first use; they keep their
  // values from one use to the next.
  TResample* ResampleDialog = nullptr;
  TToneCurve* ToneCurveDialog = nullptr;

  // The long commands running off the user-interface thread.
  CommandRunner* Runner = nullptr;

 public slots:
  void Open1Click();    // Open1 "開く(&O)": file dialog, one window a file
  void Save1Click();    // Save1 "保存(&A)": file dialog, then the format the typed name says
  void Save2Click();    // Save2 "上書き保存(&S)": the window's file replaced, in its format
  void Exit1Click();    // Exit1 "終了(&X)": closes the main window
  void N1Click();       // N1 "ネガ反転(&N)": negative
  void M1Click();       // M1 "左右反転(&M)": mirror
  void R1Click();       // R1 "上下反転(&U)": flip
  void R3Click();       // R3 "回転(&R)": rotate
  void RGB1Click();     // RGB1 "RGB合成(&B)": shows the tri-colour dialog
  void RGB2Click();     // RGB2 "RGB分解(&V)": colour separation
  void C1Click();       // C1 "コンポジット(&C)": composite dialog, then stacking
  void N2Click();       // N2 "エッジ強調(&E)": edge enhancement
  void N4Click();       // N4 "ぼかし(&B)": blur
  void H1Click();       // H1 "ハイパス効果(&H)": high-pass
  void L1Click();       // L1 "ローパス効果(&L)": low-pass
  void N5Click();       // N5 "ブルーミング除去(&R)": blooming removal
  void N6Click();       // N6 "ガンマ(&M)": gamma dialog, then gamma
  void N7Click();       // N7 "ソラリゼーション(&S)": solarization
  void N8Click();       // N8 "サバチエ効果(&A)": step-width dialog, then Sabattier
  void N9Click();       // N9 "コマコレクト処理(&K)": coma dialog, then correction
  void P1Click();       // P1 "ガイドミスキャンセラ(&G)": guide-miss panel, then canceller
  void S1Click();       // S1 "測光（恒星）(&S)": shows the star photometry dialog
  void R2Click();       // R2 "測光（流星）(&R)": shows the trail photometry dialog
  void N3Click();       // N3 "リサンプリング(&P)": resampling dialog, then a new window or in place
  void DebayerClick();  // Debayer1: pattern and method asked, then debayered off this thread
  void T2Click();       // T2 "背景傾斜(&T)": background dialog with previews, then removal
  void T1Click();       // T1 "トーンカーブ(&T)": curves dialog with preview, then the curve
  void P3Click();       // P3 "スペクトル(&P)": spectrum plot
  void FitsHeader1Click();    // FitsHeader1 "FITSヘッダー(&F)": shows the header view
  void OriginBottom1Click();  // OriginBottom1: the display of every window follows the check
  void A1Click();             // A1 "すべてを閉じる(&A)": close all
  void Close1Click();         // Close1 "閉じる(&C)": the active window, through the save question
  void Cascade1Click();
  void Tile1Click();
  void UpdateWindowList();  // the Window menu's list of open windows
  void FullScreen1Click();
  void About1Click();  // About1 "バージョン情報(&V)": version box
  void Undo1Click();   // Undo1 "元に戻す": the active window's last command taken back
  void Redo1Click();   // Redo1 "やり直し": the command taken back last done again

  void OpenButtonClick();  // as Open1Click
  void SaveButtonClick();  // as Save1Click
  void Button1Click();     // "+": zoom in
  void Button2Click();     // "-": zoom out
  void FitZoom1Click();  // "ウィンドウに合わせる": the largest zoom at which the picture fits the window
  void Zoom100Click();    // "100%"
  void Edit1Change();     // a zoom typed into the zoom box: applied, or the shown zoom restored
  void Button33Click();   // "H" (Button3): more contrast
  void Button44Click();   // "L" (Button4): less contrast
  void UpDown1Click();    // maximum level arrows
  void UpDown2Click();    // minimum level arrows
  void Edit2Change();     // maximum level text
  void Edit3Change();     // minimum level text
  void LevelEditEnter();  // Enter in a level edit: the window drawn with its levels
  void LevelPresetClick(qirm::LevelPreset preset);  // a preset of the levels panel
  void LevelsDrag(int min, int max);                // a point dragged on the panel
  // A long command's end: the window redrawn, the undo items, the error.
  void BackgroundFinished(qirm::ImageDocument* doc, const qirm::Status& status, bool committed);

  void Timer1Timer();  // each second: the memory gauge

 protected:
  // FormClose: asks about every edited or unsaved image window (a cancel
  // keeps the program running), keeps the window's place in QIRM.ini, then
  // the window closes.
  void closeEvent(QCloseEvent* event) override;
  // The close box of an image window's frame, "close all" and the frame's
  // menu come here first: MayClose decides.
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Files dropped on the main window open as the command line's do.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateDialogs();
  // The save dialog's entries for `doc` (m_saveFormats follows them).
  void SaveEntries(const qirm::ImageDocument& doc);
  // Writes `child`'s window to `path` in `format`; a BMP or FITS file
  // becomes the window's file and title; the file goes to the front of the
  // recent list. False after the error box.
  bool SaveWindow(TChild* child, const std::string& path, qirm::SaveFormat format);
  // Whether 上書き保存 can write `child`'s window: it has a file, in a format
  // QIRM writes; else the reason.
  qirm::Status OverwriteCheck(const TChild* child) const;
  // Zoom fitting: the window just holds the zoomed picture, or the main
  // client area less 20 by 60 when the picture is wider than the client.
  void FitZoomed(TChild* child);
  void ActivateChild(TChild* child);
  void ZoomClick(qirm::ZoomDirection direction);
  // Runs a zoom command on the active window and keeps the image point shown
  // at `anchor` (viewport coordinates; the view's centre when none) where it
  // was. `fit` sizes the window to the zoomed picture as "+" and "-" do.
  void ZoomActive(const std::function<qirm::Status(bool& changed)>& command, std::optional<QPointF> anchor,
                  bool fit);
  void LevelCommand(qirm::Status (*command)(qirm::Workspace&));
  void SpinClick(qirm::LevelSpin spin, int direction);
  void CreateMenu();
  void CreateSpeedBar();
  void CreatePanel1();
  void CreateLevelsPanel();
  // The levels panel follows the active window; `recount` after its data
  // may have changed.
  void FollowLevels(bool recount);
  // Enables the menu items and tool bar buttons that act on the active
  // window as far as its kind takes them (MenuCommandCheck), a disabled
  // item's tooltip saying why; the commands that would change a busy
  // window are disabled while it runs one.
  void UpdateBusyItems();
  // The status panel's depth and size of the active window; the bare
  // captions without one.
  void UpdateStatusTexts();
  // UpdateUndoItems without counting the window's values again: a run that
  // starts changes only which commands are free.
  void UpdateCommandItems();
  void PlaceWindow();
  void CentreOnPrimaryScreen();
  void SaveSettings();
  // After a save: the window holds what its file holds.
  void MarkSaved(qirm::ImageDocument* doc);
  void AddRecent(const QString& path);
  void UpdateRecentMenu();
  // Where a new image window goes: one step down and right of the last
  // place taken, back to the corner when the client area runs out.
  QPoint CascadePosition() const;

  UiSettings m_settings;
  // The items UpdateBusyItems sets: the command each runs, and whether a
  // busy window locks it.
  struct CheckedItem {
    QAction* action;
    qirm::MenuCommand command;
    bool locked_while_busy;
  };
  std::vector<CheckedItem> m_checkedItems;
  struct CheckedButton {
    QWidget* button;
    qirm::MenuCommand command;
    QString tip;  // what it does, the reason it is disabled added below
  };
  std::vector<CheckedButton> m_checkedButtons;
  // The reader of each open dialog entry (none for "すべての画像") and the
  // format of each save dialog entry.
  QVector<std::optional<qirm::FileType>> m_openTypes;
  std::vector<qirm::SaveFormat> m_saveFormats;
  QString m_memInfoPath = QStringLiteral("/proc/meminfo");
  QString m_recentPath;
  std::vector<std::string> m_recent;
  qirm::Workspace m_workspace;
  bool m_syncing = false;
  bool m_closing = false;     // the program ends: every question has been answered
  bool m_busyCursor = false;  // the busy cursor is shown for the runs going on
};
