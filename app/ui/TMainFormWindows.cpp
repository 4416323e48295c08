// The main window's image windows: making and sizing them for new documents,
// opening, saving, separation, close all, and keeping the controls in step
// with the workspace.
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QScrollBar>
#include <QSignalBlocker>

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
}

void TMainForm::RefreshChildren() {
  for (TChild* child : Children()) child->RefreshImage();
}

void TMainForm::ActivateChild(TChild* child) {
  if (!child || !child->Document()) return;
  m_workspace.Activate(child->Document());  // FormActivate: the zoom text follows
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
    QMdiSubWindow* sub = MdiArea->addSubWindow(child);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->installEventFilter(this);
    connect(child, &TChild::Closed, this, [this](TChild* closing) {
      m_workspace.Close(closing->Document());
      UpdateUndoItems();
    });
    connect(child, &TChild::ReadoutChanged, Label2, &QLabel::setText);
    connect(child, &TChild::StarWidthMeasured, this, [this](const QString& label, const QString& extremes) {
      Label1->setText(label);
      // The extremes of the box, kept where a curious user can find them.
      Label1->setToolTip(extremes);
    });
    connect(child, &TChild::ErrorRaised, this, &TMainForm::ShowError);
    sub->show();
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

bool TMainForm::OpenFile(const QString& path, qirm::FileType type) {
  if (qirm::Status s = qirm::OpenImageFile(m_workspace, Local(path), type); !s) {
    ShowError(QString::fromLocal8Bit(s.message().c_str()));
    return false;
  }
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
  const QStringList files = OpenDialog->selectedFiles();
  switch (OpenDialog->FilterIndex()) {
    case 1:
    case 2:
    case 3: {
      const int entry = OpenDialog->FilterIndex();
      const qirm::FileType type = entry == 1   ? qirm::FileType::Bmp
                                  : entry == 2 ? qirm::FileType::Fits
                                               : qirm::FileType::Jpeg;
      for (const QString& file : files) {
        if (!OpenFile(file, type)) break;  // windows made for earlier files stay
      }
      break;
    }
    case 4:
      if (!files.isEmpty()) OpenFile(files.first(), qirm::FileType::Netpbm);
      break;
    default:  // PPM: the one Netpbm reader serves the PGM entry
      break;
  }
}

void TMainForm::OpenButtonClick() { Open1Click(); }

void TMainForm::Save1Click() {
  TChild* child = ActiveChild();
  if (!child) return;
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

void TMainForm::A1Click() {
  // A cancelled question stops closing the rest.
  for (QMdiSubWindow* sub : MdiArea->subWindowList())
    if (!sub->close()) return;
}
