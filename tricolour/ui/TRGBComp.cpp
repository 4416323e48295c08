// SPDX-License-Identifier: GPL-3.0-or-later
#include "tricolour/ui/TRGBComp.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "app/save_image.h"
#include "app/ui/TApplication.h"
#include "app/ui/TypedFileDialog.h"
#include "app/ui/UpDownSpin.h"
#include "core/fits_writer.h"
#include "core/numbers.h"
#include "document/image_document.h"
#include "tricolour/compose.h"
#include "tricolour/compose_options.h"
#include "tricolour/composition_texts.h"
#include "tricolour/picking.h"
#include "tricolour/settings_file.h"
#include "tricolour/ui/TAdvance.h"

// What a run shares between the user-interface thread and its worker: the
// worker owns it until it ends, then the user-interface thread reads it.
struct CompositionJob {
  qirm::CompositionSettings settings;
  qirm::ComposeOptions options;
  std::string linear_path;  // where the linear cube goes; empty: nowhere
  qirm::ImageDocument result;
  qirm::Status status;
  qirm::Status linear_status;  // a failed cube leaves the result window
};

namespace {

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QLineEdit* NewEdit(const char* name, const QString& text, QWidget* parent) {
  auto* edit = Named(new QLineEdit(text, parent), name);
  edit->setFixedWidth(60);
  return edit;
}

QRadioButton* NewRadio(const char* name, const QString& caption, QWidget* parent) {
  return Named(new QRadioButton(caption, parent), name);
}

// The arrows of an up-down control beside its edit: the spin box's own text
// field is hidden, the edit shows the number.
class ArrowSpin : public UpDownSpin {
 public:
  ArrowSpin(int minimum, int maximum, int position, QWidget* parent) : UpDownSpin(parent) {
    setRange(minimum, maximum);
    setValue(position);
    lineEdit()->hide();
    setFixedWidth(18);
  }
};

QWidget* EditWithSpin(QLineEdit* edit, UpDownSpin* spin, QWidget* parent) {
  auto* box = new QWidget(parent);
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  edit->setParent(box);
  spin->setParent(box);
  row->addWidget(edit);
  row->addWidget(spin);
  row->addStretch();
  return box;
}

std::string Text(const QLineEdit* edit) { return edit->text().toStdString(); }
void SetText(QLineEdit* edit, const std::string& text) { edit->setText(QString::fromStdString(text)); }

// File names as the engine opens them (the bytes of the local encoding).
std::string Local(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString FromLocal(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

// A frame of a list shows its file name, which a narrow list still shows
// whole; the full path is the entry's tooltip and what the composition
// reads.
void AddPath(QListWidget* list, const QString& path) {
  const QString name = QFileInfo(path).fileName();
  auto* item = new QListWidgetItem(name.isEmpty() ? path : name, list);
  item->setToolTip(path);
  item->setData(Qt::UserRole, path);
}

QString PathOf(const QListWidgetItem* item) {
  const QVariant path = item->data(Qt::UserRole);
  return path.isValid() ? path.toString() : item->text();
}

std::vector<std::string> Paths(const QListWidget* list) {
  std::vector<std::string> paths;
  for (int i = 0; i < list->count(); ++i) paths.push_back(Local(PathOf(list->item(i))));
  return paths;
}

void ShowPaths(QListWidget* list, QLineEdit* count, const std::vector<std::string>& paths) {
  list->clear();
  for (const std::string& p : paths) AddPath(list, FromLocal(p));
  count->setText(QString::number(list->count()));
}

// Read-only edits take the button-face colour, editable ones white.
void SetEditable(QLineEdit* edit, bool editable) {
  edit->setReadOnly(!editable);
  QPalette palette = edit->palette();
  palette.setColor(QPalette::Base, editable ? QColor(Qt::white) : palette.color(QPalette::Button));
  edit->setPalette(palette);
}

void ShowError(const std::string& message) {
  TApplication::ShowException(QString::fromLocal8Bit(message.c_str()));
}

QVector<TypedFileDialog::Entry> FitsEntry(const QString& label) {
  return {{label, {QStringLiteral("*.fit"), QStringLiteral("*.fts"), QStringLiteral("*.fits")}}};
}

}  // namespace

TRGBComp::TRGBComp(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("RGBComp"));
  setWindowTitle(QStringLiteral("RGB合成"));
  // Modeless and above the main window, so that stars can be clicked in the
  // image windows while it is open. A window of its own rather than a
  // dialog of the main window: a dialog would stay above its owner even
  // when it gives up its place on top for the frames opened by "座標取得".
  setModal(false);
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                 Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);

