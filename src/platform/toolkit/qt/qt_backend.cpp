// Qt 6 Widgets backend: the real desktop windows.
#include "platform/kernel.h"
#include "platform/toolkit/backend.h"
#include "platform/toolkit/qt/qt_access.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace toolkit {
namespace {

// fonts-wine ships the layouts' font as a scalable outline and as a bitmap
// look-alike; fontconfig does not list either, so they are loaded by path.
constexpr const char *FontFiles[] = {"/usr/share/wine/fonts/ms_sans_serif.ttf",
                                     "/usr/share/wine/fonts/sserife.fon"};
constexpr int DesignCellHeight = 13;
// Room around a button's text for its frame.
constexpr QSize ButtonPadding(16, 8);

// The layouts' font comes as bitmaps of a few pixel sizes only: drawn at
// another scale its letters stand apart, so a scaled screen takes the
// outline substitute.
QFont LayoutFont() {
  for (const char *file : FontFiles)
    if (!QFontDatabase::hasFamily(FontName))
      QFontDatabase::addApplicationFont(file);
  const QScreen *screen = QGuiApplication::primaryScreen();
  const bool scaled = screen != nullptr && screen->devicePixelRatio() != 1.0;
  if (QFontDatabase::hasFamily(FontName) &&
      (!scaled || QFontDatabase::isSmoothlyScalable(FontName))) {
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
  std::function<void()> TextChanged; // the form fits its controls again

  const ControlLayout &Layout;
  QWidget *Widget = nullptr;
  std::string Caption;
  bool Shown;
};

// A dialog, so that screen readers give the window the dialog role; its
// closing stays the layout's (Escape closes nothing).
class FormWindow : public QDialog {
public:
  FormWindow(const FormLayout &layout, TForm &owner) : Layout(layout), Owner(owner) {}
  bool InModal = false;
  void reject() override {}

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
    for (std::size_t i = 0; i < layout.ControlCount; ++i) {
      Controls.push_back(std::make_unique<QtControl>(layout.Controls[i], &Window));
      Controls.back()->TextChanged = [this] { Refit(); };
    }
    ReadTopToBottom();
  }
  // Screen readers take the controls in the order of the window's children:
  // make it the order on screen, top to bottom, so that a headline comes
  // before the hint under it.
  void ReadTopToBottom() {
    std::vector<QtControl *> order;
    for (auto &c : Controls)
      order.push_back(c.get());
    std::stable_sort(order.begin(), order.end(), [](const QtControl *a, const QtControl *b) {
      return a->Layout.Top != b->Layout.Top ? a->Layout.Top < b->Layout.Top
                                            : a->Layout.Left < b->Layout.Left;
    });
    for (auto c = order.rbegin(); c != order.rend(); ++c)
      (*c)->Widget->lower();
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
    StandOver(ShownLast);
    FitControls();
    if (Layout.OuterSize)
      FitOuterSize();
    Centre();
    Window.show();
    if (Layout.OuterSize) {
      QCoreApplication::processEvents(); // a window manager may have framed it by now
      FitOuterSize();
    }
    Centre();
    ShownLast = &Window;
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
  // off to get the client size, unless its controls need more.
  void FitOuterSize() {
    Window.winId(); // the platform window knows its frame margins
    const QMargins m = Window.windowHandle()->frameMargins();
    const QSize stored(Layout.Width - m.left() - m.right(), Layout.Height - m.top() - m.bottom());
    Window.setMinimumSize(NeededClientSize());
    Window.resize(stored.expandedTo(NeededClientSize()));
  }
  // A window shown over another (the message window over the progress
  // window) is its transient, on X11 and Wayland alike.
  void StandOver(QWidget *below) {
    if (below == nullptr || below == &Window || !below->isVisible())
      return;
    Window.winId();
    Window.windowHandle()->setTransientParent(below->windowHandle());
  }
  // The layouts are the design at 96 pixels per inch with their font. With
  // another font or scale a label takes its text's size, controls that
  // would then overlap move down below the one above, and the window grows
  // to hold them all; at the design nothing moves.
  void FitControls() {
    std::vector<QtControl *> order;
    for (auto &c : Controls) {
      c->Widget->move(c->Layout.Left, c->Layout.Top);
      c->FitToText();
      order.push_back(c.get());
    }
    std::stable_sort(order.begin(), order.end(), [](const QtControl *a, const QtControl *b) {
      return a->Layout.Top < b->Layout.Top;
    });
    for (std::size_t i = 0; i < order.size(); ++i)
      for (std::size_t j = 0; j < i; ++j) {
        const QRect above = order[j]->Widget->geometry();
        QWidget *widget = order[i]->Widget;
        if (order[j]->Shown && order[i]->Shown && above.intersects(widget->geometry()))
          widget->move(widget->x(), above.bottom() + 1 + ControlGap);
      }
    if (Layout.Frame == FrameKind::Dialog)
      Window.setFixedSize(QSize(Layout.Width, Layout.Height).expandedTo(NeededClientSize()));
  }
  // Every control inside, with a margin to the right and bottom edges.
  QSize NeededClientSize() const {
    QRect all;
    for (const auto &c : Controls)
      if (c->Shown)
        all |= c->Widget->geometry();
    return QSize(all.right() + 1 + GrowMargin, all.bottom() + 1 + GrowMargin);
  }
  void Refit() {
    if (Window.isVisible()) {
      FitControls();
      if (Layout.Frame == FrameKind::Sizeable)
        Window.resize(Window.size().expandedTo(NeededClientSize()));
    }
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

  static constexpr int ControlGap = 4;
  // The window shown last: message boxes stand over it (null once it is gone).
  static inline QPointer<QWidget> ShownLast;
  // Room kept between the controls and the window's edges when it grows.
  static constexpr int GrowMargin = 8;

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
    if (layout.Bitmap == JumperBitmap) {
      image->setAccessibleName(JumperPictureName);
      image->setAccessibleDescription(JumperPictureDescription);
    }
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
  if (TextChanged)
    TextChanged();
}

// Auto-sized labels keep their top-left corner and take the text's size;
// word-wrapped ones keep their width and grow down to hold every line;
// buttons grow to their text.
void QtControl::FitToText() {
  const QFontMetrics metrics(Widget->font());
  if (Layout.Kind == ControlKind::Button) {
    const QSize text(metrics.horizontalAdvance(QString::fromStdString(Caption)), metrics.height());
    Widget->resize(QSize(Layout.Width, Layout.Height).expandedTo(text + ButtonPadding));
  } else if (Layout.Kind == ControlKind::Label && Layout.AutoSize) {
    const int width =
        Caption.empty() ? 0 : metrics.horizontalAdvance(QString::fromStdString(Caption));
    Widget->resize(width, metrics.height());
  } else if (Layout.Kind == ControlKind::Label && Layout.WordWrap) {
    Widget->resize(Layout.Width, std::max(Layout.Height, Widget->heightForWidth(Layout.Width)));
  }
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

// The desktop portal's file chooser where the desktop has one: Qt takes it
// through its portal theme, which keeps the desktop's own theme for all else.
// A theme the user chose stays.
bool UsePortalTheme() {
  const char *chosen = std::getenv("QT_QPA_PLATFORMTHEME");
  if (chosen != nullptr && *chosen != '\0')
    return false;
  const QString plugin =
      QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platformthemes/libqxdgdesktopportal.so";
  return QFileInfo::exists(plugin) && setenv("QT_QPA_PLATFORMTHEME", "xdgdesktopportal", 0) == 0;
}

// A file name in any letter case, as a pattern: FIRM6216.ROM gives
// [Ff][Ii][Rr][Mm]6216.[Rr][Oo][Mm].
QString AnyCase(const std::string &name) {
  QString pattern;
  for (const QChar c : QString::fromStdString(name)) {
    if (c.toLower() != c.toUpper())
      pattern += QString("[%1%2]").arg(c.toUpper(), c.toLower());
    else
      pattern += c;
  }
  return pattern;
}

class QtBackend : public Backend {
public:
  explicit QtBackend(const std::string &platform)
      : PortalTheme(UsePortalTheme()), App(ArgumentsFor(platform), Arguments) {
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
                    error ? "Error" : "Information", QString::fromStdString(text), QMessageBox::Ok,
                    QtForm::ShownLast);
    box.setTextFormat(Qt::PlainText);
    box.exec();
  }
  // No owner and no icon, as the system's box; a window of its own.
  bool SystemMessageBox(const char *text, const char *caption) override {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return true;
  }
  bool CanChooseFiles() const override { return true; }
  std::string ChooseFile(const std::string &title, const std::string &kind,
                         const std::vector<std::string> &names) override {
    QStringList patterns;
    for (const std::string &name : names)
      patterns << AnyCase(name);
    QFileDialog dialog(QtForm::ShownLast, QString::fromStdString(title),
                       QStandardPaths::writableLocation(QStandardPaths::DownloadLocation));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(QString::fromStdString(kind) + " (" + patterns.join(' ') + ")");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
      return "";
    return dialog.selectedFiles().first().toStdString();
  }
  void SetTitle(const std::string &title) override {
    QGuiApplication::setApplicationDisplayName(QString::fromStdString(title));
  }
  std::string Title() const override {
    return QGuiApplication::applicationDisplayName().toStdString();
  }

private:
  bool PortalTheme;
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
