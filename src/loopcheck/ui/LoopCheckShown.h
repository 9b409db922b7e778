#pragma once
// What the loop-check windows show of the core's values: the verdicts and
// the kinds of test in words, the verdicts' colours, times in local time,
// numbers typed by the technician, the largest error of a result.
//
// Thread contract: UI thread (the texts come from Qt's translator).

#include <QColor>
#include <QCoreApplication>
#include <QString>

#include <cstdint>
#include <optional>

#include "loopcheck/LoopResult.h"
#include "loopcheck/LoopTag.h"

namespace velmora {

class LoopCheckShown {
    Q_DECLARE_TR_FUNCTIONS(LoopCheckShown)
public:
    static QString Verdict(PointVerdict verdict);
    static QString Verdict(TestVerdict verdict);
    static QString Kind(LoopTestKind kind);
    // Background colours of a verdict's cell: green, amber, red, grey.
    static QColor Colour(PointVerdict verdict);
    static QColor Colour(TestVerdict verdict);
    // "2026-12-10 14:21" in local time.
    static QString LocalTime(std::int64_t us);
    // A number the technician typed: full-width digits and signs as the
    // input method types them are taken, blanks at the ends ignored, and
    // nothing for anything that is not one finite decimal number (no hex,
    // no "inf").
    static std::optional<double> TypedNumber(const QString& text);
    // The error of the point furthest from its expected reading, signed
    // (0 for a result without points).
    static double LargestError(const LoopResult& result);
};

inline QString LoopText(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string LoopUtf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

} // namespace velmora