  // The five frame lists.
  auto* lists = new QHBoxLayout;
  const struct {
    const char* caption;
    QListWidget** list;
    const char* listName;
    QPushButton** add;
    const char* addName;
    QPushButton** remove;
    const char* removeName;
    QLineEdit** count;
    const char* countName;
  } groups[] = {
      {"赤", &ListBox1, "ListBox1", &Button1, "Button1", &Button8, "Button8", &Edit1, "Edit1"},
      {"緑", &ListBox2, "ListBox2", &Button2, "Button2", &Button9, "Button9", &Edit2, "Edit2"},
      {"青", &ListBox3, "ListBox3", &Button3, "Button3", &Button10, "Button10", &Edit3, "Edit3"},
      {"ダーク", &ListBox4, "ListBox4", &Button4, "Button4", &Button11, "Button11", &Edit4, "Edit4"},
      {"フラット", &ListBox5, "ListBox5", &Button5, "Button5", &Button12, "Button12", &Edit5, "Edit5"},
  };
  for (const auto& g : groups) {
    auto* box = new QGroupBox(QString::fromUtf8(g.caption), this);
    *g.list = Named(new QListWidget(box), g.listName);
    (*g.list)->setSelectionMode(QAbstractItemView::ExtendedSelection);
    (*g.list)->setMinimumWidth(120);
    *g.add = Named(new QPushButton(QStringLiteral("追加"), box), g.addName);
    *g.remove = Named(new QPushButton(QStringLiteral("削除"), box), g.removeName);
    // Narrow buttons keep the five lists within a laptop screen's width.
    (*g.add)->setMaximumWidth(60);
    (*g.remove)->setMaximumWidth(60);
    *g.count = NewEdit(g.countName, QStringLiteral("0"), box);
    (*g.count)->setReadOnly(true);
    (*g.count)->setFixedWidth(40);
    auto* grid = new QGridLayout(box);
    grid->addWidget(*g.list, 0, 0, 1, 4);
    grid->addWidget(*g.add, 1, 0);
    grid->addWidget(*g.remove, 1, 1);
    grid->addWidget(*g.count, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("枚"), box), 1, 3);
    lists->addWidget(box);
  }
  connect(Button1, &QPushButton::clicked, this, &TRGBComp::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TRGBComp::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TRGBComp::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TRGBComp::Button4Click);
  connect(Button5, &QPushButton::clicked, this, &TRGBComp::Button5Click);
  connect(Button8, &QPushButton::clicked, this, &TRGBComp::Button8Click);
  connect(Button9, &QPushButton::clicked, this, &TRGBComp::Button9Click);
  connect(Button10, &QPushButton::clicked, this, &TRGBComp::Button10Click);
  connect(Button11, &QPushButton::clicked, this, &TRGBComp::Button11Click);
  connect(Button12, &QPushButton::clicked, this, &TRGBComp::Button12Click);

  // Reference stars.
  auto* stars = new QGroupBox(QStringLiteral("基準星"), this);
  RadioButton3 = NewRadio("RadioButton3", QStringLiteral("なし"), stars);
  RadioButton1 = NewRadio("RadioButton1", QStringLiteral("１星"), stars);
  RadioButton2 = NewRadio("RadioButton2", QStringLiteral("２星"), stars);
  RadioButton3->setChecked(true);
  Edit6 = NewEdit("Edit6", QStringLiteral("0"), stars);
  Edit9 = NewEdit("Edit9", QStringLiteral("0"), stars);
  Edit7 = NewEdit("Edit7", QStringLiteral("0"), stars);
  Edit10 = NewEdit("Edit10", QStringLiteral("0"), stars);
  Edit8 = NewEdit("Edit8", QStringLiteral("10"), stars);
  Edit11 = NewEdit("Edit11", QStringLiteral("10"), stars);
  Edit19 = NewEdit("Edit19", QStringLiteral("1"), stars);
  Edit19->hide();
  UpDown1 = Named(new ArrowSpin(0, 2000, 0, stars), "UpDown1");
  UpDown2 = Named(new ArrowSpin(0, 2000, 0, stars), "UpDown2");
  UpDown3 = Named(new ArrowSpin(0, 2000, 0, stars), "UpDown3");
  UpDown4 = Named(new ArrowSpin(0, 2000, 0, stars), "UpDown4");
  UpDown5 = Named(new ArrowSpin(0, 100, 10, stars), "UpDown5");
  UpDown6 = Named(new ArrowSpin(0, 100, 10, stars), "UpDown6");
  auto* starGrid = new QGridLayout(stars);
  starGrid->addWidget(RadioButton3, 0, 0);
  starGrid->addWidget(RadioButton1, 0, 1);
  starGrid->addWidget(RadioButton2, 0, 2);
  starGrid->addWidget(new QLabel(QStringLiteral("X ="), stars), 1, 0);
  starGrid->addWidget(EditWithSpin(Edit6, UpDown1, stars), 1, 1);
  starGrid->addWidget(new QLabel(QStringLiteral("Y ="), stars), 1, 2);
  starGrid->addWidget(EditWithSpin(Edit9, UpDown2, stars), 1, 3);
  starGrid->addWidget(new QLabel(QStringLiteral("Δ1="), stars), 1, 4);
  starGrid->addWidget(EditWithSpin(Edit8, UpDown5, stars), 1, 5);
  starGrid->addWidget(new QLabel(QStringLiteral("X ="), stars), 2, 0);
  starGrid->addWidget(EditWithSpin(Edit7, UpDown3, stars), 2, 1);
  starGrid->addWidget(new QLabel(QStringLiteral("Y ="), stars), 2, 2);
  starGrid->addWidget(EditWithSpin(Edit10, UpDown4, stars), 2, 3);
  starGrid->addWidget(new QLabel(QStringLiteral("Δ2 ="), stars), 2, 4);
  starGrid->addWidget(EditWithSpin(Edit11, UpDown6, stars), 2, 5);
  starGrid->addWidget(Edit19, 3, 0);

  // Detection method.
  auto* detect = new QGroupBox(QStringLiteral("ピーク検出方法"), this);
  RadioButton4 = NewRadio("RadioButton4", QStringLiteral("重心"), detect);
  RadioButton5 = NewRadio("RadioButton5", QStringLiteral("ピーク"), detect);
  RadioButton6 = NewRadio("RadioButton6", QStringLiteral("なし"), detect);
  RadioButton5->setChecked(true);
  auto* detectBox = new QVBoxLayout(detect);
  for (QRadioButton* r : {RadioButton4, RadioButton5, RadioButton6}) detectBox->addWidget(r);

  // Background point and level.
  auto* background = new QGroupBox(QStringLiteral("バックグラウンド"), this);
  Edit12 = NewEdit("Edit12", QStringLiteral("0"), background);
  Edit13 = NewEdit("Edit13", QStringLiteral("0"), background);
  Edit14 = NewEdit("Edit14", QStringLiteral("10"), background);
  UpDown7 = Named(new ArrowSpin(0, 2000, 0, background), "UpDown7");
  UpDown8 = Named(new ArrowSpin(0, 2000, 0, background), "UpDown8");
  UpDown9 = Named(new ArrowSpin(0, 100, 10, background), "UpDown9");
  auto* backgroundGrid = new QGridLayout(background);
  backgroundGrid->addWidget(new QLabel(QStringLiteral("X ="), background), 0, 0);
  backgroundGrid->addWidget(EditWithSpin(Edit12, UpDown7, background), 0, 1);
  backgroundGrid->addWidget(new QLabel(QStringLiteral("Y ="), background), 1, 0);
  backgroundGrid->addWidget(EditWithSpin(Edit13, UpDown8, background), 1, 1);
  backgroundGrid->addWidget(new QLabel(QStringLiteral("B.G.L ="), background), 2, 0);
  backgroundGrid->addWidget(EditWithSpin(Edit14, UpDown9, background), 2, 1);

  // White balance.
  auto* white = new QGroupBox(QStringLiteral("ホワイトバランス"), this);
  Edit15 = NewEdit("Edit15", QStringLiteral("1.00"), white);
  Edit16 = NewEdit("Edit16", QStringLiteral("1.00"), white);
  Edit17 = NewEdit("Edit17", QStringLiteral("1.00"), white);
  Edit18 = NewEdit("Edit18", QStringLiteral("1.00"), white);
  UpDown10 = Named(new ArrowSpin(0, 2000, 100, white), "UpDown10");
  UpDown11 = Named(new ArrowSpin(0, 2000, 100, white), "UpDown11");
  UpDown12 = Named(new ArrowSpin(0, 2000, 100, white), "UpDown12");
  UpDown13 = Named(new ArrowSpin(0, 2000, 100, white), "UpDown13");
  auto* whiteGrid = new QGridLayout(white);
  whiteGrid->addWidget(new QLabel(QStringLiteral("R ="), white), 0, 0);
  whiteGrid->addWidget(EditWithSpin(Edit15, UpDown10, white), 0, 1);
  whiteGrid->addWidget(new QLabel(QStringLiteral("G ="), white), 1, 0);
  whiteGrid->addWidget(EditWithSpin(Edit16, UpDown11, white), 1, 1);
  whiteGrid->addWidget(new QLabel(QStringLiteral("B ="), white), 2, 0);
  whiteGrid->addWidget(EditWithSpin(Edit17, UpDown12, white), 2, 1);
  whiteGrid->addWidget(new QLabel(QStringLiteral("K ="), white), 3, 0);
  whiteGrid->addWidget(EditWithSpin(Edit18, UpDown13, white), 3, 1);

  auto* settingsRow = new QHBoxLayout;
  settingsRow->addWidget(stars);
  settingsRow->addWidget(detect);
  settingsRow->addWidget(background);
  settingsRow->addWidget(white);

  Button13 = Named(new QPushButton(QStringLiteral("座標取得"), this), "Button13");
  Button14 = Named(new QPushButton(QStringLiteral("高度な設定"), this), "Button14");
  Button15 = Named(new QPushButton(QStringLiteral("読み込み"), this), "Button15");
  Button16 = Named(new QPushButton(QStringLiteral("保存"), this), "Button16");
  Button7 = Named(new QPushButton(QStringLiteral("OK"), this), "Button7");
  Button6 = Named(new QPushButton(QStringLiteral("キャンセル"), this), "Button6");
  CheckBoxDeep = Named(new QCheckBox(QStringLiteral("16ビットの結果を保持"), this), "CheckBoxDeep");
  CheckBoxDeep->setToolTip(QStringLiteral("結果ウィンドウを16ビットのTIFFやPNGで保存できるようにします"));
  CheckBoxLinear = Named(new QCheckBox(QStringLiteral("リニア結果をFITSで保存"), this), "CheckBoxLinear");
  CheckBoxLinear->setToolTip(
      QStringLiteral("トーンカーブをかける前のR, G, Bを32ビット浮動小数点のFITSキューブで保存します"));
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {Button13, Button14, Button15, Button16}) buttons->addWidget(b);
  buttons->addStretch();
  buttons->addWidget(CheckBoxDeep);
  buttons->addWidget(CheckBoxLinear);
  buttons->addWidget(Button7);
  buttons->addWidget(Button6);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(lists);
  layout->addLayout(settingsRow);
  layout->addLayout(buttons);

  OpenDialog1 = new TypedFileDialog(this, QStringLiteral("合成するFITSファイルを開く"),
                                    FitsEntry(QStringLiteral("FITS(*.fit,*.fts,*.fits)")));
  OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
  OpenDialog1->setFileMode(QFileDialog::ExistingFiles);
  OpenDialog3 = new TypedFileDialog(this, QStringLiteral("星を選ぶFITSファイルを開く"),
                                    FitsEntry(QStringLiteral("FITS")));
  OpenDialog3->setObjectName(QStringLiteral("OpenDialog3"));
  OpenDialog3->setFileMode(QFileDialog::ExistingFiles);
  const QVector<TypedFileDialog::Entry> mrv = {{QStringLiteral("MERAVI-2"), {QStringLiteral("*.mrv")}}};
  OpenDialog2 = new TypedFileDialog(this, QStringLiteral("合成設定を開く"), mrv);
  OpenDialog2->setObjectName(QStringLiteral("OpenDialog2"));
  OpenDialog2->setFileMode(QFileDialog::ExistingFile);
  SaveDialog2 = new TypedFileDialog(this, QStringLiteral("合成設定の保存"), mrv);
  SaveDialog2->setObjectName(QStringLiteral("SaveDialog2"));
  SaveDialog2->setAcceptMode(QFileDialog::AcceptSave);
  SaveDialog2->setFileMode(QFileDialog::AnyFile);
  // The overwrite question comes after the extension has been replaced.
  SaveDialog2->setOption(QFileDialog::DontConfirmOverwrite, true);

  // A radio button's handler runs when it becomes selected (by a click, by
  // "座標取得" or by loading), never when it already was.
  connect(RadioButton3, &QRadioButton::toggled, this, [this](bool on) {
    if (on) RadioButton3Click();
  });
  connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) {
    if (on) RadioButton1Click();
  });
  connect(RadioButton2, &QRadioButton::toggled, this, [this](bool on) {
    if (on) RadioButton2Click();
  });
  connect(Button13, &QPushButton::clicked, this, &TRGBComp::Button13Click);

  connect(Edit6, &QLineEdit::textChanged, this, &TRGBComp::Edit6Change);
  connect(Edit9, &QLineEdit::textChanged, this, &TRGBComp::Edit9Change);
  connect(Edit7, &QLineEdit::textChanged, this, &TRGBComp::Edit7Change);
  connect(Edit10, &QLineEdit::textChanged, this, &TRGBComp::Edit10Change);
  connect(Edit8, &QLineEdit::textChanged, this, &TRGBComp::Edit8Change);
  connect(Edit11, &QLineEdit::textChanged, this, &TRGBComp::Edit11Change);
  connect(Edit12, &QLineEdit::textChanged, this, &TRGBComp::Edit12Change);
  connect(Edit13, &QLineEdit::textChanged, this, &TRGBComp::Edit13Change);
  connect(Edit14, &QLineEdit::textChanged, this, &TRGBComp::Edit14Change);
  connect(Edit15, &QLineEdit::textChanged, this, &TRGBComp::Edit15Change);
  connect(Edit16, &QLineEdit::textChanged, this, &TRGBComp::Edit16Change);
  connect(Edit17, &QLineEdit::textChanged, this, &TRGBComp::Edit17Change);
  connect(Edit18, &QLineEdit::textChanged, this, &TRGBComp::Edit18Change);
  connect(UpDown1, &UpDownSpin::clicked, this, &TRGBComp::UpDown1Click);
  connect(UpDown2, &UpDownSpin::clicked, this, &TRGBComp::UpDown2Click);
  connect(UpDown3, &UpDownSpin::clicked, this, &TRGBComp::UpDown3Click);
  connect(UpDown4, &UpDownSpin::clicked, this, &TRGBComp::UpDown4Click);
  connect(UpDown5, &UpDownSpin::clicked, this, &TRGBComp::UpDown5Click);
  connect(UpDown6, &UpDownSpin::clicked, this, &TRGBComp::UpDown6Click);
  connect(UpDown7, &UpDownSpin::clicked, this, &TRGBComp::UpDown7Click);
  connect(UpDown8, &UpDownSpin::clicked, this, &TRGBComp::UpDown8Click);
  connect(UpDown9, &UpDownSpin::clicked, this, &TRGBComp::UpDown9Click);
  connect(UpDown10, &UpDownSpin::clicked, this, &TRGBComp::UpDown10Click);
  connect(UpDown11, &UpDownSpin::clicked, this, &TRGBComp::UpDown11Click);
  connect(UpDown12, &UpDownSpin::clicked, this, &TRGBComp::UpDown12Click);
  connect(UpDown13, &UpDownSpin::clicked, this, &TRGBComp::UpDown13Click);

  connect(Button14, &QPushButton::clicked, this, &TRGBComp::Button14Click);
  connect(Button15, &QPushButton::clicked, this, &TRGBComp::Button15Click);
  connect(Button16, &QPushButton::clicked, this, &TRGBComp::Button16Click);
  connect(Button6, &QPushButton::clicked, this, &TRGBComp::Button6Click);
  connect(Button7, &QPushButton::clicked, this, &TRGBComp::Button7Click);

  // The edits start in the state of the selected star mode.
  RadioButton3Click();

  // Lists want to be wide by default; start at a width that fits common
  // screens and let the user widen the window.
  resize(std::min(sizeHint().width(), 1000), sizeHint().height());
}

