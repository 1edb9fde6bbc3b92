#include "core/mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "core/application.h"
#include "core/apppaths.h"
#include "core/datamodule.h"
#include "core/programbody.h"
#include "core/theme.h"
#include "library/icons.h"

namespace qrv {

namespace {

constexpr int kClientWidth = 1000;
constexpr int kClientHeight = 600;
constexpr int kStatusBarHeight = 22;
constexpr int kToolTipAreaWidth = 550;
constexpr int kFilterRowHeight = 32;
constexpr int kSplitterWidth = 4;
constexpr int kSplitterMinSize = 20;
constexpr int kTabRowHeight = 32;
constexpr int kMenuItemHeight = 25;
constexpr int kCaptionHeight = 22;
constexpr int kPanelPadding = 6;
constexpr int kSearchBoxHeight = 28;

const QString kEmptyStateText = QStringLiteral(
    "Right-click the database tree and use the \"Connection\" menu to add new connection\n\n"
    "Click \"New Query\" button (Ctrl + N) to create new SQL code\n\n"
    "Click \"Open File\" menu item (Ctrl + O) to open existing SQL file\n\n"
    "Drag and drop one or several *.SQL files to open them");

// ---------------------------------------------------------------------------------------------------
// Small components of the window.

// The splitter right of the tree: dragging it sets the tree panel's width.
class TLeftSplitter : public QWidget {
 public:
  explicit TLeftSplitter(TfrmQRV *owner) : QWidget(owner), FOwner(owner) {
    setObjectName(QStringLiteral("splLeft"));
    setFixedWidth(kSplitterWidth);
    setCursor(Qt::SplitHCursor);
  }

 protected:
  void mousePressEvent(QMouseEvent *e) override {
    if (e->button() != Qt::LeftButton) return;
    FDragStartX = e->globalPosition().x();
    FStartWidth = std::max(0.f, FOwner->TreePanelWidth());
    FDragging = true;
  }
  void mouseMoveEvent(QMouseEvent *e) override {
    if (!FDragging) return;
    float w = FStartWidth + float(e->globalPosition().x() - FDragStartX);
    const float maxW = float(FOwner->width() - 2 * kSplitterMinSize);
    w = std::clamp(w, float(kSplitterMinSize), std::max(float(kSplitterMinSize), maxW));
    FOwner->SetTreePanelWidth(w);
  }
  void mouseReleaseEvent(QMouseEvent *) override { FDragging = false; }
  void resizeEvent(QResizeEvent *) override {
    if (QWidget *h = findChild<QWidget *>(QStringLiteral("loHide"), Qt::FindDirectChildrenOnly))
      h->setGeometry(0, (height() - h->height()) / 2, width(), h->height());
  }

 private:
  TfrmQRV *FOwner;
  qreal FDragStartX = 0;
  float FStartWidth = 0;
  bool FDragging = false;
};

// The handle in the splitter's centre: a click hides or shows the tree.
class THideHandle : public QWidget {
 public:
  THideHandle(TfrmQRV *owner, QWidget *parent) : QWidget(parent), FOwner(owner) {
    setObjectName(QStringLiteral("loHide"));
    setToolTip(QStringLiteral("Click to hide or show DB tree"));
    setCursor(Qt::PointingHandCursor);
    resize(kSplitterWidth, 48);
  }

 protected:
  void paintEvent(QPaintEvent *) override {
    QPainter p(this);
    p.setPen(QPen(FOwner->FTreeBrushText, 1));
    p.drawLine(QPointF(2, 0), QPointF(2, height()));
  }
  void mouseReleaseEvent(QMouseEvent *e) override {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) FOwner->ToggleTreePanel();
  }
  void mousePressEvent(QMouseEvent *e) override { e->accept(); }

 private:
  TfrmQRV *FOwner;
};

// The filter-settings toggle: three horizontal bars in the tree text colour.
class TBarsButton : public QToolButton {
 public:
  TBarsButton(TfrmQRV *owner, QWidget *parent) : QToolButton(parent), FOwner(owner) {}

 protected:
  void paintEvent(QPaintEvent *e) override {
    QToolButton::paintEvent(e);
    QPainter p(this);
    const QRectF r = rect();
    const qreal d = r.height() / 7.0;
    for (int i = 0; i < 3; ++i) {
      const qreal top = r.top() + (1 + 2 * i) * d;
      p.fillRect(QRectF(QPointF(r.left() + d, top), QPointF(r.right() - d, top + d)), FOwner->FTreeBrushText);
    }
  }

 private:
  TfrmQRV *FOwner;
};

// One row of a drop-down panel: icon (or check box), text and shortcut text. Bound to an action, or to a
// plain callback.
class TPanelMenuItem : public QAbstractButton {
 public:
  TPanelMenuItem(QAction *action, const QString &shortCutText, QWidget *parent)
      : QAbstractButton(parent), FAction(action), FShortCut(shortCutText) {
    init();
    setText(action->text());
    setIcon(action->icon());
    setToolTip(TActionList::hint(action));
    setEnabled(action->isEnabled());
    connect(action, &QAction::changed, this, [this] {
      setEnabled(FAction->isEnabled());
      update();
    });
    connect(this, &QAbstractButton::clicked, action, [this] { FAction->trigger(); });
  }
  TPanelMenuItem(const QString &text, const QIcon &icon, QWidget *parent) : QAbstractButton(parent) {
    init();
    setText(text);
    setIcon(icon);
  }

  QSize sizeHint() const override {
    return {fontMetrics().horizontalAdvance(text() + FShortCut) + 64, kMenuItemHeight};
  }

