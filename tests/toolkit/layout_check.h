// What a reader would see wrong in a window as drawn, from the toolkit's own
// geometry: a label whose text is wider or taller than the label, a control
// outside the window, two controls on top of each other. And a dark palette
// as a desktop's dark theme gives, to look at the windows in.
#pragma once

#include <QFontMetrics>
#include <QLabel>
#include <QPalette>
#include <QStringList>
#include <QWidget>

inline QStringList LayoutProblems(const QWidget *window) {
  QStringList problems;
  QList<QWidget *> shown;
  for (QWidget *w : window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
    if (w->isVisibleTo(window) && !w->geometry().isEmpty())
      shown << w;
  for (const QWidget *w : shown) {
    const QString name = w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName();
    if (!window->rect().contains(w->geometry()))
      problems << name + " reaches outside the window";
    const auto *label = qobject_cast<const QLabel *>(w);
    if (label == nullptr || label->text().isEmpty())
      continue;
    const QFontMetrics m(label->font());
    if (label->wordWrap()) {
      if (label->heightForWidth(label->width()) > label->height())
        problems << name + ": the wrapped text is taller than the label";
      for (const QString &word : label->text().split(' ', Qt::SkipEmptyParts))
        if (m.horizontalAdvance(word) > label->width())
          problems << name + ": \"" + word + "\" is wider than the label";
    } else if (m.horizontalAdvance(label->text()) > label->width() ||
               m.height() > label->height()) {
      problems << name + ": the text is cut off";
    }
  }
  for (int i = 0; i < shown.size(); ++i)
    for (int j = i + 1; j < shown.size(); ++j)
      if (shown[i]->geometry().intersects(shown[j]->geometry()))
        problems << shown[i]->objectName() + " overlaps " + shown[j]->objectName();
  return problems;
}

inline QPalette DarkPalette() {
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(40, 40, 40));
  dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
  dark.setColor(QPalette::Button, QColor(60, 60, 60));
  dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
  dark.setColor(QPalette::Base, QColor(30, 30, 30));
  dark.setColor(QPalette::Text, QColor(230, 230, 230));
  return dark;
}
