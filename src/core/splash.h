#pragma once
// The splash window shown while the program starts.
#include <QWidget>

class QLabel;

namespace qrv {

class TfrmLogo : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmLogo(QWidget *parent = nullptr);
  // 0..100; larger values simply fill the strip.
  void SetProgress(int progress);
  int progress() const { return FProgress; }
  bool isDark() const { return FDark; }
  QString versionText() const;

 protected:
  void paintEvent(QPaintEvent *e) override;

 private:
  int FProgress = 0;
  bool FDark = true;
  QLabel *lbVersion = nullptr;
  QLabel *lbLink = nullptr;
};

// The splash of this run, or null (console runs and starts without one).
TfrmLogo *Splash();
void SetSplash(TfrmLogo *splash);

}  // namespace qrv
