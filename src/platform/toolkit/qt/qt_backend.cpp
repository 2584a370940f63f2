// Qt 6 Widgets backend: the real desktop windows.
#include "platform/kernel.h"
#include "platform/toolkit/backend.h"
#include "platform/toolkit/qt/qt_access.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <memory>
#include <vector>

namespace toolkit {
namespace {

// fonts-wine ships the layouts' font as a scalable outline and as a bitmap
// look-alike; fontconfig does not list either, so they are loaded by path.
constexpr const char *FontFiles[] = {"/usr/share/wine/fonts/ms_sans_serif.ttf",
                                     "/usr/share/wine/fonts/sserife.fon"};
constexpr int DesignCellHeight = 13;

QFont LayoutFont() {
  for (const char *file : FontFiles)
    if (!QFontDatabase::hasFamily(FontName))
      QFontDatabase::addApplicationFont(file);
  if (QFontDatabase::hasFamily(FontName)) {
    QFont font(FontName);
    font.setPixelSize(FontPixelHeight);
    return font;
  }
  QFont font;
  font.setStyleHint(QFont::SansSerif);
  font.setFamily("sans-serif");
  for (int px = FontPixelHeight; px > 6; --px) {
    font.setPixelSize(px);
    if (QFontMetrics(font).height() <= DesignCellHeight)
      break;
  }
  return font;
}

QPixmap PixmapFrom(const unsigned char *data, std::size_t size, const char *format) {
  QPixmap pixmap;
  pixmap.loadFromData(data, static_cast<uint>(size), format);
  return pixmap;
}

class QtControl : public ControlPeer {
public:
  QtControl(const ControlLayout &layout, QWidget *parent);
  // A button's click handler holds this object's address: it never moves.
  QtControl(const QtControl &) = delete;
  QtControl &operator=(const QtControl &) = delete;
  void SetText(const std::string &text) override;
  std::string Text() const override { return Caption; }
  void SetVisible(bool visible) override {
    Shown = visible;
    Widget->setVisible(visible);
  }
  bool Visible() const override { return Shown; }
  void FitToText();

  const ControlLayout &Layout;
  QWidget *Widget = nullptr;
  std::string Caption;
  bool Shown;
};

class FormWindow : public QWidget {
public:
  FormWindow(const FormLayout &layout, TForm &owner) : Layout(layout), Owner(owner) {}
  bool InModal = false;

protected:
  void closeEvent(QCloseEvent *event) override {
    event->ignore();
    if (Layout.Frame == FrameKind::Sizeable) {
      if (InModal)
        Owner.ModalResult = mrCancel;
      else
        hide();
    }
  }

private:
  const FormLayout &Layout;
  TForm &Owner;
};

class QtForm : public FormPeer {
public:
  QtForm(const FormLayout &layout, TForm &owner) : Layout(layout), Window(layout, owner) {
    if (layout.Frame == FrameKind::Dialog) {
      Window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
      Window.setFixedSize(layout.Width, layout.Height);
    } else {
      Window.setWindowFlags(Qt::Window);
      Window.resize(layout.Width, layout.Height);
    }
    for (std::size_t i = 0; i < layout.ControlCount; ++i)
      Controls.push_back(std::make_unique<QtControl>(layout.Controls[i], &Window));
  }
  ControlPeer *Control(const char *name) override {
    for (auto &c : Controls)
      if (std::string(c->Layout.Name) == name)
        return c.get();
    return nullptr;
  }
  void SetCaption(const std::string &text) override {
    Title = text;
    Window.setWindowTitle(QString::fromStdString(text));
  }
  std::string Caption() const override { return Title; }
  void Show() override { Display(); }
  void Display() {
    if (Layout.OuterSize)
      FitOuterSize();
    Centre();
    Window.show();
    if (Layout.OuterSize) {
      QCoreApplication::processEvents(); // a window manager may have framed it by now
      FitOuterSize();
    }
    Centre();
    for (auto &c : Controls)
      if (c->Layout.Kind == ControlKind::Button && c->Layout.TabOrder == 0)
        c->Widget->setFocus();
    Window.raise();
    Window.activateWindow();
  }
  void RunModal(TForm &owner) override {
    Window.setWindowModality(Qt::ApplicationModal);
    Window.InModal = true;
    Display();
    while (owner.ModalResult == mrNone)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    Window.InModal = false;
    Window.hide();
    Window.setWindowModality(Qt::NonModal);
  }
  // The stored size of a sizeable window is its outer size: take the frame
  // off to get the client size.
  void FitOuterSize() {
    Window.winId(); // the platform window knows its frame margins
    const QMargins m = Window.windowHandle()->frameMargins();
    Window.resize(Layout.Width - m.left() - m.right(), Layout.Height - m.top() - m.bottom());
  }
  void Centre() {
    QScreen *screen = Window.screen() ? Window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
      return;
    const QRect area = screen->availableGeometry();
    const QSize outer = Window.frameGeometry().size();
    Window.move(area.x() + (area.width() - outer.width()) / 2,
                area.y() + (area.height() - outer.height()) / 2);
  }

