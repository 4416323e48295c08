// Nothing lost through the main window: the Edit menu's undo and redo items
// and their keys, parameter dialogs that cancel when closed without OK, and
// the save question when an edited window, all windows or the program close.
#include <QAction>
#include <QDir>
#include <QKeySequence>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/save_image.h"
#include "app/ui/Forms.h"
#include "app/ui/TApplication.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "tests/support/qt_commands.h"
#include "tests/support/qt_modal.h"

namespace {

using namespace qirm::test;

}  // namespace

class NothingLostTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> m_dir;
  QString m_oldDir;

  QString Path(const QString& name) const { return m_dir->filePath(name); }

  // Opens a colour picture from a BMP file as the open command does.
  TChild* OpenPicture(const QString& name = QStringLiteral("c.bmp"), unsigned seed = 3) {
    if (!qirm::WritePictureFile(Path(name).toStdString(), RandomPicture(12, 9, seed, 255),
                                qirm::PictureFormat::kBmp)
             .ok())
      return nullptr;
    MainForm->OpenFiles({Path(name)});
    return MainForm->ActiveChild();
  }

 private slots:
  void init() {
    m_oldDir = QDir::currentPath();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    CreateForms();
    MainForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(MainForm));
  }
  void cleanup() {
    DestroyForms();
    QDir::setCurrent(m_oldDir);
    m_dir.reset();
  }

  void undoItemsNameTheCommandAndFollowTheActiveWindow() {
    QAction* undo = MainForm->Undo1;
    QAction* redo = MainForm->Redo1;
    QCOMPARE(undo->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    QCOMPARE(redo->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Y));
    QCOMPARE(undo->text(), QStringLiteral("元に戻す"));
    QVERIFY(!undo->isEnabled());
    QVERIFY(!redo->isEnabled());

    TChild* first = OpenPicture();
    QVERIFY(first);
    const Snapshot opened = Take();
    QVERIFY(!undo->isEnabled());
    MainForm->N1->trigger();
    MainForm->M1->trigger();
    const Snapshot mirrored = Take();
    QCOMPARE(undo->text(), QStringLiteral("元に戻す: 左右反転"));
    QVERIFY(undo->isEnabled());
    QCOMPARE(redo->text(), QStringLiteral("やり直し"));

    // Ctrl+Z twice: back to the file's picture, shown again in the view.
    QTest::keyClick(MainForm, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(undo->text(), QStringLiteral("元に戻す: ネガ反転"));
    QCOMPARE(redo->text(), QStringLiteral("やり直し: 左右反転"));
    QTest::keyClick(MainForm, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(Take().image == opened.image);
    QVERIFY(Take().base == opened.base);
    QVERIFY(first->Image->image() == ToQImage(first->Document()->Image));
    QVERIFY(!undo->isEnabled());
    QCOMPARE(undo->text(), QStringLiteral("元に戻す"));

    // Ctrl+Y twice: the mirror is back.
    QTest::keyClick(MainForm, Qt::Key_Y, Qt::ControlModifier);
    QTest::keyClick(MainForm, Qt::Key_Y, Qt::ControlModifier);
    QVERIFY(Take().image == mirrored.image);
    QVERIFY(!redo->isEnabled());

    // Another window has its own, empty history; back in the first, its
    // steps are there again.
    TChild* second = OpenPicture(QStringLiteral("d.bmp"), 4);
    QVERIFY(second && second != first);
    QVERIFY(!undo->isEnabled());
    MainForm->MdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(first->parentWidget()));
    QCOMPARE(MainForm->ActiveChild(), first);
    QCOMPARE(undo->text(), QStringLiteral("元に戻す: 左右反転"));
  }

  void filterCommandsGoThroughUndo() {
    TChild* child = OpenPicture();
    QVERIFY(child);
    const Snapshot opened = Take();
    MainForm->H1->trigger();
    QCOMPARE(MainForm->Undo1->text(), QStringLiteral("元に戻す: ハイパス効果"));
    MainForm->Undo1->trigger();
    QVERIFY(Take().image == opened.image);
  }
};

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  NothingLostTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "nothing_lost_test.moc"
