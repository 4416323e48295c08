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

void TMainForm::CreateDialogs() {
  OpenDialog = new TypedFileDialog(
      this, QStringLiteral("Open an Image for Viewing"),
      {{QStringLiteral("ビットマップ(*.bmp)"), {QStringLiteral("*.bmp")}},
       {QStringLiteral("フィッツ(*.fit,*.fts,*.fits)"),
        {QStringLiteral("*.fts"), QStringLiteral("*.fit"), QStringLiteral("*.fits")}},
       {QStringLiteral("JPEG(*.jpg,*.jpeg)"), {QStringLiteral("*.jpg"), QStringLiteral("*.jpeg")}},
       {QStringLiteral("PGM(*.pgm)"), {QStringLiteral("*.pgm")}},
       {QStringLiteral("PPM(*.ppm)"), {QStringLiteral("*.ppm")}}});
  OpenDialog->setObjectName(QStringLiteral("OpenDialog"));
  OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);

  SaveDialog = new TypedFileDialog(
      this, QStringLiteral("Save an Image"),
      {{QStringLiteral("ビットマップ(*.bmp)"), {QStringLiteral("*.bmp")}},
       {QStringLiteral("フィッツ(*.fts,*.fit,*.fits)"),
        {QStringLiteral("*.fts"), QStringLiteral("*.fit"), QStringLiteral("*.fits")}},
       {QStringLiteral("JPEG"), {QStringLiteral("*.jpg")}},
       {QStringLiteral("TIFF(*.tif,*.tiff)"), {QStringLiteral("*.tif"), QStringLiteral("*.tiff")}}});
  SaveDialog->setObjectName(QStringLiteral("SaveDialog"));
  SaveDialog16 = new TypedFileDialog(
      this, QStringLiteral("Save an Image"),
      {{QStringLiteral("ビットマップ(*.bmp)"), {QStringLiteral("*.bmp")}},
       {QStringLiteral("フィッツ(*.fts,*.fit,*.fits)"),
        {QStringLiteral("*.fts"), QStringLiteral("*.fit"), QStringLiteral("*.fits")}},
       {QStringLiteral("JPEG"), {QStringLiteral("*.jpg")}},
       {QStringLiteral("TIFF 16ビット(*.tif,*.tiff)"), {QStringLiteral("*.tif"), QStringLiteral("*.tiff")}},
       {QStringLiteral("PNG 16ビット(*.png)"), {QStringLiteral("*.png")}}});
  SaveDialog16->setObjectName(QStringLiteral("SaveDialog16"));
  for (TypedFileDialog* dialog : {SaveDialog, SaveDialog16}) {
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    // The save command asks its own overwrite question, after the extension
    // rule has chosen the real name.
    dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog->setSizeGripEnabled(true);
  }
  for (QFileDialog* dialog : {static_cast<QFileDialog*>(OpenDialog), static_cast<QFileDialog*>(SaveDialog),
                              static_cast<QFileDialog*>(SaveDialog16)}) {
    dialog->setAttribute(Qt::WA_QuitOnClose, false);
  }
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
      UpdateUndoItems();
    });
    connect(child, &TChild::ReadoutChanged, Label2, &QLabel::setText);
    connect(child, &TChild::SkyChanged, SkyLabel, &QLabel::setText);
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
  return true;
}

void TMainForm::OpenFiles(const QStringList& paths) {
  for (const QString& path : paths) {
    qirm::FileType type;
    if (!qirm::FileTypeFromName(Local(path), type)) {
      ShowError(path +
                QStringLiteral(
                    ": unknown file type (open .bmp, .fit, .fts, .fits, .jpg, .jpeg, .pgm or .ppm files)"));
      continue;
    }
    OpenFile(path, type);
  }
}

void TMainForm::Open1Click() {
  OpenDialog->setFileMode(QFileDialog::ExistingFiles);
  if (OpenDialog->exec() != QDialog::Accepted) return;
  QStringList files = OpenDialog->selectedFiles();
  const int entry = OpenDialog->FilterIndex();
  // The entry's reader, for names whose extension says nothing; PGM and
  // PPM share the one Netpbm reader, and open the first file only.
  const qirm::FileType chosen = entry == 1   ? qirm::FileType::Bmp
                                : entry == 2 ? qirm::FileType::Fits
                                : entry == 3 ? qirm::FileType::Jpeg
                                             : qirm::FileType::Netpbm;
  if (entry >= 4) files = files.mid(0, 1);
  for (const QString& file : files) {
    // A known extension names its reader whatever entry is selected: a
    // ".fits" typed under "ビットマップ" is a FITS file.
    qirm::FileType type = chosen;
    if (!qirm::FileTypeFromName(Local(file), type)) type = chosen;
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
  // A window whose 16-bit planes still show its picture offers them.
  const bool deep = qirm::DeepShowsPicture(doc->deep, doc->Image);
  TypedFileDialog* dialog = deep ? SaveDialog16 : SaveDialog;
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return;
  const int entry = dialog->FilterIndex();
  if (entry < 1 || entry > (deep ? 5 : 4)) return;
  const bool bmp = entry == 1;
  const bool tiff = entry == 4;
  const bool png16 = entry == 5;
  // The FITS entry writes the window's data; a name with one of its three
  // extensions keeps it.
  const bool fits = entry == 2;
  const std::string chosen = Local(dialog->selectedFiles().first());
  const std::string path = fits
                               ? (qirm::IsFitsName(chosen) ? chosen : qirm::ReplaceExtension(chosen, ".fits"))
                               : qirm::ReplaceExtension(chosen, bmp     ? ".bmp"
                                                                : tiff  ? ".tif"
                                                                : png16 ? ".png"
                                                                        : ".jpg");
  const QString name = QString::fromLocal8Bit(path.c_str());
  if (QFileInfo::exists(name)) {
    const auto answer = QMessageBox::question(
        this, QStringLiteral("確認"), QStringLiteral("ファイルがすでに存在しています。　上書きしますか？"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) return;
  }
  // The 16-bit entries write the planes; every other entry the picture.
  const qirm::Status s =
      fits ? qirm::WriteFitsWindow(path, *doc, doc->Image)
      : deep && (tiff || png16)
          ? qirm::WritePicture16File(path, doc->deep,
                                     tiff ? qirm::PictureFormat::kTiff : qirm::PictureFormat::kPng)
          : qirm::WritePictureFile(path, doc->Image,
                                   bmp    ? qirm::PictureFormat::kBmp
                                   : tiff ? qirm::PictureFormat::kTiff
                                          : qirm::PictureFormat::kJpeg);
  if (!s) {
    ShowError(QString::fromLocal8Bit(s.message().c_str()));
    return;
  }
  if (bmp || fits) {
    doc->caption = Local(QFileInfo(name).fileName());
    child->RefreshImage();
  }
  MarkSaved(doc);
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
