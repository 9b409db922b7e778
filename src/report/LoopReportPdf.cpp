#include "report/LoopReportPdf.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QScreen>
#include <QTextDocument>

#include <cstdio>
#include <memory>

#include "platform/AtomicFile.h"
#include "platform/Translate.h"

namespace velmora {

namespace {

constexpr int kDpi = 300;
constexpr double kMarginMm = 15.0;
constexpr double kFootMm = 8.0; // the foot's band inside the bottom margin's page area

// Qt's platform plug-ins are looked up where Qt says; without the offscreen
// one a QGuiApplication would end the process instead of failing.
bool HasOffscreenPlatform()
{
    for (const QString& dir : QCoreApplication::libraryPaths()) {
        const QDir platforms(dir + QStringLiteral("/platforms"));
        if (!platforms.entryList({QStringLiteral("*qoffscreen*")}, QDir::Files).isEmpty())
            return true;
    }
    return false;
}

// A QGuiApplication on the offscreen platform while a PDF is made in a
// program that has none: fonts and layout need one, a screen does not.
class GuiForPdf {
public:
    bool Ready(std::string& why)
    {
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr)
            return true;
        if (QCoreApplication::instance() != nullptr) {
            why = Tr(N_("a PDF cannot be made in this program (it runs without Qt GUI)"));
            return false;
        }
        if (!HasOffscreenPlatform()) {
            why = Tr(N_("a PDF needs Qt's offscreen platform plug-in (Debian package qt6-qpa-plugins)"));
            return false;
        }
        // Qt's notes on the environment (no XDG_RUNTIME_DIR under cron or
        // sudo) are not the command's to print; its critical messages are.
        m_previous = qInstallMessageHandler(&GuiForPdf::Filter);
        m_bFiltering = true;
        m_app = std::make_unique<QGuiApplication>(m_argc, m_argv);
        return true;
    }
    ~GuiForPdf()
    {
        m_app.reset();
        if (m_bFiltering)
            qInstallMessageHandler(m_previous);
    }
    GuiForPdf() = default;
    GuiForPdf(const GuiForPdf&) = delete;
    GuiForPdf& operator=(const GuiForPdf&) = delete;

private:
    char m_name[11] = "velmoractl";
    char m_option[10] = "-platform";
    char m_platform[10] = "offscreen";
    char* m_argv[4] = {m_name, m_option, m_platform, nullptr};
    int m_argc = 3;
    std::unique_ptr<QGuiApplication> m_app;
    QtMessageHandler m_previous = nullptr;
    bool m_bFiltering = false;

    static void Filter(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg)
            return;
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    }
};

QString Q(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QFont ReportFont(double points)
{
    QFont font;
    // Latin in DejaVu, Japanese in IPA Gothic (fonts-ipafont-gothic), each
    // embedded as the subset the record uses.
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                      QStringLiteral("Noto Sans CJK JP")});
    font.setPointSizeF(points);
    // Without shaping "fi" stays two letters, not a ligature: a viewer's
    // search and a copied text find "verified". Neither Latin nor Japanese
    // needs shaping.
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

} // namespace

std::string LoopReportPdf(const LoopReport& report, std::string& why)
{
    GuiForPdf gui;
    if (!gui.Ready(why))
        return {};

    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setResolution(kDpi);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                                         QPageLayout::Millimeter));
        writer.setTitle(Q(report.title + " " + report.footerText));
        writer.setCreator(QStringLiteral("Velmora " VELMORA_VERSION));

        // The page is laid out as a browser lays out the HTML, in CSS pixels
        // of the screen's resolution, with the fonts' design metrics, and
        // drawn scaled to the printer's: the page's lengths mean the same on
        // paper and in a browser.
        const QScreen* screen = QGuiApplication::primaryScreen();
        const double sourceDpi =
            screen != nullptr && screen->logicalDotsPerInchY() > 0 ? screen->logicalDotsPerInchY() : 96.0;
        const double scale = kDpi / sourceDpi;
        QTextDocument doc;
        doc.setUseDesignMetrics(true);
        doc.setDefaultFont(ReportFont(8.5));
        doc.setDocumentMargin(0);
        doc.setHtml(Q(LoopReportHtml(report)));

        const QSizeF body(writer.pageLayout().paintRectPixels(kDpi).size());
        const double foot = kFootMm / 25.4 * kDpi;
        const QSizeF page(body.width() / scale, (body.height() - foot) / scale);
        doc.setPageSize(page);
        const int pages = doc.pageCount();

        const QFont footFont = ReportFont(7);
        QPainter painter(&writer);
        for (int i = 0; i < pages; ++i) {
            if (i > 0)
                writer.newPage();
            painter.save();
            painter.scale(scale, scale);
            painter.translate(0, -i * page.height());
            // A line that only touches the page's edge belongs to the page
            // beside it: drawn here it would be hidden by the clip but still
            // be in the file, and a copied text would hold it twice.
            doc.drawContents(&painter, QRectF(0, i * page.height() + 0.5, page.width(), page.height() - 1));
            painter.restore();

            painter.setFont(footFont);
            painter.setPen(QPen(Qt::black, kDpi / 150.0));
            const double lineY = body.height() - foot * 0.7;
            painter.drawLine(QPointF(0, lineY), QPointF(body.width(), lineY));
            const QRectF text(0, lineY, body.width(), body.height() - lineY);
            painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, Q(report.footerText));
            painter.drawText(text, Qt::AlignRight | Qt::AlignVCenter,
                             Q(FormatText(report.pagePattern, {std::to_string(i + 1), std::to_string(pages)})));
        }
        painter.end();
    }
    return bytes.toStdString();
}

LoopReportWrite WriteLoopReport(const LoopReport& report, const std::string& path)
{
    const auto format = LoopReportFormatOfPath(path);
    if (!format) {
        LoopReportWrite w;
        w.message = TrFormat(N_("%1: the record is written as .pdf, .html or .csv"), {path});
        return w;
    }
    if (*format != LoopReportFormat::Pdf)
        return WriteLoopReportText(report, path, *format);
    LoopReportWrite w;
    std::string why;
    const std::string pdf = LoopReportPdf(report, why);
    if (pdf.empty()) {
        w.message = TrFormat(N_("%1: %2"), {path, why.empty() ? Tr(N_("the PDF could not be made")) : why});
        return w;
    }
    const AtomicWriteResult written = WriteFileAtomically(path, pdf);
    w.ok = static_cast<bool>(written);
    if (!w.ok)
        w.message = TrFormat(N_("%1: %2"), {path, written.Describe()});
    return w;
}

} // namespace velmora
