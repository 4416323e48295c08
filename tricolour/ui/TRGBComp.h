// SPDX-License-Identifier: GPL-3.0-or-later
// The tri-colour composition dialog (caption "RGB"): the five frame lists,
// the reference stars, the detection method, the background point and the
// white balance. Modeless and above the main window, so that stars can be
// clicked in image windows while it is open; the frames "座標取得" opens come
// in front of it, and "RGB合成" puts it back on top. One instance lives for the
// whole run (see Forms.h); its contents stay between uses. Start-up hands it
// the main window, as a ResultWindowHost, and the advanced dialog, and makes
// it the target of star clicks.
//
// The dialog is the view of a CompositionSettings value: BuildSettings reads
// it from the controls, ShowSettings writes one into them. OK runs the
// composition on a worker thread with a copy of that value; progress, the
// messages of the run and the result window are handled here, on the
// user-interface thread, so the other windows stay usable meanwhile. While
// a run goes on, OK is disabled and a second composition cannot start.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "app/ui/ResultWindowHost.h"
#include "app/ui/StarPickTarget.h"
#include "core/status.h"
#include "tricolour/composition_settings.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QThread;
class TAdvance;
class TypedFileDialog;
class UpDownSpin;
struct CompositionJob;

namespace qirm {
struct ImageDocument;
struct MainState;
}  // namespace qirm

class TRGBComp : public QDialog, public StarPickTarget {
  Q_OBJECT
 public:
  explicit TRGBComp(QWidget* parent = nullptr);
  ~TRGBComp() override;

  // Where results, progress and the run's messages go. Without a host the
  // frames chosen for picking stars are not opened and a finished run's
  // result is dropped.
  void SetHost(ResultWindowHost* host) { m_host = host; }
  // The advanced settings that OK captures and a settings file loads.
  void SetAdvance(TAdvance* advance) { m_advance = advance; }

  qirm::StarPick ReadStarPick() const override;
  void WriteStarPick(const qirm::StarPick& pick) override;

  // The settings the controls hold: lists, choices, the number edits
  // converted in the order OK converts them, and the advanced flags as last
  // captured. An edit that is not a number gives its conversion error and
  // leaves `settings` as it was.
  qirm::Status BuildSettings(qirm::CompositionSettings& settings) const;
  // Shows `settings` as loading a settings file does: the lists replaced and
  // counted, a star mode or method of 0..2 selected (a radio button that
  // changes runs its handler), every number written into its edit (the
  // spinners follow), the advanced flags captured and shown.
  void ShowSettings(const qirm::CompositionSettings& settings);

  // Shows the dialog in front, on top of the main window again after
  // "座標取得" let its frames come in front.
  void BringToFront();

  // True from OK until the result of the run has been shown.
  bool Running() const { return m_thread != nullptr; }

  // The computation OK runs, on the worker thread. Tests put a stand-in here;
  // empty (the default), the engine's composition runs with the output
  // choices below.
  using ComposeFunction = std::function<qirm::Status(
      const qirm::CompositionSettings&, const std::function<void(int)>& progress, qirm::ImageDocument& result,
      qirm::MainState* main, const std::function<void(const std::string&)>& notice)>;
  ComposeFunction Compose;

  // Frame lists: red, green, blue, dark, flat, with their count edits
  // (read-only) and the add (追加) and remove (削除) buttons.
  QListWidget* ListBox1 = nullptr;
  QListWidget* ListBox2 = nullptr;
  QListWidget* ListBox3 = nullptr;
  QListWidget* ListBox4 = nullptr;
  QListWidget* ListBox5 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLineEdit* Edit3 = nullptr;
  QLineEdit* Edit4 = nullptr;
  QLineEdit* Edit5 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button3 = nullptr;
  QPushButton* Button4 = nullptr;
  QPushButton* Button5 = nullptr;
  QPushButton* Button8 = nullptr;
  QPushButton* Button9 = nullptr;
  QPushButton* Button10 = nullptr;
  QPushButton* Button11 = nullptr;
  QPushButton* Button12 = nullptr;

