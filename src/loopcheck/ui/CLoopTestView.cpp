#include "loopcheck/ui/CLoopTestView.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "loopcheck/LoopCheckProcedure.h"
#include "loopcheck/ui/LoopCheckShown.h"
#include "platform/Prompter.h"

namespace velmora {

namespace {

QString SignalText(double value, const std::string& unit)
{
    return QString::number(value, 'f', 3) + QLatin1Char(' ') + LoopText(unit);
}

QTableWidgetItem* Cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

CLoopTestView::CLoopTestView(LoopCheckProcedure& procedure, Prompter& prompter, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_procedure(procedure),
      m_prompter(prompter)
{
    setObjectName(QStringLiteral("looptest"));
    setWindowTitle(tr("ループチェック - 点検") + QStringLiteral(" - Velmora"));

    m_pHeading = new QLabel(this);
    QFont bold = m_pHeading->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    m_pHeading->setFont(bold);
    m_pHeading->setTextInteractionFlags(Qt::TextSelectableByMouse);

    QFont large = font();
    large.setPointSizeF(large.pointSizeF() * 1.6);
    const auto value = [&](const char* name) {
        auto* label = new QLabel(this);
        label->setObjectName(QLatin1String(name));
        label->setFont(large);
        return label;
    };
    m_pPoint = value("point");
    m_pSignal = value("signal");
    m_pExpected = value("expected");
    m_pCountdown = value("countdown");
    auto* now = new QGridLayout;
    now->addWidget(new QLabel(tr("試験点"), this), 0, 0);
    now->addWidget(new QLabel(tr("出力信号"), this), 0, 1);
    now->addWidget(new QLabel(tr("期待値"), this), 0, 2);
    now->addWidget(new QLabel(tr("状態"), this), 0, 3);
    now->addWidget(m_pPoint, 1, 0);
    now->addWidget(m_pSignal, 1, 1);
    now->addWidget(m_pExpected, 1, 2);
    now->addWidget(m_pCountdown, 1, 3);
    for (int c = 0; c < 4; ++c)
        now->setColumnStretch(c, 1);

    auto* entry = new QHBoxLayout;
    auto* readingLabel = new QLabel(tr("読み値(&R)"), this);
    m_pReading = new QLineEdit(this);
    m_pReading->setObjectName(QStringLiteral("reading"));
    m_pReading->setFont(large);
    m_pReading->setMaximumWidth(220);
    readingLabel->setBuddy(m_pReading);
    connect(m_pReading, &QLineEdit::returnPressed, this, &CLoopTestView::EnterReading);
    m_pReadingUnit = new QLabel(this);
    m_pTake = new QPushButton(tr("入力"), this);
    m_pTake->setAutoDefault(false);
    connect(m_pTake, &QPushButton::clicked, this, &CLoopTestView::EnterReading);
    m_pRefusal = new QLabel(this);
    m_pRefusal->setObjectName(QStringLiteral("refusal"));
    m_pRefusal->setStyleSheet(QStringLiteral("color: #b00000;"));
    entry->addWidget(readingLabel);
    entry->addWidget(m_pReading);
    entry->addWidget(m_pReadingUnit);
    entry->addWidget(m_pTake);
    entry->addWidget(m_pRefusal, 1);

    m_pTable = new QTableWidget(0, kColumns, this);
    m_pTable->setObjectName(QStringLiteral("points"));
    m_pTable->setHorizontalHeaderLabels(
        {tr("点"), tr("信号 %"), tr("出力"), tr("期待値"), tr("読み値"), tr("誤差 (スパンの %)"), tr("判定")});
    m_pTable->verticalHeader()->hide();
    m_pTable->setSelectionMode(QAbstractItemView::NoSelection);
    m_pTable->setFocusPolicy(Qt::NoFocus);
    m_pTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);

    m_pOutcome = new QLabel(this);
    m_pOutcome->setObjectName(QStringLiteral("outcome"));
    m_pOutcome->setWordWrap(true);
    m_pOutcome->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QHBoxLayout;
    m_pAbort = new QPushButton(tr("中止(&A)"), this);
    m_pAbort->setObjectName(QStringLiteral("abort"));
    m_pAbort->setAutoDefault(false);
    connect(m_pAbort, &QPushButton::clicked, this, &CLoopTestView::AbortTest);
    m_pClose = new QPushButton(tr("閉じる"), this);
    m_pClose->setAutoDefault(false);
    connect(m_pClose, &QPushButton::clicked, this, &QWidget::close);
    buttons->addStretch(1);
    buttons->addWidget(m_pAbort);
    buttons->addWidget(m_pClose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pHeading);
    layout->addLayout(now);
    layout->addLayout(entry);
    layout->addWidget(m_pTable, 1);
    layout->addWidget(m_pOutcome);
    layout->addLayout(buttons);
    resize(760, 520);
}

void CLoopTestView::Begin(const QString& heading)
{
    m_pHeading->setText(heading);
    const LoopTag& tag = m_procedure.Tag();
    const std::string signalUnit = SignalUnit(tag.range);
    m_pTable->setRowCount(static_cast<int>(tag.points.size()));
    for (std::size_t i = 0; i < tag.points.size(); ++i) {
        const auto row = static_cast<int>(i);
        const double percent = tag.points[i];
        m_pTable->setItem(row, kPoint, Cell(QString::number(row + 1)));
        m_pTable->setItem(row, kPercent, Cell(LoopText(ShortNumber(percent))));
        m_pTable->setItem(row, kOutput,
                          Cell(SignalText(SignalForPercent(tag.range, percent).value_or(0.0), signalUnit)));
        m_pTable->setItem(row, kExpected,
                          Cell(LoopText(FormatReading(tag, ExpectedReading(tag, percent)) + " " + tag.unit)));
        for (int c = kReading; c < kColumns; ++c)
            m_pTable->setItem(row, c, Cell(QString()));
    }
    m_nShownPoints = 0;
    m_bWasDue = false;
    m_pReadingUnit->setText(LoopText(tag.unit));
    m_pReading->clear();
    m_pRefusal->clear();
    m_pOutcome->clear();
    m_pOutcome->setStyleSheet(QString());
    Refresh();
}

void CLoopTestView::Refresh()
{
    const LoopTag& tag = m_procedure.Tag();
    const auto& points = m_procedure.Points();
    for (; m_nShownPoints < points.size() && m_nShownPoints < static_cast<std::size_t>(m_pTable->rowCount());
         ++m_nShownPoints) {
        const LoopPointResult& p = points[m_nShownPoints];
        const auto row = static_cast<int>(m_nShownPoints);
        m_pTable->item(row, kOutput)->setText(SignalText(p.output, p.signalUnit));
        m_pTable->item(row, kReading)->setText(LoopText(FormatReading(tag, p.reading) + " " + tag.unit));
        m_pTable->item(row, kError)->setText(LoopText(FormatErrorPercent(p.errorPercent)));
        QTableWidgetItem* verdict = m_pTable->item(row, kVerdict);
        verdict->setText(LoopCheckShown::Verdict(p.verdict));
        verdict->setTextAlignment(Qt::AlignCenter);
        for (int c = kError; c <= kVerdict; ++c)
            m_pTable->item(row, c)->setBackground(LoopCheckShown::Colour(p.verdict));
    }
    const bool running = m_procedure.Running();
    m_pReading->setEnabled(running);
    m_pTake->setEnabled(running);
    m_pAbort->setEnabled(running);
    if (running) {
        const auto index = static_cast<int>(m_procedure.PointIndex());
        m_pPoint->setText(tr("%1 / %2 (%3 %)")
                              .arg(index + 1)
                              .arg(m_procedure.PointCount())
                              .arg(LoopText(ShortNumber(m_procedure.PointPercent()))));
        m_pSignal->setText(SignalText(m_procedure.PointSignal(), m_procedure.SignalUnit()));
        m_pExpected->setText(LoopText(FormatReading(tag, m_procedure.PointExpected()) + " " + tag.unit));
        if (m_procedure.GetState() == LoopCheckProcedure::State::Settling)
            m_pCountdown->setText(tr("安定待ち %1 秒").arg(m_procedure.SettleSecondsLeft()));
        else
            m_pCountdown->setText(tr("読み値を入力"));
        for (int row = 0; row < m_pTable->rowCount(); ++row)
            for (int c = kPoint; c <= kExpected; ++c)
                m_pTable->item(row, c)->setBackground(row == index ? QColor(0xe3, 0xf2, 0xfd) : QColor(Qt::white));
        // The field takes the keys once a reading is due, not at every
        // tick: the technician may have tabbed to Abort meanwhile.
        const bool due = m_procedure.GetState() == LoopCheckProcedure::State::AwaitingReading;
        if (due && !m_bWasDue)
            m_pReading->setFocus();
        m_bWasDue = due;
        return;
    }
    if (m_procedure.Ended()) {
        m_pCountdown->setText(m_procedure.GetState() == LoopCheckProcedure::State::Done ? tr("終了") : tr("中止"));
        for (int row = 0; row < m_pTable->rowCount(); ++row)
            for (int c = kPoint; c <= kExpected; ++c)
                m_pTable->item(row, c)->setBackground(Qt::white);
        ShowOutcome();
    }
}

void CLoopTestView::ShowOutcome()
{
    const LoopResult& r = m_procedure.Result();
    QStringList lines;
    lines << tr("総合判定: %1 (%2)").arg(LoopCheckShown::Verdict(r.verdict), LoopCheckShown::Kind(r.kind));
    if (r.ending != LoopTestEnding::Completed)
        lines << tr("中止の理由: %1").arg(LoopText(r.endingDetail));
    if (m_procedure.Stored())
        lines << tr("結果 %1　ハッシュ %2").arg(r.id).arg(LoopText(r.hash));
    else
        lines << tr("結果を保存できませんでした: %1").arg(LoopText(m_procedure.StoreError()));
    m_pOutcome->setText(lines.join(QLatin1Char('\n')));
    const QColor colour = LoopCheckShown::Colour(r.verdict);
    m_pOutcome->setStyleSheet(QStringLiteral("background: %1; padding: 6px;").arg(colour.name()));
}

bool CLoopTestView::EnterReading()
{
    if (!m_procedure.Running())
        return false;
    const auto value = LoopCheckShown::TypedNumber(m_pReading->text());
    if (!value) {
        Refuse(tr("数値ではありません"));
        return false;
    }
    switch (m_procedure.TakeReading(*value)) {
    case ReadingRefusal::None:
        break;
    case ReadingRefusal::NotAwaiting:
        Refuse(m_procedure.Running() ? tr("安定待ちです。あと %1 秒").arg(m_procedure.SettleSecondsLeft())
                                     : tr("点検は終わっています"));
        Refresh();
        Q_EMIT Stepped();
        return false;
    case ReadingRefusal::NotANumber:
        Refuse(tr("数値ではありません"));
        return false;
    }
    m_pRefusal->clear();
    m_pReading->clear();
    Refresh();
    Q_EMIT Stepped();
    return true;
}

void CLoopTestView::Refuse(const QString& why)
{
    m_pRefusal->setText(why);
    m_pReading->selectAll();
    m_pReading->setFocus();
}

void CLoopTestView::AbortTest()
{
    if (!m_procedure.Running())
        return;
    m_procedure.Abort();
    Refresh();
    Q_EMIT Stepped();
}

QString CLoopTestView::RefusalText() const
{
    return m_pRefusal->text();
}

QString CLoopTestView::PointText() const
{
    return m_pPoint->text();
}

QString CLoopTestView::CountdownText() const
{
    return m_pCountdown->text();
}

QString CLoopTestView::OutcomeText() const
{
    return m_pOutcome->text();
}

void CLoopTestView::closeEvent(QCloseEvent* event)
{
    if (m_procedure.Running()) {
        const PromptAnswer answer = m_prompter.Message(LoopUtf8(tr("点検中です。中止して、出力を点検前に戻しますか？")),
                                                       kAppTitle, PromptIcon::Question, PromptButtons::YesNo);
        if (answer != PromptAnswer::Yes) {
            event->ignore();
            return;
        }
        m_procedure.Abort(Tr("the loop check was closed"));
        Refresh();
        Q_EMIT Stepped();
    }
    QWidget::closeEvent(event);
}

} // namespace velmora