 protected:
  void paintEvent(QPaintEvent *) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const ThemeColors &c = AppThemeColors();
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (isEnabled() && (underMouse() || isDown())) {
      p.setPen(Qt::NoPen);
      p.setBrush(isDown() ? c.pressed : c.hover);
      p.drawRoundedRect(r, 4, 4);
    }
    const QColor fg = isEnabled() ? c.text : c.textMuted;
    const QRect iconRect(8, (height() - 16) / 2, 16, 16);
    const bool checkable = FAction && FAction->isCheckable();
    if (checkable) {
      const QRectF box = QRectF(iconRect).adjusted(1.5, 1.5, -1.5, -1.5);
      if (FAction->isChecked()) {
        p.setPen(Qt::NoPen);
        p.setBrush(c.accent);
        p.drawRoundedRect(box, 3, 3);
        p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const QPointF pts[3] = {box.topLeft() + QPointF(box.width() * .22, box.height() * .52),
                                box.topLeft() + QPointF(box.width() * .43, box.height() * .72),
                                box.topLeft() + QPointF(box.width() * .78, box.height() * .30)};
        p.drawPolyline(pts, 3);
      } else {
        p.setPen(QPen(c.textMuted, 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(box, 3, 3);
      }
    } else if (!icon().isNull()) {
      icon().paint(&p, iconRect, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
    }
    p.setPen(fg);
    const QRect textRect = rect().adjusted(32, 0, -10, 0);
    p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, text());
    if (!FShortCut.isEmpty()) {
      p.setPen(c.textMuted);
      p.drawText(textRect, Qt::AlignVCenter | Qt::AlignRight, FShortCut);
    }
  }
  void enterEvent(QEnterEvent *e) override {
    update();
    QAbstractButton::enterEvent(e);
  }
  void leaveEvent(QEvent *e) override {
    update();
    QAbstractButton::leaveEvent(e);
  }

 private:
  void init() {
    setProperty("qrvMenuItem", true);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setFixedHeight(kMenuItemHeight);
    setAttribute(Qt::WA_Hover);
  }
  QAction *FAction = nullptr;
  QString FShortCut;
};

QLabel *makeCaption(const QString &text, QWidget *parent) {
  auto *l = new QLabel(text, parent);
  l->setProperty("qrvCaption", true);
  l->setAlignment(Qt::AlignCenter);
  l->setFixedHeight(kCaptionHeight);
  // The dashes may be wider than the panel: clip them evenly on both sides.
  l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  return l;
}

QToolButton *makeToolButton(const QString &name, const QString &icon, const QString &hint, QWidget *parent) {
  auto *b = new QToolButton(parent);
  b->setObjectName(name);
  if (!icon.isEmpty()) b->setIcon(KxIcon(icon));
  b->setIconSize(QSize(18, 18));
  b->setFixedSize(28, 28);
  b->setToolTip(hint);
  b->setFocusPolicy(Qt::NoFocus);
  b->setAutoRaise(true);
  return b;
}

bool isInside(const QWidget *ancestor, const QObject *o) {
  for (auto *w = qobject_cast<const QWidget *>(o); w; w = w->parentWidget())
    if (w == ancestor) return true;
  return false;
}

}  // namespace

// -----------------------------------------------------------------------------------------------------
// TFlowLayout

TFlowLayout::TFlowLayout(QWidget *parent, int rowHeight, int spacing) : QLayout(parent), FRowHeight(rowHeight) {
  setSpacing(spacing);
  setContentsMargins(0, 0, 0, 0);
}

TFlowLayout::~TFlowLayout() {
  while (QLayoutItem *item = takeAt(0)) delete item;
}

void TFlowLayout::addItem(QLayoutItem *item) { FItems.append(item); }

void TFlowLayout::insertWidget(int index, QWidget *w) {
  addChildWidget(w);
  auto *item = new QWidgetItem(w);
  FItems.insert(std::clamp(index, 0, int(FItems.size())), item);
  invalidate();
}

int TFlowLayout::count() const { return int(FItems.size()); }
QLayoutItem *TFlowLayout::itemAt(int index) const { return index >= 0 && index < FItems.size() ? FItems[index] : nullptr; }
QLayoutItem *TFlowLayout::takeAt(int index) {
  return index >= 0 && index < FItems.size() ? FItems.takeAt(index) : nullptr;
}

int TFlowLayout::heightForWidth(int width) const {
  const QMargins m = contentsMargins();
  return doLayout(QRect(0, 0, width - m.left() - m.right(), 0), false) + m.top() + m.bottom();
}

QSize TFlowLayout::minimumSize() const {
  QSize s(0, FRowHeight);
  for (QLayoutItem *i : FItems) s.setWidth(std::max(s.width(), i->minimumSize().width()));
  const QMargins m = contentsMargins();
  return s + QSize(m.left() + m.right(), m.top() + m.bottom());
}

QSize TFlowLayout::sizeHint() const {
  int w = 0;
  for (QLayoutItem *i : FItems) w += i->sizeHint().width() + spacing();
  const QMargins m = contentsMargins();
  return QSize(w + m.left() + m.right(), FRowHeight + m.top() + m.bottom());
}

void TFlowLayout::setGeometry(const QRect &rect) {
  QLayout::setGeometry(rect);
  doLayout(contentsRect(), true);
}

int TFlowLayout::doLayout(const QRect &rect, bool apply) const {
  int x = rect.x();
  int y = rect.y();
  for (QLayoutItem *item : FItems) {
    if (item->isEmpty()) continue;
    const QSize hint = item->sizeHint();
    const int w = hint.width();
    const int h = std::min(hint.height(), FRowHeight);
    if (x > rect.x() && x + w > rect.x() + rect.width()) {
      x = rect.x();
      y += FRowHeight;
    }
    if (apply) item->setGeometry(QRect(x, y + (FRowHeight - h) / 2, w, h));
    x += w + spacing();
  }
  return y + FRowHeight - rect.y();
}

// -----------------------------------------------------------------------------------------------------
// TProgressStrip

TProgressStrip::TProgressStrip(QWidget *parent) : QWidget(parent) { setFixedHeight(4); }

void TProgressStrip::SetProgress(int progress) {
  FProgress = progress;
  update();
}

void TProgressStrip::paintEvent(QPaintEvent *) {
  QPainter p(this);
  p.fillRect(rect(), AppThemeColors().window);
  const int w = int(std::clamp(FProgress, 0, 100) / 100.0 * width());
  p.fillRect(QRect(0, 0, w, height()), QColor::fromRgba(kLinkColor));
}

// -----------------------------------------------------------------------------------------------------
// TfrmQRV: creation

TfrmQRV::TfrmQRV(IniFile *settingsIni, QWidget *parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("frmQRV"));
  FIni = settingsIni;
  if (!FIni && DM() && DM()->FSettingsINI) FIni = DM()->FSettingsINI.get();
  if (!FIni) {
    FOwnIni = std::make_unique<IniFile>();
    FIni = FOwnIni.get();
  }
  FToolTips = DefaultToolTips();

  setWindowTitle(ApplicationTitle());
  setWindowIcon(KxIcon(QStringLiteral("database"), QColor::fromRgba(kLinkColor)));
  FGrayBrush = QBrush(QColor::fromRgba(kGrayColor));
  FSearchResBrush = QBrush(QColor::fromRgba(kSearchResColor));
  FChangeTrackBrush = QBrush(QColor::fromRgba(kChangeTrackColor));
  RebuildBrushes();

  AL = new TActionList(this);
  CreateLayout();
  ConnectActions();

  resize(kClientWidth, kClientHeight);
  if (QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen())
    move(s->availableGeometry().center() - QPoint(kClientWidth / 2, kClientHeight / 2));

  tmrStatus = new QTimer(this);
  tmrStatus->setObjectName(QStringLiteral("tmrStatus"));
  tmrStatus->setSingleShot(false);
  connect(tmrStatus, &QTimer::timeout, this, [this] {
    lbStatus0->clear();
    tmrStatus->stop();
  });
  FIdleTimer = new QTimer(this);
  FIdleTimer->setSingleShot(true);
  FIdleTimer->setInterval(0);
  connect(FIdleTimer, &QTimer::timeout, this, &TfrmQRV::DoIdle);

