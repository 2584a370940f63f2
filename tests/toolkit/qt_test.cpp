// Qt backend on the offscreen platform: geometry, texts, colours and
// visibility from the stored layouts, close requests, modal loops, the
// message dialogs, the file chooser and what screen readers get. Each window
// is grabbed to a PNG in the build tree and its layout checked: no text cut
// off, nothing overlapping. The suite runs again at scale 2 (QT_SCALE_FACTOR).
#include "Unit1/Unit1.h"
#include "Unit2/Unit2.h"
#include "Unit3/Unit3.h"
#include "layout_check.h"
#include "platform/kernel.h"
#include "platform/toolkit/layouts.h"
#include "platform/toolkit/qt/qt_access.h"
#include "platform/toolkit/toolkit.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

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

// Scale 2 runs keep their pictures apart.
QString Scaled(const QString &name) {
  const char *scale = std::getenv("QT_SCALE_FACTOR");
  return scale != nullptr && *scale != '\0' ? name + "@" + scale : name;
}

void Grab(QWidget *w, const QString &name) {
  EXPECT_TRUE(w->grab().save(QString(GRAB_DIR "/") + Scaled(name) + ".png")) << name.toStdString();
  EXPECT_EQ(LayoutProblems(w), QStringList()) << name.toStdString();
}

// The layouts' own font at scale 1; at scale 2 the outline substitute.
bool DesignFont() {
  return QFontInfo(QApplication::font()).family() == toolkit::FontName;
}

// The stored size where the design's font is in use; never smaller.
void ExpectDesignSize(const QSize &actual, const QSize &stored) {
  if (DesignFont())
    EXPECT_EQ(actual, stored);
  else
    EXPECT_EQ(actual.expandedTo(stored), actual);
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
  const char *scale = std::getenv("QT_SCALE_FACTOR");
  if (scale != nullptr && std::string(scale) == "2") {
    EXPECT_FALSE(DesignFont()) << "the layouts' bitmap font spreads its letters at scale 2";
  }
}

TEST(QtBackend, ProgressWindowHasItsClientSizeAndShowsEmptyLabels) {
  OpenProgressWindow("QM-W6216T Firmware Update");
  QWidget *w = W(*Form1);
  EXPECT_TRUE(w->isVisible());
  ExpectDesignSize(w->size(), QSize(340, 80));
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
  ExpectDesignSize(w->size(), QSize(399, 187));
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
  EXPECT_EQ(ok->pos(), QPoint(162, 133));
  ExpectDesignSize(ok->size(), QSize(75, 25));

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
    ExpectDesignSize(modal->frameGeometry().size(), QSize(399, 161));
    EXPECT_TRUE(Centred(modal));
    QLabel *headline = L(Form3->Label1);
    EXPECT_EQ(headline->text(), "           QM-16 not found.");
    EXPECT_TRUE(IsRed(headline));
    EXPECT_EQ(headline->x(), 125);
    EXPECT_GT(headline->width(), 3);
    QLabel *hint = L(Form3->Label2);
    EXPECT_TRUE(hint->wordWrap());
    EXPECT_EQ(hint->pos(), QPoint(49, 35));
    ExpectDesignSize(hint->size(), QSize(289, 54));
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

// --- any palette and font ------------------------------------------------------

// A desktop's palette and a font wider and taller than the layouts' (what a
// desktop without the layouts' font, or with a large font, gives): every
// window still shows every text whole, nothing overlapping.
class AnotherLook : public ::testing::TestWithParam<int> {
protected:
  void SetUp() override {
    toolkit::Application->Initialize();
    Font = QApplication::font();
    Palette = QApplication::palette();
    QFont large("DejaVu Sans");
    large.setPixelSize(GetParam());
    QApplication::setFont(large);
    QApplication::setPalette(DarkPalette());
  }
  void TearDown() override {
    QApplication::setFont(Font);
    QApplication::setPalette(Palette);
  }
  QString Name(const char *window) const {
    return QString("dark-%1px-%2").arg(GetParam()).arg(window);
  }
  QFont Font;
  QPalette Palette;
};

TEST_P(AnotherLook, EveryTextWholeAndNothingOverlapping) {
  TForm1 progress;
  progress.SetCaption("QM-W6216T Firmware Update");
  progress.Label2->Show();
  progress.Label3->Show();
  progress.Show();
  progress.Label2->SetCaption("Found device at (15,15)");
  progress.Label3->SetCaption("Transferring bytes 1015808-1048576");
  Grab(W(progress), Name("form1"));

  TForm2 instructions;
  instructions.SetCaption("QM-R206C Firmware Update");
  WhenModal([&](QWidget *modal) {
    Grab(modal, Name("form2"));
    B(instructions.Button1)->click();
  });
  instructions.ShowModal();

  for (const char *headline : {"           QM-16 not found.", ""}) {
    TForm3 message;
    message.SetCaption("QM-16 Firmware Update");
    message.Label1->SetCaption(headline);
    if (*headline == '\0') {
      message.Label2->SetCaption("This firmware upgrade does not apply to your drive.  Please "
                                 "visit Quilmar Web Site to check availability of latest "
                                 "firmware for the drive you have.");
    }
    WhenModal([&](QWidget *modal) {
      Grab(modal, Name(*headline ? "form3" : "form3_refusal"));
      // The headline keeps the hint's left edge clear of it, and the hint
      // keeps its width: it grows downwards.
      EXPECT_EQ(L(message.Label2)->width(), 289);
      B(message.Button1)->click();
    });
    message.ShowModal();
  }

  WhenModal([&](QWidget *modal) {
    Grab(modal, Name("error"));
    static_cast<QMessageBox *>(modal)->buttons()[0]->click();
  });
  toolkit::MessageDlg("Error sending firmware (5 : 24 : 0)", toolkit::MsgDlgType::mtError);
}

INSTANTIATE_TEST_SUITE_P(QtBackend, AnotherLook, ::testing::Values(13, 18));

// --- boxes over windows, the system box, screen readers ---------------------------

TEST(QtBackend, BoxesAndTheMessageWindowStandOverTheProgressWindow) {
  TForm1 progress;
  progress.Show();
  QWindow *below = W(progress)->windowHandle();
  bool boxChecked = false, windowChecked = false;
  WhenModal([&](QWidget *modal) {
    EXPECT_EQ(modal->windowHandle()->transientParent(), below);
    boxChecked = true;
    static_cast<QMessageBox *>(modal)->buttons()[0]->click();
  });
  toolkit::MessageDlg("Firmware update successfull.", toolkit::MsgDlgType::mtInformation);
  TForm3 message;
  WhenModal([&](QWidget *modal) {
    EXPECT_EQ(modal->windowHandle()->transientParent(), below);
    windowChecked = true;
    B(message.Button1)->click();
  });
  message.ShowModal();
  EXPECT_TRUE(boxChecked);
  EXPECT_TRUE(windowChecked);
}

TEST(QtBackend, TheSystemBoxIsAWindowWithoutOwnerOrIcon) {
  bool seen = false;
  WhenModal([&](QWidget *modal) {
    auto *box = qobject_cast<QMessageBox *>(modal);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), "Error");
    EXPECT_EQ(box->text(), "No SCSI host adapters found.");
    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(box->parentWidget(), nullptr);
    Grab(box, "system_box");
    seen = true;
    box->buttons()[0]->click();
  });
  platform::SystemMessageBox("No SCSI host adapters found.", "Error");
  EXPECT_TRUE(seen);
}

