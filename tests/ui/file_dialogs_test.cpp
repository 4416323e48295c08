// SPDX-License-Identifier: GPL-3.0-or-later
// The open and save dialogs as a user meets them: the types they offer and
// in which order, what they remember from the last run, the typed extension
// that chooses the format (and the question when QIRM cannot write it), the
// completion list that goes with the dialog, and the toolkit's own texts in
// Japanese.
#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QtTest>

#include "app/open_image.h"
#include "app/save_image.h"
#include "app/ui/Forms.h"
#include "app/ui/TApplication.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "app/ui/TypedFileDialog.h"
#include "core/fits_writer.h"
#include "tests/support/qt_commands.h"
#include "tests/support/qt_fixture.h"
#include "tests/support/qt_modal.h"
#include "tests/support/test_files.h"

namespace {

using namespace qirm::test;

std::string Frame16() { return Fits16Bytes(20, 10, std::vector<int>(20 * 10, 1200)); }

// The entries the save dialog offers for the active window (the dialog is
// cancelled).
QStringList SaveEntriesShown() {
  QStringList shown;
  WithModal([] { MainForm->Save1Click(); },
            [&](QWidget* m) {
              shown = qobject_cast<QFileDialog*>(m)->nameFilters();
              qobject_cast<QDialog*>(m)->reject();
            });
  return shown;
}

}  // namespace

class FileDialogsTest : public QObject {
  Q_OBJECT

 private:
  TestFolder m_dir;

  QString Path(const QString& name) const { return m_dir.filePath(name); }
  void Write(const QString& name, const std::string& bytes) {
    QDir().mkpath(QFileInfo(Path(name)).path());
    WriteBytes(Path(name).toStdString(), bytes);
  }
  void WriteColour(const QString& name) {
    qirm::Picture p(4, 3);
    QVERIFY(qirm::WritePictureFile(Path(name).toStdString(), p, qirm::PictureFormat::kBmp).ok());
  }
  // Saves the active window through the dialog: `entry` chosen, `typed`
  // typed as the name.
  void SaveAs(int entry, const QString& typed) {
    WithModal<QFileDialog>([] { MainForm->Save1Click(); },
                           [&](QWidget* m) { ChooseFiles(m, entry, {Path(typed)}); });
  }

 private slots:
  void init() {
    QVERIFY(m_dir.Enter());
    ShowFreshForms();
  }
  void cleanup() {
    DestroyForms();
    m_dir.Leave();
  }

  void openDialogListsEveryTypeFitsFirst() {
    QCOMPARE(MainForm->OpenDialog->windowTitle(), QStringLiteral("画像を開く"));
    QCOMPARE(
        MainForm->OpenDialog->nameFilters(),
        QStringList(
            {QStringLiteral("すべての画像 (*.fits *.fit *.fts *.bmp *.jpg *.jpeg *.pgm *.ppm *.tif *.tiff "
                            "*.png *.cr2 *.cr3 *.nef *.arw *.dng *.raf *.orf *.rw2 *.pef)"),
             QStringLiteral("FITS (*.fits *.fit *.fts)"), QStringLiteral("ビットマップ (*.bmp)"),
             QStringLiteral("JPEG (*.jpg *.jpeg)"), QStringLiteral("PGM (*.pgm)"),
             QStringLiteral("PPM (*.ppm)"), QStringLiteral("TIFF (*.tif *.tiff)"),
             QStringLiteral("PNG (*.png)"),
             QStringLiteral("カメラRAW (*.cr2 *.cr3 *.nef *.arw *.dng *.raf *.orf *.rw2 *.pef)")}));
    QCOMPARE(MainForm->OpenDialog->FilterIndex(), 1);
    // Every selected file of "すべての画像" opens with the reader its
    // extension names.
    Write("a.fits", Frame16());
    WriteColour("b.bmp");
    Write("c.ppm", Ppm6Bytes(1, 1, {1, 2, 3}));
    WithModal([] { MainForm->Open1Click(); },
              [&](QWidget* m) {
                ChooseFiles(m, 1, {Path("a.fits"), Path("b.bmp"), Path("c.ppm")});
              });
    QCOMPARE(MainForm->Children().size(), 3);
    QCOMPARE(MainForm->Children()[0]->Document()->kind, qirm::WindowKind::kRaw16);
    QCOMPARE(MainForm->Children()[1]->Document()->kind, qirm::WindowKind::kColour);
    QCOMPARE(MainForm->Children()[2]->Document()->kind, qirm::WindowKind::kNetpbm);
  }