TRGBComp::~TRGBComp() {
  if (CurrentStarPickTarget() == this) SetStarPickTarget(nullptr);
  // A run cannot be interrupted: the program ends once it is over. Its
  // result is dropped with this dialog.
  if (m_thread) m_thread->wait();
}

qirm::StarPick TRGBComp::ReadStarPick() const {
  qirm::StarPick pick;
  pick.mode = RadioButton1->isChecked()   ? qirm::StarPick::Mode::OneStar
              : RadioButton2->isChecked() ? qirm::StarPick::Mode::TwoStars
                                          : qirm::StarPick::Mode::None;
  pick.Edit6 = Text(Edit6);
  pick.Edit9 = Text(Edit9);
  pick.Edit7 = Text(Edit7);
  pick.Edit10 = Text(Edit10);
  pick.Edit19 = Text(Edit19);
  pick.Edit12 = Text(Edit12);
  pick.Edit13 = Text(Edit13);
  return pick;
}

void TRGBComp::WriteStarPick(const qirm::StarPick& pick) {
  SetText(Edit6, pick.Edit6);
  SetText(Edit9, pick.Edit9);
  SetText(Edit7, pick.Edit7);
  SetText(Edit10, pick.Edit10);
  SetText(Edit19, pick.Edit19);
  SetText(Edit12, pick.Edit12);
  SetText(Edit13, pick.Edit13);
}

