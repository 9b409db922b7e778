// The English interface: with English chosen, no window, menu, dialog or
// painted text shows a Japanese text (one the catalogues left untranslated),
// and the files written and the bytes sent are the same as in Japanese.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTranslator>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "FakeClock.h"
#include "ScriptedPrompter.h"
#include "SimBridge.h"
#include "SimChannel.h"
#include "SimFtdiDevice.h"
#include "SimUnit.h"
#include "adjust/ui/CCalDlg.h"
#include "app/AppSetup.h"
#include "app/CAboutDlg.h"
#include "app/CMainFrame.h"
#include "app/CVelmoraApp.h"
#include "dialogs/ui/CDacSelect.h"
#include "firmware/CorrectionFile.h"
#include "link/FtdiChannel.h"
#include "loopcheck/LoopCheckProcedure.h"
#include "loopcheck/ui/CLoopCheckDlg.h"
#include "loopcheck/ui/CLoopHistoryDlg.h"
#include "loopcheck/ui/CLoopTestView.h"
#include "model/RangeTable.h"
#include "panel/CVelmoraView.h"
#include "panel/PanelTick.h"
#include "panelcore/PanelLayout.h"
#include "platform/Language.h"
#include "platform/Translate.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

bool HasJapanese(const QString& text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        // Kana, kanji, CJK punctuation and full-width forms (ＯＮ, ＋, １, ～);
        // the ideographic space alone is layout, which the report keeps.
        if ((u >= 0x3001 && u <= 0x30FF) || (u >= 0x4E00 && u <= 0x9FFF) || (u >= 0xFF01 && u <= 0xFF9F))
            return true;
    }
    return false;
}

void AddMenuTexts(const QList<QAction*>& actions, QStringList& out)
{
    for (QAction* a : actions) {
        out << a->text();
        if (a->menu() != nullptr)
            AddMenuTexts(a->menu()->actions(), out);
    }
}

// Every text a window and its controls show.
QStringList ShownTexts(QWidget& window)
{
    QStringList out{window.windowTitle()};
    QList<QWidget*> widgets = window.findChildren<QWidget*>();
    widgets.prepend(&window);
    for (QWidget* w : widgets) {
        if (auto* label = qobject_cast<QLabel*>(w))
            out << label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            out << button->text();
        if (auto* group = qobject_cast<QGroupBox*>(w))
            out << group->title();
        if (auto* edit = qobject_cast<QLineEdit*>(w))
            out << edit->text() << edit->placeholderText();
        if (auto* text = qobject_cast<QTextEdit*>(w))
            out << text->toPlainText();
        if (auto* combo = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < combo->count(); ++i)
                out << combo->itemText(i);
        if (auto* table = qobject_cast<QTableWidget*>(w))
            for (int c = 0; c < table->columnCount(); ++c)
                if (table->horizontalHeaderItem(c) != nullptr)
                    out << table->horizontalHeaderItem(c)->text();
        if (auto* bar = qobject_cast<QMenuBar*>(w))
            AddMenuTexts(bar->actions(), out);
    }
    return out;
}

// Push buttons whose caption is wider than the button: English words are
// longer than the Japanese they replace, and a cut caption reads as another
// word ("Reset all user").
QStringList CutCaptions(QWidget& window)
{
    QStringList out;
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
        QString text = button->text();
        text.remove(QLatin1Char('&'));
        if (text.isEmpty() || !button->icon().isNull())
            continue;
        if (button->fontMetrics().horizontalAdvance(text) + 6 > button->width())
            out << text;
    }
    return out;
}

QStringList Untranslated(QWidget& window)
{
    QStringList out;
    for (const QString& text : ShownTexts(window))
        if (HasJapanese(text))
            out << text;
    return out;
}

// English for the scope: the language, and the widgets' catalogue, which
// the widgets read as they are built.
class EnglishScope {
public:
    EnglishScope()
    {
        SetLanguage(Language::English);
        EXPECT_TRUE(m_translator.load(QStringLiteral(":/i18n/velmora_en.qm")));
        QCoreApplication::installTranslator(&m_translator);
    }
    ~EnglishScope()
    {
        QCoreApplication::removeTranslator(&m_translator);
        SetLanguage(Language::Japanese);
    }

private:
    QTranslator m_translator;
};