  // The folder and the type of the last opening come back in the next run;
  // QIRM.ini keeps its four lines.
  void openDialogRemembersFolderAndTypeAcrossRuns() {
    Write("frames/m.fits", Frame16());
    WithModal([] { MainForm->Open1Click(); },
              [&](QWidget* m) { ChooseFiles(m, 2, {Path("frames/m.fits")}); });
    QCOMPARE(MainForm->Children().size(), 1);
    MainForm->Children().first()->Document()->unsaved = false;
    QVERIFY(MainForm->close());
    DestroyForms();
    ShowFreshForms();
    QCOMPARE(QDir(MainForm->OpenDialog->directory()).canonicalPath(), QDir(Path("frames")).canonicalPath());
    QCOMPARE(MainForm->OpenDialog->FilterIndex(), 2);
    QFile ini(m_dir.configPath() + QStringLiteral("/QIRM/QIRM.ini"));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QCOMPARE(ini.readAll().count('\n'), 4);
  }

  // First what keeps the window's data, then the pictures.
  void saveDialogOffersWhatKeepsTheDataFirst() {
    Write("m.fits", Frame16());
    MainForm->OpenFiles({Path("m.fits")});
    QCOMPARE(SaveEntriesShown(), QStringList({QStringLiteral("FITS（データ） (*.fits *.fit *.fts)"),
                                              QStringLiteral("PNG（表示画像） (*.png)"),
                                              QStringLiteral("TIFF（表示画像） (*.tif *.tiff)"),
                                              QStringLiteral("ビットマップ（表示画像） (*.bmp)"),
                                              QStringLiteral("JPEG（表示画像） (*.jpg *.jpeg)")}));
    QCOMPARE(MainForm->SaveDialog->windowTitle(), QStringLiteral("画像の保存"));

    qirm::FloatPlane values(3, 2);
    for (float& v : values.values) v = 0.5f;
    QVERIFY(qirm::WriteFitsFloat32(Path("f.fits").toStdString(), values, {}).ok());
    MainForm->OpenFiles({Path("f.fits")});
    QCOMPARE(MainForm->ActiveChild()->Document()->kind, qirm::WindowKind::kFloat);
    QCOMPARE(SaveEntriesShown().first(), QStringLiteral("FITS（データ） (*.fits *.fit *.fts)"));

    WriteColour("c.bmp");
    MainForm->OpenFiles({Path("c.bmp")});
    QCOMPARE(SaveEntriesShown(),
             QStringList({QStringLiteral("PNG (*.png)"), QStringLiteral("TIFF (*.tif *.tiff)"),
                          QStringLiteral("ビットマップ (*.bmp)"), QStringLiteral("JPEG (*.jpg *.jpeg)"),
                          QStringLiteral("FITS（RGB 8ビット） (*.fits *.fit *.fts)")}));
  }

  // The dialog starts in the folder of the window's file, and proposes its
  // name.
  void saveStartsBesideTheWindowsFile() {
    Write("night1/m.fits", Frame16());
    MainForm->OpenFiles({Path("night1/m.fits")});
    QString folder, name;
    WithModal([] { MainForm->Save1Click(); },
              [&](QWidget* m) {
                auto* dialog = qobject_cast<QFileDialog*>(m);
                folder = QDir(dialog->directory()).canonicalPath();
                name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
                dialog->reject();
              });
    QCOMPARE(folder, QDir(Path("night1")).canonicalPath());
    QCOMPARE(name, QStringLiteral("m"));
  }

