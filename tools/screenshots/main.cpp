// velmora-screenshots --lang en|ja OUTDIR: pictures of the window and of
// every dialog, as the program shows them on a simulated unit, saved as
// OUTDIR/NAME.png. scripts/screenshots (make screenshots) runs it under a
// virtual X server for both languages.
//
// The unit is simulated in the process: the serial side as velmora-sim
// plays it, the USB bridge with its boot-mode microcontroller for the
// firmware update, which runs on the real clock so that the dialog can be
// caught halfway through programming.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QDialog>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SimBridge.h"
#include "SimChannel.h"
#include "SimFtdiDevice.h"
#include "SimUnit.h"
#include "app/AppSetup.h"
#include "app/CAboutDlg.h"
#include "app/CMainFrame.h"
#include "app/CVelmoraApp.h"
#include "dialogs/ui/CDacSelect.h"
#include "dialogs/ui/ConverterVersionDlg.h"
#include "firmware/ImageFile.h"
#include "firmware/ui/CProgramUp.h"
#include "link/FtdiChannel.h"
#include "loopcheck/LoopCheckDatabase.h"
#include "loopcheck/LoopCheckProcedure.h"
#include "loopcheck/ui/CLoopCheckDlg.h"
#include "loopcheck/ui/CLoopHistoryDlg.h"
#include "loopcheck/ui/CLoopTestView.h"
#include "model/RangeTable.h"
#include "model/GeneratorModel.h"
#include "panel/CVelmoraView.h"
#include "platform/Clock.h"
#include "platform/Language.h"
#include "platform/Translate.h"
#include "protocol/GeneratorLink.h"
#include "record/RecordDatabase.h"
#include "record/ui/CTrendDlg.h"

using namespace velmora;
namespace fs = std::filesystem;

namespace {

// Answers every question with its first button and chooses the image file.
class ShotPrompter final : public Prompter {
public:
    PromptAnswer Message(const std::string& text, const std::string&, PromptIcon, PromptButtons buttons) override
    {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return buttons == PromptButtons::YesNo || buttons == PromptButtons::YesNoCancel ? PromptAnswer::Yes
                                                                                        : PromptAnswer::Ok;
    }
    std::optional<std::string> ChooseOpenFile(const std::string&, const std::vector<FileFilter>&) override
    {
        return file;
    }
    std::optional<std::string> ChooseSaveFile(const std::string&, const std::vector<FileFilter>&, const std::string&,
                                              const std::string&) override
    {
        return std::nullopt;
    }
    std::optional<int> AskCircuitCount() override { return 2; }
    void SetBusy(bool) override { }
    std::optional<std::string> file;
};

class Shooter {
public:
    explicit Shooter(QString dir) : m_dir(std::move(dir)) { }

    bool Save(QWidget& w, const char* name)
    {
        w.show();
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
        const QString path = m_dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
        const bool ok = w.grab().toImage().save(path);
        std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "saved" : "cannot save", qPrintable(path));
        m_bOk = m_bOk && ok;
        return ok;
    }
    bool Ok() const { return m_bOk; }

private:
    QString m_dir;
    bool m_bOk = true;
};