  LoadObligatoryParameters();
  SetApplicationExceptionHandler([this](const TExceptionInfo &info) { HandleApplicationException(info); });
  qApp->installEventFilter(this);
  connect(qApp, &QApplication::focusChanged, this, &TfrmQRV::OnFocusChanged);

  ShowStatusText(QString());
  FTabCounter = 0;
  ceTreeFilter->lineEdit()->setPlaceholderText(
      QStringLiteral("Search whole tree or click tree item to apply filter on..."));
  pnMM->hide();
  pnRecentFiles->hide();
  pnFilterSettings->hide();
  loStatusBarToolTip->hide();
  loTreePB->hide();
  ApplyWindowBounds();
  AL->UpdateAll();
  ScheduleIdle();
}

TfrmQRV::~TfrmQRV() {
  // Hiding the children below would report focus changes to a window that is already half gone.
  disconnect(qApp, &QApplication::focusChanged, this, &TfrmQRV::OnFocusChanged);
  SetApplicationExceptionHandler(nullptr);
  if (qApp) qApp->removeEventFilter(this);
}

const QList<TStatusBarToolTip> &TfrmQRV::DefaultToolTips() {
  static const QList<TStatusBarToolTip> tips = {
      {QStringLiteral("Press \"Ctrl + Space\" to show completion list, use \"Esc\" to hide it"), false},
      {QStringLiteral("In case of SQL query error, try to run it with different options. Click 3-dots button near "
                      "to Execute button"),
       false},
  };
  return tips;
}

void TfrmQRV::CreateLayout() {
  CreateStatusBar();
  loBody = new QWidget(this);
  loBody->setObjectName(QStringLiteral("loBody"));
  loBody->setAttribute(Qt::WA_StyledBackground);
  auto *h = new QHBoxLayout(loBody);
  h->setContentsMargins(4, 0, 4, 4);
  h->setSpacing(0);
  CreateLeftPanel();
  splLeft = new TLeftSplitter(this);
  loHide = new THideHandle(this, splLeft);
  CreateClientArea();
  h->addWidget(loLeft);
  h->addWidget(splLeft);
  h->addWidget(loClient, 1);
  setCentralWidget(loBody);
  CreateMainMenuPanel();
  CreateRecentFilesPanel();
  CreateFilterSettingsPanel();
  CreateTreeMenu();
}

void TfrmQRV::CreateStatusBar() {
  SB = new QStatusBar(this);
  SB->setObjectName(QStringLiteral("SB"));
  SB->setSizeGripEnabled(true);
  SB->setFixedHeight(kStatusBarHeight);
  lbStatus0 = new QLabel(SB);
  lbStatus0->setObjectName(QStringLiteral("lbStatus0"));
  lbStatus0->setTextFormat(Qt::RichText);
  lbStatus0->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  lbStatus0->setOpenExternalLinks(false);
  lbStatus0->setMinimumWidth(50);
  lbStatus0->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  connect(lbStatus0, &QLabel::linkActivated, this, [this](const QString &href) {
    if (href == QLatin1String("check_for_updates")) {
      if (FHooks.checkForUpdates) FHooks.checkForUpdates();
    } else if (FHooks.openUrl) {
      FHooks.openUrl(href);
    } else {
      QDesktopServices::openUrl(QUrl(href));
    }
  });
  SB->addWidget(lbStatus0, 1);

  loStatusBarToolTip = new QWidget(SB);
  loStatusBarToolTip->setObjectName(QStringLiteral("loStatusBarToolTip"));
  loStatusBarToolTip->setFixedWidth(kToolTipAreaWidth);
  auto *tl = new QHBoxLayout(loStatusBarToolTip);
  tl->setContentsMargins(0, 0, 4, 0);
  tl->setSpacing(6);
  imgStatusBarToolTip = new QLabel(loStatusBarToolTip);
  imgStatusBarToolTip->setObjectName(QStringLiteral("imgStatusBarToolTip"));
  imgStatusBarToolTip->setFixedSize(16, 16);
  lbStatusBarToolTip = new QLabel(loStatusBarToolTip);
  lbStatusBarToolTip->setObjectName(QStringLiteral("lbStatusBarToolTip"));
  lbStatusBarToolTip->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  sbCloseStatusBarToolTip = new QToolButton(loStatusBarToolTip);
  sbCloseStatusBarToolTip->setObjectName(QStringLiteral("sbCloseStatusBarToolTip"));
  sbCloseStatusBarToolTip->setIcon(KxIcon(QStringLiteral("close")));
  sbCloseStatusBarToolTip->setIconSize(QSize(12, 12));
  sbCloseStatusBarToolTip->setFixedSize(18, 18);
  sbCloseStatusBarToolTip->setFocusPolicy(Qt::NoFocus);
  sbCloseStatusBarToolTip->setToolTip(QStringLiteral("Do not show this tip again"));
  connect(sbCloseStatusBarToolTip, &QToolButton::clicked, this, [this] {
    loStatusBarToolTip->hide();
    if (FCurrToolTip >= 0 && FCurrToolTip < FToolTips.size()) FToolTips[FCurrToolTip].hidden = true;
  });
  tl->addWidget(imgStatusBarToolTip);
  tl->addWidget(lbStatusBarToolTip, 1);
  tl->addWidget(sbCloseStatusBarToolTip);
  SB->addPermanentWidget(loStatusBarToolTip);
  setStatusBar(SB);
}