  // The extension typed chooses the format whatever entry is selected; a
  // name without one takes the entry's; one QIRM does not write is asked
  // about and never replaced.
  void typedExtensionChoosesTheFormat() {
    Write("m.fits", Frame16());
    MainForm->OpenFiles({Path("m.fits")});
    TChild* child = MainForm->ActiveChild();
    const struct {
      int entry;
      const char* typed;
      const char* written;
      const char* title;  // the window's title after it
    } cases[] = {
        {4, "a.fts", "a.fts", "a.fts"},  // FITS typed under ビットマップ: the data
        {1, "b.png", "b.png", "a.fts"},  // a PNG under FITS
        {5, "c", "c.jpg", "a.fts"},      // nothing typed: the entry's
        {1, "d", "d.fits", "d.fits"},    // the same for FITS
        {2, "e.", "e.png", "d.fits"},    // a final point is no extension
        {4, "f.BMP", "f.BMP", "f.BMP"},  // any case
        {3, "g.tiff", "g.tiff", "f.BMP"},
    };
    for (const auto& c : cases) {
      SaveAs(c.entry, QString::fromLatin1(c.typed));
      QVERIFY2(QFile::exists(Path(QString::fromLatin1(c.written))), c.typed);
      QCOMPARE(child->windowTitle(), QString::fromLatin1(c.title));
    }
    qirm::ImageDocument back;
    QVERIFY(qirm::LoadFitsDocument(Path("a.fts").toStdString(), back).ok());
    QVERIFY(back.raw == child->Document()->raw);
    QVERIFY(QFile(Path("b.png")).open(QIODevice::ReadOnly));

    // ".xyz": asked; キャンセル writes nothing, 保存 adds the entry's
    // extension to the whole name.
    QString asked;
    WithModal<QMessageBox>([&] { SaveAs(2, QStringLiteral("h.xyz")); },
                           [&](QWidget* m) { asked = AnswerMessageBox(m, QMessageBox::Cancel); });
    QCOMPARE(asked, QStringLiteral("「h.xyz」の拡張子「.xyz」の形式では保存できません。\n"
                                   "選んだ種類（PNG）で「h.xyz.png」として保存しますか？"));
    QVERIFY(!QFile::exists(Path("h.xyz")));
    QVERIFY(!QFile::exists(Path("h.xyz.png")));
    WithModal<QMessageBox>([&] { SaveAs(2, QStringLiteral("h.xyz")); },
                           [&](QWidget* m) { AnswerMessageBox(m, QMessageBox::Save); });
    QVERIFY(QFile::exists(Path("h.xyz.png")));
    QVERIFY(!QFile::exists(Path("h.xyz")));
  }

