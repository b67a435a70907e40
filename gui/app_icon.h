// The application's icon, drawn at start-up.
#pragma once

#include <QIcon>

namespace vantor::gui {

// A QR-like tile in five sizes from 16 to 256 pixels.
QIcon app_icon();

} // namespace vantor::gui
