#include "core/splash.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

#include "core/apppaths.h"
#include "util/inifile.h"

namespace qrv {

namespace {
TfrmLogo *g_splash = nullptr;
constexpr QRgb kLinkColor = 0xFF14A9F5;
constexpr QRgb kDarkBg = 0xFF2B333E;
constexpr QRgb kLightText = 0xFF3F454B;
}  // namespace

TfrmLogo *Splash() { return g_splash; }
void SetSplash(TfrmLogo *splash) { g_splash = splash; }

TfrmLogo::TfrmLogo(QWidget *parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("frmLogo"));
  setFixedSize(470, 270);
  // The theme comes from the settings file before anything else of the program exists.
  try {
    const QString folder = QString::fromLatin1(kProductName) + BitnessSuffix();
    const IniFile ini(GetSettingsDir(folder) + QStringLiteral("Settings.ini"));
    FDark = ini.readBool(QStringLiteral("Options"), QStringLiteral("DarkTheme"), true);
  } catch (const SettingsDirError &) {
    FDark = true;
  }
  const QColor bg = FDark ? QColor::fromRgba(kDarkBg) : QColor(Qt::white);
  const QColor text = FDark ? QColor(Qt::white) : QColor::fromRgba(kLightText);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, bg);
  pal.setColor(QPalette::WindowText, text);
  setPalette(pal);
  setAutoFillBackground(true);

  auto *lay = new QVBoxLayout(this);
  lay->setContentsMargins(10 + 24, 10 + 110, 10 + 24, 10 + 20);
  lay->addStretch(1);
  lbVersion = new QLabel(versionText(), this);
  lbVersion->setObjectName(QStringLiteral("lbVersion"));
  lbVersion->setStyleSheet(QStringLiteral("color: %1; font-size: 10pt;").arg(text.name()));
  lay->addWidget(lbVersion);
  lbLink = new QLabel(this);
  lbLink->setObjectName(QStringLiteral("lbLink"));
  const QString url = ProductWebAddress();
  lbLink->setText(QStringLiteral("<a href=\"%1\" style=\"color:#14A9F5; text-decoration:none\">%1</a>").arg(url));
  lbLink->setTextFormat(Qt::RichText);
  lbLink->setOpenExternalLinks(false);
  connect(lbLink, &QLabel::linkActivated, this, [](const QString &l) { QDesktopServices::openUrl(QUrl(l)); });
  lay->addWidget(lbLink);

  if (QScreen *s = QGuiApplication::primaryScreen()) move(s->availableGeometry().center() - rect().center());
}

QString TfrmLogo::versionText() const {
  return QStringLiteral("Version %1 (Build %2)").arg(VersionText()).arg(kBuildNumber);
}

void TfrmLogo::SetProgress(int progress) {
  FProgress = progress;
  repaint(0, height() - 4, width(), 4);
}

void TfrmLogo::paintEvent(QPaintEvent *) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor bg = palette().color(QPalette::Window);
  const QColor fg = palette().color(QPalette::WindowText);
  p.fillRect(rect(), bg);
  // Inset panel with a hairline border.
  const QRectF panel = QRectF(rect()).adjusted(10.5, 10.5, -10.5, -10.5);
  p.setPen(QPen(FDark ? QColor(255, 255, 255, 30) : QColor(0, 0, 0, 25), 1));
  p.drawRoundedRect(panel, 6, 6);

  // Logo: a quorum of three overlapping rings and the product name.
  const QColor link = QColor::fromRgba(kLinkColor);
  const QPointF c(72, 92);
  p.setPen(QPen(link, 5));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(c + QPointF(-12, 0), 22, 22);
  p.setPen(QPen(FDark ? QColor(0xE8, 0xEC, 0xF1) : QColor(0x3F, 0x45, 0x4B), 5));
  p.drawEllipse(c + QPointF(12, 0), 22, 22);
  QFont f = font();
  f.setPointSizeF(30);
  f.setWeight(QFont::DemiBold);
  p.setFont(f);
  p.setPen(fg);
  p.drawText(QRectF(118, 60, 320, 64), Qt::AlignVCenter | Qt::AlignLeft, QString::fromLatin1(kProductName));
  QFont small = font();
  small.setPointSizeF(10.5);
  p.setFont(small);
  p.setPen(FDark ? QColor(0xA9, 0xB3, 0xBF) : QColor(0x6B, 0x73, 0x7C));
  p.drawText(QRectF(120, 118, 320, 24), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("One SQL client for all your databases"));

  // Progress strip: 4 pixels along the bottom.
  const QRect band(0, height() - 4, width(), 4);
  p.fillRect(band, bg);
  const int w = int(qint64(FProgress) * band.width() / 100);
  if (w > 0) p.fillRect(QRect(band.left(), band.top(), w, band.height()), link);
}

}  // namespace qrv