// The program on a simulated unit of `channels` circuits, connected.
struct Session {
    explicit Session(int channels, const fs::path& folder)
    {
        unit.SetChannelCount(channels);
        auto serial = std::make_unique<sim::SimChannel>(unit, SteadyClock());
        auto ftdi = std::make_unique<FtdiChannel>(std::make_unique<sim::SimFtdiDevice>(bridge, SteadyClock()),
                                                  SteadyClock(), prompter);
        auto link = std::make_unique<GeneratorLink>(SteadyClock(), prompter, std::move(serial), std::move(ftdi));
        const std::string wd = folder.string();
        app = std::make_unique<CVelmoraApp>(
            prompter, SteadyClock(), [wd] { return std::optional<std::string>(wd); }, std::move(link));
        app->SetTickSourceFactory([] { return std::make_unique<ManualTickSource>(); });
        AppOptions options;
        options.ports = {"/dev/ttyUSB0"};
        options.connect = true;
        if (!app->InitInstance(options))
            return;
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

    // Some life on the panel: outputs on, set values, an automatic output.
    void Dress()
    {
        CVelmoraView& view = *app->View();
        GeneratorModel& model = app->Document()->m_model;
        for (int c = 0; c < model.ChannelsInUse(); ++c) {
            view.ApplyPreset(c, c % 4);
            if (c % 2 == 0)
                view.ToggleOutput(c);
        }
        for (int i = 0; i < 6; ++i)
            view.OnPanelTick(PanelTickEvent::kTimerParam);
        view.RefreshPanel();
    }

    ShotPrompter prompter;
    sim::SimUnit unit;
    sim::SimBridge bridge{SteadyClock()};
    std::unique_ptr<CVelmoraApp> app;
};

// A bench session of the last eleven minutes, as the window records it:
// channel 1 stepped by hand on 4-20 mA, its over-temperature alarm raised
// for a minute, switched off for a minute; channel 2 running a sawtooth on
// 0-10 V, paused for half a minute, then stopped; the unit lost for 15 s.
// Every change sends both channels' frames, as the panel does.
bool WriteBenchRecord(const std::string& path, const std::string& overTemperature)
{
    constexpr std::int64_t kS = 1'000'000;
    const std::int64_t t0 = WallClockMicros() - 660 * kS;
    struct Change {
        std::int64_t t;
        std::function<void(std::vector<RecordEvent>&)> apply;
    };
    std::vector<Change> changes;
    double level1 = 4.0, level2 = 0.0;
    bool on1 = false, on2 = false;
    const auto event = [t0](std::vector<RecordEvent>& out, std::int64_t t, const char* kind, int channel,
                            const char* source) -> RecordEvent& {
        RecordEvent e;
        e.timeUs = t0 + t;
        e.source = source;
        e.kind = kind;
        if (channel > 0)
            e.Set(RecordField::Channel, channel);
        out.push_back(e);
        return out.back();
    };
    const auto frames = [&](std::vector<RecordEvent>& out, std::int64_t t, const char* source) {
        event(out, t, "settings", 1, source)
            .Set(RecordField::Range, "4_20mA")
            .Set(RecordField::Value, RecordValue(level1))
            .Set(RecordField::Unit, "mA")
            .Set(RecordField::On, RecordValue(on1))
            .Set(RecordField::Code, static_cast<int>((level1 - 4.0) / 16.0 * 65535.0));
        event(out, t, "settings", 2, source)
            .Set(RecordField::Range, "0_10V")
            .Set(RecordField::Value, RecordValue(level2))
            .Set(RecordField::Unit, "V")
            .Set(RecordField::On, RecordValue(on2))
            .Set(RecordField::Code, static_cast<int>(level2 / 10.0 * 65535.0));
    };
    const auto at = [&](std::int64_t seconds, const std::function<void(std::vector<RecordEvent>&, std::int64_t)>& f) {
        changes.push_back({seconds * kS, [f, t = seconds * kS](std::vector<RecordEvent>& out) { f(out, t); }});
    };
    const auto set1 = [&](std::int64_t seconds, double level, bool on) {
        at(seconds, [&, level, on](std::vector<RecordEvent>& out, std::int64_t t) {
            level1 = level;
            on1 = on;
            frames(out, t, "panel");
        });
    };
    at(0, [&](std::vector<RecordEvent>& out, std::int64_t t) {
        event(out, t, "connect", 0, "panel")
            .Set(RecordField::Port, "/dev/ttyUSB0")
            .Set(RecordField::Version, "01000A")
            .Set(RecordField::Channels, 2);
        frames(out, t, "panel");
    });
    set1(5, 4.0, true);
    set1(40, 6.0, true);
    set1(70, 8.0, true);
    set1(120, 12.0, true);
    set1(150, 10.0, true);
    set1(330, 16.0, true);
    set1(360, 14.0, true);
    set1(440, 14.0, false);
    set1(500, 12.0, true);
    const auto alarm = [&](std::int64_t seconds, bool raised) {
        at(seconds, [&, raised](std::vector<RecordEvent>& out, std::int64_t t) {
            RecordEvent& e = event(out, t, "alarm", 1, "panel");
            e.Set(RecordField::Raised, RecordValue(raised)).Set(RecordField::Code, raised ? 1 : 0);
            e.Set(RecordField::Status, raised ? "0001 0000" : "0000 0000");
            if (raised)
                e.Set(RecordField::Text, RecordValue(overTemperature));
        });
    };
    alarm(200, true);
    alarm(262, false);
    at(90, [&](std::vector<RecordEvent>& out, std::int64_t t) {
        on2 = true;
        frames(out, t, "panel");
    });
    const auto automatic = [&](std::int64_t seconds, const char* action) {
        at(seconds, [&, action](std::vector<RecordEvent>& out, std::int64_t t) {
            event(out, t, "auto", 2, "panel")
                .Set(RecordField::Action, action)
                .Set(RecordField::Mode, "sawtooth")
                .Set(RecordField::Slot, 1);
        });
    };
    automatic(100, "start");
    automatic(250, "pause");
    automatic(280, "resume");
    automatic(430, "stop");
    int step = 0;
    for (std::int64_t t = 101; t < 430; t += 2) {
        if (t >= 250 && t < 280)
            continue;
        const double level = (step++ % 21) * 0.5;
        at(t, [&, level](std::vector<RecordEvent>& out, std::int64_t when) {
            level2 = level;
            frames(out, when, "auto");
        });
    }
    at(540, [&](std::vector<RecordEvent>& out, std::int64_t t) { event(out, t, "lost", 0, "panel"); });
    at(555, [&](std::vector<RecordEvent>& out, std::int64_t t) {
        event(out, t, "connect", 0, "panel").Set(RecordField::Port, "/dev/ttyUSB0").Set(RecordField::Channels, 2);
        frames(out, t, "panel");
    });
    at(600, [&](std::vector<RecordEvent>& out, std::int64_t t) {
        level2 = 5.0;
        frames(out, t, "panel");
    });
    std::stable_sort(changes.begin(), changes.end(), [](const Change& a, const Change& b) { return a.t < b.t; });
    std::vector<RecordEvent> events;
    for (const Change& c : changes)
        c.apply(events);
    RecordDatabase db;
    return db.OpenForWriting(path) == RecordOpenResult::Ok && db.Append(events);
}

// A loop's results over two years, as the window keeps them: quarterly
// as-found tests drifting toward the tolerance until one fails, then the
// receiver adjusted and the as-left test passing; two more tags beside it.
bool WriteLoopCheckRecord(const std::string& path)
{
    LoopCheckDatabase db;
    if (db.Open(path) != LoopDbOpenResult::Ok)
        return false;
    LoopTag flow;
    flow.name = "FT-101";
    flow.description = "Feed flow, line A";
    flow.location = "Hall 2, rack 3";
    flow.range = "4_20mA";
    flow.urv = 150;
    flow.unit = "m³/h";
    flow.adjustLimit = 0.25;
    flow.settleSeconds = 2;
    flow.decimals = 1;
    LoopTag pressure;
    pressure.name = "PT-204";
    pressure.description = "Steam header pressure";
    pressure.location = "Boiler house";
    pressure.channel = 2;
    pressure.range = "4_20mA";
    pressure.urv = 16;
    pressure.unit = "bar";
    pressure.tolerance = 1.0;
    LoopTag dp = flow;
    dp.name = "FT-205";
    dp.description = "Condensate return (orifice)";
    dp.transfer = LoopTransfer::SquareRoot;
    dp.urv = 40;
    dp.adjustLimit.reset();
    for (const LoopTag& t : {flow, pressure, dp})
        if (db.AddTag(t) != TagWrite::Done)
            return false;
    constexpr std::int64_t kDay = 86'400'000'000LL;
    const std::int64_t now = WallClockNowUs();
    const double drift[] = {0.07, 0.11, 0.16, 0.22, 0.29, 0.37, 0.58};
    const auto add = [&](const LoopTag& tag, std::int64_t start, double worst, LoopTestKind kind) {
        LoopResult r;
        r.tag = tag;
        r.technician = "Aoki";
        r.kind = kind;
        r.startUs = start;
        r.endUs = start + 240'000'000;
        r.unitVersion = "01000A";
        r.port = "/dev/ttyUSB0";
        r.velmoraVersion = "screenshots";
        std::vector<PointVerdict> verdicts;
        for (std::size_t i = 0; i < tag.points.size(); ++i) {
            LoopPointResult p;
            p.index = static_cast<int>(i + 1);
            p.percent = tag.points[i];
            p.output = *SignalForPercent(tag.range, p.percent);
            p.signalUnit = SignalUnit(tag.range);
            p.expected = ExpectedReading(tag, p.percent);
            // The worst error at 75 %, a part of it elsewhere.
            const double error = i == 3 ? worst : worst * 0.4 * (i % 2 == 0 ? 1 : -1);
            p.reading = p.expected + error / 100.0 * (tag.urv - tag.lrv);
            p.errorPercent = ErrorPercentOfSpan(tag, p.expected, p.reading);
            p.verdict = JudgeError(tag, p.errorPercent);
            verdicts.push_back(p.verdict);
            r.points.push_back(p);
        }
        r.verdict = OverallVerdict(verdicts);
        if (r.kind == LoopTestKind::AsFound && r.verdict == TestVerdict::Pass)
            r.kind = LoopTestKind::AsFoundAndLeft;
        return db.AppendResult(r);
    };
    for (std::size_t q = 0; q < std::size(drift); ++q)
        if (!add(flow, now - static_cast<std::int64_t>(std::size(drift) - q) * 91 * kDay, drift[q],
                 LoopTestKind::AsFound))
            return false;
    return add(flow, now - 91 * kDay + 3'600'000'000LL, 0.04, LoopTestKind::AsLeft) &&
        add(pressure, now - 30 * kDay, 0.3, LoopTestKind::AsFound);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4 || std::strcmp(argv[1], "--lang") != 0 || !ParseLanguage(argv[2])) {
        std::fprintf(stderr, "usage: velmora-screenshots --lang en|ja OUTDIR\n");
        return 2;
    }
    SetLanguage(*ParseLanguage(argv[2]));
    QApplication qapp(argc, argv);
    PrepareApplication(qapp);
    const QString out = QString::fromLocal8Bit(argv[3]);
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "velmora-screenshots: cannot make %s\n", argv[3]);
        return 1;
    }
    // A fixed folder, so that the pictures show the same path every time.
    const fs::path scratch = fs::temp_directory_path() / "velmora-screenshots";
    std::error_code gone;
    fs::remove_all(scratch, gone);
    fs::create_directories(scratch / "Hovelt" / "Velmora");
    Shooter shoot(out);

    for (int channels : {1, 2, 4}) {
        Session s(channels, scratch);
        if (!s.app->View() || !s.app->View()->IsConnected()) {
            std::fprintf(stderr, "velmora-screenshots: the simulated unit did not connect\n");
            return 1;
        }
        s.Dress();
        const std::string name = "panel-" + std::to_string(channels) + "ch";
        shoot.Save(*s.app->MainFrame(), name.c_str());
    }

    // The dialogs with every output off: the range, the conversion and the
    // adjustment open only then.
    Session s(2, scratch);
    CVelmoraView& view = *s.app->View();
    s.bridge.SetTiming(true);
    // Each dialog as the panel opens it, pictured and closed.
    const char* next = "";
    view.SetDialogRunner([&](QDialog& dialog) {
        if (auto* modes = dialog.findChild<QComboBox*>(); modes != nullptr && std::strcmp(next, "auto") == 0) {
            const char* names[] = {"auto-sawtooth", "auto-triangle", "auto-arbitrary"};
            for (int m = 0; m < modes->count() && m < 3; ++m) {
                modes->setCurrentIndex(m);
                shoot.Save(dialog, names[m]);
            }
            return static_cast<int>(QDialog::Rejected);
        }
        if (auto* report = qobject_cast<ConverterVersionDlg*>(&dialog)) {
            // The reads run one range per turn of the dialog's loop.
            QTimer watch;
            QObject::connect(&watch, &QTimer::timeout, &dialog, [&] {
                if (!report->ReportText().isEmpty()) {
                    shoot.Save(dialog, "information");
                    dialog.done(QDialog::Rejected);
                }
            });
            watch.start(20);
            QTimer::singleShot(20000, &dialog, [&] { dialog.done(QDialog::Rejected); });
            return dialog.exec();
        }
        if (std::strcmp(next, "firmware") == 0) {
            // Halfway through programming.
            auto* update = qobject_cast<CProgramUp*>(&dialog);
            if (update == nullptr)
                return static_cast<int>(QDialog::Rejected);
            bool caught = false;
            QTimer watch;
            QObject::connect(&watch, &QTimer::timeout, &dialog, [&] {
                auto* bar = dialog.findChild<QProgressBar*>();
                if (!caught && bar != nullptr && bar->value() >= 45) {
                    caught = true;
                    shoot.Save(dialog, "firmware");
                }
            });
            watch.start(50);
            QTimer::singleShot(0, &dialog, [&] {
                update->ChooseFile();
                update->StartUpdate();
                if (!caught)
                    shoot.Save(dialog, "firmware");
                dialog.done(QDialog::Rejected);
            });
            return dialog.exec();
        }
        shoot.Save(dialog, next);
        return static_cast<int>(QDialog::Rejected);
    });
    next = "range";
    view.SelectRange(0);
    next = "conversion";
    view.EditConversion(0);
    next = "presets";
    view.EditPresets(0);
    next = "auto";
    view.EditAutoOutput(0);
    next = "adjustment";
    view.OnOutputAdjust();
    next = "information";
    view.OnGeneratorInfo();

    {
        CAboutDlg about(s.app->MainFrame());
        shoot.Save(about, "about");
        CDacSelect circuits;
        shoot.Save(circuits, "circuits");
    }

    // The update needs an image; one programming a few records will do.
    const fs::path image = scratch / "unit.zpg";
    std::ofstream(image, std::ios::binary) << EncodeImageFile({2, 0, 1}, {EncodeImageRecord("S306FFFE000012EA")});
    s.prompter.file = image.string();
    next = "firmware";
    const fs::path before = fs::current_path();
    fs::current_path(scratch);
    view.OnFirmwareUpdate();
    fs::current_path(before);

    // The trend over the last ten minutes of a bench session's record.
    {
        const std::string record = (scratch / "trend.sqlite3").string();
        if (!WriteBenchRecord(record, Tr(AlarmText(kAlarmOverTemperature)))) {
            std::fprintf(stderr, "velmora-screenshots: cannot write %s\n", record.c_str());
            return 1;
        }
        CTrendDlg trend(record, s.prompter);
        trend.resize(1000, 620);
        bool shown = false;
        QObject::connect(&trend, &CTrendDlg::DataShown, [&] { shown = true; });
        trend.show();
        for (int i = 0; i < 500 && !shown; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        shoot.Save(trend, "trend");
    }

    // The loop check: the tags, a tag's dialog, the history of a loop that
    // drifted until it failed, and a test as found halfway through.
    {
        const std::string db = (scratch / "loopcheck.sqlite3").string();
        setenv("VELMORA_LOOPCHECK_DB", db.c_str(), 1);
        if (!WriteLoopCheckRecord(db)) {
            std::fprintf(stderr, "velmora-screenshots: cannot write %s\n", db.c_str());
            return 1;
        }
        // The firmware update above left the unit disconnected.
        if (!view.IsConnected())
            view.ConnectUnit();
        view.Session().Operations().SelectRange(0, *RangeCodeFromKey("4_20mA"));
        view.Session().Operations().SetSetValue(0, 10.0, LimitPolicy::Refuse);
        s.app->OnLoopCheck();
        CLoopCheckDlg* loop = s.app->LoopCheck();
        if (loop == nullptr) {
            std::fprintf(stderr, "velmora-screenshots: the loop-check window did not open\n");
            return 1;
        }
        loop->resize(1060, 420);
        loop->SelectTag("FT-101");
        shoot.Save(*loop, "loopcheck-tags");
        loop->SetDialogRunner([&](QDialog& dialog) {
            if (auto* technician = dialog.findChild<QLineEdit*>(QStringLiteral("technician"))) {
                technician->setText(QStringLiteral("Aoki"));
                dialog.accept();
                return dialog.result();
            }
            shoot.Save(dialog, "loopcheck-tag");
            return static_cast<int>(QDialog::Rejected);
        });
        loop->EditTag();
        loop->ShowHistory();
        if (loop->History() != nullptr) {
            loop->History()->resize(820, 600);
            shoot.Save(*loop->History(), "loopcheck-history");
            loop->History()->close();
        }
        loop->StartTest(false);
        CLoopTestView* test = loop->TestView();
        if (test == nullptr) {
            std::fprintf(stderr, "velmora-screenshots: the test did not start\n");
            return 1;
        }
        // Three points read, the fourth settling, on the real clock.
        const char* readings[] = {"0.1", "37.9", "75.2"};
        for (const char* reading : readings) {
            for (int i = 0; i < 200 && loop->Procedure().GetState() == LoopCheckProcedure::State::Settling; ++i) {
                view.OnPanelTick(PanelTickEvent::kTimerParam);
                QCoreApplication::processEvents();
                QThread::msleep(50);
            }
            test->ReadingField()->setText(QString::fromLatin1(reading));
            test->EnterReading();
        }
        for (int i = 0; i < 4; ++i) {
            view.OnPanelTick(PanelTickEvent::kTimerParam);
            QThread::msleep(50);
        }
        test->Refresh();
        test->resize(760, 440);
        shoot.Save(*test, "loopcheck-test");
        test->AbortTest();
    }

    std::error_code ec;
    fs::remove_all(scratch, ec);
    return shoot.Ok() ? 0 : 1;
}