  const FormLayout &Layout;
  FormWindow Window;
  std::vector<std::unique_ptr<QtControl>> Controls;
  std::string Title;
};

QtControl::QtControl(const ControlLayout &layout, QWidget *parent)
    : Layout(layout), Caption(layout.Text ? layout.Text : ""), Shown(layout.Visible) {
  switch (layout.Kind) {
  case ControlKind::Label: {
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setMargin(0);
    label->setIndent(0);
    label->setWordWrap(layout.WordWrap);
    if (layout.Red) {
      QPalette palette = label->palette();
      palette.setColor(QPalette::WindowText, Qt::red);
      label->setPalette(palette);
    }
    label->setText(QString::fromStdString(Caption));
    Widget = label;
    break;
  }
  case ControlKind::Image: {
    auto *image = new QLabel(parent);
    image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    image->setPixmap(PixmapFrom(layout.Bitmap, layout.BitmapSize, "BMP"));
    Widget = image;
    break;
  }
  case ControlKind::Button: {
    auto *button = new QPushButton(QString::fromStdString(Caption), parent);
    button->setAutoDefault(true);
    button->setDefault(layout.TabOrder == 0);
    QObject::connect(button, &QPushButton::clicked, [this] { Click(*this); });
    Widget = button;
    break;
  }
  }
  Widget->setObjectName(layout.Name);
  Widget->setGeometry(layout.Left, layout.Top, layout.Width, layout.Height);
  FitToText();
  Widget->setVisible(Shown);
}

void QtControl::SetText(const std::string &text) {
  Caption = text;
  const QString q = QString::fromStdString(text);
  if (auto *label = qobject_cast<QLabel *>(Widget))
    label->setText(q);
  else if (auto *button = qobject_cast<QPushButton *>(Widget))
    button->setText(q);
  FitToText();
}

// Auto-sized labels keep their top-left corner and take the text's size.
void QtControl::FitToText() {
  if (Layout.Kind != ControlKind::Label || !Layout.AutoSize)
    return;
  const QFontMetrics metrics(Widget->font());
  const int width =
      Caption.empty() ? 0 : metrics.horizontalAdvance(QString::fromStdString(Caption));
  Widget->resize(width, metrics.height());
}

// While a drive command is pending: painting and the window manager's
// messages (its ping among them), but no mouse or key: those wait for the
// transfer's own message processing.
void ServeWithoutUserInput() {
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

char ProgramName[] = "fwupd32";
char PlatformOption[] = "-platform";
std::string PlatformName;
char *Arguments[] = {ProgramName, PlatformOption, nullptr, nullptr};
int ArgCount = 1;

// QApplication keeps the arguments it was given: they live as long as the process.
int &ArgumentsFor(const std::string &platform) {
  if (!platform.empty()) {
    PlatformName = platform;
    Arguments[2] = PlatformName.data();
    ArgCount = 3;
  }
  return ArgCount;
}

class QtBackend : public Backend {
public:
  explicit QtBackend(const std::string &platform) : App(ArgumentsFor(platform), Arguments) {
    QApplication::setApplicationName(ProgramName);
    QGuiApplication::setDesktopFileName(ProgramName);
    QApplication::setFont(LayoutFont());
    QApplication::setWindowIcon(QIcon(PixmapFrom(ProgramIcon, ProgramIconSize, "ICO")));
    platform::SetWindowServer(&ServeWithoutUserInput);
  }
  const char *Name() const override { return "qt"; }
  std::unique_ptr<FormPeer> NewForm(const FormLayout &layout, TForm &owner) override {
    return std::make_unique<QtForm>(layout, owner);
  }
  void ProcessMessages() override { QCoreApplication::processEvents(); }
  void MessageDlg(const std::string &text, MsgDlgType type) override {
    const bool error = type == MsgDlgType::mtError;
    QMessageBox box(error ? QMessageBox::Critical : QMessageBox::Information,
                    error ? "Error" : "Information", QString::fromStdString(text), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
  }
  void SetTitle(const std::string &title) override {
    QGuiApplication::setApplicationDisplayName(QString::fromStdString(title));
  }
  std::string Title() const override {
    return QGuiApplication::applicationDisplayName().toStdString();
  }

private:
  QApplication App;
};

} // namespace

std::unique_ptr<Backend> NewQtBackend(const std::string &platform) {
  return std::make_unique<QtBackend>(platform);
}

QWidget *QtWidgetOf(TForm &form) {
  auto *peer = dynamic_cast<QtForm *>(form.Peer);
  return peer ? &peer->Window : nullptr;
}

QWidget *QtWidgetOf(TControl &control) {
  auto *peer = dynamic_cast<QtControl *>(control.Peer);
  return peer ? peer->Widget : nullptr;
}

} // namespace toolkit