// Settings <-> controls.

qirm::Status TRGBComp::BuildSettings(qirm::CompositionSettings& settings) const {
  qirm::CompositionSettings s = CurrentChoices();
  s.RedFiles = Paths(ListBox1);
  s.GreenFiles = Paths(ListBox2);
  s.BlueFiles = Paths(ListBox3);
  s.DarkFiles = Paths(ListBox4);
  s.FlatFiles = Paths(ListBox5);
  qirm::CompositionFieldTexts t;
  t.Edit6 = Text(Edit6);
  t.Edit9 = Text(Edit9);
  t.Edit7 = Text(Edit7);
  t.Edit10 = Text(Edit10);
  t.Edit8 = Text(Edit8);
  t.Edit11 = Text(Edit11);
  t.Edit12 = Text(Edit12);
  t.Edit13 = Text(Edit13);
  t.Edit14 = Text(Edit14);
  t.Edit15 = Text(Edit15);
  t.Edit16 = Text(Edit16);
  t.Edit17 = Text(Edit17);
  t.Edit18 = Text(Edit18);
  if (qirm::Status status = qirm::ConvertCompositionFields(t, s); !status) return status;
  if (m_advance) s.Advanced = m_advance->Captured();
  settings = std::move(s);
  return qirm::Status::Ok();
}

