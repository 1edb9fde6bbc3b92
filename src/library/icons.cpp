#include "library/icons.h"

#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace qrv {

namespace {

// Drawings on a 24 x 24 grid; "CLR" stands for the stroke colour. Strokes are 1.6 wide with round ends.
struct IconDef {
  const char *name;
  const char *body;
};

const IconDef kIcons[] = {
    {"menu", R"(<path d="M4 6.5h16M4 12h16M4 17.5h16"/>)"},
    {"folder-open",
     R"(<path d="M3.5 18.5V6.5a1.5 1.5 0 0 1 1.5-1.5h4l2 2h6.5a1.5 1.5 0 0 1 1.5 1.5V10"/>)"
     R"(<path d="M3.5 18.5l2.6-7a1.5 1.5 0 0 1 1.4-1h12.4a1 1 0 0 1 .95 1.3l-2.2 6.7a1.5 1.5 0 0 1-1.4 1H3.5z"/>)"},
    {"new-query",
     R"(<path d="M13.5 3.5H7a1.5 1.5 0 0 0-1.5 1.5v14A1.5 1.5 0 0 0 7 20.5h10a1.5 1.5 0 0 0 1.5-1.5V8.5z"/>)"
     R"(<path d="M13.5 3.5v5h5M12 11.5v6M9 14.5h6"/>)"},
    {"plus", R"(<path d="M12 5v14M5 12h14"/>)"},
    {"close", R"(<path d="M6.5 6.5l11 11M17.5 6.5l-11 11"/>)"},
    {"info",
     R"(<circle cx="12" cy="12" r="8.5"/><path d="M12 11v5.5"/><circle cx="12" cy="7.8" r=".6" fill="CLR"/>)"},
    {"save",
     R"(<path d="M5 3.5h11.5l3 3V19a1.5 1.5 0 0 1-1.5 1.5H5A1.5 1.5 0 0 1 3.5 19V5A1.5 1.5 0 0 1 5 3.5z"/>)"
     R"(<path d="M7.5 3.5v5h8v-5M7 20.5v-6.5h10v6.5"/>)"},
    {"save-as",
     R"(<path d="M12 20.5H5A1.5 1.5 0 0 1 3.5 19V5A1.5 1.5 0 0 1 5 3.5h11.5l3 3V11"/>)"
     R"(<path d="M7.5 3.5v5h8v-5M7 20.5v-6.5h5"/><path d="M20.6 14.4l-5.6 5.6-2.5.5.5-2.5 5.6-5.6a1.4 1.4 0 0 1 2 2z"/>)"},
    {"zen", R"(<path d="M4 9V4h5M20 9V4h-5M4 15v5h5M20 15v5h-5"/><circle cx="12" cy="12" r="2.2"/>)"},
    {"pin",
     R"(<path d="M9 3.5h6M10 3.5v6l-3 3.5h10l-3-3.5v-6M12 13v7.5"/>)"},
    {"mapper",
     R"(<rect x="3.5" y="4" width="7" height="16" rx="1.2"/><path d="M3.5 9.3h7M3.5 14.6h7"/>)"
     R"(<path d="M13.5 12h6M17 9l3 3-3 3"/>)"},
    {"guid",
     R"(<path d="M9.5 4l-2 16M16.5 4l-2 16M5 9h15M4 15h15"/>)"},
    {"options",
     R"(<path d="M4 7h9M17 7h3M4 12h3M11 12h9M4 17h11M19 17h1"/>)"
     R"(<circle cx="15" cy="7" r="2"/><circle cx="9" cy="12" r="2"/><circle cx="17" cy="17" r="2"/>)"},
    {"help",
     R"(<circle cx="12" cy="12" r="8.5"/><path d="M9.6 9.6a2.5 2.5 0 1 1 3.4 2.3c-.6.3-1 .8-1 1.5v.6"/>)"
     R"(<circle cx="12" cy="16.9" r=".6" fill="CLR"/>)"},
    {"update",
     R"(<path d="M19.5 12a7.5 7.5 0 0 1-13.1 5M4.5 12a7.5 7.5 0 0 1 13.1-5"/>)"
     R"(<path d="M17.8 3.5v3.7h-3.7M6.2 20.5v-3.7h3.7"/>)"},
    {"feedback",
     R"(<path d="M4.5 5.5h15a1 1 0 0 1 1 1v9a1 1 0 0 1-1 1H11l-4.5 3.5v-3.5h-2a1 1 0 0 1-1-1v-9a1 1 0 0 1 1-1z"/>)"
     R"(<path d="M8 9.5h8M8 12.5h5"/>)"},
    {"about",
     R"(<rect x="3.5" y="3.5" width="17" height="17" rx="3"/><path d="M12 11v5.5"/>)"
     R"(<circle cx="12" cy="7.8" r=".6" fill="CLR"/>)"},
    {"exit", R"(<path d="M12 3.5v8"/><path d="M7.2 6.6a7.5 7.5 0 1 0 9.6 0"/>)"},
    {"database",
     R"(<ellipse cx="12" cy="6" rx="7" ry="2.5"/><path d="M5 6v12c0 1.4 3.1 2.5 7 2.5s7-1.1 7-2.5V6"/>)"
     R"(<path d="M5 12c0 1.4 3.1 2.5 7 2.5s7-1.1 7-2.5"/>)"},
    {"search", R"(<circle cx="10.5" cy="10.5" r="6"/><path d="M15 15l5 5"/>)"},
    {"filter", R"(<path d="M4 5h16l-6.2 7.4v5.3l-3.6 2v-7.3z"/>)"},
    {"connection",
     R"(<path d="M8.5 7.5l8 8M6.7 9.3l-2 2a3.5 3.5 0 0 0 5 5l2-2M17.3 14.7l2-2a3.5 3.5 0 0 0-5-5l-2 2"/>)"},
    {"refresh",
     R"(<path d="M19.5 12a7.5 7.5 0 1 1-2.2-5.3"/><path d="M19.5 4v4.5H15"/>)"},
    {"copy",
     R"(<rect x="8.5" y="8.5" width="11" height="11" rx="1.5"/>)"
     R"(<path d="M15.5 8.5V6A1.5 1.5 0 0 0 14 4.5H6A1.5 1.5 0 0 0 4.5 6v8A1.5 1.5 0 0 0 6 15.5h2.5"/>)"},
    {"table",
     R"(<rect x="3.5" y="4.5" width="17" height="15" rx="1.5"/><path d="M3.5 9.5h17M3.5 14.5h17M9.5 9.5v10"/>)"},
    {"script",
     R"(<path d="M8.5 8l-4 4 4 4M15.5 8l4 4-4 4M13.5 5.5l-3 13"/>)"},
    {"delete",
     R"(<path d="M4.5 6.5h15M9.5 6.5V4.5h5v2M6.5 6.5l1 13h9l1-13M10 10v6.5M14 10v6.5"/>)"},
    {"check", R"(<path d="M5 12.5l4.5 4.5L19 7.5"/>)"},
    {"chevron-down", R"(<path d="M6.5 9.5l5.5 5.5 5.5-5.5"/>)"},
    {"recent",
     R"(<circle cx="12" cy="12" r="8.5"/><path d="M12 7v5l3.5 2"/>)"},
};

QColor &iconColorRef() {
  static QColor c(0xE6, 0xEA, 0xF0);
  return c;
}

const char *findBody(const QString &name) {
  for (const IconDef &d : kIcons)
    if (name == QLatin1String(d.name)) return d.body;
  return nullptr;
}

class KxIconEngine : public QIconEngine {
 public:
  KxIconEngine(QString name, QColor fixed) : name_(std::move(name)), fixed_(fixed) {}

