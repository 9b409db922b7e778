#include "loopcheck/ui/CLoopCheckDlg.h"

#include <QCloseEvent>
#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>
#include <QVBoxLayout>

#include <variant>

#include "dialogs/ui/ShownText.h"
#include "loopcheck/LoopCheckProcedure.h"
#include "loopcheck/LoopTagCsv.h"
#include "loopcheck/ui/CLoopHistoryDlg.h"
#include "report/LoopReportPdf.h"
#include "loopcheck/ui/CLoopStartDlg.h"
#include "loopcheck/ui/CLoopTagDlg.h"
#include "loopcheck/ui/CLoopTestView.h"
#include "loopcheck/ui/LoopCheckShown.h"
#include "model/RangeTable.h"
#include "panel/CVelmoraView.h"
#include "platform/AtomicFile.h"
#include "platform/Prompter.h"
#include "protocol/GeneratorLink.h"

namespace velmora {

namespace {

// A tag list larger than this is no such file.
constexpr std::size_t kMaxCsvBytes = 16U << 20U;

QTableWidgetItem* Cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

} // namespace

CLoopCheckDlg::CLoopCheckDlg(CVelmoraView& view, Prompter& prompter, const std::string& databasePath, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_pView(&view),
      m_prompter(prompter),
      m_strPath(databasePath)
{
    setObjectName(QStringLiteral("loopcheck"));
    setWindowTitle(tr("ループチェック") + QStringLiteral(" - Velmora"));
    BuildControls();
    resize(980, 520);

    if (m_strPath.empty()) {
        m_strProblem = tr("ループチェックのデータベースの置き場所がありません（HOME が設定されていません）");
    } else {
        const LoopDbOpenResult opened = m_database.Open(m_strPath, true);
        if (opened != LoopDbOpenResult::Ok)
            m_strProblem = LoopText(m_database.OpenFailureText(opened, m_strPath));
    }
    PanelSession& session = view.Session();
    m_pProcedure = std::make_unique<LoopCheckProcedure>(view.SharedSession(), session.Link().GetClock(), m_database);
    connect(&view, &CVelmoraView::TickDone, this, &CLoopCheckDlg::OnTick);
    // A disconnection shows at once, not only at the next tick: the panel
    // no longer ticks the session's work once the connection has gone.
    connect(&view, &CVelmoraView::ConnectionChanged, this, [this](bool connected) {
        if (!connected)
            QMetaObject::invokeMethod(this, &CLoopCheckDlg::OnTick, Qt::QueuedConnection);
    });

    Reload();
    ShowStatus(m_strProblem.isEmpty() ? LoopText(m_strPath) : m_strProblem);
}

CLoopCheckDlg::~CLoopCheckDlg()
{
    // The views show the procedure and read the database: they go first.
    // Then the procedure, which puts a channel still under test back and
    // keeps the result, while the session and the database are there.
    delete m_pTestView.data();
    delete m_pHistory.data();
    m_pProcedure.reset();
}

void CLoopCheckDlg::BuildControls()
{
    m_pTags = new QTableWidget(0, kColumns, this);
    m_pTags->setObjectName(QStringLiteral("tags"));
    m_pTags->setHorizontalHeaderLabels({tr("タグ"), tr("説明"), tr("場所"), tr("CH"), tr("出力レンジ"), tr("スパン"),
                                        tr("許容差"), tr("前回の点検"), tr("判定")});
    m_pTags->verticalHeader()->hide();
    m_pTags->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTags->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTags->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTags->horizontalHeader()->setStretchLastSection(true);
    m_pTags->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pTags, &QTableWidget::itemSelectionChanged, this, &CLoopCheckDlg::UpdateButtons);
    connect(m_pTags, &QTableWidget::cellDoubleClicked, this, [this](int, int) { EditTag(); });

    const auto button = [this](const QString& text, const char* name, void (CLoopCheckDlg::*slot)()) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    m_pAdd = button(tr("追加(&A)..."), "add", &CLoopCheckDlg::AddTag);
    m_pEdit = button(tr("編集(&E)..."), "edit", &CLoopCheckDlg::EditTag);
    m_pRemove = button(tr("削除(&D)"), "remove", &CLoopCheckDlg::RemoveTag);
    m_pImport = button(tr("CSV 読込(&I)..."), "import", &CLoopCheckDlg::ImportCsv);
    m_pExport = button(tr("CSV 書出(&X)..."), "export", &CLoopCheckDlg::ExportCsv);
    m_pStartFound = new QPushButton(tr("点検開始 (調整前)(&F)"), this);
    m_pStartFound->setObjectName(QStringLiteral("startFound"));
    connect(m_pStartFound, &QPushButton::clicked, this, [this] { StartTest(false); });
    m_pStartLeft = new QPushButton(tr("点検開始 (調整後)(&L)"), this);
    m_pStartLeft->setObjectName(QStringLiteral("startLeft"));
    connect(m_pStartLeft, &QPushButton::clicked, this, [this] { StartTest(true); });
    m_pHistoryButton = button(tr("履歴(&H)..."), "history", &CLoopCheckDlg::ShowHistory);
    m_pVerify = new QPushButton(tr("記録の検証(&V)"), this);
    m_pVerify->setObjectName(QStringLiteral("verify"));
    connect(m_pVerify, &QPushButton::clicked, this, [this] { VerifyResults(); });

    connect(m_pTags, &QTableWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (!SelectedTag())
            return;
        QMenu menu(this);
        connect(menu.addAction(m_pStartFound->text()), &QAction::triggered, this, [this] { StartTest(false); });
        connect(menu.addAction(m_pStartLeft->text()), &QAction::triggered, this, [this] { StartTest(true); });
        menu.addSeparator();
        connect(menu.addAction(m_pHistoryButton->text()), &QAction::triggered, this, &CLoopCheckDlg::ShowHistory);
        connect(menu.addAction(m_pEdit->text()), &QAction::triggered, this, &CLoopCheckDlg::EditTag);
        connect(menu.addAction(m_pRemove->text()), &QAction::triggered, this, &CLoopCheckDlg::RemoveTag);
        menu.exec(m_pTags->viewport()->mapToGlobal(at));
    });