qirm::CompositionSettings TRGBComp::CurrentChoices() const {
  qirm::CompositionSettings s;
  s.StarMode = RadioButton1->isChecked() ? 1 : RadioButton2->isChecked() ? 2 : 0;
  s.DetectMethod = RadioButton4->isChecked() ? 0 : RadioButton6->isChecked() ? 2 : 1;
  if (m_advance) {
    s.Advanced = m_advance->Captured();
    const qirm::AdvancedTexts t = m_advance->Texts();
    s.Advanced.AntiBloomingOn = t.CheckBox7;
    s.Advanced.Rotate180R = t.CheckBox1;
    s.Advanced.Rotate180G = t.CheckBox2;
    s.Advanced.Rotate180B = t.CheckBox3;
    s.Advanced.FlattenR = t.CheckBox4;
    s.Advanced.FlattenG = t.CheckBox5;
    s.Advanced.FlattenB = t.CheckBox6;
  }
  return s;
}

void TRGBComp::ShowSettings(const qirm::CompositionSettings& s) {
  ShowPaths(ListBox1, Edit1, s.RedFiles);
  ShowPaths(ListBox2, Edit2, s.GreenFiles);
  ShowPaths(ListBox3, Edit3, s.BlueFiles);
  ShowPaths(ListBox4, Edit4, s.DarkFiles);
  ShowPaths(ListBox5, Edit5, s.FlatFiles);
  // Checking the button already checked changes nothing; another one runs
  // its handler through toggled().
  if (s.StarMode == 0) RadioButton3->setChecked(true);
  if (s.StarMode == 1) RadioButton1->setChecked(true);
  if (s.StarMode == 2) RadioButton2->setChecked(true);
  const qirm::CompositionFieldTexts t = qirm::CompositionFieldTextsOf(s);
  SetText(Edit6, t.Edit6);
  SetText(Edit7, t.Edit7);
  SetText(Edit8, t.Edit8);
  SetText(Edit9, t.Edit9);
  SetText(Edit10, t.Edit10);
  SetText(Edit11, t.Edit11);
  if (s.DetectMethod == 0) RadioButton4->setChecked(true);
  if (s.DetectMethod == 1) RadioButton5->setChecked(true);
  if (s.DetectMethod == 2) RadioButton6->setChecked(true);
  SetText(Edit12, t.Edit12);
  SetText(Edit13, t.Edit13);
  SetText(Edit14, t.Edit14);
  SetText(Edit15, t.Edit15);
  SetText(Edit16, t.Edit16);
  SetText(Edit17, t.Edit17);
  SetText(Edit18, t.Edit18);
  if (m_advance) m_advance->Load(s.Advanced);
}