// Screen readers: windows are dialogs, the picture says what it shows, and
// the message window's headline comes before its hint.
TEST(QtBackend, ScreenReadersGetDialogsAPictureTextAndTheHeadlineFirst) {
  TForm2 instructions;
  TForm3 message;
  QAccessibleInterface *window = QAccessible::queryAccessibleInterface(W(instructions));
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->role(), QAccessible::Dialog);
  QAccessibleInterface *picture = QAccessible::queryAccessibleInterface(L(instructions.Image1));
  EXPECT_EQ(picture->text(QAccessible::Name).toStdString(), toolkit::JumperPictureName);
  EXPECT_EQ(picture->text(QAccessible::Description).toStdString(),
            toolkit::JumperPictureDescription);

  QAccessibleInterface *messageWindow = QAccessible::queryAccessibleInterface(W(message));
  const int headline =
      messageWindow->indexOfChild(QAccessible::queryAccessibleInterface(L(message.Label1)));
  const int hint =
      messageWindow->indexOfChild(QAccessible::queryAccessibleInterface(L(message.Label2)));
  EXPECT_EQ(messageWindow->role(), QAccessible::Dialog);
  EXPECT_GE(headline, 0);
  EXPECT_LT(headline, hint);
}

// --- the file chooser --------------------------------------------------------------

TEST(QtBackend, TheChooserStartsInDownloadsAndOffersTheImageNamesInAnyCase) {
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  setenv("HOME", home.path().toLocal8Bit().constData(), 1);
  setenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit().constData(), 1);
  const QString downloads = home.path() + "/Downloads";
  ASSERT_TRUE(QDir().mkpath(downloads));
  const QString image = downloads + "/firm6216.rom";
  QFile(image).open(QIODevice::WriteOnly);

  for (const bool pick : {true, false}) {
    WhenModal([&](QWidget *modal) {
      auto *dialog = qobject_cast<QFileDialog *>(modal);
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->windowTitle(), "Choose the image");
      EXPECT_EQ(dialog->directory().absolutePath(), QDir(downloads).absolutePath());
      ASSERT_EQ(dialog->nameFilters().size(), 1);
      const QString filter = dialog->nameFilters()[0];
      const QString patterns = filter.mid(filter.indexOf('(') + 1).chopped(1);
      auto offered = [&patterns](const QString &name) {
        for (const QString &p : patterns.split(' '))
          if (QRegularExpression(QRegularExpression::wildcardToRegularExpression(p))
                  .match(name)
                  .hasMatch())
            return true;
        return false;
      };
      EXPECT_TRUE(offered("FIRM6216.ROM"));
      EXPECT_TRUE(offered("firm6216.rom"));
      EXPECT_TRUE(offered("Firm206.Rom"));
      EXPECT_FALSE(offered("FIRM6216 (1).ROM"));
      EXPECT_FALSE(offered("FIRM6216.ROM.part"));
      // Qt's own dialog: a picture, no check of our layouts.
      dialog->grab().save(QString(GRAB_DIR "/") + Scaled("chooser") + ".png");
      if (pick) {
        dialog->selectFile(image);
        static_cast<QDialog *>(dialog)->accept();
      } else {
        dialog->reject();
      }
    });
    const std::string chosen =
        toolkit::ChooseFile("Choose the image", "Firmware images", {"FIRM6216.ROM", "FIRM206.ROM"});
    EXPECT_EQ(chosen, pick ? image.toStdString() : "");
  }
}

} // namespace
