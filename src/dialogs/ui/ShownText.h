#pragma once
// A text of the core as the operator reads it: through the core's
// catalogue (platform/Translate.h), as a QString. The widgets' own texts go
// through Qt's tr() instead.
//
// Thread contract: UI thread.

#include <QString>

#include <string>

#include "platform/Translate.h"

namespace velmora {

inline QString Shown(const char* text)
{
    return QString::fromUtf8(Tr(text));
}

inline QString Shown(const std::string& text)
{
    const std::string shown = Tr(text);
    return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

} // namespace velmora
