#include "viewer/print_preview.h"

#include <QBuffer>
#include <QEventLoop>
#include <QMessageBox>
#include <QPainter>
#include <QPdfDocument>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QWebEnginePage>
#include <algorithm>

namespace quorvane::viewer {

namespace {

constexpr double kMarginMm = 19.05;
// Enough for print; more only costs memory (a whole page is rendered at once).
constexpr int kMaxRenderDpi = 200;
// Measured on the demo report printed on A4 (its tables of short values).
constexpr qint64 kBytesPerPage = 7000;  // 66 KB on 9 A4 pages

}  // namespace

int EstimatedPages(qint64 bytes) {
  return static_cast<int>(std::max<qint64>(1, bytes / kBytesPerPage));
}

QPageLayout ReportPageLayout() {
  const QPrinter defaults;
  return QPageLayout(defaults.pageLayout().pageSize(), QPageLayout::Portrait,
                     QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                     QPageLayout::Millimeter);
}

std::optional<QByteArray> PrintPageToPdf(QWebEnginePage& page) {
  QEventLoop wait;
  std::optional<QByteArray> pdf;
  page.printToPdf(
      [&](const QByteArray& bytes) {
        if (!bytes.isEmpty()) pdf = bytes;
        wait.quit();
      },
      ReportPageLayout());
  // The engine also answers when its renderer dies: then with no bytes.
  QObject::connect(&page, &QWebEnginePage::renderProcessTerminated, &wait, &QEventLoop::quit);
  wait.exec();
  return pdf;
}

void PaintPages(QPrinter& printer, QPdfDocument& pdf, const PageDecoration& decoration) {
  printer.setFullPage(true);
  QPainter painter(&printer);
  const int resolution = printer.resolution();
  const QRect paper = printer.pageLayout().fullRectPixels(resolution);
  const int margin = static_cast<int>(kMarginMm / 25.4 * resolution);
  const int renderDpi = std::min(resolution, kMaxRenderDpi);
  QFont font("Arial");
  font.setPointSizeF(8.5);
  // Ligatures ("fi" of "file://") would make the printed address unsearchable.
  font.setStyleStrategy(QFont::PreferNoShaping);
  painter.setFont(font);
  const int pages = pdf.pageCount();
  for (int i = 0; i < pages; ++i) {
    if (i > 0) printer.newPage();
    const QSizeF points = pdf.pagePointSize(i);
    const QSize pixels(static_cast<int>(points.width() / 72.0 * renderDpi),
                       static_cast<int>(points.height() / 72.0 * renderDpi));
    painter.drawImage(paper, pdf.render(i, pixels));
    // Header and footer stand in the middle of the top and bottom margins.
    const QRect header(paper.left() + margin, paper.top(), paper.width() - 2 * margin, margin);
    const QRect footer(paper.left() + margin, paper.bottom() - margin, paper.width() - 2 * margin,
                       margin);
    painter.drawText(header, Qt::AlignLeft | Qt::AlignVCenter, decoration.title);
    painter.drawText(header, Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("Page %1 of %2").arg(i + 1).arg(pages));
    painter.drawText(footer, Qt::AlignLeft | Qt::AlignVCenter, decoration.address);
    painter.drawText(footer, Qt::AlignRight | Qt::AlignVCenter, decoration.date);
  }
}

void ShowPrintPreview(QWidget* parent, QWebEnginePage& page, const PageDecoration& decoration) {
  const std::optional<QByteArray> bytes = PrintPageToPdf(page);
  QPdfDocument pdf;
  QBuffer buffer;
  if (bytes) {
    buffer.setData(*bytes);
    buffer.open(QIODevice::ReadOnly);
    pdf.load(&buffer);
  }
  if (!bytes || pdf.status() != QPdfDocument::Status::Ready) {
    QMessageBox::critical(parent, QObject::tr("Print Preview"),
                          QObject::tr("The report could not be printed: the viewer's renderer "
                                      "failed. Save the report and print it from a browser."));
    return;
  }
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageLayout(ReportPageLayout());
  printer.setDocName(decoration.title);
  QPrintPreviewDialog preview(&printer, parent);
  preview.setObjectName("PrintPreviewDialog");
  QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                   [&](QPrinter* target) { PaintPages(*target, pdf, decoration); });
  preview.exec();
}

}  // namespace quorvane::viewer
