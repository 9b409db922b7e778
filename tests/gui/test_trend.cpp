// The trend window: the strips hold the record's levels, off spans, alarms
// and automatic-output runs of the shown period, from the level before it;
// the period is exported as PNG, SVG and CSV; the window opens from the
// menu on the record of a real session and follows it live.
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTranslator>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>

#include "FakeClock.h"
#include "ScriptedPrompter.h"
#include "SimChannel.h"
#include "SimUnit.h"
#include "app/CMainFrame.h"
#include "app/CVelmoraApp.h"
#include "model/GeneratorModel.h"
#include "panel/CVelmoraView.h"
#include "panel/PanelTick.h"
#include "platform/Language.h"
#include "record/RecordDatabase.h"
#include "record/RecordFormat.h"
#include "record/ui/CTrendChart.h"
#include "record/ui/CTrendDlg.h"

namespace velmora {
namespace {

constexpr std::int64_t kSecond = 1'000'000;
// The shown period's begin: 2026-05-28 20:26:40 UTC.
constexpr std::int64_t kT0 = 1'780'000'000 * kSecond;

RecordEvent Event(std::int64_t t, const char* kind, int channel = 0, const char* source = "panel")
{
    RecordEvent e;
    e.timeUs = kT0 + t;
    e.source = source;
    e.kind = kind;
    if (channel > 0)
        e.Set(RecordField::Channel, channel);
    return e;
}

// The frames of one change: both channels' settings at once.
void Frames(std::vector<RecordEvent>& out, std::int64_t t, double ch1, bool on1, double ch2, bool on2,
            const char* source = "panel")
{
    out.push_back(Event(t, "settings", 1, source)
                      .Set(RecordField::Range, "4_20mA")
                      .Set(RecordField::Value, RecordValue(ch1))
                      .Set(RecordField::Unit, "mA")
                      .Set(RecordField::On, RecordValue(on1)));
    out.push_back(Event(t, "settings", 2, source)
                      .Set(RecordField::Range, "0_10V")
                      .Set(RecordField::Value, RecordValue(ch2))
                      .Set(RecordField::Unit, "V")
                      .Set(RecordField::On, RecordValue(on2)));
}

// A bench session around [kT0, kT0 + 600 s): channel 1 steps on 4-20 mA,
// its temperature alarm comes and goes, it is switched off for a while;
// channel 2 is switched on and runs a sawtooth; the unit is lost for 10 s.
std::vector<RecordEvent> Session()
{
    std::vector<RecordEvent> e;
    e.push_back(Event(-30 * kSecond, "connect"));
    Frames(e, -30 * kSecond, 4.0, true, 0.0, false);
    Frames(e, 20 * kSecond, 8.0, true, 0.0, false);
    e.push_back(
        Event(60 * kSecond, "alarm", 1).Set(RecordField::Raised, RecordValue(true)).Set(RecordField::Text, "温度異常"));
    e.push_back(Event(115 * kSecond, "alarm", 1).Set(RecordField::Raised, RecordValue(false)));
    Frames(e, 120 * kSecond, 8.0, true, 2.0, true);
    e.push_back(Event(150 * kSecond, "auto", 2).Set(RecordField::Action, "start").Set(RecordField::Mode, "sawtooth"));
    for (int i = 1; i <= 14; ++i)
        Frames(e, (150 + 10 * i) * kSecond, 8.0, true, 2.0 + 0.5 * i, true, "auto");
    e.push_back(Event(300 * kSecond, "auto", 2).Set(RecordField::Action, "stop").Set(RecordField::Mode, "sawtooth"));
    Frames(e, 330 * kSecond, 8.0, false, 9.0, true);
    Frames(e, 400 * kSecond, 12.0, true, 9.0, true);
    e.push_back(Event(500 * kSecond, "lost"));
    e.push_back(Event(510 * kSecond, "connect"));
    Frames(e, 510 * kSecond, 12.0, true, 9.0, true);
    Frames(e, 700 * kSecond, 16.0, true, 9.0, true); // after the period
    return e;
}

double Ms(std::int64_t t)
{
    return static_cast<double>(kT0 + t) / 1000.0;
}

class TrendWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("record.sqlite3")).toStdString();
    }

    void Write(std::vector<RecordEvent> events)
    {
        RecordDatabase db;
        ASSERT_EQ(db.OpenForWriting(m_path), RecordOpenResult::Ok) << db.LastError();
        ASSERT_TRUE(db.Append(events)) << db.LastError();
    }

    static CTrendChart* Strip(CTrendDlg& trend, int channel)
    {
        for (CTrendChart* chart : trend.Charts()) {
            if (chart->Channel() == channel)
                return chart;
        }
        return nullptr;
    }

    QTemporaryDir m_dir;
    std::string m_path;
    test::ScriptedPrompter prompter;
};