// Frame lists.

// A file already in the list would be stacked twice, weighing double: it is
// refused, and the user told which.
void TRGBComp::AddFiles(QListWidget* list, QLineEdit* count) {
  if (OpenDialog1->exec() == QDialog::Accepted) {
    const auto same = [](const QString& path) {
      const QFileInfo info(path);
      return info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    };
    QSet<QString> listed;
    for (int row = 0; row < list->count(); ++row) listed.insert(same(PathOf(list->item(row))));
    QStringList refused;
    for (const QString& file : OpenDialog1->selectedFiles()) {
      if (listed.contains(same(file))) {
        refused << QFileInfo(file).fileName();
        continue;
      }
      listed.insert(same(file));
      AddPath(list, file);
    }
    if (!refused.isEmpty()) {
      count->setText(QString::number(list->count()));
      QMessageBox::information(
          this, QStringLiteral("RGB合成"),
          QStringLiteral("一覧にすでにあるファイルは加えません:\n") + refused.join(QLatin1Char('\n')));
    }
  }
  count->setText(QString::number(list->count()));
}

void TRGBComp::RemoveSelected(QListWidget* list, QLineEdit* count) {
  // From the last entry to the first, so that the rows still to be looked
  // at keep their numbers.
  for (int row = list->count() - 1; row >= 0; --row) {
    if (list->item(row)->isSelected()) delete list->takeItem(row);
  }
  count->setText(QString::number(list->count()));
}

void TRGBComp::Button1Click() { AddFiles(ListBox1, Edit1); }
void TRGBComp::Button2Click() { AddFiles(ListBox2, Edit2); }
void TRGBComp::Button3Click() { AddFiles(ListBox3, Edit3); }
void TRGBComp::Button4Click() { AddFiles(ListBox4, Edit4); }
void TRGBComp::Button5Click() { AddFiles(ListBox5, Edit5); }
void TRGBComp::Button8Click() { RemoveSelected(ListBox1, Edit1); }
void TRGBComp::Button9Click() { RemoveSelected(ListBox2, Edit2); }
void TRGBComp::Button10Click() { RemoveSelected(ListBox3, Edit3); }
void TRGBComp::Button11Click() { RemoveSelected(ListBox4, Edit4); }
void TRGBComp::Button12Click() { RemoveSelected(ListBox5, Edit5); }

// Star modes.

void TRGBComp::RadioButton3Click() {
  for (QLineEdit* e : {Edit6, Edit7, Edit8, Edit9, Edit10, Edit11}) SetEditable(e, false);
  for (UpDownSpin* s : {UpDown1, UpDown2, UpDown3, UpDown4, UpDown5, UpDown6}) s->setEnabled(false);
}

void TRGBComp::RadioButton1Click() {
  for (QLineEdit* e : {Edit6, Edit9, Edit8, Edit11}) SetEditable(e, true);
  for (QLineEdit* e : {Edit7, Edit10}) SetEditable(e, false);
  for (UpDownSpin* s : {UpDown1, UpDown2, UpDown5, UpDown6}) s->setEnabled(true);
  for (UpDownSpin* s : {UpDown3, UpDown4}) s->setEnabled(false);
}

void TRGBComp::RadioButton2Click() {
  for (QLineEdit* e : {Edit6, Edit7, Edit8, Edit9, Edit10, Edit11}) SetEditable(e, true);
  for (UpDownSpin* s : {UpDown1, UpDown2, UpDown3, UpDown4, UpDown5, UpDown6}) s->setEnabled(true);
  Edit19->setText(QStringLiteral("1"));
}

// Edits and spinners: each edit's change moves its spinner, each spinner
// click writes its edit (whose change then finds the spinner in place).

void TRGBComp::IntEditChange(QLineEdit* edit, UpDownSpin* spin) {
  int value = 0;
  if (!qirm::ParseInt(Text(edit), value)) {
    ShowError(qirm::IntConversionError(Text(edit)));
    return;
  }
  spin->setValue(value);
}

void TRGBComp::RealEditChange(QLineEdit* edit, UpDownSpin* spin) {
  int position = 0;
  if (!qirm::WhiteSpinPosition(Text(edit), position)) {
    ShowError(qirm::RealConversionError(Text(edit)));
    return;
  }
  spin->setValue(position);
}