class EnglishInterface : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath("config"));
    }

    std::unique_ptr<CVelmoraApp> MakeApp(const std::string& folder = "run")
    {
        unit.SetChannelCount(2);
        auto serial = std::make_unique<sim::SimChannel>(unit, clock);
        channel = serial.get();
        auto ftdi = std::make_unique<FtdiChannel>(std::make_unique<sim::SimFtdiDevice>(bridge, clock), clock, prompter);
        auto link = std::make_unique<GeneratorLink>(clock, prompter, std::move(serial), std::move(ftdi));
        const std::string wd = (fs::path(m_dir.path().toStdString()) / folder).string();
        fs::create_directories(wd);
        auto app = std::make_unique<CVelmoraApp>(
            prompter, clock, [wd] { return std::optional<std::string>(wd); }, std::move(link));
        app->SetTickSourceFactory([] { return std::make_unique<ManualTickSource>(); });
        prompter.circuitAnswers = {2};
        AppOptions options;
        options.ports = {"/dev/velmora-test-unit"};
        options.connect = true;
        EXPECT_TRUE(app->InitInstance(options));
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        EXPECT_TRUE(app->View()->IsConnected());
        return app;
    }

    QTemporaryDir m_dir;
    test::FakeClock clock;
    test::ScriptedPrompter prompter;
    sim::SimUnit unit;
    sim::SimBridge bridge{clock};
    sim::SimChannel* channel = nullptr;
};

