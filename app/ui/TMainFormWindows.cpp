// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's image windows: making and sizing them for new documents,
// opening, saving, separation, close all, and keeping the controls in step
// with the workspace.
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QUrl>

#include "app/recent_files.h"
#include "app/save_image.h"
#include "app/ui/TApplication.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "app/ui/TypedFileDialog.h"
#include "app/ui/UpDownSpin.h"
#include "document/state_texts.h"

namespace {

std::string Local(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

namespace {

// "FITS (*.fits *.fit *.fts)": a label the toolkit reads its patterns from as
// well.
QString EntryLabel(const QString& name, const std::vector<std::string>& extensions) {
  QStringList patterns;
  for (const std::string& ext : extensions) patterns << QStringLiteral("*.") + QString::fromStdString(ext);
  return name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

QStringList Patterns(const std::vector<std::string>& extensions) {
  QStringList patterns;
  for (const std::string& ext : extensions) patterns << QStringLiteral("*.") + QString::fromStdString(ext);
  return patterns;
}

// The extensions of each format the save command writes; the first is the
// one added to a name typed without one.
std::vector<std::string> SaveExtensions(qirm::SaveFormat format) {
  switch (format) {
    case qirm::SaveFormat::kFits:
      return {"fits", "fit", "fts"};
    case qirm::SaveFormat::kPng:
      return {"png"};
    case qirm::SaveFormat::kTiff:
      return {"tif", "tiff"};
    case qirm::SaveFormat::kBmp:
      return {"bmp"};
    case qirm::SaveFormat::kJpeg:
      return {"jpg", "jpeg"};
  }
  return {};
}

QString FormatName(qirm::SaveFormat format) {
  switch (format) {
    case qirm::SaveFormat::kFits:
      return QStringLiteral("FITS");
    case qirm::SaveFormat::kPng:
      return QStringLiteral("PNG");
    case qirm::SaveFormat::kTiff:
      return QStringLiteral("TIFF");
    case qirm::SaveFormat::kBmp:
      return QStringLiteral("ビットマップ");
    case qirm::SaveFormat::kJpeg:
      return QStringLiteral("JPEG");
  }
  return QString();
}

}  // namespace

void TMainForm::CreateDialogs() {
  // Every type the open command reads, FITS first, then each type alone.
  QVector<TypedFileDialog::Entry> open;
  const std::vector<std::string> all = qirm::ReadableExtensions();
  open.push_back({EntryLabel(QStringLiteral("すべての画像"), all), Patterns(all)});
  m_openTypes = {std::nullopt};
  for (const qirm::ReadableType& t : qirm::ReadableTypes()) {
    open.push_back({EntryLabel(QString::fromUtf8(t.label), t.extensions), Patterns(t.extensions)});
    m_openTypes.push_back(t.type);
  }
  OpenDialog = new TypedFileDialog(this, QStringLiteral("画像を開く"), open);
  OpenDialog->setObjectName(QStringLiteral("OpenDialog"));
  OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
  // The folder and the type of the last opening, from the last run too.
  const QString folder = m_settings.Value(QString::fromLatin1(UiSettings::kOpenFolder)).toString();
  if (!folder.isEmpty() && QFileInfo(folder).isDir()) OpenDialog->setDirectory(folder);
  const QString filter = m_settings.Value(QString::fromLatin1(UiSettings::kOpenFilter)).toString();
  for (int i = 0; i < open.size(); ++i) {
    if (open[i].label == filter) OpenDialog->SetFilterIndex(i + 1);
  }

  // Its entries are set for each window saved (SaveEntries).
  SaveDialog = new TypedFileDialog(this, QStringLiteral("画像の保存"), {});
  SaveDialog->setObjectName(QStringLiteral("SaveDialog"));
  SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
  SaveDialog->setFileMode(QFileDialog::AnyFile);
  // The save command asks its own overwrite question, once the extension
  // rule has given the real name.
  SaveDialog->setOption(QFileDialog::DontConfirmOverwrite, true);
  SaveDialog->setSizeGripEnabled(true);
  for (QFileDialog* dialog : {static_cast<QFileDialog*>(OpenDialog), static_cast<QFileDialog*>(SaveDialog)}) {
    dialog->setAttribute(Qt::WA_QuitOnClose, false);
  }
}

void TMainForm::SaveEntries(const qirm::ImageDocument& doc) {
  using qirm::SaveFormat;
  const bool data = doc.kind == qirm::WindowKind::kRaw16 || doc.kind == qirm::WindowKind::kFloat;
  // A composition's 16-bit planes that still show its picture go out whole
  // as PNG and TIFF.
  const bool deep = qirm::DeepShowsPicture(doc.deep, doc.Image);
  // First what keeps the window's data: the values of a 16-bit or float
  // window (FITS), the picture of a colour window (PNG, TIFF, BMP); JPEG
  // loses detail; FITS holds a colour picture as an 8-bit cube.
  m_saveFormats.clear();
  if (data) m_saveFormats.push_back(SaveFormat::kFits);
  for (SaveFormat f : {SaveFormat::kPng, SaveFormat::kTiff, SaveFormat::kBmp, SaveFormat::kJpeg})
    m_saveFormats.push_back(f);
  if (!data) m_saveFormats.push_back(SaveFormat::kFits);
  QVector<TypedFileDialog::Entry> entries;
  for (SaveFormat f : m_saveFormats) {
    QString name = FormatName(f);
    if (f == SaveFormat::kFits) {
      name += data ? QStringLiteral("（データ）") : QStringLiteral("（RGB 8ビット）");
    } else if (deep && (f == SaveFormat::kPng || f == SaveFormat::kTiff)) {
      name += QStringLiteral(" 16ビット");
    } else if (data) {
      name += QStringLiteral("（表示画像）");
    }
    entries.push_back({EntryLabel(name, SaveExtensions(f)), Patterns(SaveExtensions(f))});
  }
  SaveDialog->SetEntries(entries);
}

void TMainForm::SetProgress(int percent) {
  ProgressBar1->setValue(percent);
  ProgressBar1->repaint();
}

void TMainForm::ShowError(const QString& message) { TApplication::ShowException(message); }

TChild* TMainForm::ChildOf(const qirm::ImageDocument* doc) const {
  if (!doc) return nullptr;
  for (TChild* child : Children()) {
    if (child->Document() == doc) return child;
  }
  return nullptr;
}

QList<TChild*> TMainForm::Children() const {
  QList<TChild*> children;
  for (QMdiSubWindow* sub : MdiArea->subWindowList()) {
    if (auto* child = qobject_cast<TChild*>(sub->widget()); child && child->Document()) children << child;
  }
  return children;
}

TChild* TMainForm::ActiveChild() const { return ChildOf(const_cast<TMainForm*>(this)->m_workspace.active()); }

void TMainForm::SyncTexts() {
  const qirm::MainState& t = m_workspace.main();
  const QSignalBlocker b2(Edit2), b3(Edit3), u1(UpDown1), u2(UpDown2);
  Edit1->setText(QString::fromStdString(qirm::ZoomPercentText(t)));
  Edit2->setText(QString::fromStdString(t.max_edit.text));
  Edit3->setText(QString::fromStdString(t.min_edit.text));
  UpDown1->setValue(t.max_spin);
  UpDown2->setValue(t.min_spin);
  FollowLevels(false);
}

void TMainForm::RefreshChildren() {
  for (TChild* child : Children()) child->RefreshImage();
}

void TMainForm::ActivateChild(TChild* child) {
  if (!child || !child->Document()) return;
  const bool other = m_workspace.active() != child->Document();
  m_workspace.Activate(child->Document());  // FormActivate: the zoom text follows
  // Going back to another window, the level edits follow it too, so "H",
  // "L", the spins and the levels panel all start from its levels. A window
  // just made is already active and keeps the edits its maker set.
  if (other && qirm::HasLevelValues(*child->Document())) {
    m_workspace.SetMaxLevel(child->Document()->max_level);
    m_workspace.SetMinLevel(child->Document()->min_level);
  }
  SyncTexts();
  UpdateUndoItems();
}

void TMainForm::ShowNewWindows(ResultWindowSize size) {
  const bool fitToMainClient = size == ResultWindowSize::kFitClient || size == ResultWindowSize::kStarPicking;
  QSize client = MdiArea->viewport()->size();
  QList<TChild*> made;
  for (const auto& doc : m_workspace.windows()) {
    if (ChildOf(doc.get())) continue;
    auto* child = new TChild(doc.get());
    child->SetOriginBottom(OriginBottom1->isChecked());
    QMdiSubWindow* sub = MdiArea->addSubWindow(child);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->installEventFilter(this);
    // The frame's own menu would claim Ctrl+W and Ctrl+F4 as well, and a
    // key that two actions claim does nothing: the File menu's 閉じる owns
    // them and closes the same way.
    if (QMenu* frameMenu = sub->systemMenu()) {
      for (QAction* a : frameMenu->actions()) {
        for (const QKeySequence& key : Close1->shortcuts()) {
          if (a->shortcuts().contains(key)) a->setShortcuts({});
        }
      }
    }
    connect(child, &TChild::Closed, this, [this](TChild* closing) {
      m_workspace.Close(closing->Document());
      // The last star width measured no longer belongs to any window.
      if (m_workspace.windows().empty()) {
        Label1->setText(QStringLiteral("QIRM = "));
        Label1->setToolTip(QString());
      }
      UpdateUndoItems();
    });
    connect(child, &TChild::ReadoutChanged, Label2, &QLabel::setText);
    connect(child, &TChild::SkyChanged, SkyLabel, &QLabel::setText);
    connect(child, &TChild::FitsPixelChanged, FitsPixelLabel, &QLabel::setText);
    connect(child, &TChild::StarWidthMeasured, this, [this](const QString& label, const QString& extremes) {
      Label1->setText(label);
      // The extremes of the box, kept where a curious user can find them.
      Label1->setToolTip(extremes);
    });
    connect(child, &TChild::ErrorRaised, this, &TMainForm::ShowError);
    const QPoint place = CascadePosition();
    connect(child, &TChild::WheelZoom, this, [this, child](qirm::ZoomDirection direction, QPointF at) {
      // The window under the wheel is the one that zooms.
      if (child != ActiveChild())
        MdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(child->parentWidget()));
      if (child != ActiveChild()) return;
      ZoomActive([&](bool& changed) { return qirm::Zoom(m_workspace, direction, changed); }, at, false);
    });
    sub->show();
    sub->move(place);
    // Reach the right and bottom edges of the main client area.
    sub->resize(std::max(client.width() - sub->x(), 100), std::max(client.height() - sub->y(), 80));
    if (!fitToMainClient) {
      // Then shrink to the picture (never beyond the client area: larger
      // pictures scroll).
      const QSize frame = sub->size() - child->size();
      const QSize wanted = child->sizeHint() + frame;
      sub->resize(std::min(wanted.width(), std::max(client.width() - sub->x(), 100)),
                  std::min(wanted.height(), std::max(client.height() - sub->y(), 80)));
    }
    made << child;
  }
  if (TChild* active = ChildOf(m_workspace.active()))
    MdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(active->parentWidget()));
  SyncTexts();
  UpdateUndoItems();

  // The tri-colour dialog's windows take their own size once placed and
  // active.
  if (size != ResultWindowSize::kComposition && size != ResultWindowSize::kStarPicking) return;
  client = MdiArea->viewport()->size();
  for (TChild* child : made) {
    auto* sub = qobject_cast<QMdiSubWindow*>(child->parentWidget());
    if (!sub) continue;
    if (size == ResultWindowSize::kComposition) {
      sub->resize(std::max(client.width() - 20, 100), std::max(client.height() - 100, 80));
    } else {
      const QSize frame = sub->size() - child->size();
      sub->resize(std::max(client.width() - 50, 100) + frame.width(),
                  std::max(client.height() - 100, 80) + frame.height());
    }
  }
}

void TMainForm::ShowResultWindow(qirm::ImageDocument&& doc, ResultWindowSize size) {
  m_workspace.NewWindow() = std::move(doc);
  ShowNewWindows(size);
}

void TMainForm::FitZoomed(TChild* child) {
  auto* sub = qobject_cast<QMdiSubWindow*>(child->parentWidget());
  if (!sub) return;
  const QSize client = MdiArea->viewport()->size();
  sub->raise();
  const QSize zoomed = child->ZoomedSize();
  if (zoomed.width() > client.width()) {
    sub->resize(client.width() - 20, client.height() - 60);
  } else {
    sub->resize(zoomed + (sub->size() - child->size()));
  }
}

QPoint TMainForm::CascadePosition() const {
  constexpr int kStep = 24;
  const QSize client = MdiArea->viewport()->size();
  QList<QPoint> taken;
  for (QMdiSubWindow* sub : MdiArea->subWindowList()) {
    if (sub->isVisible()) taken << sub->pos();
  }
  // The first free step; when the client area runs out the steps start
  // again from the corner.
  for (int k = 0;; ++k) {
    const QPoint p(k * kStep, k * kStep);
    if (p.x() + 200 > client.width() || p.y() + 150 > client.height()) return QPoint(0, 0);
    if (!taken.contains(p)) return p;
  }
}

bool TMainForm::OpenFile(const QString& path, qirm::FileType type) {
  if (qirm::Status s = qirm::OpenImageFile(m_workspace, Local(path), type); !s) {
    ShowError(QString::fromLocal8Bit(s.message().c_str()));
    return false;
  }
  AddRecent(path);
  ShowNewWindows(type == qirm::FileType::Fits || type == qirm::FileType::Netpbm
                     ? ResultWindowSize::kFitClient
                     : ResultWindowSize::kFitPicture);
  if (TChild* child = ActiveChild()) child->SetFilePath(QFileInfo(path).absoluteFilePath());
  UpdateCommandItems();  // 上書き保存 has a file to write now
  return true;
}

void TMainForm::OpenFiles(const QStringList& paths) {
  for (const QString& path : paths) {
    qirm::FileType type;
    if (!qirm::FileTypeFromName(Local(path), type)) {
      QStringList extensions;
      for (const std::string& ext : qirm::ReadableExtensions())
        extensions << QStringLiteral(".") + QString::fromStdString(ext);
      ShowError(path + QStringLiteral(": 読めない種類のファイルです（読めるのは %1）")
                           .arg(extensions.join(QLatin1Char(' '))));
      continue;
    }
    OpenFile(path, type);
  }
}

void TMainForm::Open1Click() {
  OpenDialog->setFileMode(QFileDialog::ExistingFiles);
  if (OpenDialog->exec() != QDialog::Accepted) return;
  const QStringList files = OpenDialog->selectedFiles();
  const int entry = OpenDialog->FilterIndex();
  m_settings.SetValue(QString::fromLatin1(UiSettings::kOpenFolder), OpenDialog->directory().absolutePath());
  m_settings.SetValue(QString::fromLatin1(UiSettings::kOpenFilter), OpenDialog->selectedNameFilter());
  // The entry's reader, for names whose extension says nothing.
  const std::optional<qirm::FileType> chosen = m_openTypes.value(entry - 1);
  for (const QString& file : files) {
    // A known extension names its reader whatever entry is selected: a
    // ".fits" typed under "ビットマップ" is a FITS file.
    qirm::FileType type = chosen.value_or(qirm::FileType::Fits);
    if (!qirm::FileTypeFromName(Local(file), type) && !chosen) {
      OpenFiles({file});  // names the types it reads
      break;
    }
    if (!OpenFile(file, type)) break;  // windows made for earlier files stay
  }
}

QStringList TMainForm::RecentFiles() const {
  QStringList list;
  for (const std::string& path : m_recent) list << QString::fromLocal8Bit(path.c_str());
  return list;
}

void TMainForm::AddRecent(const QString& path) {
  qirm::AddRecentFile(m_recent, Local(QFileInfo(path).absoluteFilePath()));
  // A list that cannot be kept costs the user nothing now: no box for it.
  (void)qirm::WriteRecentFiles(Local(m_recentPath), m_recent);
  UpdateRecentMenu();
}

void TMainForm::UpdateRecentMenu() {
  Recent1Menu->clear();
  int n = 0;
  for (const QString& path : RecentFiles()) {
    ++n;
    // "&1" .. "&9", then "1&0"; '&' in a name is doubled to show as itself.
    QString label = n < 10 ? QStringLiteral("&%1 ").arg(n) : QStringLiteral("1&0 ");
    label += QString(path).replace(QLatin1Char('&'), QStringLiteral("&&"));
    QAction* item = Recent1Menu->addAction(label);
    connect(item, &QAction::triggered, this, [this, path] {
      if (!QFileInfo::exists(path)) {
        ShowError(path +
                  QStringLiteral(": ファイルが見つかりません。最近使ったファイルの一覧から外します。"));
        qirm::RemoveRecentFile(m_recent, Local(path));
        (void)qirm::WriteRecentFiles(Local(m_recentPath), m_recent);
        UpdateRecentMenu();
        return;
      }
      OpenFiles({path});
    });
  }
  if (m_recent.empty()) {
    Recent1Menu->addAction(QStringLiteral("(なし)"))->setEnabled(false);
    return;
  }
  Recent1Menu->addSeparator();
  connect(Recent1Menu->addAction(QStringLiteral("一覧を消去(&C)")), &QAction::triggered, this, [this] {
    m_recent.clear();
    (void)qirm::WriteRecentFiles(Local(m_recentPath), m_recent);
    UpdateRecentMenu();
  });
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (!event->mimeData()->hasUrls()) return;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) {
      event->acceptProposedAction();
      return;
    }
  }
}

