// Console backend: every window and box becomes text on standard output in
// the format documented in README.md; modal windows wait for Enter only when
// standard input is a terminal. C stdio rather than iostreams: the streams
// would link the runtime's file streams, which import functions that the
// oldest Windows we run on lack.
#include "platform/toolkit/backend.h"

#include "platform/kernel.h"
#include "platform/toolkit/bitmap_info.h"

#include <cstdio>
#include <string>
#include <vector>

namespace toolkit {
namespace {

void Write(const std::string &text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void Flush() {
  std::fflush(stdout);
}

// Progress lines on a terminal stay open until other output follows.
bool ProgressLineOpen = false;

void EndProgressLine() {
  if (ProgressLineOpen) {
    Write("\n");
    ProgressLineOpen = false;
  }
}

void WaitForEnter() {
  if (!platform::StdinIsTerminal())
    return;
  Write("(press Enter)\n");
  Flush();
  for (int c = std::getchar(); c != '\n' && c != EOF;)
    c = std::getchar();
}

class ConsoleControl : public ControlPeer {
public:
  ConsoleControl(const ControlLayout &layout, class ConsoleForm &form)
      : Layout(layout), Form(form), Caption(layout.Text ? layout.Text : ""), Shown(layout.Visible) {
  }
  void SetText(const std::string &text) override;
  std::string Text() const override { return Caption; }
  void SetVisible(bool visible) override { Shown = visible; }
  bool Visible() const override { return Shown; }

  const ControlLayout &Layout;
  ConsoleForm &Form;
  std::string Caption;
  bool Shown;
};

class ConsoleForm : public FormPeer {
public:
  explicit ConsoleForm(const FormLayout &layout) : Layout(layout) {
    for (std::size_t i = 0; i < layout.ControlCount; ++i)
      Controls.emplace_back(layout.Controls[i], *this);
  }
  ControlPeer *Control(const char *name) override {
    for (auto &c : Controls)
      if (std::string(c.Layout.Name) == name)
        return &c;
    return nullptr;
  }
  void SetCaption(const std::string &text) override { Title = text; }
  std::string Caption() const override { return Title; }
  void Show() override { Display(); }
  void Display() {
    EndProgressLine();
    Write("=== window: " + Title + " ===\n");
    for (const auto &c : Controls) {
      if (!c.Shown)
        continue;
      switch (c.Layout.Kind) {
      case ControlKind::Label:
        Write(std::string(c.Layout.Name) + ": " + c.Caption + "\n");
        break;
      case ControlKind::Image: {
        const BitmapSize size = ReadBitmapSize(c.Layout.Bitmap, c.Layout.BitmapSize);
        Write(std::string(c.Layout.Name) + ": <picture " + std::to_string(size.Width) + "x" +
              std::to_string(size.Height) + ">\n");
        break;
      }
      case ControlKind::Button:
        Write("[" + c.Caption + "]\n");
        break;
      }
    }
    Flush();
    Visible = true;
  }
  void RunModal(TForm &owner) override {
    Display();
    WaitForEnter();
    for (auto &c : Controls)
      if (c.Layout.Kind == ControlKind::Button && c.Layout.TabOrder == 0)
        Click(c);
    if (owner.ModalResult == mrNone)
      owner.ModalResult = mrOk;
  }

  const FormLayout &Layout;
  std::vector<ConsoleControl> Controls;
  std::string Title;
  bool Visible = false;
};

void ConsoleControl::SetText(const std::string &text) {
  Caption = text;
  if (!Form.Visible || !Shown)
    return;
  const std::string line = std::string(Form.Layout.Name) + "." + Layout.Name + ": " + text;
  if (platform::StdoutIsTerminal()) {
    Write("\r" + line + "\x1b[K");
    Flush();
    ProgressLineOpen = true;
  } else {
    Write(line + "\n");
  }
}

class ConsoleBackend : public Backend {
public:
  const char *Name() const override { return "console"; }
  std::unique_ptr<FormPeer> NewForm(const FormLayout &layout, TForm &) override {
    return std::make_unique<ConsoleForm>(layout);
  }
  void ProcessMessages() override { Flush(); }
  void MessageDlg(const std::string &text, MsgDlgType type) override {
    EndProgressLine();
    const std::string box = std::string("=== ") +
                            (type == MsgDlgType::mtError ? "Error" : "Information") + " ===\n" +
                            text + "\n[OK]\n";
    Write(box);
    Flush();
    // The outcome of a run must not be lost with a closed terminal or pipe.
    if (std::ferror(stdout)) {
      std::clearerr(stdout);
      std::fwrite(box.data(), 1, box.size(), stderr);
      std::fflush(stderr);
    }
    WaitForEnter();
  }
  void SetTitle(const std::string &title) override {
    AppTitle = title;
    EndProgressLine();
    Write("=== application title: " + title + " ===\n");
    Flush();
  }
  std::string Title() const override { return AppTitle; }

private:
  std::string AppTitle = "fwupd32";
};

} // namespace

std::unique_ptr<Backend> NewConsoleBackend() {
  return std::make_unique<ConsoleBackend>();
}

} // namespace toolkit