TEST_F(TrendWindow, StripsHoldThePeriodsEventsAndItsExportsHoldThePeriod)
{
    const std::vector<RecordEvent> session = Session();
    Write(session);
    CTrendDlg trend(m_path, prompter);
    trend.resize(1000, 700);
    trend.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&trend));
    QSignalSpy shown(&trend, &CTrendDlg::DataShown);
    trend.ShowPeriod(kT0, kT0 + 600 * kSecond);
    ASSERT_TRUE(shown.wait(10'000));
    EXPECT_FALSE(trend.IsLive());
    ASSERT_EQ(trend.Charts().size(), 2u);
    CTrendChart* ch1 = Strip(trend, 1);
    CTrendChart* ch2 = Strip(trend, 2);
    ASSERT_NE(ch1, nullptr);
    ASSERT_NE(ch2, nullptr);

    // Channel 1 from the level before the period, a step at each change,
    // broken while the unit was away, up to the period's end.
    const std::vector<QPointF> level1 = ch1->LevelPoints();
    const std::vector<QPointF> want1 = {{Ms(0), 4.0},
                                        {Ms(20 * kSecond), 4.0},
                                        {Ms(20 * kSecond), 8.0},
                                        {Ms(400 * kSecond), 8.0},
                                        {Ms(400 * kSecond), 12.0},
                                        {Ms(500 * kSecond), 12.0},
                                        {Ms(510 * kSecond), 12.0},
                                        {Ms(600 * kSecond), 12.0}};
    EXPECT_EQ(level1, want1);
    EXPECT_EQ(ch1->Spans(CTrendChart::Band::Off),
              (std::vector<std::pair<double, double>>{{Ms(330 * kSecond), Ms(400 * kSecond)}}));
    EXPECT_EQ(ch1->Spans(CTrendChart::Band::Alarm),
              (std::vector<std::pair<double, double>>{{Ms(60 * kSecond), Ms(115 * kSecond)}}));
    EXPECT_EQ(ch1->AlarmLabels(), QStringList{QStringLiteral("温度異常")});
    EXPECT_EQ(ch1->Spans(CTrendChart::Band::Disconnected),
              (std::vector<std::pair<double, double>>{{Ms(500 * kSecond), Ms(510 * kSecond)}}));
    EXPECT_TRUE(ch1->Spans(CTrendChart::Band::Auto).empty());
    // The legend names the level and only the bands the strip shows.
    EXPECT_EQ(ch1->LegendTexts(),
              (QStringList{QStringLiteral("CH1"), QStringLiteral("アラーム"), QStringLiteral("出力ＯＦＦ"),
                           QStringLiteral("未接続")}));
    EXPECT_EQ(ch1->ValueAxisTitle(), QStringLiteral("CH1 出力 [mA]"));

    // Channel 2: off until 120 s, then the sawtooth's 14 steps from 160 s.
    const std::vector<QPointF> level2 = ch2->LevelPoints();
    ASSERT_FALSE(level2.empty());
    EXPECT_EQ(level2.front(), QPointF(Ms(0), 0.0));
    EXPECT_EQ(std::count_if(level2.begin(), level2.end(), [](const QPointF& p) { return p.y() == 9.0; }), 4);
    EXPECT_EQ(level2.back(), QPointF(Ms(600 * kSecond), 9.0));
    EXPECT_EQ(ch2->Spans(CTrendChart::Band::Off), (std::vector<std::pair<double, double>>{{Ms(0), Ms(120 * kSecond)}}));
    EXPECT_EQ(ch2->Spans(CTrendChart::Band::Auto),
              (std::vector<std::pair<double, double>>{{Ms(150 * kSecond), Ms(300 * kSecond)}}));
    EXPECT_TRUE(ch2->Spans(CTrendChart::Band::Alarm).empty());
    EXPECT_EQ(ch2->LegendTexts(),
              (QStringList{QStringLiteral("CH2"), QStringLiteral("自動出力"), QStringLiteral("出力ＯＦＦ"),
                           QStringLiteral("未接続")}));
    EXPECT_EQ(ch2->ValueAxisTitle(), QStringLiteral("CH2 出力 [V]"));

    // What held at a time, as the hover shows it.
    EXPECT_EQ(ch1->Readout(kT0 + 75 * kSecond).split(QLatin1Char('\n')).mid(1),
              (QStringList{QStringLiteral("CH1: 8.000 mA"), QStringLiteral("アラーム: 温度異常")}));
    EXPECT_EQ(ch2->Readout(kT0 + 205 * kSecond).split(QLatin1Char('\n')).mid(1),
              (QStringList{QStringLiteral("CH2: 4.500 V"), QStringLiteral("自動出力: のこぎり波")}));
    EXPECT_TRUE(ch1->Readout(kT0 + 505 * kSecond).contains(QStringLiteral("CH1: —\n未接続")));
    EXPECT_NE(trend.StatusText().indexOf(QStringLiteral("イベント 44 件")), -1) << trend.StatusText().toStdString();

    // The picture: the strips at the size they have, under the heading.
    const QString png = m_dir.filePath(QStringLiteral("trend.png"));
    ASSERT_TRUE(trend.ExportPng(png));
    const QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), trend.RenderSize());
    EXPECT_GT(image.height(), ch1->height() + ch2->height());
    // The level line in channel 1's colour is drawn.
    bool coloured = false;
    for (int y = 0; y < image.height() && !coloured; ++y)
        for (int x = 0; x < image.width() && !coloured; ++x)
            coloured = image.pixelColor(x, y) == CTrendChart::ChannelColour(1);
    EXPECT_TRUE(coloured);

    const QString svg = m_dir.filePath(QStringLiteral("trend.svg"));
    ASSERT_TRUE(trend.ExportSvg(svg));
    QFile svgFile(svg);
    ASSERT_TRUE(svgFile.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&svgFile);
    // Each channel's level is a path in its colour, one a stretch with a
    // unit (the unit was away for ten seconds); the alarm's text is text.
    std::map<QString, int> pathsByColour;
    QStringList strokes;
    QString root;
    QString viewBox;
    bool alarmText = false;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement && xml.name() == QLatin1String("g"))
            strokes.removeLast();
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (root.isEmpty()) {
            root = xml.name().toString();
            viewBox = xml.attributes().value(QLatin1String("viewBox")).toString();
        }
        if (xml.name() == QLatin1String("g"))
            strokes << xml.attributes().value(QLatin1String("stroke")).toString();
        if (xml.name() == QLatin1String("path") && !strokes.isEmpty())
            ++pathsByColour[strokes.back()];
        if (xml.name() == QLatin1String("text") &&
            xml.readElementText(QXmlStreamReader::IncludeChildElements).contains(QStringLiteral("温度異常")))
            alarmText = true;
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(root, QStringLiteral("svg"));
    EXPECT_EQ(viewBox, QStringLiteral("0 0 %1 %2").arg(trend.RenderSize().width()).arg(trend.RenderSize().height()));
    EXPECT_EQ(pathsByColour[CTrendChart::ChannelColour(1).name()], 2);
    EXPECT_EQ(pathsByColour[CTrendChart::ChannelColour(2).name()], 2);
    EXPECT_TRUE(alarmText);

    // The CSV: the record's header and every event of the period, in time
    // order, nothing before or after it.
    const QString csv = m_dir.filePath(QStringLiteral("trend.csv"));
    QSignalSpy exported(&trend, &CTrendDlg::CsvExported);
    ASSERT_TRUE(trend.ExportCsv(csv));
    ASSERT_TRUE(exported.wait(10'000));
    EXPECT_EQ(exported.front().at(2).toString(), QString());
    QFile csvFile(csv);
    ASSERT_TRUE(csvFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csvFile.readAll().split('\n');
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.front() + '\n', QByteArray::fromStdString(RecordCsvHeader()));
    std::vector<std::string> want;
    for (const RecordEvent& e : session) {
        if (e.timeUs >= kT0 && e.timeUs < kT0 + 600 * kSecond)
            want.push_back(IsoTimeText(e.timeUs) + "," + e.source + "," + e.kind + ",");
    }
    ASSERT_EQ(lines.size(), static_cast<qsizetype>(want.size()) + 2); // the header, the rows, the last line end
    EXPECT_EQ(exported.front().at(1).toLongLong(), static_cast<qint64>(want.size()));
    for (std::size_t i = 0; i < want.size(); ++i)
        EXPECT_NE(lines[static_cast<qsizetype>(i) + 1].indexOf(want[i].c_str()), -1) << i;
    EXPECT_NE(trend.StatusText().indexOf(QStringLiteral("trend.csv")), -1);
}

TEST_F(TrendWindow, TheWheelAndTheControlsChooseThePeriodAndLiveComesBack)
{
    Write(Session());
    CTrendDlg trend(m_path, prompter);
    trend.resize(1000, 700);
    trend.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&trend));
    // Live by default: the last ten minutes up to now.
    EXPECT_TRUE(trend.IsLive());
    EXPECT_EQ(trend.EndUs() - trend.BeginUs(), 600 * kSecond);
    EXPECT_LE(std::llabs(trend.EndUs() - WallClockMicros()), 5 * kSecond);

    QSignalSpy shown(&trend, &CTrendDlg::DataShown);
    trend.ShowPeriod(kT0, kT0 + 600 * kSecond);
    ASSERT_TRUE(shown.wait(10'000));
    CTrendChart* strip = trend.Charts().front();
    // One notch up at the plot's middle: a fifth less either side of it.
    const QRectF plot = strip->PlotArea();
    const QPointF middle = plot.center();
    const std::int64_t at = strip->TimeAtX(middle.x());
    QWheelEvent wheel(middle, strip->mapToGlobal(middle.toPoint()), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(strip, &wheel);
    EXPECT_FALSE(trend.IsLive());
    EXPECT_NEAR(static_cast<double>(trend.EndUs() - trend.BeginUs()), 480.0 * kSecond, 2.0 * kSecond);
    EXPECT_NEAR(static_cast<double>(at - trend.BeginUs()), 0.8 * static_cast<double>(at - kT0), 2.0 * kSecond);

    // A drag with the left button zooms to the times it spans.
    ASSERT_TRUE(shown.wait(10'000));
    const QPoint from(static_cast<int>(plot.left() + plot.width() * 0.25), static_cast<int>(middle.y()));
    const QPoint to(static_cast<int>(plot.left() + plot.width() * 0.5), static_cast<int>(middle.y()));
    const std::int64_t a = strip->TimeAtX(from.x());
    const std::int64_t b = strip->TimeAtX(to.x());
    QTest::mousePress(strip, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(strip, to);
    QTest::mouseRelease(strip, Qt::LeftButton, Qt::NoModifier, to);
    EXPECT_NEAR(static_cast<double>(trend.BeginUs()), static_cast<double>(a), 0.01 * kSecond);
    EXPECT_NEAR(static_cast<double>(trend.EndUs()), static_cast<double>(b), 0.01 * kSecond);

    // Live again: back to the last ten minutes, following the record.
    trend.ShowLive();
    EXPECT_TRUE(trend.IsLive());
    ASSERT_TRUE(shown.wait(10'000));
    EXPECT_EQ(trend.EndUs() - trend.BeginUs(), 600 * kSecond);
}

TEST_F(TrendWindow, InEnglishNoTextIsJapanese)
{
    Write(Session());
    QTranslator english;
    ASSERT_TRUE(english.load(QStringLiteral(":/i18n/velmora_en.qm")));
    struct Scope {
        QTranslator& translator;
        explicit Scope(QTranslator& t) : translator(t)
        {
            SetLanguage(Language::English);
            QCoreApplication::installTranslator(&translator);
        }
        ~Scope()
        {
            QCoreApplication::removeTranslator(&translator);
            SetLanguage(Language::Japanese);
        }
    } scope(english);

    CTrendDlg trend(m_path, prompter);
    trend.resize(1000, 700);
    trend.show();
    QSignalSpy shown(&trend, &CTrendDlg::DataShown);
    trend.ShowPeriod(kT0, kT0 + 600 * kSecond);
    ASSERT_TRUE(shown.wait(10'000));
    ASSERT_EQ(trend.Charts().size(), 2u);

    QStringList texts{trend.windowTitle(), trend.StatusText()};
    for (const QLabel* label : trend.findChildren<QLabel*>())
        texts << label->text();
    for (const QAbstractButton* button : trend.findChildren<QAbstractButton*>()) {
        texts << button->text() << button->toolTip();
        if (const auto* push = qobject_cast<const QPushButton*>(button); push != nullptr && push->menu() != nullptr)
            for (const QAction* action : push->menu()->actions())
                texts << action->text();
    }
    for (const QComboBox* combo : trend.findChildren<QComboBox*>())
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
    for (CTrendChart* chart : trend.Charts()) {
        texts << chart->LegendTexts() << chart->AlarmLabels();
        texts << chart->ValueAxisTitle() << chart->TimeAxisTitle();
        for (int t = 0; t < 600; t += 25)
            texts << chart->Readout(kT0 + t * kSecond);
    }
    QStringList japanese;
    for (const QString& text : texts) {
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            if ((u >= 0x3001 && u <= 0x30FF) || (u >= 0x4E00 && u <= 0x9FFF) || (u >= 0xFF01 && u <= 0xFF9F)) {
                japanese << text;
                break;
            }
        }
    }
    EXPECT_EQ(japanese, QStringList());
    CTrendChart* ch1 = Strip(trend, 1);
    EXPECT_EQ(ch1->LegendTexts(),
              (QStringList{QStringLiteral("CH1"), QStringLiteral("Alarm"), QStringLiteral("Output off"),
                           QStringLiteral("Not connected")}));
    // The alarm's text, recorded in Japanese, reads in English: in full on
    // hover, cut to the band's length in it.
    EXPECT_TRUE(ch1->Readout(kT0 + 75 * kSecond).endsWith(QStringLiteral("Alarm: Temperature alarm")));
    ASSERT_EQ(ch1->AlarmLabels().size(), 1);
    QString label = ch1->AlarmLabels().front();
    EXPECT_TRUE(QStringLiteral("Temperature alarm").startsWith(label.remove(QChar(0x2026)))) << label.toStdString();
    EXPECT_TRUE(Strip(trend, 2)->Readout(kT0 + 205 * kSecond).endsWith(QStringLiteral("Automatic output: Sawtooth")));
}

// The application over an in-process simulated unit, its record in a
// folder of this test's own.
class TrendSession : public TrendWindow {
protected:
    void SetUp() override
    {
        TrendWindow::SetUp();
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("config")));
        if (const char* before = std::getenv("VELMORA_RECORD"))
            m_recordBefore = before;
        setenv("VELMORA_RECORD", m_path.c_str(), 1);
        m_runtime.reset(new QTemporaryDir);
        setenv("XDG_RUNTIME_DIR", m_runtime->path().toLocal8Bit().constData(), 1);
    }
    void TearDown() override
    {
        if (m_recordBefore)
            setenv("VELMORA_RECORD", m_recordBefore->c_str(), 1);
        else
            unsetenv("VELMORA_RECORD");
        unsetenv("XDG_RUNTIME_DIR");
    }

    std::unique_ptr<CVelmoraApp> Start(bool record)
    {
        unit.SetChannelCount(2);
        auto serial = std::make_unique<sim::SimChannel>(unit, clock);
        auto link = std::make_unique<GeneratorLink>(clock, prompter, std::move(serial), nullptr);
        const std::string wd = m_dir.path().toStdString();
        auto app = std::make_unique<CVelmoraApp>(
            prompter, clock, [wd] { return std::optional<std::string>(wd); }, std::move(link));
        app->SetTickSourceFactory([] { return std::make_unique<ManualTickSource>(); });
        prompter.circuitAnswers = {2};
        AppOptions options;
        options.ports = {"/dev/velmora-test-unit"};
        options.connect = true;
        options.record = record;
        EXPECT_TRUE(app->InitInstance(options));
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        return app;
    }

    void Tick(CVelmoraApp& app, int count)
    {
        for (int i = 0; i < count; ++i) {
            clock.AdvanceMs(50);
            app.View()->OnPanelTick(PanelTickEvent::kTimerParam);
        }
    }

    std::optional<std::string> m_recordBefore;
    std::unique_ptr<QTemporaryDir> m_runtime;
    test::FakeClock clock;
    sim::SimUnit unit;
};

TEST_F(TrendSession, OpensFromTheMenuOnTheSessionsRecordAndFollowsItLive)
{
    auto app = Start(true);
    ASSERT_TRUE(app->View()->IsConnected());
    ASSERT_EQ(app->RecordPath(), m_path);
    QAction* open = app->MainFrame()->TrendAction();
    ASSERT_TRUE(open->isEnabled());

    // Channel 1 on, its temperature alarm raised and cleared.
    app->View()->ToggleOutput(0);
    Tick(*app, 4);
    unit.Channel(0).statusWord = 0x001;
    Tick(*app, 6);
    unit.Channel(0).statusWord = 0;
    Tick(*app, 6);
    app->Record()->Flush();

    open->trigger();
    CTrendDlg* trend = app->Trend();
    ASSERT_NE(trend, nullptr);
    EXPECT_TRUE(trend->isVisible());
    EXPECT_TRUE(trend->IsLive());
    EXPECT_TRUE(QTest::qWaitFor([&] { return trend->Data() != nullptr && trend->Charts().size() == 2; }, 10'000));
    // Opening again brings the same window forward.
    open->trigger();
    EXPECT_EQ(app->Trend(), trend);

    // What the session recorded is on the strips: the output on, the alarm
    // with its text.
    RecordDatabase db;
    ASSERT_EQ(db.OpenForReading(m_path), RecordOpenResult::Ok);
    RecordFilter settings;
    settings.kinds = {"settings"};
    settings.channel = 1;
    settings.order = RecordFilter::Order::Time;
    std::vector<RecordEvent> frames;
    db.Query(settings, [&](const RecordEvent& e) {
        frames.push_back(e);
        return true;
    });
    ASSERT_FALSE(frames.empty());
    CTrendChart* ch1 = Strip(*trend, 1);
    ASSERT_NE(ch1, nullptr);
    ASSERT_FALSE(ch1->LevelPoints().empty());
    EXPECT_EQ(ch1->LevelPoints().back().y(), std::get<double>(frames.back().Get(RecordField::Value)));
    ASSERT_EQ(trend->Data()->channels[0].alarms.size(), 1u);
    EXPECT_EQ(trend->Data()->channels[0].alarms[0].text, AlarmText(kAlarmOverTemperature));
    EXPECT_FALSE(trend->Data()->channels[0].alarms[0].open);
    const std::int64_t seen = trend->Data()->lastSeq;

    // Live: channel 1 switched off again shows at the next poll.
    QSignalSpy shown(trend, &CTrendDlg::DataShown);
    app->View()->ToggleOutput(0);
    Tick(*app, 4);
    app->Record()->Flush();
    trend->PollNow();
    ASSERT_TRUE(shown.wait(10'000));
    EXPECT_GT(trend->Data()->lastSeq, seen);
    ASSERT_FALSE(trend->Data()->channels[0].off.empty());
    EXPECT_TRUE(trend->Data()->channels[0].off.back().open);

    // The window goes with the application.
    const QPointer<CTrendDlg> gone(trend);
    app.reset();
    EXPECT_TRUE(gone.isNull());
}

TEST_F(TrendSession, WithoutARecordTheMenuSaysWhy)
{
    auto app = Start(false);
    QAction* open = app->MainFrame()->TrendAction();
    EXPECT_FALSE(open->isEnabled());
    EXPECT_NE(open->toolTip().indexOf(QStringLiteral("--no-record")), -1) << open->toolTip().toStdString();
    open->trigger();
    EXPECT_EQ(app->Trend(), nullptr);
}

} // namespace
} // namespace velmora
