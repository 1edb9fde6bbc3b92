#pragma once
// The application object of the windowed program. It catches every exception that escapes an event
// handler, hands it to the application-wide error handler and keeps the program running.
#include <QApplication>
#include <QString>
#include <exception>
#include <functional>
#include <stdexcept>

namespace qrv {

// An error raised by the program's own code. It records the code address of the place that threw it,
// which the error handler reports.
class EAppError : public std::runtime_error {
 public:
  [[gnu::noinline]] explicit EAppError(const QString &message);
  QString message() const { return QString::fromStdString(what()); }
  const void *address() const { return FAddress; }

 private:
  const void *FAddress;
};

// What the handler learns about an exception.
struct TExceptionInfo {
  QString message;    // the exception's message
  QString className;  // its class, e.g. "std::runtime_error"
  quintptr address;   // the code address of the throw for EAppError, else the exception object's address
};

// The information of the exception being handled; call only inside a catch block.
TExceptionInfo CurrentExceptionInfo();

// "%s%sClass Name: %s%sAddress: $%x" with the normalised message and line breaks.
QString FormatExceptionText(const TExceptionInfo &info);

// Who handles exceptions that escape event handlers (the main window installs itself). Without one, the
// default handler logs the text and shows it.
using TExceptionHandler = std::function<void(const TExceptionInfo &)>;
void SetApplicationExceptionHandler(TExceptionHandler handler);
// Runs the installed handler (or the default one) for the exception being handled.
void HandleCurrentException();

// The standard exception display: a modal message box. Tests install a hook that captures the text.
using TExceptionDisplay = std::function<void(const QString &)>;
void SetExceptionDisplayHook(TExceptionDisplay hook);
void ShowExceptionText(const QString &text);

class QrvApplication : public QApplication {
  Q_OBJECT
 public:
  QrvApplication(int &argc, char **argv);
  bool notify(QObject *receiver, QEvent *event) override;
};

}  // namespace qrv
