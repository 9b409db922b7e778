#pragma once
// The program's icon, drawn rather than shipped as an image file. The
// installed theme icons are rendered from the same drawing at build time
// (velmora-icon), and data/velmora.svg traces it for the scalable size.

#include <QIcon>
#include <QImage>

namespace velmora {

QImage DrawAppIcon(int size);
QIcon AppIcon();

} // namespace velmora