void TMainForm::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  if (paths.isEmpty()) return;
  event->acceptProposedAction();
  OpenFiles(paths);
}

void TMainForm::OpenButtonClick() { Open1Click(); }

void TMainForm::Save1Click() {
  TChild* child = ActiveChild();
  // A window that runs a command is about to change: it is saved after.
  if (!child || RefuseBusy(child)) return;
  qirm::ImageDocument* doc = child->Document();
  SaveEntries(*doc);
  // The folder of the window's file; a window without one, where the last
  // save went.
  QString folder = child->FilePath().isEmpty() ? QString() : QFileInfo(child->FilePath()).absolutePath();
  if (folder.isEmpty()) folder = m_settings.Value(QString::fromLatin1(UiSettings::kSaveFolder)).toString();
  if (!folder.isEmpty() && QFileInfo(folder).isDir()) SaveDialog->setDirectory(folder);
  SaveDialog->selectFile(QFileInfo(QString::fromLocal8Bit(doc->caption.c_str())).completeBaseName());
  if (SaveDialog->exec() != QDialog::Accepted || SaveDialog->selectedFiles().isEmpty()) return;
  const int entry = SaveDialog->FilterIndex();
  if (entry < 1 || entry > static_cast<int>(m_saveFormats.size())) return;
  std::string path = Local(SaveDialog->selectedFiles().first());
  // The extension typed chooses the format; a name without one takes the
  // entry's; one QIRM does not write is never replaced behind the user's
  // back.
  qirm::SaveFormat format = m_saveFormats[entry - 1];
  const std::string ext = "." + SaveExtensions(format).front();
  switch (qirm::SaveFormatFromName(path, format)) {
    case qirm::TypedExtension::kWritten:
      break;
    case qirm::TypedExtension::kNone:
      path = qirm::AddExtension(path, ext);
      break;
    case qirm::TypedExtension::kOther: {
      const QString typed = QString::fromLocal8Bit(path.c_str());
      const QString added = QString::fromLocal8Bit(qirm::AddExtension(path, ext).c_str());
      QMessageBox box(QMessageBox::Question, QStringLiteral("保存の形式"),
                      QStringLiteral("「%1」の拡張子「.%2」の形式では保存できません。\n"
                                     "選んだ種類（%3）で「%4」として保存しますか？")
                          .arg(QFileInfo(typed).fileName(), QFileInfo(typed).suffix(), FormatName(format),
                               QFileInfo(added).fileName()),
                      QMessageBox::Save | QMessageBox::Cancel, this);
      box.button(QMessageBox::Save)->setText(QStringLiteral("保存"));
      box.button(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
      box.setDefaultButton(QMessageBox::Save);
      if (box.exec() != QMessageBox::Save) return;
      path = qirm::AddExtension(path, ext);
      break;
    }
  }
  const QString name = QString::fromLocal8Bit(path.c_str());
  if (QFileInfo::exists(name)) {
    const auto answer = QMessageBox::question(
        this, QStringLiteral("確認"), QStringLiteral("ファイルがすでに存在しています。　上書きしますか？"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) return;
  }
  m_settings.SetValue(QString::fromLatin1(UiSettings::kSaveFolder), QFileInfo(name).absolutePath());
  SaveWindow(child, path, format);
}

qirm::Status TMainForm::OverwriteCheck(const TChild* child) const {
  if (!child || !child->Document()) return qirm::Status::Error(qirm::kNoWindowRefusal);
  const QString file = child->FilePath();
  if (file.isEmpty())
    return qirm::Status::Error(
        "上書き保存: この画像を保存したファイルはまだありません。「保存」で名前を付けてください。");
  qirm::SaveFormat format;
  if (qirm::SaveFormatFromName(Local(file), format) != qirm::TypedExtension::kWritten)
    return qirm::Status::Error(
        ("上書き保存: 「" + QFileInfo(file).fileName() +
         QStringLiteral("」の形式には書き込めません。「保存」で形式を選んでください。"))
            .toStdString());
  return qirm::Status::Ok();
}

void TMainForm::Save2Click() {
  TChild* child = ActiveChild();
  if (!child || RefuseBusy(child)) return;
  if (const qirm::Status s = OverwriteCheck(child); !s) {
    ShowError(QString::fromStdString(s.message()));
    return;
  }
  qirm::SaveFormat format = qirm::SaveFormat::kFits;
  const std::string path = Local(child->FilePath());
  qirm::SaveFormatFromName(path, format);
  SaveWindow(child, path, format);
}

bool TMainForm::SaveWindow(TChild* child, const std::string& path, qirm::SaveFormat format) {
  qirm::ImageDocument* doc = child->Document();
  qirm::PictureFormat picture = qirm::PictureFormat::kBmp;
  const bool fits = !qirm::PictureFormatOf(format, picture);
  // FITS writes the window's data; PNG and TIFF a composition's 16-bit
  // planes while they still show its picture; everything else the picture.
  const bool deep = (picture == qirm::PictureFormat::kPng || picture == qirm::PictureFormat::kTiff) &&
                    qirm::DeepShowsPicture(doc->deep, doc->Image);
  const qirm::Status s = fits   ? qirm::WriteFitsWindow(path, *doc, doc->Image)
                         : deep ? qirm::WritePicture16File(path, doc->deep, picture)
                                : qirm::WritePictureFile(path, doc->Image, picture);
  if (!s) {
    ShowError(QString::fromLocal8Bit(s.message().c_str()));
    return false;
  }
  const QString name = QString::fromLocal8Bit(path.c_str());
  // BMP and FITS files take the window's title: it is their window now.
  if (fits || picture == qirm::PictureFormat::kBmp) {
    doc->caption = Local(QFileInfo(name).fileName());
    child->SetFilePath(QFileInfo(name).absoluteFilePath());
    child->RefreshImage();
  }
  MarkSaved(doc);
  AddRecent(name);
  UpdateCommandItems();
  return true;
}

void TMainForm::SaveButtonClick() { Save1Click(); }

void TMainForm::RGB2Click() {
  if (!ActiveChild()) return;
  const qirm::Status s = qirm::Separate(m_workspace);
  if (!s) {
    ShowError(QString::fromStdString(s.message()));
    return;
  }
  ShowNewWindows(ResultWindowSize::kFitPicture);
}

// Through the subwindow's close, so the save question is asked.
void TMainForm::Close1Click() {
  if (QMdiSubWindow* sub = MdiArea->activeSubWindow()) sub->close();
}

void TMainForm::Cascade1Click() { MdiArea->cascadeSubWindows(); }
void TMainForm::Tile1Click() { MdiArea->tileSubWindows(); }

void TMainForm::FullScreen1Click() {
  if (isFullScreen()) {
    showNormal();
  } else {
    showFullScreen();
  }
  FullScreen1->setChecked(isFullScreen());
}

void TMainForm::UpdateWindowList() {
  // Everything after the last separator is the list of the last opening.
  const QList<QAction*> actions = Window1Menu->actions();
  int last = -1;
  for (int i = 0; i < actions.size(); ++i) {
    if (actions[i]->isSeparator()) last = i;
  }
  for (int i = last + 1; i < actions.size(); ++i) {
    Window1Menu->removeAction(actions[i]);
    actions[i]->deleteLater();
  }
  int n = 0;
  for (QMdiSubWindow* sub : MdiArea->subWindowList()) {
    auto* child = qobject_cast<TChild*>(sub->widget());
    if (!child || !child->Document()) continue;
    ++n;
    QString label = n < 10 ? QStringLiteral("&%1 ").arg(n) : QStringLiteral("%1 ").arg(n);
    label += child->windowTitle().replace(QLatin1Char('&'), QStringLiteral("&&"));
    QAction* item = Window1Menu->addAction(label);
    item->setCheckable(true);
    item->setChecked(sub == MdiArea->activeSubWindow());
    connect(item, &QAction::triggered, this, [this, window = QPointer<QMdiSubWindow>(sub)] {
      if (window) MdiArea->setActiveSubWindow(window);
    });
  }
}

void TMainForm::A1Click() {
  // A cancelled question stops closing the rest.
  for (QMdiSubWindow* sub : MdiArea->subWindowList())
    if (!sub->close()) return;
}
