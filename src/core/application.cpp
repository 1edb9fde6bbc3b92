#include "core/application.h"

#include <cxxabi.h>

#include <QMessageBox>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "core/apppaths.h"
#include "dal/drivertable.h"

namespace qrv {

namespace {

TExceptionHandler &handlerRef() {
  static TExceptionHandler h;
  return h;
}

TExceptionDisplay &displayRef() {
  static TExceptionDisplay h;
  return h;
}

QString demangle(const char *name) {
  if (!name) return QStringLiteral("unknown");
  int status = 0;
  std::unique_ptr<char, void (*)(void *)> d(abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
  return QString::fromLatin1(status == 0 && d ? d.get() : name);
}

void defaultHandler(const TExceptionInfo &info) {
  const QString text = FormatExceptionText(info);
  AddToErrorLogDebug(text);
  ShowExceptionText(text);
}

}  // namespace

EAppError::EAppError(const QString &message)
    : std::runtime_error(message.toStdString()), FAddress(__builtin_return_address(0)) {}

TExceptionInfo CurrentExceptionInfo() {
  TExceptionInfo info;
  info.address = 0;
  const std::type_info *type = abi::__cxa_current_exception_type();
  info.className = demangle(type ? type->name() : nullptr);
  try {
    throw;
  } catch (const EAppError &e) {
    info.message = e.message();
    info.address = quintptr(e.address());
  } catch (const std::exception &e) {
    info.message = QString::fromUtf8(e.what());
    info.address = quintptr(&e);
  } catch (const QString &s) {
    info.message = s;
    info.address = quintptr(&s);
  } catch (const char *s) {
    info.message = QString::fromUtf8(s);
  } catch (...) {
    info.message = QStringLiteral("Unknown error");
  }
  return info;
}

QString FormatExceptionText(const TExceptionInfo &info) {
  const QString lb = QStringLiteral("\n");
  return NormalizeErrorText(info.message) + lb + QStringLiteral("Class Name: ") + info.className + lb +
         QStringLiteral("Address: $") + QString::number(info.address, 16).toUpper();
}

void SetApplicationExceptionHandler(TExceptionHandler handler) { handlerRef() = std::move(handler); }

void HandleCurrentException() {
  static bool busy = false;
  const TExceptionInfo info = CurrentExceptionInfo();
  if (busy) {
    // A failure while an earlier one is being reported: log it and carry on.
    AddToErrorLogDebug(FormatExceptionText(info));
    return;
  }
  busy = true;
  try {
    if (handlerRef())
      handlerRef()(info);
    else
      defaultHandler(info);
  } catch (...) {
    AddToErrorLogDebug(QStringLiteral("The error handler failed while reporting: ") + info.message);
  }
  busy = false;
}

void SetExceptionDisplayHook(TExceptionDisplay hook) { displayRef() = std::move(hook); }

void ShowExceptionText(const QString &text) {
  if (displayRef()) {
    displayRef()(text);
    return;
  }
  if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
    qWarning("%s", qPrintable(text));
    return;
  }
  QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(), text);
}

QrvApplication::QrvApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool QrvApplication::notify(QObject *receiver, QEvent *event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    HandleCurrentException();
    return false;
  }
}

}  // namespace qrv
