#pragma once

#include <QByteArray>
#include <QPageLayout>
#include <QString>
#include <optional>

class QPdfDocument;
class QPrinter;
class QWebEnginePage;
class QWidget;

namespace quorvane::viewer {

// Above this size a print preview asks first: the engine prints the whole report at once.
inline constexpr qint64 kLargePrintBytes = 4 * 1024 * 1024;
// About how many pages a report of `bytes` prints on.
int EstimatedPages(qint64 bytes);

// How every printed page is laid out: portrait, 19.05 mm (0.75 inch) margins on each side.
QPageLayout ReportPageLayout();

// What each printed page carries in its margins: the report's title at the top left and
// "Page p of P" at the top right; the file's address at the bottom left and the short date at
// the bottom right.
struct PageDecoration {
  QString title;
  QString address;
  QString date;
};

// The page printed into a PDF in memory by the engine, waiting while it works; nothing when
// the engine could not print it.
std::optional<QByteArray> PrintPageToPdf(QWebEnginePage& page);

// Paints every page of `pdf` onto `printer`, each with the decoration in its margins.
void PaintPages(QPrinter& printer, QPdfDocument& pdf, const PageDecoration& decoration);

// `PrintPreviewClick`: prints the page, then opens the print preview over the result; from
// there it goes to a printer or a PDF file. Says why in an error box when printing failed.
void ShowPrintPreview(QWidget* parent, QWebEnginePage& page, const PageDecoration& decoration);

}  // namespace quorvane::viewer