TEST_F(EnglishInterface, NoWindowShowsAJapaneseText)
{
    const EnglishScope english;
    auto app = MakeApp();
    CVelmoraView& view = *app->View();
    EXPECT_EQ(Untranslated(*app->MainFrame()), QStringList());

    // Every dialog the panel opens, as it opens it; the automatic output's
    // in each of its modes.
    QStringList dialogs;
    view.SetDialogRunner([&](QDialog& dialog) {
        dialogs << QString::fromLatin1(dialog.metaObject()->className());
        EXPECT_EQ(Untranslated(dialog), QStringList()) << dialog.metaObject()->className();
        EXPECT_EQ(CutCaptions(dialog), QStringList()) << dialog.metaObject()->className();
        if (auto* modes = dialog.findChild<QComboBox*>(); modes != nullptr && modes->count() == 3) {
            for (int m = 0; m < modes->count(); ++m) {
                modes->setCurrentIndex(m);
                EXPECT_EQ(Untranslated(dialog), QStringList()) << "mode " << m;
            }
        }
        return static_cast<int>(QDialog::Rejected);
    });
    view.SelectRange(0);
    view.EditConversion(0);
    view.EditPresets(0);
    view.EditAutoOutput(0);
    view.OnOutputAdjust();
    view.OnGeneratorInfo();
    view.OnFirmwareUpdate();
    EXPECT_EQ(dialogs.size(), 7) << dialogs.join(QLatin1Char(' ')).toStdString() << " / "
                                 << (prompter.shown.empty() ? std::string() : prompter.shown.back().text);

    CAboutDlg about(app->MainFrame());
    EXPECT_EQ(Untranslated(about), QStringList());
    CDacSelect circuits;
    EXPECT_EQ(Untranslated(circuits), QStringList());

    // What the panel paints, and every text of the core's catalogue.
    for (int i = 0; i < kMaxChannels; ++i) {
        const ChannelDrawing drawing = DrawChannel(i, kMaxChannels);
        EXPECT_FALSE(HasJapanese(QString::fromStdString(Tr(drawing.number.text)))) << i;
        for (const PanelText& t : drawing.texts)
            EXPECT_FALSE(HasJapanese(QString::fromStdString(Tr(t.text)))) << t.text;
    }
    for (std::string_view source : CatalogueInto(true).Sources())
        EXPECT_FALSE(HasJapanese(QString::fromStdString(Tr(std::string(source))))) << source;
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(EnglishInterface, TheFilesAndTheUnitsBytesAreTheSameInBothLanguages)
{
    struct Run {
        std::vector<std::string> writes;
        std::string document, state, corrections;
    };
    auto session = [&](const char* name) {
        Run run;
        {
            auto app = MakeApp(name);
            CVelmoraView& view = *app->View();
            // An operator's pace: the line carries each change before the next.
            const auto settle = [&] {
                for (int i = 0; i < 4; ++i) {
                    clock.AdvanceMs(50);
                    view.OnPanelTick(PanelTickEvent::kTimerParam);
                }
            };
            view.ToggleOutput(1);
            settle();
            view.ApplyPreset(0, 2);
            settle();
            // Values that pass through the dialogs' translated widgets.
            view.SetDialogRunner([](QDialog&) { return static_cast<int>(QDialog::Accepted); });
            view.EditPresets(0);
            view.EditConversion(0);
            view.EditAutoOutput(0);
            settle();
            const fs::path doc = fs::path(m_dir.path().toStdString()) / (std::string(name) + ".ini");
            EXPECT_TRUE(app->Document()->SaveDocument(doc.string()));
            run.document = ReadAll(doc);
            const fs::path cal = fs::path(m_dir.path().toStdString()) / (std::string(name) + "_R.txt");
            EXPECT_TRUE(SaveCorrectionFile(cal.string(), app->Document()->m_model, "VK2A0001"));
            run.corrections = ReadAll(cal);
            for (const auto& w : channel->Writes())
                run.writes.push_back(w.bytes);
        }
        run.state = ReadAll(fs::path(m_dir.path().toStdString()) / name / "Hovelt" / "Velmora" / "vkx.ini");
        return run;
    };
    const Run japanese = session("ja");
    Run english;
    {
        const EnglishScope scope;
        english = session("en");
    }
    ASSERT_FALSE(japanese.document.empty());
    ASSERT_FALSE(japanese.corrections.empty());
    ASSERT_FALSE(japanese.state.empty());
    EXPECT_EQ(english.document, japanese.document);
    EXPECT_EQ(english.corrections, japanese.corrections);
    EXPECT_EQ(english.state, japanese.state);
    ASSERT_GT(japanese.writes.size(), 5u);
    EXPECT_EQ(english.writes, japanese.writes);
}

// The loop-check windows in English: the tag list and its cells, the tag
// and technician dialogs, the test view with a point read and the verdict,
// the history.
TEST_F(EnglishInterface, TheLoopCheckWindowsShowNoJapanese)
{
    const EnglishScope english;
    const std::string db = m_dir.filePath("loopcheck.sqlite3").toStdString();
    setenv("VELMORA_LOOPCHECK_DB", db.c_str(), 1);
    auto app = MakeApp();
    ASSERT_TRUE(app->View()->Session().Operations().SelectRange(0, *RangeCodeFromKey("4_20mA")).Done());
    app->MainFrame()->LoopCheckAction()->trigger();
    CLoopCheckDlg* loop = app->LoopCheck();
    ASSERT_NE(loop, nullptr);
    QStringList dialogs;
    loop->SetDialogRunner([&](QDialog& dialog) {
        dialogs << QString::fromLatin1(dialog.metaObject()->className());
        EXPECT_EQ(Untranslated(dialog), QStringList()) << dialog.metaObject()->className();
        EXPECT_EQ(CutCaptions(dialog), QStringList()) << dialog.metaObject()->className();
        if (auto* name = dialog.findChild<QLineEdit*>("name"))
            name->setText("FT-101");
        if (auto* unit = dialog.findChild<QLineEdit*>("unit"))
            unit->setText("m3/h");
        if (auto* technician = dialog.findChild<QLineEdit*>("technician"))
            technician->setText("Aoki");
        dialog.accept();
        return dialog.result();
    });
    loop->AddTag();
    loop->SelectTag("FT-101");
    loop->StartTest(false);
    EXPECT_EQ(dialogs, (QStringList{"velmora::CLoopTagDlg", "velmora::CLoopStartDlg"}));
    ASSERT_NE(loop->TestView(), nullptr);
    for (int i = 0; i < 200 && loop->Procedure().GetState() == LoopCheckProcedure::State::Settling; ++i) {
        clock.AdvanceMs(50);
        app->View()->OnPanelTick(PanelTickEvent::kTimerParam);
    }
    loop->TestView()->ReadingField()->setText("0.2");
    EXPECT_TRUE(loop->TestView()->EnterReading());
    loop->TestView()->AbortTest();
    loop->ShowHistory();
    ASSERT_NE(loop->History(), nullptr);
    for (QWidget* window : {static_cast<QWidget*>(loop), static_cast<QWidget*>(loop->TestView()),
                            static_cast<QWidget*>(loop->History())}) {
        EXPECT_EQ(Untranslated(*window), QStringList()) << window->objectName().toStdString();
        for (QTableWidget* table : window->findChildren<QTableWidget*>())
            for (int r = 0; r < table->rowCount(); ++r)
                for (int c = 0; c < table->columnCount(); ++c)
                    if (table->item(r, c) != nullptr) {
                        EXPECT_FALSE(HasJapanese(table->item(r, c)->text())) << table->item(r, c)->text().toStdString();
                    }
    }
    EXPECT_TRUE(loop->TestView()->OutcomeText().startsWith("Overall verdict: Aborted"))
        << loop->TestView()->OutcomeText().toStdString();
    app.reset();
    unsetenv("VELMORA_LOOPCHECK_DB");
}

} // namespace
} // namespace velmora
