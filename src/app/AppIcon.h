#pragma once
// The program's icon, drawn rather than shipped as an image file.

#include <QIcon>

namespace velmora {

QIcon AppIcon();

} // namespace velmora
