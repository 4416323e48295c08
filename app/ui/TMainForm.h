// The main window: menu, tool bar, status panel and the multiple-document
// area that holds the image windows. Controls and handlers keep their design
// names (Open1, Edit2, Edit2Change ...), so each command's code reads the same
// as its description.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include "app/open_image.h"
#include "display/window_commands.h"
#include "document/workspace.h"

class QAction;
class QCloseEvent;
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
class UpDownSpin;

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  // Opens the files named on the command line, one image window each.
  void OpenFiles(const QStringList& paths);

  // The text of the version message box.
  static QString VersionMessage();

  // Where the memory gauge reads the system's memory figures (tests point it
  // at a fixture).
  void SetMemInfoPath(const QString& path) { m_memInfoPath = path; }

  QMdiArea* MdiArea = nullptr;
  TypedFileDialog* OpenDialog = nullptr;
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
  void SyncTexts();
  // Redraws the windows whose documents a command changed.
  void RefreshChildren();

  // Makes image windows for the documents the workspace gained, sized to
  // reach the main client edges (fitToMainClient) or to fit their pictures.
  void AddNewChildren(bool fitToMainClient);
  // Sets ProgressBar1 and lets it show at once, for long commands.
  void SetProgress(int percent);

  // Opens one file into a new window with the reader its entry names
  // (1 BMP, 2 FITS, 3 JPEG, 4 Netpbm); false after the error box.
  bool OpenFile(const QString& path, qirm::FileType type);

  // Menu MainMenu1. A submenu is its QMenu's action; its QMenu is
  // File1Menu, E1Menu ...
  QMenuBar* MainMenu1 = nullptr;
  QAction* File1 = nullptr;
  QAction* N19 = nullptr;
  QAction* Open1 = nullptr;
  QAction* Save1 = nullptr;
  QAction* Save2 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* E1 = nullptr;
  QAction* N1 = nullptr;
  QAction* M1 = nullptr;
  QAction* R1 = nullptr;
  QAction* R3 = nullptr;
  QAction* N3 = nullptr;
  QAction* RGB1 = nullptr;
  QAction* RGB2 = nullptr;
  QAction* C1 = nullptr;
  QAction* T2 = nullptr;
  QAction* P2 = nullptr;
  QAction* N2 = nullptr;
  QAction* N4 = nullptr;
  QAction* H1 = nullptr;
  QAction* L1 = nullptr;
  QAction* N5 = nullptr;
  QAction* T1 = nullptr;
  QAction* N6 = nullptr;
  QAction* N23 = nullptr;
  QAction* N7 = nullptr;
  QAction* N8 = nullptr;
  QAction* N9 = nullptr;
  QAction* P1 = nullptr;
  QAction* PRCC1 = nullptr;
  QAction* K1 = nullptr;
  QAction* S1 = nullptr;
  QAction* R2 = nullptr;
  QAction* P3 = nullptr;
  QAction* Window1 = nullptr;
  QAction* A1 = nullptr;
  QAction* V1 = nullptr;
  QAction* About1 = nullptr;
  QMenu* File1Menu = nullptr;
  QMenu* E1Menu = nullptr;
  QMenu* P2Menu = nullptr;
  QMenu* K1Menu = nullptr;
  QMenu* Window1Menu = nullptr;
  QMenu* V1Menu = nullptr;

  // Tool bar SpeedBar; its controls sit on one panel, left to right.
  QToolBar* SpeedBar = nullptr;
  QToolButton* OpenButton = nullptr;
  QToolButton* SaveButton = nullptr;
  QPushButton* Button1 = nullptr;  // "+"
  QPushButton* Button2 = nullptr;  // "-"
  QLineEdit* Edit1 = nullptr;      // zoom text
  QLabel* Label5 = nullptr;        // "Min.=", hidden
  QLineEdit* Edit3 = nullptr;      // minimum level, hidden
  UpDownSpin* UpDown2 = nullptr;   // hidden
  QLabel* Label6 = nullptr;        // "Max.=", hidden
  QLineEdit* Edit2 = nullptr;      // maximum level, hidden
  UpDownSpin* UpDown1 = nullptr;   // hidden
  QLabel* Label2 = nullptr;        // cursor readout
  QLabel* Label1 = nullptr;        // star width
  QPushButton* Button3 = nullptr;  // "H", hidden
  QPushButton* Button4 = nullptr;  // "L", hidden

  // Status panel Panel1: the main window's status bar.
  QStatusBar* Panel1 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QLabel* Label4 = nullptr;  // "Memory"
  QProgressBar* ProgressBar2 = nullptr;
  QLabel* Label3 = nullptr;  // memory load text
  QLabel* Label7 = nullptr;  // "Image Depth = "
  QLabel* Label8 = nullptr;  // "Image Size = "

  QTimer* Timer1 = nullptr;

 public slots:
  void Open1Click();
  void Save1Click();
  void Exit1Click();
  void N1Click();
  void M1Click();
  void R1Click();
  void R3Click();
  void RGB1Click();
  void RGB2Click();
  void C1Click();
  void N2Click();
  void N4Click();
  void H1Click();
  void L1Click();
  void N5Click();
  void N6Click();
  void N7Click();
  void N8Click();
  void N9Click();
  void P1Click();
  void P3Click();
  void A1Click();
  void About1Click();

  void OpenButtonClick();
  void SaveButtonClick();
  void Button1Click();
  void Button2Click();
  void Button33Click();
  void Button44Click();
  void UpDown1Click();
  void UpDown2Click();
  void Edit2Change();
  void Edit3Change();

  void Timer1Timer();

 protected:
  // FormClose: keeps the window's place in QIRM.ini, then the window closes.
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateDialogs();
  // Zoom fitting: the window just holds the zoomed picture, or the main
  // client area less 20 by 60 when the picture is wider than the client.
  void FitZoomed(TChild* child);
  void ActivateChild(TChild* child);
  void ZoomClick(qirm::ZoomDirection direction);
  void LevelCommand(qirm::Status (*command)(qirm::Workspace&));
  void SpinClick(qirm::LevelSpin spin, int direction);
  void CreateMenu();
  void CreateSpeedBar();
  void CreatePanel1();
  void PlaceWindow();
  void SaveSettings();

  QString m_memInfoPath = QStringLiteral("/proc/meminfo");
  qirm::Workspace m_workspace;
  bool m_syncing = false;
};