    auto* tagButtons = new QHBoxLayout;
    for (QPushButton* b : {m_pAdd, m_pEdit, m_pRemove, m_pImport, m_pExport})
        tagButtons->addWidget(b);
    tagButtons->addStretch(1);
    tagButtons->addWidget(m_pVerify);
    auto* testButtons = new QHBoxLayout;
    for (QPushButton* b : {m_pStartFound, m_pStartLeft, m_pHistoryButton})
        testButtons->addWidget(b);
    testButtons->addStretch(1);

    m_pStatus = new QLabel(this);
    m_pStatus->setObjectName(QStringLiteral("status"));
    m_pStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pStatus->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(tagButtons);
    layout->addWidget(m_pTags, 1);
    layout->addLayout(testButtons);
    layout->addWidget(m_pStatus);
}

void CLoopCheckDlg::UpdateButtons()
{
    const bool open = m_database.IsOpen();
    const bool selected = open && SelectedTag().has_value();
    const bool running = m_pProcedure && m_pProcedure->Running();
    m_pAdd->setEnabled(open);
    m_pImport->setEnabled(open);
    m_pExport->setEnabled(open);
    m_pVerify->setEnabled(open);
    // A tag under test keeps its settings until the test ends.
    m_pEdit->setEnabled(selected && !running);
    m_pRemove->setEnabled(selected && !running);
    m_pStartFound->setEnabled(selected && !running);
    m_pStartLeft->setEnabled(selected && !running);
    m_pHistoryButton->setEnabled(selected);
}