void TRGBComp::Edit6Change() { IntEditChange(Edit6, UpDown1); }
void TRGBComp::Edit9Change() { IntEditChange(Edit9, UpDown2); }
void TRGBComp::Edit7Change() { IntEditChange(Edit7, UpDown3); }
void TRGBComp::Edit10Change() { IntEditChange(Edit10, UpDown4); }
void TRGBComp::Edit8Change() { IntEditChange(Edit8, UpDown5); }
void TRGBComp::Edit11Change() { IntEditChange(Edit11, UpDown6); }
void TRGBComp::Edit12Change() { IntEditChange(Edit12, UpDown7); }
void TRGBComp::Edit13Change() { IntEditChange(Edit13, UpDown8); }
void TRGBComp::Edit14Change() { IntEditChange(Edit14, UpDown9); }
void TRGBComp::Edit15Change() { RealEditChange(Edit15, UpDown10); }
void TRGBComp::Edit16Change() { RealEditChange(Edit16, UpDown11); }
void TRGBComp::Edit17Change() { RealEditChange(Edit17, UpDown12); }
void TRGBComp::Edit18Change() { RealEditChange(Edit18, UpDown13); }

void TRGBComp::UpDown1Click() { Edit6->setText(QString::number(UpDown1->value())); }
void TRGBComp::UpDown2Click() { Edit9->setText(QString::number(UpDown2->value())); }
void TRGBComp::UpDown3Click() { Edit7->setText(QString::number(UpDown3->value())); }
void TRGBComp::UpDown4Click() { Edit10->setText(QString::number(UpDown4->value())); }
void TRGBComp::UpDown5Click() { Edit8->setText(QString::number(UpDown5->value())); }
void TRGBComp::UpDown6Click() { Edit11->setText(QString::number(UpDown6->value())); }
void TRGBComp::UpDown7Click() { Edit12->setText(QString::number(UpDown7->value())); }
void TRGBComp::UpDown8Click() { Edit13->setText(QString::number(UpDown8->value())); }
void TRGBComp::UpDown9Click() { Edit14->setText(QString::number(UpDown9->value())); }
void TRGBComp::UpDown10Click() { SetText(Edit15, qirm::WhiteSpinText(UpDown10->value())); }
void TRGBComp::UpDown11Click() { SetText(Edit16, qirm::WhiteSpinText(UpDown11->value())); }
void TRGBComp::UpDown12Click() { SetText(Edit17, qirm::WhiteSpinText(UpDown12->value())); }
void TRGBComp::UpDown13Click() { SetText(Edit18, qirm::WhiteSpinText(UpDown13->value())); }

// Picking stars in frames of their own.

void TRGBComp::Button13Click() {
  RadioButton2->setChecked(true);
  if (OpenDialog3->exec() != QDialog::Accepted || OpenDialog3->FilterIndex() != 1) return;
  if (!m_host) return;
  for (const QString& file : OpenDialog3->selectedFiles()) {
    qirm::ImageDocument doc;
    if (qirm::Status s = qirm::OpenFrameForPicking(Local(file), doc, &m_host->Texts()); !s) {
      m_host->SyncTexts();
      ShowError(s.message());
      return;  // the windows made for earlier files stay
    }
    m_host->ShowResultWindow(std::move(doc), ResultWindowSize::kStarPicking);
  }
  m_host->SyncTexts();
  GiveWayToPicking();
}

void TRGBComp::GiveWayToPicking() {
  // The frames just opened are where the next clicks go: they come in front
  // and this dialog, still open, is an ordinary window until "RGB合成"
  // brings it to the front again (BringToFront). Only the native window's
  // flag changes: changing the widget's flags would hide it.
  if (QWindow* window = windowHandle()) window->setFlag(Qt::WindowStaysOnTopHint, false);
  QWidget* host = m_host ? m_host->HostWindow() : nullptr;
  if (!host) return;
  host->raise();
  host->activateWindow();
}

void TRGBComp::showEvent(QShowEvent* event) {
  // Qt makes a window with a parent transient for it (kept above it by
  // the window manager) just before showing it: undone here, the last step
  // before the window is mapped.
  if (QWindow* window = windowHandle()) window->setTransientParent(nullptr);
  QDialog::showEvent(event);
}

void TRGBComp::BringToFront() {
  if (QWindow* window = windowHandle()) window->setFlag(Qt::WindowStaysOnTopHint, true);
  show();
  raise();
  activateWindow();
}

// The advanced dialog and the settings file.

void TRGBComp::Button14Click() {
  if (!m_advance) return;
  m_advance->show();
  m_advance->raise();
  m_advance->Capture();
}

void TRGBComp::Button15Click() {
  if (OpenDialog2->exec() != QDialog::Accepted || OpenDialog2->selectedFiles().isEmpty()) return;
  // The whole file is read and checked first: a broken file leaves the
  // dialog as it was.
  qirm::CompositionSettings settings = CurrentChoices();
  if (qirm::Status s = qirm::LoadCompositionSettings(Local(OpenDialog2->selectedFiles().first()), settings);
      !s) {
    ShowError(s.message());
    return;
  }
  ShowSettings(settings);
}