void TfrmQRV::CreateLeftPanel() {
  loLeft = new QWidget(this);
  loLeft->setObjectName(QStringLiteral("loLeft"));
  loLeft->setAttribute(Qt::WA_StyledBackground);
  auto *v = new QVBoxLayout(loLeft);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(0);

  loDBTreeFilter = new QWidget(loLeft);
  loDBTreeFilter->setObjectName(QStringLiteral("loDBTreeFilter"));
  loDBTreeFilter->setAttribute(Qt::WA_StyledBackground);
  loDBTreeFilter->setFixedHeight(kFilterRowHeight);
  auto *fh = new QHBoxLayout(loDBTreeFilter);
  fh->setContentsMargins(0, 2, 0, 2);
  fh->setSpacing(4);
  ceTreeFilter = new QComboBox(loDBTreeFilter);
  ceTreeFilter->setObjectName(QStringLiteral("ceTreeFilter"));
  ceTreeFilter->setEditable(true);
  ceTreeFilter->setInsertPolicy(QComboBox::NoInsert);
  ceTreeFilter->setMaxVisibleItems(20);
  ceTreeFilter->lineEdit()->setClearButtonEnabled(true);
  ceTreeFilter->lineEdit()->addAction(KxIcon(QStringLiteral("search")), QLineEdit::LeadingPosition);
  ceTreeFilter->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  sbToggleTreeFilter = new TBarsButton(this, loDBTreeFilter);
  sbToggleTreeFilter->setObjectName(QStringLiteral("sbToggleTreeFilter"));
  sbToggleTreeFilter->setCheckable(true);
  sbToggleTreeFilter->setFixedSize(21, 21);
  sbToggleTreeFilter->setFocusPolicy(Qt::NoFocus);
  sbToggleTreeFilter->setToolTip(QStringLiteral("Filter settings"));
  connect(sbToggleTreeFilter, &QToolButton::clicked, this, &TfrmQRV::ToggleFilterSettings);
  fh->addWidget(ceTreeFilter, 1);
  fh->addWidget(sbToggleTreeFilter);
  v->addWidget(loDBTreeFilter);

  grTree = new QWidget(loLeft);
  grTree->setObjectName(QStringLiteral("grTree"));
  grTree->setAttribute(Qt::WA_StyledBackground);
  grTree->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(grTree, &QWidget::customContextMenuRequested, this,
          [this](const QPoint &pos) { pmTree->popup(grTree->mapToGlobal(pos)); });
  v->addWidget(grTree, 1);

  sbDefaultDB = new QToolButton(loLeft);
  sbDefaultDB->setObjectName(QStringLiteral("sbDefaultDB"));
  sbDefaultDB->setFocusPolicy(Qt::NoFocus);
  sbDefaultDB->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  sbDefaultDB->setFixedHeight(28);
  sbDefaultDB->setToolTip(QStringLiteral("Current database to run SQL on"));
  auto *dh = new QHBoxLayout(sbDefaultDB);
  dh->setContentsMargins(6, 0, 6, 0);
  dh->setSpacing(6);
  auto *dbIcon = new QLabel(sbDefaultDB);
  dbIcon->setObjectName(QStringLiteral("imgDefaultDB"));
  dbIcon->setFixedSize(16, 16);
  dbIcon->setAttribute(Qt::WA_TransparentForMouseEvents);
  lbDefaultDB = new QLabel(QStringLiteral("DB:"), sbDefaultDB);
  lbDefaultDB->setObjectName(QStringLiteral("lbDefaultDB"));
  lbDefaultDB->setToolTip(QStringLiteral("Current database to run SQL on"));
  lbDefaultDB->setAttribute(Qt::WA_TransparentForMouseEvents);
  lbDefaultDB->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  dh->addWidget(dbIcon);
  dh->addWidget(lbDefaultDB, 1);
  v->addWidget(sbDefaultDB);

  loTreePB = new TProgressStrip(loLeft);
  loTreePB->setObjectName(QStringLiteral("loTreePB"));
  v->addWidget(loTreePB);
}

void TfrmQRV::CreateClientArea() {
  loClient = new QWidget(this);
  loClient->setObjectName(QStringLiteral("loClient"));
  loClient->setAttribute(Qt::WA_StyledBackground);
  auto *v = new QVBoxLayout(loClient);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(0);

  floTabs = new QWidget(loClient);
  floTabs->setObjectName(QStringLiteral("floTabs"));
  floTabs->setAttribute(Qt::WA_StyledBackground);
  floTabsLayout = new TFlowLayout(floTabs, kTabRowHeight, 2);
  QSizePolicy sp(QSizePolicy::Preferred, QSizePolicy::Preferred);
  sp.setHeightForWidth(true);
  floTabs->setSizePolicy(sp);
  sbMainMenu = makeToolButton(QStringLiteral("sbMainMenu"), QStringLiteral("menu"), QStringLiteral("Main menu"), floTabs);
  sbMainMenu->setCheckable(true);
  connect(sbMainMenu, &QToolButton::clicked, this, &TfrmQRV::ToggleMainMenu);
  sbRecentFiles = makeToolButton(QStringLiteral("sbRecentFiles"), QStringLiteral("folder-open"),
                                 QStringLiteral("Open a file (Ctrl+O)"), floTabs);
  sbRecentFiles->setCheckable(true);
  connect(sbRecentFiles, &QToolButton::clicked, this, &TfrmQRV::ToggleRecentFiles);
  sbNewQuery = makeToolButton(QStringLiteral("sbNewQuery"), QString(), QString(), floTabs);
  sbNewQuery->setDefaultAction(AL->acNewQuery);
  floTabsLayout->addWidget(sbMainMenu);
  floTabsLayout->addWidget(sbRecentFiles);
  floTabsLayout->addWidget(sbNewQuery);
  v->addWidget(floTabs);

  TC = new QTabWidget(loClient);
  TC->setObjectName(QStringLiteral("TC"));
  TC->tabBar()->hide();
  TC->setDocumentMode(false);
  lbEmptyState = new QLabel(kEmptyStateText, TC);
  lbEmptyState->setObjectName(QStringLiteral("lbEmptyState"));
  lbEmptyState->setAlignment(Qt::AlignCenter);
  lbEmptyState->setWordWrap(true);
  lbEmptyState->setAttribute(Qt::WA_TransparentForMouseEvents);
  TC->installEventFilter(this);
  connect(TC, &QTabWidget::currentChanged, this, [this](int) {
    FTabChanging = true;
    UpdateEmptyState();
    ScheduleIdle();
  });
  v->addWidget(TC, 1);
}

void TfrmQRV::CreateMainMenuPanel() {
  pnMM = new QFrame(this);
  pnMM->setObjectName(QStringLiteral("pnMM"));
  pnMM->setFixedSize(250, 406);
  auto *v = new QVBoxLayout(pnMM);
  v->setContentsMargins(kPanelPadding, kPanelPadding, kPanelPadding, kPanelPadding);
  v->setSpacing(0);
  auto item = [&](QAction *a, const QString &sc = QString()) {
    auto *b = new TPanelMenuItem(a, sc, pnMM);
    b->setObjectName(QStringLiteral("mi") + a->objectName().mid(2));
    connect(b, &QAbstractButton::clicked, this, [this] {
      pnMM->hide();
      sbMainMenu->setChecked(false);
    });
    v->addWidget(b);
    return b;
  };
  v->addWidget(makeCaption(QStringLiteral("———————————— SQL Files ———————————"), pnMM));
  item(AL->acSaveFile, QStringLiteral("Ctrl+S"));
  item(AL->acSaveFileAs, QStringLiteral("Shift+Ctrl+S"));
  v->addWidget(makeCaption(QStringLiteral("———————————— View ———————————"), pnMM));
  item(AL->acZenMode, QStringLiteral("F11"));
  item(AL->acStayOnTop);
  v->addWidget(makeCaption(QStringLiteral("———————————— Tools ———————————"), pnMM));
  item(AL->acScriptMapper);
  item(AL->acNewGUID);
  item(AL->acOptions, QStringLiteral("F12"));
  v->addWidget(makeCaption(QStringLiteral("—————————————————————————"), pnMM));
  item(AL->acHelp, QStringLiteral("F1"));
  auto *upd = new TPanelMenuItem(QStringLiteral("Check for Updates..."), KxIcon(QStringLiteral("update")), pnMM);
  upd->setObjectName(QStringLiteral("miCheckForUpdates"));
  upd->setEnabled(false);
  connect(upd, &QAbstractButton::clicked, this, [this] {
    pnMM->hide();
    sbMainMenu->setChecked(false);
    if (FHooks.checkForUpdates) FHooks.checkForUpdates();
  });
  miCheckForUpdates = upd;
  v->addWidget(upd);
  item(AL->acFeedback);
  item(AL->acAbout);
  item(AL->acExit);
  v->addStretch(1);
}