void CLoopCheckDlg::Reload()
{
    const std::optional<LoopTag> selected = SelectedTag();
    m_tags = m_database.IsOpen() ? m_database.Tags() : std::vector<LoopTag>{};
    m_pTags->setRowCount(static_cast<int>(m_tags.size()));
    for (std::size_t i = 0; i < m_tags.size(); ++i) {
        const LoopTag& t = m_tags[i];
        const auto row = static_cast<int>(i);
        QString span = LoopText(ShortNumber(t.lrv)) + QStringLiteral(" – ") + LoopText(ShortNumber(t.urv)) +
            QLatin1Char(' ') + LoopText(t.unit);
        if (t.transfer == LoopTransfer::SquareRoot)
            span += QStringLiteral(" (√)");
        QString tolerance = QStringLiteral("±") + LoopText(ShortNumber(t.tolerance)) + QStringLiteral(" %");
        if (t.adjustLimit)
            tolerance += tr(" (調整 %1 %)").arg(LoopText(ShortNumber(*t.adjustLimit)));
        const auto code = RangeCodeFromKey(t.range);
        m_pTags->setItem(row, kTag, Cell(LoopText(t.name)));
        m_pTags->setItem(row, kDescription, Cell(LoopText(t.description)));
        m_pTags->setItem(row, kLocation, Cell(LoopText(t.location)));
        m_pTags->setItem(row, kChannel, Cell(QString::number(t.channel)));
        m_pTags->setItem(row, kRange, Cell(code ? Shown(RangeDisplayName(*code)) : LoopText(t.range)));
        m_pTags->setItem(row, kSpan, Cell(span));
        m_pTags->setItem(row, kTolerance, Cell(tolerance));
        const std::vector<LoopResult> history = m_database.History(t.name);
        if (history.empty()) {
            m_pTags->setItem(row, kLastTest, Cell(tr("未点検")));
            m_pTags->setItem(row, kLastVerdict, Cell(QString()));
        } else {
            const LoopResult& last = history.back();
            m_pTags->setItem(
                row, kLastTest,
                Cell(LoopCheckShown::LocalTime(last.startUs) + QStringLiteral("　") + LoopCheckShown::Kind(last.kind)));
            QTableWidgetItem* verdict = Cell(LoopCheckShown::Verdict(last.verdict));
            verdict->setBackground(LoopCheckShown::Colour(last.verdict));
            m_pTags->setItem(row, kLastVerdict, verdict);
        }
    }
    m_pTags->resizeColumnsToContents();
    if (selected)
        SelectTag(selected->name);
    UpdateButtons();
}

void CLoopCheckDlg::SelectTag(const std::string& name)
{
    for (std::size_t i = 0; i < m_tags.size(); ++i) {
        if (m_tags[i].name == name) {
            m_pTags->selectRow(static_cast<int>(i));
            return;
        }
    }
    m_pTags->clearSelection();
}

std::optional<LoopTag> CLoopCheckDlg::SelectedTag() const
{
    const QList<QTableWidgetItem*> items = m_pTags->selectedItems();
    if (items.isEmpty())
        return std::nullopt;
    const auto row = static_cast<std::size_t>(items.front()->row());
    if (row >= m_tags.size())
        return std::nullopt;
    return m_tags[row];
}

int CLoopCheckDlg::RunDialog(QDialog& dialog)
{
    return m_dialogRunner ? m_dialogRunner(dialog) : dialog.exec();
}

void CLoopCheckDlg::ShowStatus(const QString& text)
{
    m_pStatus->setText(text);
}

CLoopTestView* CLoopCheckDlg::TestView() const
{
    return m_pTestView;
}

CLoopHistoryDlg* CLoopCheckDlg::History() const
{
    return m_pHistory;
}

QString CLoopCheckDlg::StatusText() const
{
    return m_pStatus->text();
}

void CLoopCheckDlg::AddTag()
{
    if (!m_database.IsOpen())
        return;
    CLoopTagDlg dialog(
        true,
        [this](const LoopTag& tag) -> std::optional<TagProblem> {
            switch (m_database.AddTag(tag)) {
            case TagWrite::Done:
                return std::nullopt;
            case TagWrite::Exists:
                return TagProblem{"name", LoopUtf8(tr("このタグはすでにあります"))};
            default:
                return TagProblem{"name", m_database.LastError()};
            }
        },
        this);
    if (RunDialog(dialog) != QDialog::Accepted)
        return;
    Reload();
    SelectTag(dialog.Tag().name);
    ShowStatus(tr("タグ %1 を追加しました").arg(LoopText(dialog.Tag().name)));
}

void CLoopCheckDlg::EditTag()
{
    const std::optional<LoopTag> tag = SelectedTag();
    if (!tag || !m_database.IsOpen() || m_pProcedure->Running())
        return;
    CLoopTagDlg dialog(
        false,
        [this](const LoopTag& changed) -> std::optional<TagProblem> {
            if (m_database.UpdateTag(changed) == TagWrite::Done)
                return std::nullopt;
            return TagProblem{"name", m_database.LastError()};
        },
        this);
    dialog.SetTag(*tag);
    if (RunDialog(dialog) != QDialog::Accepted)
        return;
    Reload();
    ShowStatus(tr("タグ %1 を変更しました").arg(LoopText(tag->name)));
}

