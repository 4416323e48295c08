// SPDX-License-Identifier: GPL-3.0-or-later
// Nothing lost through the main window: the Edit menu's undo and redo items
// and their keys, parameter dialogs that cancel when closed without OK, and
// the save question when an edited window, all windows or the program close.
#include <QAction>
#include <QDialog>
#include <QDir>
#include <QKeySequence>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "app/save_image.h"
#include "app/ui/Forms.h"
#include "app/ui/TApplication.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "app/ui/TypedFileDialog.h"
#include "core/bmp_file.h"
#include "display/ui/TGMM.h"
#include "display/ui/TSabachie.h"
#include "filters/ui/TBLUR.h"
#include "filters/ui/TComaCorrect.h"
#include "filters/ui/TEDG.h"
#include "filters/ui/TGMCPanel.h"
#include "tests/support/qt_commands.h"
#include "tests/support/qt_fixture.h"
#include "tests/support/qt_modal.h"

namespace {

using namespace qirm::test;

}  // namespace

class NothingLostTest : public QObject {
  Q_OBJECT

 private:
  TestFolder m_dir;

  QString Path(const QString& name) const { return m_dir.filePath(name); }

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
    QVERIFY(m_dir.Enter());
    ShowFreshForms();
  }
  void cleanup() {
    DestroyForms();
    m_dir.Leave();
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
    WaitForCommands();
    QCOMPARE(MainForm->Undo1->text(), QStringLiteral("元に戻す: ハイパス効果"));
    MainForm->Undo1->trigger();
    QVERIFY(Take().image == opened.image);
  }

  // Every parameter dialog, closed by Esc, by its Cancel button or by its
  // close box after a valid text was typed: the command does not run, no
  // step is recorded, and the edit shows the text it showed before.
  void parameterDialogsCancel() {
    struct Dialog {
      const char* name;
      void (TMainForm::*handler)();
      QDialog* dialog;
      QLineEdit* edit;
      const char* typed;
    };
    const Dialog dialogs[] = {
        {"gamma", &TMainForm::N6Click, GMM, GMM->Edit1, "2"},
        {"sabattier", &TMainForm::N8Click, Sabachie, Sabachie->Edit1, "100"},
        {"edge", &TMainForm::N2Click, EDG, EDG->Edit1, "3"},
        {"blur", &TMainForm::N4Click, BLUR, BLUR->Edit1, "4"},
        {"coma", &TMainForm::N9Click, ComaCorrect, ComaCorrect->Edit3, "10"},
        {"gmc", &TMainForm::P1Click, GMCPanel, GMCPanel->Edit2, "5"},
    };
    ComaCorrect->Edit1->setText(QStringLiteral("3"));
    ComaCorrect->Edit2->setText(QStringLiteral("4"));
    enum Way { kEscape, kCancelButton, kCloseBox };
    TChild* child = OpenPicture();
    QVERIFY(child);
    const Snapshot before = Take();
    for (const Dialog& d : dialogs) {
      auto* cancel = d.dialog->findChild<QPushButton*>(QStringLiteral("CancelButton"));
      QVERIFY2(cancel && cancel->text() == QStringLiteral("キャンセル"), d.name);
      for (const Way way : {kEscape, kCancelButton, kCloseBox}) {
        const QByteArray what = QByteArray(d.name) + " closed by way " + QByteArray::number(way);
        const QString shown = d.edit->text();
        WithModal<QDialog>([&] { (MainForm->*d.handler)(); },
                           [&](QWidget* m) {
                             QCOMPARE(m, d.dialog);
                             d.edit->setText(QString::fromLatin1(d.typed));
                             if (way == kEscape)
                               QTest::keyClick(m, Qt::Key_Escape);
                             else if (way == kCancelButton)
                               cancel->click();
                             else
                               m->close();
                           });
        QVERIFY2(!d.dialog->isVisible(), what);
        QVERIFY2(Take().image == before.image, what);
        QVERIFY2(Take().base == before.base, what);
        QVERIFY2(!MainForm->Undo1->isEnabled(), what);
        QVERIFY2(d.edit->text() == shown, what);
      }
    }
    // The same dialogs with OK do run (gamma as a sample).
    GMM->Edit1->setText(QStringLiteral("2"));
    QCOMPARE(OkDuring([] { MainForm->N6Click(); }), QStringLiteral("ガンマ"));
    QVERIFY(!(Take().image == before.image));
    QCOMPARE(MainForm->Undo1->text(), QStringLiteral("元に戻す: ガンマ"));
  }

  // The question's three answers when an edited window's close box is used.
  void closingAnEditedWindowAsksWhetherToSave() {
    // Straight from its file and not changed: closes without a question.
    TChild* plain = OpenPicture();
    QVERIFY(plain);
    QCOMPARE(ModalDuring([&] { QVERIFY(plain->parentWidget()->close()); }), QString());
    QCOMPARE(MainForm->Children().size(), 0);

    TChild* child = OpenPicture();
    QVERIFY(child);
    MainForm->N1->trigger();
    QWidget* sub = child->parentWidget();
    QString question;
    bool closed = true;
    WithModal<QMessageBox>([&] { closed = sub->close(); },
                           [&](QWidget* m) {
                             auto* box = qobject_cast<QMessageBox*>(m);
                             QCOMPARE(box->button(QMessageBox::Save)->text(), QStringLiteral("保存"));
                             QCOMPARE(box->button(QMessageBox::Discard)->text(),
                                      QStringLiteral("保存しない"));
                             QCOMPARE(box->button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));
                             question = AnswerMessageBox(m, QMessageBox::Cancel);
                           });
    QCOMPARE(question, QStringLiteral("「c.bmp」は保存されていません。保存しますか？"));
    QVERIFY(!closed);
    QCOMPARE(MainForm->Children().size(), 1);

    // 保存, then the save dialog cancelled: nothing was written, the window
    // stays.
    WithModal<QMessageBox>(
        [&] {
          WithModal<TypedFileDialog>([&] { closed = sub->close(); },
                                     [](QWidget* d) { qobject_cast<QDialog*>(d)->reject(); });
        },
        [](QWidget* m) { AnswerMessageBox(m, QMessageBox::Save); });
    QVERIFY(!closed);
    QCOMPARE(MainForm->Children().size(), 1);

    // 保存 through the save dialog: the file holds the edited picture and the
    // window closes.
    const qirm::Picture edited = child->Document()->Image;
    WithModal<QMessageBox>(
        [&] {
          WithModal<TypedFileDialog>([&] { closed = sub->close(); },
                                     [&](QWidget* d) { ChooseFiles(d, 1, {Path("saved.bmp")}); });
        },
        [](QWidget* m) { AnswerMessageBox(m, QMessageBox::Save); });
    QVERIFY(closed);
    QCOMPARE(MainForm->Children().size(), 0);
    qirm::Picture written;
    QVERIFY(qirm::ReadBmpFile(Path("saved.bmp").toStdString(), written).ok());
    QVERIFY(written == edited);

    // 保存しない: the window closes and nothing is written.
    child = OpenPicture(QStringLiteral("d.bmp"), 5);
    MainForm->M1->trigger();
    WithModal<QMessageBox>([&] { closed = child->parentWidget()->close(); },
                           [](QWidget* m) { AnswerMessageBox(m, QMessageBox::Discard); });
    QVERIFY(closed);
    QCOMPARE(MainForm->Children().size(), 0);
    QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("*.bmp")}).size(), 3);  // c, saved, d
  }

  void aSavedWindowClosesWithoutAQuestionUntilItChangesAgain() {
    TChild* child = OpenPicture();
    QVERIFY(child);
    MainForm->N1->trigger();
    WithModal<TypedFileDialog>([] { MainForm->Save1Click(); },
                               [&](QWidget* d) { ChooseFiles(d, 1, {Path("n.bmp")}); });
    QVERIFY(!child->Document()->unsaved);
    // Undone after the save, the window no longer holds what the file holds.
    MainForm->Undo1->trigger();
    QVERIFY(child->Document()->unsaved);
    // Redone, it holds the saved picture again.
    MainForm->Redo1->trigger();
    QVERIFY(!child->Document()->unsaved);
    QCOMPARE(ModalDuring([&] { QVERIFY(child->parentWidget()->close()); }), QString());
  }

  void closeAllAndQuittingAsk() {
    TChild* first = OpenPicture();
    MainForm->N1->trigger();
    OpenPicture(QStringLiteral("d.bmp"), 5);
    MainForm->RGB2Click();  // three new pictures in no file
    QCOMPARE(MainForm->Children().size(), 5);
    // Close all: 保存しない for the first question, キャンセル for the next
    // stops there.
    int asked = 0;
    QTimer answers;
    connect(&answers, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
        AnswerMessageBox(box, ++asked == 1 ? QMessageBox::Discard : QMessageBox::Cancel);
    });
    answers.start(10);
    MainForm->A1Click();
    QCOMPARE(asked, 2);
    // c.bmp discarded, d.bmp (unchanged) closed without a question; Blue,
    // Green and Red stay.
    QVERIFY(!MainForm->Children().contains(first));
    QCOMPARE(MainForm->Children().size(), 3);

    // Quitting: キャンセル keeps the program and its windows.
    asked = 0;
    const auto cancelEverything = [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        ++asked;
        AnswerMessageBox(box, QMessageBox::Cancel);
      }
    };
    answers.disconnect();
    connect(&answers, &QTimer::timeout, cancelEverything);
    QVERIFY(!MainForm->close());
    QCOMPARE(asked, 1);
    QVERIFY(MainForm->isVisible());
    QCOMPARE(MainForm->Children().size(), 3);
    // 保存しない for each: the program ends; the windows were not asked twice.
    asked = 0;
    answers.disconnect();
    connect(&answers, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        ++asked;
        AnswerMessageBox(box, QMessageBox::Discard);
      }
    });
    QVERIFY(MainForm->close());
    QCOMPARE(asked, 3);
    QVERIFY(!MainForm->isVisible());
  }
};

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  NothingLostTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "nothing_lost_test.moc"
