// Console backend: what each window and box prints, and that nothing waits
// when standard input is not a terminal.
#include "Unit1/Unit1.h"
#include "Unit2/Unit2.h"
#include "Unit3/Unit3.h"
#include "platform/toolkit/toolkit.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Standard input from /dev/null: modal windows must return at once.
const bool Prepared = [] {
  test_support::SetEnvironment("FWUPD_TOOLKIT", "console");
  return test_support::EmptyStandardInput();
}();

template <class F> std::string Output(F &&f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

TEST(ConsoleBackend, IsChosenAndStdinIsNoTerminal) {
  ASSERT_TRUE(Prepared);
  EXPECT_EQ(toolkit::Application->BackendName(), "console");
}

TEST(ConsoleBackend, ProgressWindowOpensWithEmptyLabelsThenPrintsEachChange) {
  const std::string opened = Output([] { OpenProgressWindow("QM-W6216T Firmware Update"); });
  EXPECT_EQ(opened, "=== window: QM-W6216T Firmware Update ===\nLabel2: \nLabel3: \n");
  ASSERT_NE(Form1, nullptr);
  EXPECT_TRUE(Form1->Label2->Visible());
  EXPECT_TRUE(Form1->Label3->Visible());

  const std::string progress = Output([] {
    Form1->Label2->SetCaption("Found device at (1,0)");
    Form1->Label3->SetCaption("Starting firmware transfer.");
    Form1->Label3->SetCaption("Transferring bytes 0-32768");
    toolkit::Application->ProcessMessages();
    toolkit::MessageDlg("Firmware update successfull.", toolkit::MsgDlgType::mtInformation);
  });
  EXPECT_EQ(progress, "Form1.Label2: Found device at (1,0)\n"
                      "Form1.Label3: Starting firmware transfer.\n"
                      "Form1.Label3: Transferring bytes 0-32768\n"
                      "=== Information ===\nFirmware update successfull.\n[OK]\n");
  EXPECT_EQ(Form1->Label3->Caption(), "Transferring bytes 0-32768");
}

TEST(ConsoleBackend, HiddenLabelsAndChangesBeforeShowingPrintNothing) {
  TForm1 form;
  const std::string out = Output([&] {
    form.Label2->SetCaption("not yet shown");
    form.SetCaption("T");
    form.Show();
  });
  EXPECT_EQ(out, "=== window: T ===\n");
  EXPECT_FALSE(form.Label2->Visible());
}

TEST(ConsoleBackend, MessageWindowKeepsLeadingBlanksAndReturnsAtOnce) {
  const std::string out =
      Output([] { ShowMessageWindow("QM-16 Firmware Update", "           QM-16 not found."); });
  EXPECT_EQ(out, "=== window: QM-16 Firmware Update ===\n"
                 "Label2: Make sure the drive cable is connected properly and the unit has power.\n"
                 "Label1:            QM-16 not found.\n"
                 "[Ok]\n");
  EXPECT_EQ(Form3->ModalResult, toolkit::mrOk);
}

TEST(ConsoleBackend, RefusalVariantPrintsEmptyHeadlineAndReplacedHint) {
  TForm3 form;
  form.SetCaption("QM-20TS Firmware Update");
  form.Label1->SetCaption("");
  form.Label2->SetCaption("This firmware upgrade does not apply to your drive.  Please visit "
                          "Quilmar Web Site to check availability of latest firmware for the "
                          "drive you have.");
  int result = 0;
  const std::string out = Output([&] { result = form.ShowModal(); });
  EXPECT_EQ(result, toolkit::mrOk);
  EXPECT_EQ(out, "=== window: QM-20TS Firmware Update ===\n"
                 "Label2: This firmware upgrade does not apply to your drive.  Please visit "
                 "Quilmar Web Site to check availability of latest firmware for the drive you "
                 "have.\n"
                 "Label1: \n"
                 "[Ok]\n");
}

TEST(ConsoleBackend, InstructionsWindowListsPictureTextsAndButton) {
  toolkit::Application->CreateForm(Form2);
  Form2->SetCaption("QM-R206C Firmware Update");
  int result = 0;
  const std::string out = Output([&] { result = Form2->ShowModal(); });
  EXPECT_EQ(result, toolkit::mrOk);
  EXPECT_EQ(out, "=== window: QM-R206C Firmware Update ===\n"
                 "Image1: <picture 127x80>\n"
                 "Label1: The firmware loader was not found.\n"
                 "Label2: To update your firmware you must first power off\n"
                 "Label3: the CD-R drive and short the firmware jumper as\n"
                 "Label4: shown in the picture.  The picture shows the\n"
                 "Label5: proper jumper position from the back of the drive.\n"
                 "[Ok]\n");
}

// Before the title is set by the case below (the cases may share a process).
TEST(ConsoleBackend, DefaultApplicationTitleIsTheProgramName) {
  EXPECT_EQ(toolkit::Application->Title(), "fwupd32");
}

TEST(ConsoleBackend, ErrorBoxAndApplicationTitle) {
  const std::string out = Output([] {
    toolkit::Application->SetTitle("Firmware update utilitiy.");
    toolkit::MessageDlg("Error sending firmware (5 : 24 : 0)", toolkit::MsgDlgType::mtError);
  });
  EXPECT_EQ(out, "=== application title: Firmware update utilitiy. ===\n"
                 "=== Error ===\nError sending firmware (5 : 24 : 0)\n[OK]\n");
  EXPECT_EQ(toolkit::Application->Title(), "Firmware update utilitiy.");
}

} // namespace