void CLoopCheckDlg::RemoveTag()
{
    const std::optional<LoopTag> tag = SelectedTag();
    if (!tag || !m_database.IsOpen() || m_pProcedure->Running())
        return;
    const PromptAnswer answer = m_prompter.Message(
        LoopUtf8(tr("タグ %1 を削除しますか？\nこのタグの点検結果は残ります。").arg(LoopText(tag->name))), kAppTitle,
        PromptIcon::Question, PromptButtons::YesNo);
    if (answer != PromptAnswer::Yes)
        return;
    if (m_database.RemoveTag(tag->name) != TagWrite::Done) {
        m_prompter.Message(m_database.LastError(), kAppTitle, PromptIcon::Exclamation);
        return;
    }
    Reload();
    ShowStatus(tr("タグ %1 を削除しました").arg(LoopText(tag->name)));
}

void CLoopCheckDlg::ImportCsv()
{
    if (!m_database.IsOpen())
        return;
    const auto path = m_prompter.ChooseOpenFile(
        LoopUtf8(tr("タグの読込")),
        {{LoopUtf8(tr("CSV ファイル (*.csv)")), "*.csv"}, {LoopUtf8(tr("すべてのファイル (*)")), "*"}});
    if (!path)
        return;
    std::string bytes;
    if (!ReadRegularFile(*path, bytes, kMaxCsvBytes) || bytes.size() > kMaxCsvBytes) {
        m_prompter.Message(
            LoopUtf8(tr("%1 を読めません（16 MiB までのファイルを選んでください）").arg(LoopText(*path))), kAppTitle,
            PromptIcon::Exclamation);
        return;
    }
    const auto read = LoopTagsFromCsv(bytes);
    if (const auto* error = std::get_if<LoopTagCsvError>(&read)) {
        m_prompter.Message(
            LoopUtf8(tr("%1: %2\n何も読み込んでいません。").arg(LoopText(*path), LoopText(error->message))), kAppTitle,
            PromptIcon::Exclamation);
        return;
    }
    const auto& tags = std::get<std::vector<LoopTag>>(read);
    QSet<QString> known;
    for (const LoopTag& t : m_tags)
        known.insert(LoopText(t.name));
    QStringList replaced;
    for (const LoopTag& t : tags)
        if (known.contains(LoopText(t.name)))
            replaced << LoopText(t.name);
    if (!replaced.isEmpty()) {
        const PromptAnswer answer =
            m_prompter.Message(LoopUtf8(tr("次のタグの設定を CSV の内容で置き換えます。よろしいですか？\n%1")
                                            .arg(replaced.join(QStringLiteral(", ")))),
                               kAppTitle, PromptIcon::Question, PromptButtons::YesNo);
        if (answer != PromptAnswer::Yes)
            return;
    }
    if (!m_database.ImportTags(tags)) {
        m_prompter.Message(m_database.LastError(), kAppTitle, PromptIcon::Exclamation);
        return;
    }
    Reload();
    ShowStatus(tr("%1 件のタグを読み込みました").arg(tags.size()));
}

void CLoopCheckDlg::ExportCsv()
{
    if (!m_database.IsOpen())
        return;
    const auto path = m_prompter.ChooseSaveFile(
        LoopUtf8(tr("タグの書出")), {{LoopUtf8(tr("CSV ファイル (*.csv)")), "*.csv"}}, ".csv", "loopcheck-tags.csv");
    if (!path)
        return;
    const std::vector<LoopTag> tags = m_database.Tags();
    if (const AtomicWriteResult written = WriteFileAtomically(*path, LoopTagsToCsv(tags)); !written) {
        m_prompter.Message(LoopUtf8(tr("%1 に書き出せません。\n%2").arg(LoopText(*path), LoopText(written.Describe()))),
                           kAppTitle, PromptIcon::Exclamation);
        return;
    }
    ShowStatus(tr("%1 件のタグを %2 に書き出しました").arg(tags.size()).arg(LoopText(*path)));
}

