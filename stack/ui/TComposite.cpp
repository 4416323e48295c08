// SPDX-License-Identifier: GPL-3.0-or-later
#include "stack/ui/TComposite.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

// The window an item was listed for: its place in the window order.
constexpr int kWindowRole = Qt::UserRole;

QPushButton* NewButton(const QString& text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  return button;
}

QLabel* NewLabel(const QString& text, const char* name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

QListWidget* NewList(const char* name, QAbstractItemView::SelectionMode mode, QWidget* parent) {
  auto* list = new QListWidget(parent);
  list->setObjectName(QString::fromLatin1(name));
  list->setSelectionMode(mode);
  list->setMinimumSize(180, 200);
  return list;
}

QLineEdit* NewCount(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(QStringLiteral("0"), parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setFixedWidth(48);
  return edit;
}

}  // namespace

TComposite::TComposite(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Composite"));
  setWindowTitle(QStringLiteral("コンポジット"));
  setModal(true);

  Label2 = NewLabel(QStringLiteral("開いている画像"), "Label2", this);
  // Multi-selection without the extended (shift / control) behaviour: each
  // click toggles one entry.
  ListBox1 = NewList("ListBox1", QAbstractItemView::MultiSelection, this);
  Label1 = NewLabel(QStringLiteral("合成する画像"), "Label1", this);
  ListBox2 = NewList("ListBox2", QAbstractItemView::ExtendedSelection, this);
  Edit1 = NewCount("Edit1", this);
  Edit2 = NewCount("Edit2", this);

  Button1 = NewButton(QStringLiteral(">>>"), "Button1", this);
  Button2 = NewButton(QStringLiteral("<<<"), "Button2", this);
  Button5 = NewButton(QStringLiteral("すべて選択"), "Button5", this);
  Button6 = NewButton(QStringLiteral("すべて削除"), "Button6", this);
  Button3 = NewButton(QStringLiteral("OK"), "Button3", this);
  Button3->setDefault(true);
  Button4 = NewButton(QStringLiteral("Cancel"), "Button4", this);

  auto* methods = new QGroupBox(this);
  methods->setObjectName(QStringLiteral("MethodPanel"));
  Label8 = NewLabel(QStringLiteral("コンポジット方法"), "Label8", methods);
  QRadioButton** radios[] = {&RadioButton1, &RadioButton2, &RadioButton3, &RadioButton4, &RadioButton5};
  QLabel** labels[] = {&Label3, &Label4, &Label5, &Label6, &Label7};
  const char* radioNames[] = {"RadioButton1", "RadioButton2", "RadioButton3", "RadioButton4", "RadioButton5"};
  const char* labelNames[] = {"Label3", "Label4", "Label5", "Label6", "Label7"};
  const QString captions[] = {QStringLiteral(" 平均"), QStringLiteral(" 加算"), QStringLiteral(" 最大値"),
                              QStringLiteral(" 最小値"), QStringLiteral(" 期待値")};
  auto* methodGrid = new QGridLayout(methods);
  methodGrid->addWidget(Label8, 0, 0, 1, 2);
  for (int i = 0; i < 5; ++i) {
    *radios[i] = new QRadioButton(methods);
    (*radios[i])->setObjectName(QString::fromLatin1(radioNames[i]));
    *labels[i] = NewLabel(captions[i], labelNames[i], methods);
    (*labels[i])->installEventFilter(this);
    methodGrid->addWidget(*radios[i], i + 1, 0);
    methodGrid->addWidget(*labels[i], i + 1, 1);
  }
  methodGrid->setColumnStretch(1, 1);
  RadioButton1->setChecked(true);

  auto* left = new QVBoxLayout;
  left->addWidget(Label2);
  left->addWidget(ListBox1, 1);
  left->addWidget(Edit1);
  auto* middle = new QVBoxLayout;
  middle->addStretch(1);
  for (QPushButton* b : {Button1, Button2, Button5, Button6}) middle->addWidget(b);
  middle->addStretch(1);
  auto* right = new QVBoxLayout;
  right->addWidget(Label1);
  right->addWidget(ListBox2, 1);
  right->addWidget(Edit2);
  auto* side = new QVBoxLayout;
  side->addWidget(methods);
  side->addStretch(1);
  side->addWidget(Button3);
  side->addWidget(Button4);
  auto* row = new QHBoxLayout(this);
  row->addLayout(left, 1);
  row->addLayout(middle);
  row->addLayout(right, 1);
  row->addLayout(side);

  connect(Button1, &QPushButton::clicked, this, &TComposite::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TComposite::Button2Click);
  connect(Button5, &QPushButton::clicked, this, &TComposite::Button5Click);
  connect(Button6, &QPushButton::clicked, this, &TComposite::Button6Click);
  connect(Button3, &QPushButton::clicked, this, &TComposite::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TComposite::Button4Click);
}

void TComposite::Prepare(const std::vector<qirm::CompositeEntry>& candidates) {
  ListBox1->clear();
  ListBox2->clear();
  Edit2->setText(QStringLiteral("0"));
  for (const qirm::CompositeEntry& entry : candidates) {
    auto* item = new QListWidgetItem(QString::fromStdString(entry.caption), ListBox1);
    item->setData(kWindowRole, entry.window);
  }
  Edit1->setText(QString::number(ListBox1->count()));
}

qirm::CompositeParams TComposite::Params() const {
  qirm::CompositeParams params;
  for (int i = 0; i < ListBox2->count(); ++i) {
    const QListWidgetItem* item = ListBox2->item(i);
    params.entries.push_back({item->text().toStdString(), item->data(kWindowRole).toInt()});
  }
  params.method = RadioButton2->isChecked()   ? qirm::CompositeMethod::Sum
                  : RadioButton3->isChecked() ? qirm::CompositeMethod::Maximum
                  : RadioButton4->isChecked() ? qirm::CompositeMethod::Minimum
                  : RadioButton5->isChecked() ? qirm::CompositeMethod::Expected
                                              : qirm::CompositeMethod::Average;
  return params;
}

void TComposite::MoveEntries(QListWidget* from, QListWidget* to, bool selectedOnly) {
  for (int i = 0; i < from->count();) {
    if (selectedOnly && !from->item(i)->isSelected()) {
      ++i;
      continue;
    }
    QListWidgetItem* item = from->takeItem(i);
    item->setSelected(false);
    to->addItem(item);
  }
  Edit1->setText(QString::number(ListBox1->count()));
  Edit2->setText(QString::number(ListBox2->count()));
}

void TComposite::Button1Click() { MoveEntries(ListBox1, ListBox2, true); }
void TComposite::Button2Click() { MoveEntries(ListBox2, ListBox1, true); }
void TComposite::Button5Click() { MoveEntries(ListBox1, ListBox2, false); }
void TComposite::Button6Click() { MoveEntries(ListBox2, ListBox1, false); }

void TComposite::Button3Click() { accept(); }

void TComposite::Button4Click() {
  Edit2->setText(QStringLiteral("0"));
  reject();
}

bool TComposite::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease) {
    QLabel* labels[] = {Label3, Label4, Label5, Label6, Label7};
    QRadioButton* radios[] = {RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5};
    for (int i = 0; i < 5; ++i) {
      if (watched == labels[i]) radios[i]->setChecked(true);
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TComposite::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    Button4Click();
    return;
  }
  QDialog::keyPressEvent(event);
}
