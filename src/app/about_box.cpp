#include "app/about_box.h"

#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QUrl>

#include "app/links.h"
#include "report/text.h"

namespace quorvane::app {

namespace {

// A label that opens its link when clicked, shown in blue with the hand cursor.
QLabel* LinkLabel(QWidget* parent, const QString& text, const char* objectName,
                  std::function<void()> onClick) {
  auto* label = new QLabel(
      QStringLiteral("<a href=\"#\" style=\"color:#0000ff\">%1</a>").arg(text.toHtmlEscaped()),
      parent);
  label->setObjectName(objectName);
  label->setCursor(Qt::PointingHandCursor);
  label->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  QObject::connect(label, &QLabel::linkActivated, parent,
                   [onClick = std::move(onClick)] { onClick(); });
  return label;
}

constexpr int kWidth = 401;

std::uint32_t MillisecondCounter() {
  static const QElapsedTimer started = [] {
    QElapsedTimer timer;
    timer.start();
    return timer;
  }();
  return static_cast<std::uint32_t>(started.elapsed());
}

}  // namespace

void LongDelay(std::uint32_t ms, const std::function<std::uint32_t()>& now,
               const std::function<void()>& processEvents) {
  const auto tick = now ? now : MillisecondCounter;
  // Elapsed time as an unsigned difference is right across a wrap of the counter, so the wait
  // is never cut short there and never lasts for ever.
  const std::uint32_t start = tick();
  while (static_cast<std::uint32_t>(tick() - start) < ms) {
    if (processEvents) {
      processEvents();
    } else {
      QApplication::processEvents();
    }
    QThread::msleep(1);
  }
}

TAboutBox::TAboutBox(QWidget* parent, std::function<void(const QUrl&)> openUrl)
    : QDialog(parent), openUrl_(std::move(openUrl)) {
  if (!openUrl_) openUrl_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  setObjectName("AboutBox");
  setWindowTitle(tr("About.."));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  // The design's 321 by 228 at 8-point MS Sans Serif; wider for the larger fonts of a Linux
  // desktop, so that no text is cut.
  setFixedSize(kWidth, 228);

  auto* panel1 = new QFrame(this);
  panel1->setObjectName("Panel1");
  panel1->setFrameShape(QFrame::Box);
  panel1->setGeometry(8, 8, kWidth - 16, 177);
  panel1->setAutoFillBackground(true);
  QPalette grey = panel1->palette();
  grey.setColor(QPalette::Window,
                palette().color(QPalette::Disabled, QPalette::WindowText).lighter(260));
  panel1->setPalette(grey);

  auto* panel2 = new QFrame(panel1);
  panel2->setObjectName("Panel2");
  panel2->setGeometry(8, 9, 63, 67);
  auto* icon = new QLabel(panel2);
  icon->setObjectName("ProgramIcon");
  icon->setGeometry(2, 1, 59, 64);
  icon->setPixmap(QIcon(":/quorvane.svg").pixmap(56, 56));
  icon->setAlignment(Qt::AlignCenter);

  auto* product = new QLabel(tr("SQL Server Quorvane"), panel1);
  product->setObjectName("ProductName");
  QFont productFont = product->font();
  productFont.setBold(true);
  productFont.setPixelSize(19);
  product->setFont(productFont);
  product->setStyleSheet("color: #0000ff");
  product->move(80, 24);
  product->adjustSize();

  Version = new QLabel(QString::fromStdString("Version " + report::GetVersionString()), panel1);
  Version->setObjectName("Version");
  Version->move(80, 48);
  Version->adjustSize();

  auto* years = new QLabel(tr("2008-2026 the Quorvane developers"), panel1);
  years->setObjectName("Copyright");
  years->move(8, 82);
  years->adjustSize();

  auto* comments =
      new QLabel(tr("Free software: you may pass it on unchanged and free of charge."), panel1);
  comments->setObjectName("Comments");
  comments->setWordWrap(true);
  comments->setGeometry(8, 96, panel1->width() - 16, 28);

  auto* donation1 = new QLabel(tr("Please support this free software by making a small"), panel1);
  donation1->setObjectName("DonationLabel1");
  donation1->move(8, 128);
  donation1->adjustSize();
  auto* donation =
      LinkLabel(panel1, tr("Donation"), "DonationLabel", [this] { DonationLabelClick(); });
  donation->adjustSize();
  if (donation1->x() + donation1->width() + 3 + donation->width() <= panel1->width() - 8) {
    donation->move(std::max(250, donation1->x() + donation1->width() + 3), 128);
  } else {
    donation->move(8, 128 + donation1->height());
  }

  auto* url =
      LinkLabel(panel1, QString::fromLatin1(kWebSiteUrl), "URLLabel", [this] { URLClick(); });
  url->move(80, std::max(152, donation->y() + donation->height() + 4));
  url->adjustSize();

  OKButton = new QPushButton(tr("OK"), this);
  OKButton->setObjectName("OKButton");
  OKButton->setGeometry((kWidth - 75) / 2, 196, 75, 25);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::MakeSplash() {
  setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
  setAttribute(Qt::WA_TranslucentBackground);
  OKButton->hide();
  setFixedSize(kWidth, 193);
}

void TAboutBox::URLClick() {
  openUrl_(QUrl(QString::fromLatin1(kWebSiteUrl)));
}

void TAboutBox::DonationLabelClick() {
  openUrl_(QUrl(QString::fromLatin1(kDonationUrl)));
}

}  // namespace quorvane::app