void CLoopCheckDlg::WriteReport(std::int64_t id, const std::string& tagName)
{
    if (!m_database.IsOpen())
        return;
    LoopReportSubject subject;
    if (id != 0)
        subject.resultId = id;
    else
        subject.tagName = tagName;
    const LoopReportMade made = MakeLoopReport(m_database, subject, WallClockNowUs());
    if (made.problem != LoopReportProblem::None) {
        m_prompter.Message(made.message, kAppTitle, PromptIcon::Exclamation);
        return;
    }
    const std::string name = tagName + (id != 0 ? "-" + std::to_string(id) : std::string()) + ".pdf";
    const auto path = m_prompter.ChooseSaveFile(LoopUtf8(tr("点検記録の書出")),
                                                {{LoopUtf8(tr("PDF ファイル (*.pdf)")), "*.pdf"},
                                                 {LoopUtf8(tr("HTML ファイル (*.html)")), "*.html"},
                                                 {LoopUtf8(tr("CSV ファイル (*.csv)")), "*.csv"}},
                                                ".pdf", name);
    if (!path)
        return;
    const LoopReportWrite written = WriteLoopReport(made.report, *path);
    if (!written.ok) {
        m_prompter.Message(written.message, kAppTitle, PromptIcon::Exclamation);
        return;
    }
    ShowStatus(tr("点検記録を %1 に書き出しました").arg(LoopText(*path)));
}

QString CLoopCheckDlg::TestHeading(const LoopTag& tag, bool asLeft, const QString& technician,
                                   std::optional<std::int64_t> supersedes) const
{
    QStringList parts{LoopText(tag.name)};
    if (!tag.description.empty())
        parts << LoopText(tag.description);
    parts << (asLeft ? tr("調整後") : tr("調整前"));
    if (supersedes)
        parts << tr("結果 %1 の訂正").arg(*supersedes);
    if (!technician.isEmpty())
        parts << tr("技術者 %1").arg(technician);
    return parts.join(QStringLiteral("　"));
}

void CLoopCheckDlg::StartTest(bool asLeft)
{
    const std::optional<LoopTag> tag = SelectedTag();
    if (tag)
        StartTestOf(*tag, asLeft, std::nullopt);
}

void CLoopCheckDlg::StartCorrection(std::int64_t supersedes, bool asLeft)
{
    if (!m_database.IsOpen())
        return;
    const std::optional<LoopResult> corrected = m_database.Result(supersedes);
    if (!corrected)
        return;
    // The loop as it is set now; the result corrected keeps its own settings.
    const std::optional<LoopTag> tag = m_database.FindTag(corrected->tag.name);
    if (!tag) {
        m_prompter.Message(LoopUtf8(tr("タグ %1 はもうありません").arg(LoopText(corrected->tag.name))), kAppTitle,
                           PromptIcon::Exclamation);
        return;
    }
    StartTestOf(*tag, asLeft, supersedes);
}

void CLoopCheckDlg::StartTestOf(const LoopTag& tag, bool asLeft, std::optional<std::int64_t> supersedes)
{
    if (!m_database.IsOpen())
        return;
    if (m_pProcedure->Running()) {
        // One test at a time: the running one comes forward.
        m_prompter.Message(Tr(LoopStartRefusalText(LoopStartRefusal::Busy)), kAppTitle, PromptIcon::Information);
        if (m_pTestView) {
            m_pTestView->show();
            m_pTestView->raise();
        }
        return;
    }
    CLoopStartDlg start(TestHeading(tag, asLeft, QString(), supersedes), this);
    if (supersedes)
        start.AskReason();
    if (RunDialog(start) != QDialog::Accepted)
        return;
    CLoopStartDlg::RememberTechnician(start.Technician());

    LoopTestRequest request;
    request.tag = tag;
    request.technician = LoopUtf8(start.Technician());
    request.remark = LoopUtf8(start.Remark());
    request.asLeft = asLeft;
    request.supersedes = supersedes;
    request.supersedeReason = LoopUtf8(start.Reason());
    const LoopStart started = m_pProcedure->Start(request);
    if (!started.Started()) {
        m_prompter.Message(
            LoopUtf8(tr("%1 の点検を開始できません。\n%2").arg(LoopText(tag.name), LoopText(started.message))),
            kAppTitle, PromptIcon::Exclamation);
        return;
    }
    if (!m_pTestView) {
        m_pTestView = new CLoopTestView(*m_pProcedure, m_prompter, this);
        connect(m_pTestView, &CLoopTestView::Stepped, this, &CLoopCheckDlg::AfterStep);
    }
    m_bWasRunning = true;
    m_pTestView->Begin(TestHeading(tag, asLeft, start.Technician(), supersedes));
    m_pTestView->show();
    m_pTestView->raise();
    m_pTestView->activateWindow();
    ShowStatus(tr("%1 を点検中").arg(LoopText(tag.name)));
    UpdateButtons();
    // The first point may need no settle time at all.
    AfterStep();
}

