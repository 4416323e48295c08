// SPDX-License-Identifier: GPL-3.0-or-later
#include "photometry/ui/TPhotometryTable.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <set>

#include "app/ui/ToolWindow.h"
#include "core/file_write.h"

TPhotometryTable::TPhotometryTable(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setObjectName(QStringLiteral("PhotometryTable"));
  setWindowTitle(QStringLiteral("測光結果"));
  resize(900, 300);
  Table = new QTableWidget(0, Headings().size(), this);
  Table->setObjectName(QStringLiteral("Table"));
  Table->setHorizontalHeaderLabels(Headings());
  Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Table->setSelectionBehavior(QAbstractItemView::SelectRows);
  Table->setSelectionMode(QAbstractItemView::ExtendedSelection);
  Table->verticalHeader()->setDefaultSectionSize(20);
  CopyButton = new QPushButton(QStringLiteral("コピー"), this);
  CopyButton->setObjectName(QStringLiteral("CopyButton"));
  CopyButton->setToolTip(QStringLiteral("選択した行（選択がなければすべての行）を見出し付きのCSVでコピー"));
  SaveButton = new QPushButton(QStringLiteral("CSV保存..."), this);
  SaveButton->setObjectName(QStringLiteral("SaveButton"));
  ClearButton = new QPushButton(QStringLiteral("クリア"), this);
  ClearButton->setObjectName(QStringLiteral("ClearButton"));
  ClearButton->setToolTip(QStringLiteral("すべての行と画像上の印を消す"));
  Note = new QLabel(this);
  Note->setObjectName(QStringLiteral("Note"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Note, 1);
  buttons->addWidget(CopyButton);
  buttons->addWidget(SaveButton);
  buttons->addWidget(ClearButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Table, 1);
  layout->addLayout(buttons);
  connect(CopyButton, &QPushButton::clicked, this, &TPhotometryTable::Copy);
  connect(SaveButton, &QPushButton::clicked, this, &TPhotometryTable::SaveClick);
  connect(ClearButton, &QPushButton::clicked, this, &TPhotometryTable::Clear);
  Note->setText(QStringLiteral("0 星"));
}

QStringList TPhotometryTable::Headings() {
  QStringList h = {QStringLiteral("ファイル"), QStringLiteral("DATE-OBS"), QStringLiteral("測定時刻"),
                   QStringLiteral("チャンネル")};
  for (const std::string& name : qirm::StarValueNames()) h << QString::fromStdString(name);
  return h;
}

void TPhotometryTable::AddRow(const QString& file, const QString& date_obs, const QString& measured_at,
                              const QString& channel, const qirm::StarMeasurement& m) {
  const int row = Table->rowCount();
  Table->insertRow(row);
  QStringList cells = {file, date_obs, measured_at, channel};
  for (const std::string& v : qirm::StarValueTexts(m)) cells << QString::fromStdString(v);
  for (int c = 0; c < cells.size(); ++c) {
    auto* item = new QTableWidgetItem(cells[c]);
    if (c >= 4) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Table->setItem(row, c, item);
  }
  Table->resizeColumnsToContents();
  Table->scrollToBottom();
  Note->setText(QStringLiteral("%1 星").arg(Table->rowCount()));
}

int TPhotometryTable::RowCount() const { return Table->rowCount(); }

namespace {

// The table's four leading columns go after the measured values in the CSV.
constexpr int kLeadingColumns = 4;

}  // namespace

QStringList TPhotometryTable::CsvHeadings() {
  QStringList h;
  for (const std::string& name : qirm::StarValueNames()) h << QString::fromStdString(name);
  h << QStringLiteral("FILE") << QStringLiteral("DATE-OBS") << QStringLiteral("MEASURED_AT")
    << QStringLiteral("CHANNEL");
  return h;
}

void TPhotometryTable::showEvent(QShowEvent* event) {
  if (!m_placed) PlaceBeside(this, parentWidget());
  m_placed = true;
  QWidget::showEvent(event);
}

QString TPhotometryTable::CsvText(bool selected_only) const {
  std::set<int> rows;
  if (selected_only)
    for (const QModelIndex& i : Table->selectionModel()->selectedRows()) rows.insert(i.row());
  if (rows.empty())
    for (int r = 0; r < Table->rowCount(); ++r) rows.insert(r);
  std::vector<std::string> cells;
  for (const QString& h : CsvHeadings()) cells.push_back(h.toStdString());
  std::string text = qirm::CsvLine(cells) + "\n";
  const int columns = Table->columnCount();
  for (int r : rows) {
    cells.clear();
    for (int k = 0; k < columns; ++k) {
      const int c = (k + kLeadingColumns) % columns;
      cells.push_back(Table->item(r, c)->text().toStdString());
    }
    text += qirm::CsvLine(cells) + "\n";
  }
  return QString::fromStdString(text);
}

bool TPhotometryTable::SaveCsv(const QString& path, QString& error) const {
  const QByteArray bytes = CsvText(false).toUtf8();
  const qirm::Status s = qirm::WriteFileReplacing(QFile::encodeName(path).toStdString(),
                                                  std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  if (!s) error = QStringLiteral("CSVファイルを保存できません: %1").arg(QString::fromStdString(s.message()));
  return s.ok();
}

void TPhotometryTable::Copy() { QApplication::clipboard()->setText(CsvText(true)); }

void TPhotometryTable::SaveClick() {
  const QString path =
      QFileDialog::getSaveFileName(this, QStringLiteral("測光結果の保存"), QStringLiteral("photometry.csv"),
                                   QStringLiteral("CSV (*.csv);;すべてのファイル (*)"));
  if (path.isEmpty()) return;
  QString error;
  if (!SaveCsv(path, error)) QMessageBox::warning(this, QStringLiteral("QIRM"), error);
}

void TPhotometryTable::Clear() {
  Table->setRowCount(0);
  Note->setText(QStringLiteral("0 星"));
  emit Cleared();
}