  // Group "基準星".
  QRadioButton* RadioButton3 = nullptr;  // "なし"
  QRadioButton* RadioButton1 = nullptr;  // "１星"
  QRadioButton* RadioButton2 = nullptr;  // "２星"
  QLineEdit* Edit6 = nullptr;            // star 1 X
  QLineEdit* Edit9 = nullptr;            // star 1 Y
  QLineEdit* Edit7 = nullptr;            // star 2 X
  QLineEdit* Edit10 = nullptr;           // star 2 Y
  QLineEdit* Edit8 = nullptr;            // Δ1, box half-size of star 1
  QLineEdit* Edit11 = nullptr;           // Δ2
  QLineEdit* Edit19 = nullptr;           // hidden: the star the next click sets
  UpDownSpin* UpDown1 = nullptr;         // Edit6, 0..2000
  UpDownSpin* UpDown2 = nullptr;         // Edit9
  UpDownSpin* UpDown3 = nullptr;         // Edit7
  UpDownSpin* UpDown4 = nullptr;         // Edit10
  UpDownSpin* UpDown5 = nullptr;         // Edit8, 0..100
  UpDownSpin* UpDown6 = nullptr;         // Edit11, 0..100
  // Group "ピーク検出方法".
  QRadioButton* RadioButton4 = nullptr;  // "重心"
  QRadioButton* RadioButton5 = nullptr;  // "ピーク"
  QRadioButton* RadioButton6 = nullptr;  // "なし"
  // Group "バックグラウンド".
  QLineEdit* Edit12 = nullptr;    // X
  QLineEdit* Edit13 = nullptr;    // Y
  QLineEdit* Edit14 = nullptr;    // level "B.G.L ="
  UpDownSpin* UpDown7 = nullptr;  // 0..2000
  UpDownSpin* UpDown8 = nullptr;  // 0..2000
  UpDownSpin* UpDown9 = nullptr;  // 0..100
  // Group "ホワイトバランス": the spinners count hundredths.
  QLineEdit* Edit15 = nullptr;     // R
  QLineEdit* Edit16 = nullptr;     // G
  QLineEdit* Edit17 = nullptr;     // B
  QLineEdit* Edit18 = nullptr;     // K
  UpDownSpin* UpDown10 = nullptr;  // 0..2000, 100 = 1.00
  UpDownSpin* UpDown11 = nullptr;
  UpDownSpin* UpDown12 = nullptr;
  UpDownSpin* UpDown13 = nullptr;

  QPushButton* Button13 = nullptr;  // "座標取得"
  QPushButton* Button14 = nullptr;  // "高度な設定"
  QPushButton* Button15 = nullptr;  // "読み込み"
  QPushButton* Button16 = nullptr;  // "保存"
  // Output choices beside OK, read when OK starts a run: keep the result
  // with 16 bits per channel (the save dialog then offers 16-bit TIFF and
  // PNG), and save the channels as they enter the tone curve as a float
  // FITS cube (the file is asked for before the run).
  QCheckBox* CheckBoxDeep = nullptr;    // "16ビットの結果を保持"
  QCheckBox* CheckBoxLinear = nullptr;  // "リニア結果をFITSで保存"
  QPushButton* Button7 = nullptr;       // "OK"
  QPushButton* Button6 = nullptr;       // "キャンセル"

  TypedFileDialog* OpenDialog1 = nullptr;  // frames for the lists
  TypedFileDialog* OpenDialog2 = nullptr;  // settings file to load
  TypedFileDialog* SaveDialog2 = nullptr;  // settings file to save
  TypedFileDialog* OpenDialog3 = nullptr;  // frames for picking stars

 signals:
  // A run started by OK has ended and its result (if any) is shown.
  void CompositionFinished(bool ok);

 public slots:
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Button4Click();
  void Button5Click();
  void Button8Click();
  void Button9Click();
  void Button10Click();
  void Button11Click();
  void Button12Click();
  void RadioButton3Click();
  void RadioButton1Click();
  void RadioButton2Click();
  void Button13Click();
  void Edit6Change();
  void Edit9Change();
  void Edit7Change();
  void Edit10Change();
  void Edit8Change();
  void Edit11Change();
  void Edit12Change();
  void Edit13Change();
  void Edit14Change();
  void Edit15Change();
  void Edit16Change();
  void Edit17Change();
  void Edit18Change();
  void UpDown1Click();
  void UpDown2Click();
  void UpDown3Click();
  void UpDown4Click();
  void UpDown5Click();
  void UpDown6Click();
  void UpDown7Click();
  void UpDown8Click();
  void UpDown9Click();
  void UpDown10Click();
  void UpDown11Click();
  void UpDown12Click();
  void UpDown13Click();
  void Button14Click();
  void Button15Click();
  void Button16Click();
  void Button6Click();
  void Button7Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // After "座標取得" opened its frames: they come in front of this dialog.
  void GiveWayToPicking();
  void AddFiles(QListWidget* list, QLineEdit* count);
  void RemoveSelected(QListWidget* list, QLineEdit* count);
  void IntEditChange(QLineEdit* edit, UpDownSpin* spin);
  void RealEditChange(QLineEdit* edit, UpDownSpin* spin);
  // The star mode, detection method and check boxes as they stand: what a
  // settings file leaves alone when it holds no valid choice.
  qirm::CompositionSettings CurrentChoices() const;
  void StartRun(const qirm::CompositionSettings& settings);
  void RunProgress(int percent);
  void RunNotice(const QString& message);
  void RunFinished(const std::shared_ptr<CompositionJob>& job);

  QThread* m_thread = nullptr;
  ResultWindowHost* m_host = nullptr;
  TAdvance* m_advance = nullptr;
};
