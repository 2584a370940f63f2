// Qt backend on the offscreen platform: geometry, texts, colours and
// visibility from the stored layouts, close requests, modal loops and the
// message dialogs. Each window is also grabbed to a PNG in the build tree.
#include "Unit1/Unit1.h"
#include "Unit2/Unit2.h"
#include "Unit3/Unit3.h"
#include "platform/toolkit/qt/qt_access.h"
#include "platform/toolkit/toolkit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

extern "C" const char *__asan_default_options() {
  return "detect_leaks=0";
}

namespace {

const bool Prepared = [] {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("FWUPD_TOOLKIT", "qt", 1);
  return true;
}();

QWidget *W(toolkit::TForm &f) {
  return toolkit::QtWidgetOf(f);
}
QLabel *L(toolkit::TControl *c) {
  return qobject_cast<QLabel *>(toolkit::QtWidgetOf(*c));
}
QPushButton *B(toolkit::TControl *c) {
  return qobject_cast<QPushButton *>(toolkit::QtWidgetOf(*c));
}

void Grab(QWidget *w, const char *name) {
  EXPECT_TRUE(w->grab().save(QString(GRAB_DIR "/") + name + ".png")) << name;
}

bool IsRed(QLabel *label) {
  return label->palette().color(QPalette::WindowText) == Qt::red;
}

bool Centred(QWidget *w) {
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  const QPoint d = w->frameGeometry().center() - area.center();
  if (std::abs(d.x()) > 1 || std::abs(d.y()) > 1)
    std::printf("off centre by %d,%d: frame %d,%d %dx%d\n", d.x(), d.y(), w->frameGeometry().x(),
                w->frameGeometry().y(), w->frameGeometry().width(), w->frameGeometry().height());
  return std::abs(d.x()) <= 1 && std::abs(d.y()) <= 1;
}

// Runs check on the modal widget once a modal loop has started.
void WhenModal(std::function<void(QWidget *)> check) {
  QTimer::singleShot(0, [check] {
    QWidget *modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    check(modal);
  });
}

TEST(QtBackend, IsChosenAndHasTheProgramIcon) {
  ASSERT_TRUE(Prepared);
  EXPECT_EQ(toolkit::Application->BackendName(), "qt");
  EXPECT_TRUE(QApplication::windowIcon().availableSizes().contains(QSize(32, 32)));
  EXPECT_LE(QFontMetrics(QApplication::font()).height(), 14);
}

TEST(QtBackend, ProgressWindowHasItsClientSizeAndShowsEmptyLabels) {
  OpenProgressWindow("QM-W6216T Firmware Update");
  QWidget *w = W(*Form1);
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->size(), QSize(340, 80));
  EXPECT_EQ(w->minimumSize(), w->maximumSize());
  EXPECT_EQ(w->windowTitle(), "QM-W6216T Firmware Update");
  EXPECT_FALSE(w->windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(w->windowFlags() & Qt::WindowSystemMenuHint);
  EXPECT_TRUE(Centred(w));
  EXPECT_EQ(L(Form1->Label2)->pos(), QPoint(12, 12));
  EXPECT_EQ(L(Form1->Label3)->pos(), QPoint(11, 34));
  EXPECT_TRUE(L(Form1->Label2)->isVisible());
  EXPECT_EQ(L(Form1->Label3)->text(), "");

  Form1->Label2->SetCaption("Found device at (1,0)");
  Form1->Label3->SetCaption("Transferring bytes 0-32768");
  toolkit::Application->ProcessMessages();
  EXPECT_EQ(L(Form1->Label3)->text(), "Transferring bytes 0-32768");
  EXPECT_GT(L(Form1->Label3)->width(), 32); // auto size
  Grab(w, "form1");
}

TEST(QtBackend, LabelsAreHiddenUntilShown) {
  TForm1 form;
  EXPECT_FALSE(form.Label2->Visible());
  EXPECT_TRUE(L(form.Label2)->isHidden());
  form.Label2->Show();
  EXPECT_TRUE(form.Label2->Visible());
  EXPECT_FALSE(L(form.Label2)->isHidden());
}

TEST(QtBackend, DialogFramedWindowsRefuseEveryCloseRequest) {
  TForm1 progress;
  TForm2 instructions;
  for (toolkit::TForm *f :
       {static_cast<toolkit::TForm *>(&progress), static_cast<toolkit::TForm *>(&instructions)}) {
    f->Show();
    EXPECT_FALSE(W(*f)->close());
    QCloseEvent event;
    QApplication::sendEvent(W(*f), &event);
    EXPECT_FALSE(event.isAccepted());
    EXPECT_TRUE(W(*f)->isVisible());
  }
}

TEST(QtBackend, InstructionsWindowLayoutAndOkEndsModalLoop) {
  toolkit::Application->CreateForm(Form2);
  Form2->SetCaption("QM-R206C Firmware Update");
  QWidget *w = W(*Form2);
  EXPECT_EQ(w->size(), QSize(399, 187));
  EXPECT_TRUE(IsRed(L(Form2->Label1)));
  EXPECT_FALSE(IsRed(L(Form2->Label2)));
  EXPECT_EQ(L(Form2->Label4)->text(), "shown in the picture.  The picture shows the");
  EXPECT_EQ(L(Form2->Label5)->pos(), QPoint(143, 99));
  QLabel *image = L(Form2->Image1);
  EXPECT_EQ(image->geometry(), QRect(5, 4, 127, 82));
  EXPECT_EQ(image->pixmap().size(), QSize(127, 80));
  EXPECT_EQ(image->pixmap().toImage().pixelColor(0, 0), QColor(192, 192, 192));
  QPushButton *ok = B(Form2->Button1);
  EXPECT_EQ(ok->text(), "Ok");
  EXPECT_EQ(ok->geometry(), QRect(162, 133, 75, 25));

  bool focused = false;
  WhenModal([&](QWidget *modal) {
    EXPECT_EQ(modal, w);
    focused = modal->focusWidget() == ok;
    Grab(modal, "form2");
    ok->click();
  });
  EXPECT_EQ(Form2->ShowModal(), toolkit::mrOk);
  EXPECT_TRUE(focused);
}

TEST(QtBackend, MessageWindowHasOuterSizeRedGrowingHeadlineAndWrappedHint) {
  bool checked = false;
  WhenModal([&](QWidget *modal) {
    EXPECT_EQ(modal->frameGeometry().size(), QSize(399, 161));
    EXPECT_TRUE(Centred(modal));
    QLabel *headline = L(Form3->Label1);
    EXPECT_EQ(headline->text(), "           QM-16 not found.");
    EXPECT_TRUE(IsRed(headline));
    EXPECT_EQ(headline->x(), 125);
    EXPECT_GT(headline->width(), 3);
    QLabel *hint = L(Form3->Label2);
    EXPECT_TRUE(hint->wordWrap());
    EXPECT_EQ(hint->geometry(), QRect(49, 35, 289, 54));
    EXPECT_TRUE(modal->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_LT(modal->minimumWidth(), modal->maximumWidth()); // sizeable
    Grab(modal, "form3");
    checked = true;
    B(Form3->Button1)->click();
  });
  ShowMessageWindow("QM-16 Firmware Update", "           QM-16 not found.");
  EXPECT_TRUE(checked);
  EXPECT_EQ(Form3->ModalResult, toolkit::mrOk);
}

TEST(QtBackend, ClosingTheMessageWindowEndsItsModalLoop) {
  TForm3 form;
  form.SetCaption("QM-20TS Firmware Update");
  form.Label1->SetCaption("");
  form.Label2->SetCaption("This firmware upgrade does not apply to your drive.  Please visit "
                          "Quilmar Web Site to check availability of latest firmware for the "
                          "drive you have.");
  WhenModal([](QWidget *modal) {
    Grab(modal, "form3_refusal");
    modal->close();
  });
  EXPECT_EQ(form.ShowModal(), toolkit::mrCancel);
}

TEST(QtBackend, MessageDialogsHaveCaptionIconTextAndOneOkButton) {
  struct Case {
    toolkit::MsgDlgType type;
    const char *caption;
    QMessageBox::Icon icon;
    const char *text;
  };
  for (const Case &c : {Case{toolkit::MsgDlgType::mtError, "Error", QMessageBox::Critical,
                             "Error sending firmware (5 : 24 : 0)"},
                        Case{toolkit::MsgDlgType::mtInformation, "Information",
                             QMessageBox::Information, "Firmware update successfull."}}) {
    bool seen = false;
    WhenModal([&](QWidget *modal) {
      auto *box = qobject_cast<QMessageBox *>(modal);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->windowTitle(), c.caption);
      EXPECT_EQ(box->icon(), c.icon);
      EXPECT_EQ(box->text(), c.text);
      ASSERT_EQ(box->buttons().size(), 1);
      EXPECT_EQ(box->standardButton(box->buttons()[0]), QMessageBox::Ok);
      Grab(box, c.caption);
      seen = true;
      box->buttons()[0]->click();
    });
    toolkit::MessageDlg(c.text, c.type);
    EXPECT_TRUE(seen) << c.caption;
  }
}

TEST(QtBackend, ProcessMessagesDeliversPendingEventsOnce) {
  toolkit::Application->Initialize();
  int delivered = 0;
  QMetaObject::invokeMethod(
      qApp, [&] { ++delivered; }, Qt::QueuedConnection);
  EXPECT_EQ(delivered, 0);
  toolkit::Application->ProcessMessages();
  EXPECT_EQ(delivered, 1);
}

TEST(QtBackend, ApplicationTitleIsTheDisplayName) {
  EXPECT_EQ(toolkit::Application->Title(), "fwupd32");
  toolkit::Application->SetTitle("Firmware update utilitiy.");
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Firmware update utilitiy.");
}

} // namespace