void TfrmQRV::CreateRecentFilesPanel() {
  pnRecentFiles = new QFrame(this);
  pnRecentFiles->setObjectName(QStringLiteral("pnRecentFiles"));
  pnRecentFiles->resize(350, 200);
  auto *v = new QVBoxLayout(pnRecentFiles);
  v->setContentsMargins(kPanelPadding, kPanelPadding, kPanelPadding, kPanelPadding);
  v->setSpacing(4);
  v->addWidget(makeCaption(QStringLiteral("———————————— Recent Files ———————————"), pnRecentFiles));
  auto *open = new TPanelMenuItem(AL->acOpenFile, QStringLiteral("Ctrl+O"), pnRecentFiles);
  open->setObjectName(QStringLiteral("miOpenFile"));
  connect(open, &QAbstractButton::clicked, this, [this] {
    pnRecentFiles->hide();
    sbRecentFiles->setChecked(false);
  });
  v->addWidget(open);
  sbxRecentFilesFilter = new QLineEdit(pnRecentFiles);
  sbxRecentFilesFilter->setObjectName(QStringLiteral("sbxRecentFilesFilter"));
  sbxRecentFilesFilter->setPlaceholderText(QStringLiteral("Search recent files"));
  sbxRecentFilesFilter->setClearButtonEnabled(true);
  sbxRecentFilesFilter->addAction(KxIcon(QStringLiteral("search")), QLineEdit::LeadingPosition);
  sbxRecentFilesFilter->setFixedHeight(kSearchBoxHeight);
  connect(sbxRecentFilesFilter, &QLineEdit::textChanged, this, &TfrmQRV::FilterRecentFiles);
  v->addWidget(sbxRecentFilesFilter);
  lbxRecentFiles = new QListWidget(pnRecentFiles);
  lbxRecentFiles->setObjectName(QStringLiteral("lbxRecentFiles"));
  lbxRecentFiles->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  lbxRecentFiles->setTextElideMode(Qt::ElideMiddle);
  connect(lbxRecentFiles, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *it) {
    const QString file = it->data(Qt::UserRole).toString();
    pnRecentFiles->hide();
    sbRecentFiles->setChecked(false);
    if (FHooks.openRecentFile) FHooks.openRecentFile(file);
  });
  v->addWidget(lbxRecentFiles, 1);
}

void TfrmQRV::CreateFilterSettingsPanel() {
  pnFilterSettings = new QFrame(this);
  pnFilterSettings->setObjectName(QStringLiteral("pnFilterSettings"));
  auto *v = new QVBoxLayout(pnFilterSettings);
  v->setContentsMargins(kPanelPadding + 2, kPanelPadding, kPanelPadding + 2, kPanelPadding);
  v->setSpacing(2);
  auto box = [&](QCheckBox *&cb, const char *name, const char *text, const char *hint) {
    cb = new QCheckBox(QString::fromUtf8(text), pnFilterSettings);
    cb->setObjectName(QString::fromLatin1(name));
    cb->setToolTip(QString::fromUtf8(hint));
    v->addWidget(cb);
  };
  box(cbFSCaseSens, "cbFSCaseSens", "Case Sensitive", "Search is case-sensitive");
  box(cbFSWholeWords, "cbFSWholeWords", "Whole Words", "Match whole words only");
  box(cbFSSkipAddInfo, "cbFSSkipAddInfo", "Skip Additional Info (field types, comments, etc.)",
      "Turn on to search the text only in items names, skipping types, categories, comments, etc.");
  box(cbFSRegEx, "cbFSRegEx", "Regular Expression", "Search text is a regular expression");
  pnFilterSettings->adjustSize();
}

void TfrmQRV::CreateTreeMenu() {
  pmTree = new QMenu(this);
  pmTree->setObjectName(QStringLiteral("pmTree"));
  QMenu *conn = pmTree->addMenu(KxIcon(QStringLiteral("connection")), QStringLiteral("Connection"));
  conn->setObjectName(QStringLiteral("miConnection"));
  conn->addAction(AL->acNewConnection);
  conn->addAction(AL->acEditConnection);
  conn->addAction(AL->acDeleteConnection);
  conn->addSeparator();
  conn->addAction(AL->acAddDBToTree);
  conn->addAction(AL->acDeleteDBFromTree);
  pmTree->addAction(AL->acNewQueryByTree);
  pmTree->addAction(AL->acEditTable);
  pmTree->addSeparator();
  QMenu *script = pmTree->addMenu(KxIcon(QStringLiteral("script")), QStringLiteral("Script"));
  script->setObjectName(QStringLiteral("miScript"));
  script->addAction(AL->acScriptCreate);
  script->addAction(AL->acScriptSelect);
  pmTree->addSeparator();
  pmTree->addAction(AL->acSetDefaultDB);
  pmTree->addAction(AL->acCopyTreeItemPath);
  pmTree->addSeparator();
  pmTree->addAction(AL->acRefreshTreeItem);
  connect(pmTree, &QMenu::aboutToShow, AL, &TActionList::UpdateAll);
}

void TfrmQRV::ConnectActions() {
  AL->SetExecute(AL->acExit, [this] { close(); });
  AL->SetExecute(AL->acHelp, [this] { acHelpExecute(); });
  AL->SetExecute(AL->acFeedback, [this] { acFeedbackExecute(); });
  AL->SetExecute(AL->acZenMode, [this] { acZenModeExecute(); });
  AL->SetExecute(AL->acStayOnTop, [this] { acStayOnTopExecute(); });
  AL->SetExecute(AL->acAbout, [this] {
    if (FHooks.showAbout) FHooks.showAbout();
  });
  AL->SetUpdate(AL->acAbout, [this] { return bool(FHooks.showAbout); });
  AL->SetExecute(AL->acOptions, [this] {
    if (FHooks.showOptions && FHooks.showOptions()) ApplyTheme();
  });
  AL->SetUpdate(AL->acOptions, [this] { return bool(FHooks.showOptions); });
}

// -----------------------------------------------------------------------------------------------------
// Settings

void TfrmQRV::LoadObligatoryParameters() {
  SettingsLoadOptions opt;
  opt.toolTipCount = int(FToolTips.size());
  FSettings = LoadSettings(*FIni, opt);
  FDefaultDB = FSettings.defaultDB;
  SetTreePanelWidth(float(FSettings.treeWidth));
  cbFSSkipAddInfo->setChecked(FSettings.fsSkipAddInfo);
  ApplyTheme();
  SetRecentFiles(FSettings.recentFiles);
  for (TStatusBarToolTip &t : FToolTips) t.hidden = false;
  for (int i : FSettings.hiddenToolTips)
    if (i >= 0 && i < FToolTips.size()) FToolTips[i].hidden = true;
}