void CLoopCheckDlg::OnTick()
{
    if (!m_pProcedure->Running())
        return;
    // While a dialog holds the link (the output adjustment, the firmware
    // update) the session's work is paused; so is the test's, so that it
    // sends nothing into the dialog's exchanges. The settle time waits.
    if (m_pView != nullptr && !m_pView->TimerWork())
        return;
    m_pProcedure->Tick();
    if (m_pTestView)
        m_pTestView->Refresh();
    AfterStep();
}

void CLoopCheckDlg::AfterStep()
{
    if (!m_bWasRunning || m_pProcedure->Running())
        return;
    m_bWasRunning = false;
    if (m_pTestView)
        m_pTestView->Refresh();
    const LoopResult& result = m_pProcedure->Result();
    Reload();
    if (m_pHistory && m_pHistory->TagName() == result.tag.name)
        m_pHistory->Reload();
    ShowStatus(m_pProcedure->Stored() ? tr("%1: %2 (結果 %3)")
                                            .arg(LoopText(result.tag.name), LoopCheckShown::Verdict(result.verdict))
                                            .arg(result.id)
                                      : tr("結果を保存できませんでした: %1").arg(LoopText(m_pProcedure->StoreError())));
    UpdateButtons();
    Q_EMIT TestEnded();
}

void CLoopCheckDlg::ShowHistory()
{
    const std::optional<LoopTag> tag = SelectedTag();
    if (!tag || !m_database.IsOpen())
        return;
    if (!m_pHistory) {
        m_pHistory = new CLoopHistoryDlg(m_database, this);
        connect(m_pHistory, &CLoopHistoryDlg::CorrectionRequested, this,
                [this](qint64 id, bool asLeft) { StartCorrection(id, asLeft); });
        connect(m_pHistory, &CLoopHistoryDlg::ReportRequested, this,
                [this](qint64 id, const QString& name) { WriteReport(id, LoopUtf8(name)); });
    }
    m_pHistory->ShowTag(*tag);
    m_pHistory->show();
    m_pHistory->raise();
    m_pHistory->activateWindow();
}

ChainCheck CLoopCheckDlg::VerifyResults()
{
    if (!m_database.IsOpen()) {
        ChainCheck none;
        none.ok = false;
        none.reason = LoopUtf8(m_strProblem);
        m_prompter.Message(none.reason, kAppTitle, PromptIcon::Exclamation);
        return none;
    }
    ChainCheck check = m_database.Verify();
    if (check.ok) {
        const QString text = tr("%1 件の結果を検証しました。どの結果も記録されたときのままです。").arg(check.checked);
        ShowStatus(text);
        m_prompter.Message(LoopUtf8(text), kAppTitle, PromptIcon::Information);
    } else {
        const QString text = tr("記録の検証で不一致が見つかりました。\n%1").arg(LoopText(check.reason));
        ShowStatus(text);
        m_prompter.Message(LoopUtf8(text), kAppTitle, PromptIcon::Stop);
    }
    return check;
}

void CLoopCheckDlg::closeEvent(QCloseEvent* event)
{
    if (m_pProcedure->Running()) {
        const PromptAnswer answer = m_prompter.Message(LoopUtf8(tr("点検中です。中止して、出力を点検前に戻しますか？")),
                                                       kAppTitle, PromptIcon::Question, PromptButtons::YesNo);
        if (answer != PromptAnswer::Yes) {
            event->ignore();
            return;
        }
        m_pProcedure->Abort(Tr("the loop check was closed"));
        AfterStep();
    }
    QWidget::closeEvent(event);
}

} // namespace velmora