void TRGBComp::Button16Click() {
  if (SaveDialog2->exec() != QDialog::Accepted || SaveDialog2->selectedFiles().isEmpty()) return;
  const std::string name = qirm::ReplaceExtension(Local(SaveDialog2->selectedFiles().first()),
                                                  qirm::kCompositionSettingsExtension);
  if (QFileInfo::exists(FromLocal(name))) {
    const auto answer = QMessageBox::question(
        this, QStringLiteral("確認"), QStringLiteral("ファイルがすでに存在しています。　上書きしますか？"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) return;
  }
  qirm::CompositionSettings settings;
  qirm::Status s = BuildSettings(settings);
  if (s) s = qirm::SaveCompositionSettings(name, settings);
  if (!s) ShowError(s.message());
}

// Closing and running.

void TRGBComp::Button6Click() { close(); }

void TRGBComp::Button7Click() {
  if (Running()) {
    QMessageBox::information(this, QStringLiteral("QIRM"),
                             QStringLiteral("RGB合成を実行中です。終わってからもう一度実行してください。"));
    return;
  }
  close();
  if (m_advance && !m_advance->Capture()) return;
  if (ListBox1->count() < 1 || ListBox2->count() < 1 || ListBox3->count() < 1) return;  // nothing to compose
  qirm::CompositionSettings settings;
  qirm::Status s = BuildSettings(settings);
  if (s) s = qirm::CheckCompositionSettings(settings);
  if (!s) {
    ShowError(s.message());
    return;
  }
  StartRun(settings);
}

void TRGBComp::StartRun(const qirm::CompositionSettings& settings) {
  auto job = std::make_shared<CompositionJob>();
  job->settings = settings;
  job->options.keep_16_bits = CheckBoxDeep->isChecked();
  if (CheckBoxLinear->isChecked()) {
    // Asked before the run, so a long run is not followed by a question;
    // cancelled, nothing runs.
    QWidget* owner = m_host ? m_host->HostWindow() : nullptr;
    const QString name =
        QFileDialog::getSaveFileName(owner, QStringLiteral("リニア結果の保存"), QStringLiteral("linear.fits"),
                                     QStringLiteral("フィッツ(*.fits *.fit *.fts)"));
    if (name.isEmpty()) return;
    job->linear_path = Local(name);
    if (!qirm::IsFitsName(job->linear_path))
      job->linear_path = qirm::ReplaceExtension(job->linear_path, ".fits");
    job->options.keep_linear = true;
  }
  const ComposeFunction compose =
      Compose ? Compose
              : [options = job->options](const qirm::CompositionSettings& s,
                                         const std::function<void(int)>& progress,
                                         qirm::ImageDocument& result, qirm::MainState* main,
                                         const std::function<void(const std::string&)>& notice) {
                  return qirm::ComposeTricolourWith(options, s, progress, result, main, notice);
                };
  // The worker only computes and writes the linear cube; everything it
  // reports is carried over to this thread in the order it was sent.
  m_thread = QThread::create([this, job, compose] {
    job->status = compose(
        job->settings,
        [this](int percent) {
          QMetaObject::invokeMethod(
              this, [this, percent] { RunProgress(percent); }, Qt::QueuedConnection);
        },
        job->result, nullptr,
        [this](const std::string& message) {
          const QString text = QString::fromLocal8Bit(message.c_str());
          QMetaObject::invokeMethod(
              this, [this, text] { RunNotice(text); }, Qt::QueuedConnection);
        });
    if (job->status && !job->linear_path.empty() && job->result.kind != qirm::WindowKind::kNone) {
      qirm::FitsWriteHeader header;
      header.history.push_back("QIRM composition: channels R, G, B as they enter the tone curve");
      job->linear_status = qirm::WriteFitsFloatCube(job->linear_path, job->result.Image.width(),
                                                    job->result.Image.height(), job->result.linear, header);
    }
    // The window keeps no copy of the linear channels.
    for (std::vector<float>& plane : job->result.linear) std::vector<float>().swap(plane);
  });
  m_thread->setParent(this);
  m_thread->setObjectName(QStringLiteral("CompositionRun"));
  connect(
      m_thread, &QThread::finished, this, [this, job] { RunFinished(job); }, Qt::QueuedConnection);
  Button7->setEnabled(false);
  Button7->setToolTip(QStringLiteral("RGB合成を実行中です"));
  m_thread->start();
}

void TRGBComp::RunProgress(int percent) {
  if (m_host) m_host->SetProgress(percent);
}

void TRGBComp::RunNotice(const QString& message) {
  // Shown while the run goes on, as a plain message with an OK button.
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("QIRM"), message, QMessageBox::Ok,
                  m_host ? m_host->HostWindow() : nullptr);
  box.exec();
}

void TRGBComp::RunFinished(const std::shared_ptr<CompositionJob>& job) {
  // finished() comes from the worker just before it ends: let it end.
  m_thread->wait();
  m_thread->deleteLater();
  m_thread = nullptr;
  Button7->setEnabled(true);
  Button7->setToolTip(QString());
  if (!m_host) return;
  const bool composed = job->status.ok() && job->result.kind != qirm::WindowKind::kNone;
  if (composed) {
    m_host->ShowResultWindow(std::move(job->result), ResultWindowSize::kComposition);
    qirm::ApplyCompositionMainState(m_host->Texts());
    m_host->SyncTexts();
  }
  m_host->SetProgress(0);
  if (!job->status) ShowError(job->status.message());
  if (!job->linear_status) ShowError(job->linear_status.message());
  emit CompositionFinished(composed);
}