void TfrmQRV::SaveObligatoryParameters() {
  const bool maximizedOrFull = isMaximized() || isFullScreen();
  FSettings.boundsRect = EncodeBoundsRect(maximizedOrFull ? normalGeometry() : geometry());
  // Zen mode is left for a maximised window, so a window closed in zen mode starts maximised.
  FSettings.isMaximized = isMaximized() || FZenMode;
  FSettings.defaultDB = FDefaultDB;
  // The width of a tree that zen mode hid is the width it had before.
  float tw = FTreePanelWidth;
  if (FZenMode && tw < 10 && FTreeWidth >= 10) tw = FTreeWidth;
  FSettings.treeWidth = int(tw);
  FSettings.fsSkipAddInfo = cbFSSkipAddInfo->isChecked();
  FSettings.recentFiles = FRecentFiles;
  FSettings.hiddenToolTips.clear();
  for (int i = 0; i < FToolTips.size(); ++i)
    if (FToolTips[i].hidden) FSettings.hiddenToolTips.insert(i);
  SettingsSaveOptions opt;
  const int rsHeight = FHooks.resultPanelHeight ? FHooks.resultPanelHeight() : 0;
  if (rsHeight > 10) {
    FSettings.tcrsHeight = rsHeight;
    opt.writeTcrsHeight = true;
  }
  sbxRecentFilesFilter->clear();
  SaveSettings(*FIni, FSettings, opt);
}

void TfrmQRV::ApplyWindowBounds() {
  if (FSettings.isMaximized) {
    setWindowState(windowState() | Qt::WindowMaximized);
    return;
  }
  const QRect r = DecodeBoundsRect(FSettings.boundsRect);
  if (r.width() > 0 && r.height() > 0) setGeometry(r);
}

// -----------------------------------------------------------------------------------------------------
// Status bar

void TfrmQRV::ShowStatusText(const QString &text, int seconds) {
  lbStatus0->setText(text);
  if (seconds >= 1) {
    tmrStatus->start(seconds * FStatusTimeUnit);
  } else {
    // A message without a time-out stays: an earlier message's timer must not clear it.
    tmrStatus->stop();
  }
}

void TfrmQRV::ShowStatusBarToolTip(int index) {
  if (index < 0 || index >= FToolTips.size()) return;
  if (FToolTips[index].hidden) return;
  lbStatusBarToolTip->setText(FToolTips[index].text);
  lbStatusBarToolTip->setToolTip(FToolTips[index].text);
  FCurrToolTip = index;
  loStatusBarToolTip->show();
}

bool TfrmQRV::IsToolTipHidden(int index) const {
  return index >= 0 && index < FToolTips.size() && FToolTips[index].hidden;
}

// -----------------------------------------------------------------------------------------------------
// Theme

void TfrmQRV::RebuildBrushes() {
  const ThemeColors c = ThemeColorsFor(FSettings.darkTheme);
  FTreeBrushBG = QBrush(c.treeBG);
  FTreeBrushBGAlt = QBrush(c.treeBGAlt);
  FTreeBrushText = QBrush(c.treeText);
  FTreeSelBrush = QBrush(c.treeSel);
  FGridHeaderBrush = QBrush(c.gridHeader);
}

void TfrmQRV::SetDarkTheme(bool dark) {
  FSettings.darkTheme = dark;
  ApplyTheme();
}

void TfrmQRV::ApplyTheme() {
  RebuildBrushes();
  ApplyAppTheme(FSettings.darkTheme);
  imgStatusBarToolTip->setPixmap(KxIcon(QStringLiteral("info"), QColor::fromRgba(kLinkColor))
                                     .pixmap(QSize(16, 16), devicePixelRatioF()));
  if (auto *img = sbDefaultDB->findChild<QLabel *>(QStringLiteral("imgDefaultDB")))
    img->setPixmap(KxIcon(QStringLiteral("database")).pixmap(QSize(16, 16), devicePixelRatioF()));
  ApplyThemeToContainer(this);
}

// -----------------------------------------------------------------------------------------------------
// Tree panel

void TfrmQRV::SetTreePanelWidth(float width) {
  FTreePanelWidth = width;
  if (width < 1) {
    loLeft->hide();
  } else {
    loLeft->setFixedWidth(int(width));
    loLeft->show();
  }
  PlaceDropDowns();
}

void TfrmQRV::ToggleTreePanel() {
  if (FTreePanelWidth > 10) {
    FTreeWidth = FTreePanelWidth;
    SetTreePanelWidth(-3);
  } else {
    SetTreePanelWidth(FTreeWidth < 10 ? 300 : FTreeWidth);
  }
}

void TfrmQRV::SetTreeGrid(QWidget *grid) {
  if (!grid || grid == grTree) return;
  auto *v = qobject_cast<QVBoxLayout *>(loLeft->layout());
  const int at = v->indexOf(grTree);
  grid->setParent(loLeft);
  grid->setObjectName(QStringLiteral("grTree"));
  v->insertWidget(at, grid, 1);
  grTree->hide();
  grTree->deleteLater();
  grTree = grid;
  grTree->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(grTree, &QWidget::customContextMenuRequested, this,
          [this](const QPoint &pos) { pmTree->popup(grTree->mapToGlobal(pos)); });
}

// -----------------------------------------------------------------------------------------------------
// View modes

void TfrmQRV::acZenModeExecute() {
  FZenMode = !FZenMode;
  AL->acZenMode->setChecked(FZenMode);
  if (FZenMode && FTreePanelWidth > 10) {
    FTreeWidth = FTreePanelWidth;
    SetTreePanelWidth(-3);
  } else if (!FZenMode && FTreePanelWidth < 10) {
    SetTreePanelWidth(FTreeWidth < 10 ? 300 : FTreeWidth);
  }
  SB->setVisible(!FZenMode);
  if (FZenMode) {
    setWindowState((windowState() & ~Qt::WindowMaximized) | Qt::WindowFullScreen);
  } else {
    setWindowState((windowState() & ~Qt::WindowFullScreen) | Qt::WindowMaximized);
  }
  if (isVisible()) show();
}

bool TfrmQRV::StaysOnTop() const { return windowFlags().testFlag(Qt::WindowStaysOnTopHint); }

void TfrmQRV::acStayOnTopExecute() {
  const bool wasVisible = isVisible();
  if (StaysOnTop()) {
    setWindowFlag(Qt::WindowStaysOnTopHint, false);
  } else {
    setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
  }
  // Changing the flags hides a shown window; bring it back with its border.
  if (wasVisible) show();
  AL->acStayOnTop->setChecked(StaysOnTop());
}

QString TfrmQRV::HelpAddress() { return ProductWebAddress() + QStringLiteral("/help"); }
QString TfrmQRV::FeedbackAddress() { return ProductWebAddress() + QStringLiteral("/contact"); }