  // 上書き保存 writes the window's own file in its format, without a dialog;
  // a window without a file, or with one QIRM cannot write, has it disabled
  // and the tooltip says why. Every saved file joins the recent list.
  void overwriteSavesTheWindowsOwnFile() {
    Write("m.fits", Frame16());
    MainForm->OpenFiles({Path("m.fits")});
    TChild* child = MainForm->ActiveChild();
    QVERIFY(MainForm->Save2->isEnabled());
    MainForm->N1Click();  // the negative: the window differs from its file
    QVERIFY(child->Document()->unsaved);
    QCOMPARE(ModalDuring([] { MainForm->Save2->trigger(); }), QString());
    QVERIFY(!child->Document()->unsaved);
    qirm::ImageDocument back;
    QVERIFY(qirm::LoadFitsDocument(Path("m.fits").toStdString(), back).ok());
    QVERIFY(back.raw == child->Document()->raw);  // still FITS, with the data

    Write("p.ppm", Ppm6Bytes(1, 1, {1, 2, 3}));
    MainForm->OpenFiles({Path("p.ppm")});
    QVERIFY(!MainForm->Save2->isEnabled());
    QVERIFY2(MainForm->Save2->toolTip().contains(QStringLiteral("「p.ppm」の形式には書き込めません")),
             qPrintable(MainForm->Save2->toolTip()));

    WriteColour("c.bmp");
    MainForm->OpenFiles({Path("c.bmp")});
    MainForm->RGB2Click();  // "Red": in no file yet
    QCOMPARE(MainForm->ActiveChild()->windowTitle(), QStringLiteral("Red"));
    QVERIFY(!MainForm->Save2->isEnabled());
    QVERIFY(MainForm->Save2->toolTip().contains(QStringLiteral("まだありません")));
    SaveAs(1, QStringLiteral("red.png"));  // a PNG leaves the window's title as it was
    QCOMPARE(MainForm->RecentFiles().first(), QFileInfo(Path("red.png")).absoluteFilePath());
    QVERIFY(!MainForm->Save2->isEnabled());
    SaveAs(1, QStringLiteral("red.bmp"));  // a BMP is the window's file from now on
    QCOMPARE(MainForm->ActiveChild()->windowTitle(), QStringLiteral("red.bmp"));
    QVERIFY(MainForm->Save2->isEnabled());
    QFile::remove(Path("red.bmp"));
    MainForm->ActiveChild()->Document()->unsaved = true;
    QCOMPARE(ModalDuring([] { MainForm->Save2->trigger(); }), QString());
    QVERIFY(QFileInfo(Path("red.bmp")).size() > 54);
    QCOMPARE(MainForm->RecentFiles().first(), QFileInfo(Path("red.bmp")).absoluteFilePath());
  }

  // Enter on a name the completion list offers opens the file; the list
  // does not stay over the main window.
  void completionListGoesWithTheDialog() {
    Write("horsehead.fits", Frame16());
    Write("horse2.fits", Frame16());
    QAbstractItemView* popup = nullptr;
    WithModal([] { MainForm->Open1Click(); },
              [&](QWidget* m) {
                auto* dialog = qobject_cast<QFileDialog*>(m);
                dialog->setDirectory(m_dir.path());
                auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                QVERIFY(name && name->completer());
                popup = name->completer()->popup();
                name->setFocus();
                QTest::keyClicks(name, QStringLiteral("horseh"));
                // The list comes once the folder has been read (a hang guard).
                if (!QTest::qWaitFor([&] { return popup->isVisible(); }, 10000)) {
                  dialog->reject();
                  return;
                }
                QTest::keyClicks(name, QStringLiteral("ead.fits"));
                // As the keyboard goes: to the list while it shows, then
                // to the name.
                for (int i = 0; i < 2 && dialog->isVisible(); ++i)
                  QTest::keyClick(popup->isVisible() ? static_cast<QWidget*>(popup) : name, Qt::Key_Return);
              });
    if (MainForm->Children().isEmpty()) QSKIP("the completion list did not show here");
    QCOMPARE(MainForm->ActiveChild()->windowTitle(), QStringLiteral("horsehead.fits"));
    // The folder's listing may arrive after the dialog has gone.
    QTest::qWait(300);
    QVERIFY(!popup->isVisible());
  }

  // Standard buttons and the file dialogs' own texts are Japanese, and so
  // is the title of every dialog and window the program makes.
  void japaneseTexts() {
    if (!TApplication::InstallJapaneseTranslation(*qApp)) QSKIP("Qt's Japanese translation is not installed");
    QMessageBox box(QMessageBox::Question, QStringLiteral("確認"), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));
    QCOMPARE(box.button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
    const QRegularExpression ascii(QStringLiteral("^[\\x00-\\x7f]*$"));
    for (QWidget* w : MainForm->findChildren<QWidget*>()) {
      const Qt::WindowType type = w->windowType();
      if (type != Qt::Window && type != Qt::Dialog && type != Qt::Tool) continue;
      QVERIFY2(!ascii.match(w->windowTitle()).hasMatch(),
               qPrintable(w->objectName() + QStringLiteral(": ") + w->windowTitle()));
    }
  }
};

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  FileDialogsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "file_dialogs_test.moc"