  void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override {
    QColor c = fixed_.isValid() ? fixed_ : IconColor();
    if (mode == QIcon::Disabled) c.setAlphaF(c.alphaF() * 0.38);
    const QByteArray &svg = svgFor(c);
    QSvgRenderer r(svg);
    r.render(painter, QRectF(rect));
  }

  QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override {
    return scaledPixmap(size, mode, state, 1.0);
  }

  // QIcon asks with the size already in device pixels; the drawing fills exactly that many pixels.
  QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
    QPixmap pm(size.isEmpty() ? QSize(1, 1) : size);
    pm.fill(Qt::transparent);
    {
      QPainter p(&pm);
      p.setRenderHint(QPainter::Antialiasing);
      paint(&p, QRect(QPoint(0, 0), pm.size()), mode, state);
    }
    pm.setDevicePixelRatio(scale);
    return pm;
  }

  QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override { return size; }
  QIconEngine *clone() const override { return new KxIconEngine(name_, fixed_); }
  QString key() const override { return QStringLiteral("KxIconEngine"); }
  QString iconName() override { return name_; }

 private:
  const QByteArray &svgFor(const QColor &c) {
    if (c != cachedColor_ || cachedSvg_.isEmpty()) {
      cachedColor_ = c;
      cachedSvg_ = KxIconSvg(name_, c);
    }
    return cachedSvg_;
  }

  QString name_;
  QColor fixed_;
  QColor cachedColor_;
  QByteArray cachedSvg_;
};

}  // namespace

QByteArray KxIconSvg(const QString &name, const QColor &color) {
  const char *body = findBody(name);
  if (!body) return {};
  const QString clr = color.name(QColor::HexRgb);
  QString b = QString::fromLatin1(body);
  b.replace(QLatin1String("CLR"), clr);
  const QString svg = QStringLiteral(
                          "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 24 24\" width=\"24\" height=\"24\" "
                          "fill=\"none\" stroke=\"%1\" stroke-opacity=\"%2\" fill-opacity=\"%2\" stroke-width=\"1.6\" "
                          "stroke-linecap=\"round\" stroke-linejoin=\"round\">%3</svg>")
                          .arg(clr)
                          .arg(color.alphaF(), 0, 'f', 3)
                          .arg(b);
  return svg.toUtf8();
}

QIcon KxIcon(const QString &name) {
  if (!findBody(name)) return QIcon();
  return QIcon(new KxIconEngine(name, QColor()));
}

QIcon KxIcon(const QString &name, const QColor &fixedColor) {
  if (!findBody(name)) return QIcon();
  return QIcon(new KxIconEngine(name, fixedColor.isValid() ? fixedColor : QColor(Qt::black)));
}

QStringList KxIconNames() {
  QStringList names;
  for (const IconDef &d : kIcons) names << QString::fromLatin1(d.name);
  return names;
}

void SetIconColor(const QColor &color) { iconColorRef() = color; }
QColor IconColor() { return iconColorRef(); }

}  // namespace qrv