void TfrmQRV::acHelpExecute() {
  if (FHooks.openUrl)
    FHooks.openUrl(HelpAddress());
  else
    QDesktopServices::openUrl(QUrl(HelpAddress()));
}

void TfrmQRV::acFeedbackExecute() {
  if (FHooks.openUrl)
    FHooks.openUrl(FeedbackAddress());
  else
    QDesktopServices::openUrl(QUrl(FeedbackAddress()));
}

// -----------------------------------------------------------------------------------------------------
// Drop-down panels

void TfrmQRV::PlaceDropDowns() {
  auto place = [this](QWidget *panel, QWidget *button) {
    if (!panel || !button) return;
    const QPoint at = button->mapTo(this, QPoint(0, 0));
    int x = at.x() + 4;
    const int y = at.y() + button->height() + 4;
    x = std::max(0, std::min(x, width() - panel->width()));
    panel->move(x, y);
  };
  place(pnMM, sbMainMenu);
  place(pnRecentFiles, sbRecentFiles);
  place(pnFilterSettings, sbToggleTreeFilter);
}

void TfrmQRV::ToggleMainMenu() {
  pnRecentFiles->hide();
  sbRecentFiles->setChecked(false);
  const bool show = !pnMM->isVisible();
  if (show) {
    AL->UpdateAll();
    miCheckForUpdates->setEnabled(bool(FHooks.checkForUpdates));
    PlaceDropDowns();
    pnMM->raise();
  }
  pnMM->setVisible(show);
  sbMainMenu->setChecked(show);
}

void TfrmQRV::ToggleRecentFiles() {
  const bool show = !pnRecentFiles->isVisible();
  if (show) {
    AL->UpdateAll();
    PlaceDropDowns();
    ResizeRecentFilesMenu();
    pnRecentFiles->raise();
    pnRecentFiles->show();
    sbxRecentFilesFilter->setFocus();
  } else {
    pnRecentFiles->hide();
  }
  sbRecentFiles->setChecked(show);
}

void TfrmQRV::ToggleFilterSettings() {
  const bool show = !pnFilterSettings->isVisible();
  if (show) {
    PlaceDropDowns();
    pnFilterSettings->raise();
  }
  pnFilterSettings->setVisible(show);
  sbToggleTreeFilter->setChecked(show);
}

void TfrmQRV::HideDropDowns() {
  pnMM->hide();
  pnRecentFiles->hide();
  pnFilterSettings->hide();
  sbMainMenu->setChecked(false);
  sbRecentFiles->setChecked(false);
  sbToggleTreeFilter->setChecked(false);
}

void TfrmQRV::ResizeRecentFilesMenu() {
  sbxRecentFilesFilter->clear();
  const QMargins m = pnRecentFiles->layout()->contentsMargins();
  const int spacing = pnRecentFiles->layout()->spacing();
  const int header = m.top() + kCaptionHeight + spacing + kMenuItemHeight + spacing + kSearchBoxHeight + spacing;
  int rowH = lbxRecentFiles->count() > 0 ? lbxRecentFiles->sizeHintForRow(0) : 0;
  if (rowH <= 0) rowH = lbxRecentFiles->fontMetrics().height() + 8;
  int h = header + (lbxRecentFiles->count() + 1) * rowH + 2 * lbxRecentFiles->frameWidth() + m.bottom();
  h = std::max(h, 200);
  h = std::min(h, std::max(0, height() - pnRecentFiles->y()));
  int widest = 0;
  const QFontMetrics fm(lbxRecentFiles->font());
  for (int i = 0; i < lbxRecentFiles->count(); ++i)
    widest = std::max(widest, fm.horizontalAdvance(lbxRecentFiles->item(i)->text()));
  int w = std::max(widest + 4 * m.left() + 2 * lbxRecentFiles->frameWidth(), 350);
  w = std::min(w, std::max(350, width() - pnRecentFiles->x()));
  pnRecentFiles->resize(w, h);
}

void TfrmQRV::SetRecentFiles(const QStringList &files) {
  FRecentFiles.clear();
  for (const QString &f : files)
    if (!f.isEmpty() && !FRecentFiles.contains(f)) FRecentFiles.append(f);
  FillRecentFilesList();
}

void TfrmQRV::AddRecentFile(const QString &file) {
  if (file.isEmpty()) return;
  FRecentFiles.removeAll(file);
  FRecentFiles.insert(0, file);
  FillRecentFilesList();
}

void TfrmQRV::FillRecentFilesList() {
  lbxRecentFiles->clear();
  for (const QString &f : FRecentFiles) {
    auto *it = new QListWidgetItem(KxIcon(QStringLiteral("new-query")), f, lbxRecentFiles);
    it->setData(Qt::UserRole, f);
    it->setToolTip(f);
  }
  FilterRecentFiles(sbxRecentFilesFilter->text());
}

void TfrmQRV::FilterRecentFiles(const QString &text) {
  for (int i = 0; i < lbxRecentFiles->count(); ++i) {
    QListWidgetItem *it = lbxRecentFiles->item(i);
    it->setHidden(!text.isEmpty() && !it->text().contains(text, Qt::CaseInsensitive));
  }
}

// -----------------------------------------------------------------------------------------------------
// File dialogs

QString TfrmQRV::FileDialogFilter() { return QStringLiteral("SQL Files (*.sql)|*.sql|All Files (*.*)|*.*"); }

QString TfrmQRV::ToQtNameFilter(const QString &filter) {
  // "Name|pattern|Name|pattern": Qt shows the names, which already carry their patterns.
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QString name = parts[i].trimmed();
    const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
    out << (name.contains(QLatin1Char('(')) ? name : name + QStringLiteral(" (") + patterns + QLatin1Char(')'));
  }
  return out.join(QStringLiteral(";;"));
}

QStringList TfrmQRV::ExecOpenDialog() {
  QFileDialog dlg(this, QStringLiteral("Open File"));
  dlg.setObjectName(QStringLiteral("OpenDialog"));
  dlg.setOption(QFileDialog::DontUseNativeDialog);
  dlg.setFileMode(QFileDialog::ExistingFiles);
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setDefaultSuffix(QStringLiteral("sql"));
  dlg.setNameFilter(ToQtNameFilter(FileDialogFilter()));
  if (dlg.exec() != QDialog::Accepted) return {};
  return dlg.selectedFiles();
}

QString TfrmQRV::ExecSaveDialog(const QString &proposedName) {
  QFileDialog dlg(this, QStringLiteral("Save File As"));
  dlg.setObjectName(QStringLiteral("SaveDialog"));
  dlg.setOption(QFileDialog::DontUseNativeDialog);
  dlg.setFileMode(QFileDialog::AnyFile);
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setDefaultSuffix(QStringLiteral("sql"));
  dlg.setNameFilter(ToQtNameFilter(FileDialogFilter()));
  if (!proposedName.isEmpty()) dlg.selectFile(proposedName);
  if (dlg.exec() != QDialog::Accepted) return {};
  const QStringList files = dlg.selectedFiles();
  return files.isEmpty() ? QString() : files.first();
}

