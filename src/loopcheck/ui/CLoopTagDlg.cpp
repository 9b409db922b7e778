#include "loopcheck/ui/CLoopTagDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "dialogs/ui/ShownText.h"
#include "loopcheck/ui/LoopCheckShown.h"
#include "model/ChannelSettings.h"
#include "model/RangeTable.h"

namespace velmora {

CLoopTagDlg::CLoopTagDlg(bool adding, Store store, QWidget* parent) : QDialog(parent), m_store(std::move(store))
{
    setObjectName(QStringLiteral("looptag"));
    setWindowTitle(adding ? tr("タグの追加") : tr("タグの編集"));
    auto* grid = new QGridLayout;
    grid->setColumnStretch(1, 1);
    int row = 0;
    // A row: the field's caption, its editor, its message below the editor.
    const auto addRow = [&](const QString& caption, QWidget* editor, const char* field) {
        auto* label = new QLabel(caption, this);
        label->setBuddy(editor);
        grid->addWidget(label, row, 0);
        grid->addWidget(editor, row, 1);
        ++row;
        auto* problem = new QLabel(this);
        problem->setObjectName(QStringLiteral("problem_") + QLatin1String(field));
        problem->setStyleSheet(QStringLiteral("color: #b00000;"));
        problem->setWordWrap(true);
        problem->hide();
        grid->addWidget(problem, row, 1);
        ++row;
        m_problems[field] = problem;
    };

    addRow(tr("タグ(&T)"), AddLine("name"), "name");
    m_lines["name"]->setReadOnly(!adding);
    m_lines["name"]->setPlaceholderText(tr("例: FT-101"));
    addRow(tr("説明"), AddLine("description"), "description");
    addRow(tr("場所"), AddLine("location"), "location");

    m_pChannel = new QSpinBox(this);
    m_pChannel->setObjectName(QStringLiteral("channel"));
    m_pChannel->setRange(1, 4);
    addRow(tr("チャンネル"), m_pChannel, "channel");

    m_pRange = new QComboBox(this);
    m_pRange->setObjectName(QStringLiteral("range"));
    for (int code = 0; code < kSlotCount; ++code) {
        if (!IsValidRangeCode(code) || code == kConversionSlot)
            continue;
        m_pRange->addItem(Shown(RangeDisplayName(code)), LoopText(RangeKey(code)));
    }
    addRow(tr("出力レンジ"), m_pRange, "range");

    addRow(tr("LRV (0 %)"), AddLine("lrv"), "lrv");
    addRow(tr("URV (100 %)"), AddLine("urv"), "urv");
    addRow(tr("単位"), AddLine("unit"), "unit");
    m_lines["unit"]->setPlaceholderText(tr("例: m³/h"));

    m_pTransfer = new QComboBox(this);
    m_pTransfer->setObjectName(QStringLiteral("transfer"));
    m_pTransfer->addItem(tr("直線"), QStringLiteral("linear"));
    m_pTransfer->addItem(tr("開平 (差圧流量)"), QStringLiteral("sqrt"));
    addRow(tr("伝達関数"), m_pTransfer, "transfer");

    addRow(tr("試験点 (信号の %)"), AddLine("points"), "points");
    m_lines["points"]->setPlaceholderText(QStringLiteral("0,25,50,75,100"));
    m_lines["points"]->setToolTip(tr("下りも点検するときは 0,25,50,75,100,75,50,25,0 のように続けます"));
    addRow(tr("許容差 (スパンの %)"), AddLine("tolerance"), "tolerance");
    addRow(tr("調整限界 (スパンの %)"), AddLine("adjust_limit"), "adjust_limit");
    m_lines["adjust_limit"]->setPlaceholderText(tr("なし"));
    addRow(tr("安定待ち (秒)"), AddLine("settle"), "settle");

    m_pDecimals = new QSpinBox(this);
    m_pDecimals->setObjectName(QStringLiteral("decimals"));
    m_pDecimals->setRange(0, LoopTag::kMaxDecimals);
    addRow(tr("受信側の小数桁"), m_pDecimals, "decimals");

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("キャンセル"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CLoopTagDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CLoopTagDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
    SetTag(LoopTag{});
}

QLineEdit* CLoopTagDlg::AddLine(const char* field)
{
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QLatin1String(field));
    m_lines[field] = edit;
    return edit;
}

void CLoopTagDlg::SetTag(const LoopTag& tag)
{
    m_tag = tag;
    m_lines["name"]->setText(LoopText(tag.name));
    m_lines["description"]->setText(LoopText(tag.description));
    m_lines["location"]->setText(LoopText(tag.location));
    m_pChannel->setValue(tag.channel);
    const int range = m_pRange->findData(LoopText(tag.range));
    m_pRange->setCurrentIndex(range >= 0 ? range : m_pRange->findData(QStringLiteral("4_20mA")));
    m_lines["lrv"]->setText(LoopText(ShortNumber(tag.lrv)));
    m_lines["urv"]->setText(LoopText(ShortNumber(tag.urv)));
    m_lines["unit"]->setText(LoopText(tag.unit));
    m_pTransfer->setCurrentIndex(tag.transfer == LoopTransfer::SquareRoot ? 1 : 0);
    m_lines["points"]->setText(LoopText(PointListText(tag.points)));
    m_lines["tolerance"]->setText(LoopText(ShortNumber(tag.tolerance)));
    m_lines["adjust_limit"]->setText(tag.adjustLimit ? LoopText(ShortNumber(*tag.adjustLimit)) : QString());
    m_lines["settle"]->setText(LoopText(ShortNumber(tag.settleSeconds)));
    m_pDecimals->setValue(tag.decimals);
    for (auto& [field, label] : m_problems)
        label->hide();
}

QString CLoopTagDlg::ProblemText(const std::string& field) const
{
    const auto it = m_problems.find(field);
    return it != m_problems.end() && !it->second->isHidden() ? it->second->text() : QString();
}

void CLoopTagDlg::ShowProblem(const std::string& field, const QString& message)
{
    // A rule of the whole tag that names no field of this dialog shows
    // under the name.
    const auto it = m_problems.find(field);
    QLabel* label = it != m_problems.end() ? it->second : m_problems["name"];
    label->setText(message);
    label->show();
    QWidget* editor = findChild<QWidget*>(QString::fromStdString(it != m_problems.end() ? field : "name"));
    if (editor != nullptr)
        editor->setFocus();
}

std::optional<LoopTag> CLoopTagDlg::ReadFields()
{
    LoopTag tag = m_tag;
    tag.name = LoopUtf8(m_lines["name"]->text());
    tag.description = LoopUtf8(m_lines["description"]->text());
    tag.location = LoopUtf8(m_lines["location"]->text());
    tag.channel = m_pChannel->value();
    tag.range = LoopUtf8(m_pRange->currentData().toString());
    tag.unit = LoopUtf8(m_lines["unit"]->text());
    tag.transfer = m_pTransfer->currentIndex() == 1 ? LoopTransfer::SquareRoot : LoopTransfer::Linear;
    tag.decimals = m_pDecimals->value();

    bool ok = true;
    const auto number = [&](const char* field, double& out) {
        const auto value = LoopCheckShown::TypedNumber(m_lines[field]->text());
        if (!value) {
            if (ok)
                ShowProblem(field, tr("数値を入力してください"));
            ok = false;
            return;
        }
        out = *value;
    };
    number("lrv", tag.lrv);
    number("urv", tag.urv);
    const auto points = ParsePointList(LoopUtf8(m_lines["points"]->text().normalized(QString::NormalizationForm_KC)));
    if (points) {
        tag.points = *points;
    } else if (ok) {
        ShowProblem("points", tr("0,25,50,75,100 のように、カンマで区切った数値を入力してください"));
        ok = false;
    }
    number("tolerance", tag.tolerance);
    if (m_lines["adjust_limit"]->text().trimmed().isEmpty()) {
        tag.adjustLimit.reset();
    } else {
        double limit = 0.0;
        number("adjust_limit", limit);
        tag.adjustLimit = limit;
    }
    number("settle", tag.settleSeconds);
    if (!ok)
        return std::nullopt;
    return tag;
}

void CLoopTagDlg::accept()
{
    for (auto& [field, label] : m_problems)
        label->hide();
    const std::optional<LoopTag> tag = ReadFields();
    if (!tag)
        return;
    if (const auto problem = ValidateTag(*tag)) {
        ShowProblem(problem->field, LoopText(problem->message));
        return;
    }
    if (m_store) {
        if (const auto refused = m_store(*tag)) {
            ShowProblem(refused->field, LoopText(refused->message));
            return;
        }
    }
    m_tag = *tag;
    QDialog::accept();
}

} // namespace velmora
