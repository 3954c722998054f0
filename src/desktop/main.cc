// tarvex-desktop: the mail window over the user's Maildir, with the
// plug-in's toolbar and dialogs.
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <iostream>
#include <memory>

#include "desktop/desktop_session.h"

namespace {

// Tells when the message list first painted rows, then closes the window.
class FirstPaint : public QObject {
 public:
  FirstPaint(tarvex::desktop::MainWindow& window, const QElapsedTimer& clock)
      : window_(window), clock_(clock) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !done_ && window_.messageModel().rowCount() > 0) {
      done_ = true;
      const qint64 ms = clock_.elapsed();
      QTimer::singleShot(0, &window_, [this, ms] {
        std::cout << "first paint of " << window_.messageModel().rowCount() << " messages: " << ms
                  << " ms (" << window_.messageModel().ReadCount() << " header blocks read)"
                  << std::endl;
        Scroll();
        window_.close();
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  // Pages down the list, painting each page, and sorts it once: the
  // longest page and the sort, each with the header blocks it read.
  void Scroll() {
    QTableView& view = window_.messageView();
    QScrollBar* bar = view.verticalScrollBar();
    QElapsedTimer timer;
    double longest = 0;
    int pages = 0;
    while (pages < 200 && bar->value() < bar->maximum()) {
      timer.start();
      bar->setValue(bar->value() + bar->pageStep());
      view.viewport()->repaint();
      longest = std::max(longest, timer.nsecsElapsed() / 1e6);
      ++pages;
    }
    std::cout << "paging down " << pages << " pages: longest page " << longest << " ms ("
              << window_.messageModel().ReadCount() << " header blocks read)" << std::endl;
    timer.start();
    view.sortByColumn(tarvex::desktop::MessageListModel::kSubject, Qt::AscendingOrder);
    view.viewport()->repaint();
    std::cout << "sorting by subject: " << timer.elapsed() << " ms ("
              << window_.messageModel().ReadCount() << " header blocks read)" << std::endl;
  }

  tarvex::desktop::MainWindow& window_;
  const QElapsedTimer& clock_;
  bool done_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QElapsedTimer clock;
  clock.start();
  QApplication app(argc, argv);
  QApplication::setApplicationName("tarvex-desktop");
  QApplication::setApplicationDisplayName("Tarvex");
  QCommandLineParser parser;
  parser.setApplicationDescription("The Tarvex spam filter in a mail window.");
  parser.addHelpOption();
  const QCommandLineOption config("config", "The settings file.", "file");
  const QCommandLineOption maildir("maildir", "The Maildir to show and filter.", "folder");
  const QCommandLineOption screenshots(
      "screenshots", "Save pictures of the window and of every dialog in folder, then quit.",
      "folder");
  const QCommandLineOption firstPaint(
      "first-paint",
      "Print the time to the message list's first paint, then page down the list and sort it, "
      "timing each, and quit.");
  for (const QCommandLineOption& option : {config, maildir, screenshots, firstPaint}) {
    parser.addOption(option);
  }
  parser.process(app);
  tarvex::ProfileOptions options;
  options.config = parser.value(config).toStdString();
  options.maildir = parser.value(maildir).toStdString();
  tarvex::desktop::DesktopHooks hooks;
  std::unique_ptr<FirstPaint> painted;
  if (parser.isSet(firstPaint)) {
    hooks.made = [&](tarvex::desktop::MainWindow& window) {
      painted = std::make_unique<FirstPaint>(window, clock);
      window.messageView().viewport()->installEventFilter(painted.get());
    };
  }
  if (parser.isSet(screenshots)) {
    const std::string folder = parser.value(screenshots).toStdString();
    hooks.started = [folder](tarvex::desktop::MainWindow& window, tarvex::MaildirSession& session,
                             tarvex::desktop::QtUserInterface& ui) {
      tarvex::desktop::TakeScreenshots(window, session, ui, folder);
    };
  }
  return tarvex::desktop::RunDesktop(options, hooks);
}
