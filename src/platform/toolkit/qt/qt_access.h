// Reaching the Qt widgets behind toolkit objects (tests and tools only; the
// program never needs it).
#pragma once

#include "platform/toolkit/toolkit.h"

class QWidget;

namespace toolkit {
QWidget *QtWidgetOf(TForm &form);       // null unless the Qt backend built it
QWidget *QtWidgetOf(TControl &control); // null unless the Qt backend built it
} // namespace toolkit
