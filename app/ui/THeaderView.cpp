// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/THeaderView.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/fits_header.h"

THeaderView::THeaderView(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("HeaderView"));
  setWindowTitle(QStringLiteral("FITSヘッダー"));
  setModal(false);
  resize(620, 480);

  Filter = new QLineEdit(this);
  Filter->setObjectName(QStringLiteral("Filter"));
  Filter->setPlaceholderText(QStringLiteral("検索（キーワード・値・コメント）"));
  Filter->setClearButtonEnabled(true);
  Cards = new QListWidget(this);
  Cards->setObjectName(QStringLiteral("Cards"));
  Cards->setSelectionMode(QAbstractItemView::ExtendedSelection);
  Cards->setUniformItemSizes(true);
  // Cards are fixed columns: only a fixed-pitch font keeps them aligned.
  Cards->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  CopyButton = new QPushButton(QStringLiteral("コピー"), this);
  CopyButton->setObjectName(QStringLiteral("CopyButton"));
  CopyButton->setToolTip(QStringLiteral("選択した行（選択がなければ表示中のすべての行）をコピー"));
  Note = new QLabel(this);
  Note->setObjectName(QStringLiteral("Note"));
  auto* close = new QPushButton(QStringLiteral("閉じる"), this);

  // The list's own Ctrl+C copies only its current row: take the key first.
  Cards->installEventFilter(this);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Note, 1);
  buttons->addWidget(CopyButton);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Filter);
  layout->addWidget(Cards, 1);
  layout->addLayout(buttons);

  connect(Filter, &QLineEdit::textChanged, this, &THeaderView::ApplyFilter);
  connect(CopyButton, &QPushButton::clicked, this, &THeaderView::Copy);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  ShowDocument(nullptr);
}

void THeaderView::ShowDocument(const qirm::ImageDocument* doc) {
  m_lines.clear();
  if (doc) {
    for (const std::string& line : qirm::HeaderLines(doc->fits_cards)) m_lines << QString::fromUtf8(line);
  }
  setWindowTitle(doc && !m_lines.isEmpty()
                     ? QStringLiteral("FITSヘッダー - %1").arg(QString::fromStdString(doc->caption))
                     : QStringLiteral("FITSヘッダー"));
  ApplyFilter();
}

void THeaderView::ApplyFilter() {
  const QString text = Filter->text();
  Cards->clear();
  for (const QString& line : m_lines) {
    if (text.isEmpty() || line.contains(text, Qt::CaseInsensitive)) Cards->addItem(line);
  }
  const bool none = m_lines.isEmpty();
  CopyButton->setEnabled(Cards->count() > 0);
  if (none)
    Note->setText(QStringLiteral("アクティブなウィンドウにFITSヘッダーはありません"));
  else
    Note->setText(QStringLiteral("%1 / %2 行").arg(Cards->count()).arg(m_lines.size()));
}

bool THeaderView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Cards && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
    Copy();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

QString THeaderView::CopyText() const {
  QStringList lines;
  // In the header's order, whatever order the rows were selected in.
  for (int i = 0; i < Cards->count(); ++i) {
    if (Cards->item(i)->isSelected()) lines << Cards->item(i)->text();
  }
  if (lines.isEmpty()) {
    for (int i = 0; i < Cards->count(); ++i) lines << Cards->item(i)->text();
  }
  return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void THeaderView::Copy() {
  const QString text = CopyText();
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}