// -----------------------------------------------------------------------------------------------------
// Idle handler, global keys and events

void TfrmQRV::ScheduleIdle() {
  if (FIdleTimer && !FIdleTimer->isActive()) FIdleTimer->start();
}

void TfrmQRV::DoIdle() {
  AL->UpdateAll();
  miCheckForUpdates->setEnabled(bool(FHooks.checkForUpdates));
  // The file named on the command line opens once, as soon as tabs can be created.
  if (!StartupFile().isEmpty() && FHooks.openFileInNewTab) {
    const QString file = StartupFile();
    StartupFile().clear();
    FHooks.openFileInNewTab(file);
  }
  TQueryFrameKeys *frame = FHooks.currentFrame ? FHooks.currentFrame() : nullptr;
  if (!frame) return;
  if (FTabChanging) {
    QWidget *last = frame->LastActiveControl();
    if (last && last->isVisible() && last->isEnabled() && last->focusPolicy() != Qt::NoFocus)
      last->setFocus();
    else if (QWidget *ed = frame->Editor())
      ed->setFocus();
    FTabChanging = false;
  } else if (QWidget *fw = QApplication::focusWidget()) {
    if (fw->window() == this) frame->SetLastActiveControl(fw);
  }
}

bool TfrmQRV::HandleGlobalKey(QKeyEvent *ke, bool perform) {
  const Qt::KeyboardModifiers mods = ke->modifiers();
  const bool ctrl = mods.testFlag(Qt::ControlModifier);
  TQueryFrameKeys *frame = FHooks.currentFrame ? FHooks.currentFrame() : nullptr;
  switch (ke->key()) {
    case Qt::Key_Tab:
      if (ctrl || mods.testFlag(Qt::AltModifier) || !frame || !frame->EditorHasFocus()) return false;
      if (perform) {
        if (frame->CompletionListVisible())
          frame->EditorKeyTab();
        else
          frame->EditorInsertTab();
      }
      return true;
    case Qt::Key_Escape:
      if (pnMM->isVisible() || pnRecentFiles->isVisible() || pnFilterSettings->isVisible()) {
        if (perform) HideDropDowns();
        return true;
      }
      if (!frame) return false;
      if (perform) {
        if (frame->CompletionListVisible())
          frame->HideCompletionList();
        else if (frame->FindPanelVisible())
          frame->CloseFindPanel();
      }
      return true;
    case Qt::Key_R:
      if (!ctrl || !frame) return false;
      if (perform) frame->ShowHideRS();
      return true;
    case Qt::Key_F1:
      if (ctrl) return false;
      if (perform) AL->acHelp->trigger();
      return true;
    case Qt::Key_F5:
      if (ctrl || !frame) return false;
      if (perform) frame->ExecuteSQL();
      return true;
    case Qt::Key_F11:
      if (perform) AL->acZenMode->trigger();
      return true;
    default:
      return false;
  }
}

bool TfrmQRV::eventFilter(QObject *watched, QEvent *event) {
  switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
      auto *w = qobject_cast<QWidget *>(watched);
      if (!w || w->window() != this || !isActiveWindow()) break;
      auto *ke = static_cast<QKeyEvent *>(event);
      if (event->type() == QEvent::ShortcutOverride) {
        // Keys the window handles itself must not also fire an action's shortcut.
        if (HandleGlobalKey(ke, false)) {
          ke->accept();
          return true;
        }
        break;
      }
      if (HandleGlobalKey(ke, true)) {
        ScheduleIdle();
        return true;
      }
      break;
    }
    case QEvent::MouseButtonPress: {
      auto *w = qobject_cast<QWidget *>(watched);
      if (!w || w->window() != this) break;
      // A click outside the main menu or the filter settings (and outside their buttons) closes them; the
      // recent-files panel stays until its button or Esc closes it.
      if (pnMM->isVisible() && !isInside(pnMM, w) && !isInside(sbMainMenu, w)) {
        pnMM->hide();
        sbMainMenu->setChecked(false);
      }
      if (pnFilterSettings->isVisible() && !isInside(pnFilterSettings, w) && !isInside(sbToggleTreeFilter, w)) {
        pnFilterSettings->hide();
        sbToggleTreeFilter->setChecked(false);
      }
      break;
    }
    case QEvent::KeyRelease:
    case QEvent::MouseButtonRelease:
      ScheduleIdle();
      break;
    case QEvent::Resize:
      if (watched == TC) UpdateEmptyState();
      break;
    default:
      break;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TfrmQRV::OnFocusChanged(QWidget *, QWidget *now) {
  if (pnMM->isVisible() && !isInside(pnMM, now)) {
    pnMM->hide();
    sbMainMenu->setChecked(false);
  }
  if (pnFilterSettings->isVisible() && !isInside(pnFilterSettings, now)) {
    pnFilterSettings->hide();
    sbToggleTreeFilter->setChecked(false);
  }
  ScheduleIdle();
}

void TfrmQRV::UpdateEmptyState() {
  lbEmptyState->setGeometry(TC->rect().adjusted(24, 24, -24, -24));
  lbEmptyState->setFont(grTree->font());
  lbEmptyState->setVisible(TC->count() == 0);
  lbEmptyState->raise();
}

void TfrmQRV::showEvent(QShowEvent *e) {
  QMainWindow::showEvent(e);
  PlaceDropDowns();
  UpdateEmptyState();
  ScheduleIdle();
}

void TfrmQRV::resizeEvent(QResizeEvent *e) {
  QMainWindow::resizeEvent(e);
  PlaceDropDowns();
  if (pnRecentFiles && pnRecentFiles->isVisible()) ResizeRecentFilesMenu();
}

void TfrmQRV::closeEvent(QCloseEvent *e) {
  // Settings first, then every tab records itself under OpenedFiles as it closes.
  SaveObligatoryParameters();
  FIni->eraseSection(QString::fromLatin1(kOpenedFilesSection));
  const bool allClosed = FHooks.closeAllTabs ? FHooks.closeAllTabs(true) : true;
  // The erased section and the entries of the closed tabs have to reach the disk as well.
  FIni->updateFile();
  if (!allClosed) {
    e->ignore();
    return;
  }
  HideDropDowns();
  e->accept();
}

// -----------------------------------------------------------------------------------------------------
// Application-wide error handler

void TfrmQRV::HandleApplicationException(const TExceptionInfo &info) {
  if (FHooks.saveAutomaticFiles) {
    try {
      FHooks.saveAutomaticFiles();
    } catch (...) {
    }
  }
  try {
    SaveObligatoryParameters();
  } catch (...) {
  }
  const QString text = FormatExceptionText(info);
  AddToErrorLogDebug(text);
  ShowExceptionText(text);
}

}  // namespace qrv
