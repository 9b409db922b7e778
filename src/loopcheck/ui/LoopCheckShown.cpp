#include "loopcheck/ui/LoopCheckShown.h"

#include <QDateTime>

#include <charconv>
#include <cmath>
#include <string>

namespace velmora {

QString LoopCheckShown::Verdict(PointVerdict verdict)
{
    switch (verdict) {
    case PointVerdict::Pass:
        return tr("合格");
    case PointVerdict::Adjust:
        return tr("要調整");
    case PointVerdict::Fail:
        return tr("不合格");
    }
    return {};
}

QString LoopCheckShown::Verdict(TestVerdict verdict)
{
    switch (verdict) {
    case TestVerdict::Pass:
        return Verdict(PointVerdict::Pass);
    case TestVerdict::Adjust:
        return Verdict(PointVerdict::Adjust);
    case TestVerdict::Fail:
        return Verdict(PointVerdict::Fail);
    case TestVerdict::Aborted:
        return tr("中止");
    }
    return {};
}

QString LoopCheckShown::Kind(LoopTestKind kind)
{
    switch (kind) {
    case LoopTestKind::AsFound:
        return tr("調整前");
    case LoopTestKind::AsLeft:
        return tr("調整後");
    case LoopTestKind::AsFoundAndLeft:
        return tr("調整前・調整後");
    }
    return {};
}

QColor LoopCheckShown::Colour(PointVerdict verdict)
{
    switch (verdict) {
    case PointVerdict::Pass:
        return QColor(0xc8, 0xe6, 0xc9);
    case PointVerdict::Adjust:
        return QColor(0xff, 0xe0, 0x82);
    case PointVerdict::Fail:
        return QColor(0xff, 0xab, 0xab);
    }
    return Qt::white;
}

QColor LoopCheckShown::Colour(TestVerdict verdict)
{
    switch (verdict) {
    case TestVerdict::Pass:
        return Colour(PointVerdict::Pass);
    case TestVerdict::Adjust:
        return Colour(PointVerdict::Adjust);
    case TestVerdict::Fail:
        return Colour(PointVerdict::Fail);
    case TestVerdict::Aborted:
        break;
    }
    return QColor(0xdd, 0xdd, 0xdd);
}

QString LoopCheckShown::LocalTime(std::int64_t us)
{
    return QDateTime::fromMSecsSinceEpoch(us / 1000).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

std::optional<double> LoopCheckShown::TypedNumber(const QString& text)
{
    // Compatibility form: "１２．５" and "－３" as an input method types them.
    std::string typed = text.normalized(QString::NormalizationForm_KC).trimmed().toStdString();
    if (!typed.empty() && typed.front() == '+')
        typed.erase(0, 1);
    double value = 0.0;
    const char* end = typed.data() + typed.size();
    const auto read = std::from_chars(typed.data(), end, value);
    if (typed.empty() || read.ec != std::errc() || read.ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double LoopCheckShown::LargestError(const LoopResult& result)
{
    double worst = 0.0;
    for (const LoopPointResult& p : result.points)
        if (std::fabs(p.errorPercent) > std::fabs(worst))
            worst = p.errorPercent;
    return worst;
}

} // namespace velmora
